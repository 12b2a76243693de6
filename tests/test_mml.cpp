// The MML character table, the command reader and the effect of each command
// on a channel's settings. Expected values are worked out by hand.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "engine/mml.h"

namespace bleeptone {
namespace {

// Printable form of a text for failure messages.
std::string show(std::u16string_view text) {
    std::string s;
    for (char16_t u : text) {
        if (u >= 0x20 && u < 0x7F) {
            s += static_cast<char>(u);
        } else {
            char buf[12];
            std::snprintf(buf, sizeof buf, "\\u%04X", static_cast<unsigned>(u));
            s += buf;
        }
    }
    return s;
}

MML_Info defaults() {
    MML_Info info;
    resetChannelInfo(info);
    return info;
}

// Reads the whole text from the defaults, applying every setting command;
// `last` receives the last note or rest read.
MML_Info settle(std::u16string_view text, MMLCommand* last = nullptr) {
    MML_Info info = defaults();
    const char16_t* pos = text.data();
    for (MMLCommand cmd; !(cmd = readMMLCommand(pos, text.data() + text.size(), nullptr)).atEnd();) {
        if (!applyMMLSetting(info, cmd) && mmlCommands::isNoteOrRest(cmd.code) && last) *last = cmd;
    }
    return info;
}

TEST(MMLTable, EveryEntryHasItsClass) {
    std::array<std::uint8_t, 256> expected{};  // everything not listed is 0
    expected[0x00] = 0xFF;
    for (int d = 0; d <= 9; ++d) expected['0' + d] = static_cast<std::uint8_t>(0x40 + d);
    const struct {
        const char* chars;
        std::uint8_t cls;
    } listed[] = {
        {" ", 0x01},   {"#+", 0x22},  {"-", 0x20},   {",", 0x02},   {".", 0x10},   {"*", 0x9E},
        {"/", 0x94},   {":", 0x9F},   {"<", 0xA0},   {">", 0xA2},   {"\\", 0x95},  {"Cc", 0xC0},
        {"Dd", 0xC2},  {"Ee", 0xC4},  {"Ff", 0xC5},  {"Gg", 0xC7},  {"Aa", 0xC9},  {"Bb", 0xCB},
        {"Rr", 0xCF},  {"Kk", 0xAE},  {"Oo", 0xAF},  {"Ll", 0x90},  {"Tt", 0x91},  {"Vv", 0x92},
        {"Ww", 0x93},
    };
    for (const auto& row : listed)
        for (const char* c = row.chars; *c; ++c) expected[static_cast<std::uint8_t>(*c)] = row.cls;
    for (int i = 0; i < 256; ++i) EXPECT_EQ(MMLTable[i], expected[i]) << "code " << i;

    for (char16_t u : std::u16string_view(u"|\t\r\n;xXHhIiZz$%@?!&'\"=[]^_`{}~\x7F\x80\xFF"))
        EXPECT_EQ(mmlClass(u), 0) << show({&u, 1});
    // Only the low byte counts.
    EXPECT_EQ(mmlClass(u'\u0143'), 0xC0);  // read as "C"
    EXPECT_EQ(mmlClass(u'\u0100'), 0xFF);  // ends the text
    EXPECT_EQ(mmlClass(u'\u0134'), 0x44);  // digit 4
    EXPECT_EQ(mmlClass(u'\uFF2C'), 0x02);  // comma
}

TEST(MMLReader, ReadsOneCommandWithItsModifiers) {
    const struct {
        std::u16string_view text;
        std::uint8_t code;
        std::int64_t number;
        int sign;
        bool dot;
        std::ptrdiff_t at, after;  // offsets of the command and of the next read
    } cases[] = {
        {u"C4,8", 0xC0, 8, 0, false, 0, 4},           // the comma closes 4, the last number counts
        {u"C1x6", 0xC0, 6, 0, false, 0, 4},           // class 0 resets the number
        {u"C8;", 0xC0, 0, 0, false, 0, 3},
        {u"C8\n", 0xC0, 0, 0, false, 0, 3},
        {u"C8\t", 0xC0, 0, 0, false, 0, 3},
        {u"C8 ", 0xC0, 8, 0, false, 0, 3},            // a blank keeps the number
        {u"T1 2", 0x91, 12, 0, false, 0, 4},
        {u"T 120", 0x91, 120, 0, false, 0, 5},
        {u"C+-", 0xC0, 0, -1, false, 0, 3},           // a later sign replaces an earlier one
        {u"C-+#", 0xC0, 0, 1, false, 0, 4},
        {u"r-8.", 0xCF, 8, -1, true, 0, 4},
        {u"C4.8", 0xC0, 48, 0, true, 0, 4},           // a dot does not end the number
        {u"C..", 0xC0, 0, 0, true, 0, 3},
        {u"x12,.+ D5E", 0xC2, 5, 0, false, 7, 9},     // junk before a command is skipped, its sign too
        {u"<>", 0xA0, 0, 0, false, 0, 1},
        {u"*12:", 0x9E, 12, 0, false, 0, 3},
        {u":", 0x9F, 0, 0, false, 0, 1},
        {u"\\.5", 0x95, 5, 0, true, 0, 3},
        {u"L12,34,5", 0x90, 5, 0, false, 0, 8},
        {u"\u01434", 0xC0, 4, 0, false, 0, 2},        // U+0143 is "C"
        {u"C\u0134\u0132", 0xC0, 42, 0, false, 0, 3}, // low bytes '4' '2'
        {u"C4\u01008", 0xC0, 4, 0, false, 0, 2},      // U+0100 ends the text
        {u"O18446744073709551617C", 0xAF, 1, 0, false, 0, 21},  // 2^64 + 1 wraps to 1
        {u"W18446744073709551615", 0x93, -1, 0, false, 0, 21},
        {u"W99999999999999999999", 0x93, 7766279631452241919, 0, false, 0, 21},  // (10^20 - 1) mod 2^64
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(show(c.text));
        const std::u16string text(c.text);
        const char16_t* pos = text.data();
        const MMLCommand cmd = readMMLCommand(pos, text.data() + text.size(), nullptr);
        EXPECT_EQ(cmd.code, c.code);
        EXPECT_EQ(cmd.number, c.number);
        EXPECT_EQ(cmd.sign, c.sign);
        EXPECT_EQ(cmd.dot, c.dot);
        EXPECT_EQ(cmd.closed, 0);  // nothing is counted without a list
        EXPECT_EQ(cmd.at - text.data(), c.at);
        EXPECT_EQ(pos - text.data(), c.after);
    }
}

TEST(MMLReader, EndOfTextLeavesPositionOnTheTerminator) {
    const struct {
        std::u16string_view text;
        int commands;
        std::ptrdiff_t endAt;
    } cases[] = {
        {u"", 0, 0},
        {u"  x;\t12,.+-|", 0, 12},  // blanks and junk only: ends at the first read
        {u"\u0100C", 0, 0},
        {u"x9\u0100C", 0, 2},
        {u"C4", 1, 2},
        {u"C4 x", 1, 4},
        {u"CDE-,", 3, 5},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(show(c.text));
        const std::u16string text(c.text);
        const char16_t* pos = text.data();
        const char16_t* end = text.data() + text.size();
        for (int i = 0; i < c.commands; ++i) EXPECT_FALSE(readMMLCommand(pos, end, nullptr).atEnd());
        for (int again = 0; again < 2; ++again) {  // the end is reported again without moving
            EXPECT_TRUE(readMMLCommand(pos, end, nullptr).atEnd());
            EXPECT_EQ(pos - text.data(), c.endAt);
        }
    }
    // An end pointer before the terminator stops reading there.
    const std::u16string text = u"C48D";
    const char16_t* pos = text.data();
    EXPECT_EQ(readMMLCommand(pos, text.data() + 2, nullptr).number, 4);
    EXPECT_EQ(pos - text.data(), 2);
    EXPECT_TRUE(readMMLCommand(pos, text.data() + 2, nullptr).atEnd());
}

TEST(MMLReader, FillsTheNumberList) {
    MMLNumberList list;
    list.fill(77);
    const std::u16string env = u"\\1,9,2,5";
    const char16_t* pos = env.data();
    MMLCommand cmd = readMMLCommand(pos, env.data() + env.size(), &list);
    EXPECT_EQ(cmd.closed, 3);
    EXPECT_EQ(cmd.number, 5);
    EXPECT_EQ((std::array<std::int64_t, 5>{list[0], list[1], list[2], list[3], list[4]}),
              (std::array<std::int64_t, 5>{1, 9, 2, 5, 77}));
    EXPECT_EQ(list[253], 0);
    EXPECT_EQ(list[254], 0);
    EXPECT_EQ(list[255], 4);

    // A later command writes only slot 0 and 253..255; the rest stays.
    const std::u16string note = u"C8.";
    pos = note.data();
    cmd = readMMLCommand(pos, note.data() + note.size(), &list);
    EXPECT_EQ(cmd.closed, 0);
    EXPECT_EQ((std::array<std::int64_t, 5>{list[0], list[1], list[2], list[3], list[4]}),
              (std::array<std::int64_t, 5>{8, 9, 2, 5, 77}));
    EXPECT_EQ(list[253], 1);
    EXPECT_EQ(list[255], 1);
}

TEST(MMLReader, NumberListHoldsAtMost253Numbers) {
    const struct {
        int commas;
        int closed;  // numbers stored by commas
    } cases[] = {{1, 1}, {251, 251}, {252, 252}, {253, 252}, {300, 252}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.commas);
        std::u16string text = u"\\.";
        for (int i = 1; i <= c.commas; ++i) {
            for (char ch : std::to_string(i)) text += static_cast<char16_t>(ch);
            text += u',';
        }
        text += u"7";
        MMLNumberList list;
        list.fill(-5);
        const char16_t* pos = text.data();
        const MMLCommand cmd = readMMLCommand(pos, text.data() + text.size(), &list);
        EXPECT_EQ(cmd.closed, c.closed);
        EXPECT_EQ(cmd.number, 7);
        for (int i = 0; i < c.closed; ++i) ASSERT_EQ(list[i], i + 1) << "slot " << i;
        EXPECT_EQ(list[c.closed], 7);
        if (c.closed + 1 < 253) {
            EXPECT_EQ(list[c.closed + 1], -5);  // untouched
        }
        EXPECT_EQ(list[253], 1);
        EXPECT_EQ(list[254], 0);
        EXPECT_EQ(list[255], c.closed + 1);
    }
}

TEST(MMLSettings, ResetGivesTheChannelDefaults) {
    MML_Info info{9, 9, 9, 9, 9, 9, 9, 9};
    resetChannelInfo(info);
    EXPECT_EQ(info, (MML_Info{0, 12, 4, 0, 4, 40, 0, 0}));
}

TEST(MMLSettings, CommandsChangeTheirField) {
    using F = std::int32_t MML_Info::*;
    const F tempo = &MML_Info::Tempo, vol = &MML_Info::Volume, tr = &MML_Info::Transpose,
            oct = &MML_Info::Octave, len = &MML_Info::NoteLen, wave = &MML_Info::Waveform;
    const struct {
        std::u16string_view text;
        F field;
        std::int32_t expected;
    } cases[] = {
        // Tempo: below 40 the low 4 bits, 40..240 beats per minute, above unchanged.
        {u"T0", tempo, 0}, {u"T", tempo, 0}, {u"T15", tempo, 15}, {u"T16", tempo, 0},
        {u"T39", tempo, 7}, {u"T-5", tempo, 5}, {u"T1 2", tempo, 12}, {u"T 120", tempo, 12},
        {u"T40", tempo, 0}, {u"T41", tempo, 0}, {u"T45", tempo, 2}, {u"T60", tempo, 6},
        {u"T80", tempo, 9}, {u"T90", tempo, 10}, {u"T100", tempo, 11}, {u"T103", tempo, 11},
        {u"T120", tempo, 12}, {u"T144", tempo, 13}, {u"T180", tempo, 14}, {u"T200", tempo, 14},
        {u"T240", tempo, 15}, {u"T241", tempo, 12}, {u"T5T241", tempo, 5}, {u"T5T9999", tempo, 5},
        {u"T18446744073709551615", tempo, 15},  // wraps to -1, below 40
        // Volume: a number wins (low 6 bits), else the sign steps by 4 within 0..63, else 0.
        {u"V10", vol, 10}, {u"V63", vol, 63}, {u"V64", vol, 0}, {u"V100", vol, 36},
        {u"V127", vol, 63}, {u"V+3", vol, 3}, {u"V-3", vol, 3}, {u"V+", vol, 44},
        {u"V#", vol, 44}, {u"V-", vol, 36}, {u"V++", vol, 44}, {u"V+-", vol, 36},
        {u"V0+", vol, 44}, {u"V", vol, 0}, {u"V0", vol, 0}, {u"V61V+", vol, 63},
        {u"V63V+", vol, 63}, {u"V3V-", vol, 0}, {u"VV-", vol, 0}, {u"V+V+V+", vol, 52},
        // Transpose: up to 24, negated by "-"; above 24 unchanged; alone 0.
        {u"K5", tr, 5}, {u"K+5", tr, 5}, {u"K-5", tr, -5}, {u"K24", tr, 24}, {u"K-24", tr, -24},
        {u"K3K25", tr, 3}, {u"K3K-25", tr, 3}, {u"K3K", tr, 0}, {u"K3K-", tr, 0},
        {u"K+-5", tr, -5}, {u"K-+5", tr, 5},
        // Octave: unbounded, low 32 bits of the number.
        {u"O", oct, 0}, {u"O7", oct, 7}, {u"O-3", oct, 3}, {u"<", oct, 3}, {u">", oct, 5},
        {u"O0<<", oct, -2}, {u"O9>>", oct, 11}, {u"<5", oct, 3},
        {u"O18446744073709551617", oct, 1}, {u"O4294967301", oct, 5},
        // Note length: 0 (or low 32 bits 0) changes nothing.
        {u"L8", len, 8}, {u"L", len, 4}, {u"L0", len, 4}, {u"L8L0", len, 8}, {u"L1000", len, 1000},
        {u"L4294967296", len, 4}, {u"L8L4294967296", len, 8}, {u"L4294967304", len, 8},
        {u"L4294967295", len, -1},
        // Waveform: unchecked.
        {u"W3", wave, 3}, {u"W9", wave, 9}, {u"W2W", wave, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(show(c.text));
        EXPECT_EQ(settle(c.text).*c.field, c.expected);
    }
}

TEST(MMLSettings, OtherCommandsAreNotSettings) {
    for (std::u16string_view text : {u"C4", u"r8", u"*5", u"/3", u"\\5", u"\\1,9", u":"}) {
        SCOPED_TRACE(show(text));
        const std::u16string t(text);
        const char16_t* pos = t.data();
        const MMLCommand cmd = readMMLCommand(pos, t.data() + t.size(), nullptr);
        MML_Info info = defaults();
        EXPECT_FALSE(applyMMLSetting(info, cmd));
        EXPECT_EQ(info, defaults());
    }
}

TEST(MMLNotes, NoteIndex) {
    const struct {
        std::u16string_view text;
        std::int64_t index;
    } cases[] = {
        {u"C", 48}, {u"D", 50}, {u"E", 52}, {u"F", 53}, {u"G", 55}, {u"A", 57}, {u"B", 59},
        {u"c", 48}, {u"b", 59}, {u"C#", 49}, {u"C+", 49}, {u"D-", 49}, {u"E+", 53}, {u"F-", 52},
        {u"C-", 59},   // wraps to the B of the same octave
        {u"B+", 48},   // wraps to the C of the same octave
        {u"B#4", 48}, {u"C+-", 59}, {u"\u0143", 48}, {u"<C", 36}, {u"K-5C", 43},
        {u"O0C", 0}, {u"O8C", 96}, {u"O8C#", 97}, {u"O9C", 108}, {u"O0K-1C", -1},
        {u"O0<<C", -24}, {u"K24O8B", 131},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(show(c.text));
        MMLCommand note;
        const MML_Info info = settle(c.text, &note);
        ASSERT_NE(note.code, mmlCommands::Rest);
        EXPECT_EQ(mmlNoteIndex(note, info), c.index);
    }
}

TEST(MMLNotes, LengthInTicks) {
    const struct {
        std::u16string_view text;
        std::int32_t ticks;
    } cases[] = {
        {u"C1", 192}, {u"T0C1", 576}, {u"T15C1", 96}, {u"C", 48}, {u"C4", 48}, {u"R8", 24},
        {u"C4.", 72},      // (48 x 2 + 48) >> 1
        {u"C4..", 72},     // several dots count as one
        {u"L8C.", 36}, {u"L3C", 64}, {u"C3.", 96}, {u"C5", 38}, {u"C5.", 57}, {u"C7.", 40},
        {u"T0C32", 18}, {u"T0C64.", 13}, {u"T15C1.", 144}, {u"T0C1.", 864},
        {u"C4,8", 24}, {u"C8;", 48}, {u"C0", 48}, {u"L16C0", 12},
        {u"C192", 1}, {u"C192.", 1}, {u"C193", 0}, {u"T15C97", 0}, {u"T15C97.", 0},
        {u"T120C4", 48},
        // Negative lengths through wrapped digit runs count as 0 ticks.
        {u"L4294967295C", 0}, {u"L4294967295C.", 0}, {u"C18446744073709551615", 0},
        {u"C18446744073709551615.", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(show(c.text));
        MMLCommand note;
        const MML_Info info = settle(c.text, &note);
        EXPECT_EQ(mmlNoteTicks(info.Tempo, mmlNoteLength(note, info), note.dot), c.ticks);
    }
}

}  // namespace
}  // namespace bleeptone
