// The position query: settings in force and duration before a position of an
// MML text. Expected values are worked out by hand: a whole note lasts
// (18 - tempo) x 32 ticks and the result is ticks x 459 div 4410.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <ostream>
#include <string>

#include "engine/query.h"

namespace bleeptone {

void PrintTo(const MML_Info& i, std::ostream* os) {
    *os << "{EvtCnt " << i.EvtCnt << ", Tempo " << i.Tempo << ", Octave " << i.Octave << ", Transpose "
        << i.Transpose << ", NoteLen " << i.NoteLen << ", Volume " << i.Volume << ", Waveform "
        << i.Waveform << ", Decay " << i.Decay << "}";
}

namespace {

constexpr std::int64_t kAll = 2147483647;  // the whole text, as for a tune's length

std::string show(std::u16string_view text) {
    std::string s;
    for (char16_t u : text) s += (u >= 0x20 && u < 0x7F) ? static_cast<char>(u) : '?';
    return s;
}

// Defaults with a few fields changed; fields in MML_Info order.
MML_Info info(std::int32_t evt, std::int32_t tempo = 12, std::int32_t oct = 4, std::int32_t tr = 0,
              std::int32_t len = 4, std::int32_t vol = 40, std::int32_t wave = 0, std::int32_t decay = 0) {
    return MML_Info{evt, tempo, oct, tr, len, vol, wave, decay};
}

struct Case {
    std::u16string_view text;
    std::int64_t position;
    std::int64_t result;
    MML_Info expected;
};

// Runs every case through both entry points.
void check(std::initializer_list<Case> cases) {
    for (const auto& c : cases) {
        SCOPED_TRACE(show(c.text) + " at " + std::to_string(c.position));
        const std::u16string text(c.text);
        MML_Info got{-9, -9, -9, -9, -9, -9, -9, -9};
        EXPECT_EQ(PSG_GetInfoMML(text.c_str(), c.position, &got), c.result);
        EXPECT_EQ(got, c.expected);
        got = MML_Info{-9, -9, -9, -9, -9, -9, -9, -9};
        EXPECT_EQ(PSG_GetInfoMML(std::u16string_view(text), c.position, &got), c.result);
        EXPECT_EQ(got, c.expected);
    }
}

TEST(PositionQuery, Examples) {
    check({
        {u"C4", 1, 0, info(0)},                         // nothing scanned
        {u"C4D8", 5, 7, info(12)},                      // (32 + 16) / 4; 48 + 24 = 72 ticks
        {u"C4.", 4, 7, info(12)},                       // 48 / 4; (96 + 48) / 2 = 72 ticks
        {u"T15C1", 6, 9, info(32, 15)},                 // 96 ticks = 0.999 s
        {u"L3C", 4, 6, info(10, 12, 4, 0, 3)},          // 42 / 4; 64 ticks
        {u"C4:D4", 6, 4, info(8)},                      // the scan ends at ":"
        {u"C16", 3, 19, info(32)},                      // only "C1" is scanned: 192 ticks
        {u"\\1,9", 5, 0, info(0, 12, 4, 0, 4, 40, 0, 9)},
        {u"\\3", 3, 0, info(0, 12, 4, 0, 4, 40, 0, 3)},
        {u"O9C", 4, 4, info(8, 12, 9)},                 // index 108: silent but counted
        {u"O0K-1C", 7, 4, info(8, 12, 0, -1)},          // index -1: silent but counted
    });
}

TEST(PositionQuery, Durations) {
    check({
        {u"C4D8", 100, 7, info(12)},                    // positions past the end read the whole text
        {u"C4D8", kAll, 7, info(12)},
        {u"R4", kAll, 4, info(8)},                      // rests count like notes
        {u"C3.", kAll, 9, info(16)},                    // 192 / 3 = 64; 64 x 3 / 2 = 96 ticks
        {u"C3C3C3", kAll, 19, info(31)},                // 126 / 4: truncated once, on the sum
        {u"L1C.", kAll, 29, info(48, 12, 4, 0, 1)},     // 288 ticks
        {u"T0C1", kAll, 59, info(32, 0)},               // 576 ticks = 5.995 s
        {u"C4T0C4", kAll, 19, info(16, 0)},             // 48 + 144 ticks
        {u"C8\nD8", kAll, 7, info(12)},                 // the line feed drops the 8: C4 then D8
        {u"\u01434", kAll, 4, info(8)},                 // U+0143 is "C"
        {u"C4\u0100C4", kAll, 4, info(8)},              // U+0100 ends the text
        {u"L200CCCCCCCCCC", kAll, 0, info(0, 12, 4, 0, 200)},  // ten notes of 0 ticks add nothing
        {u"T15L97CCCC", kAll, 0, info(1, 15, 4, 0, 97)},       // 4 x (128 / 97); 96 / 97 = 0 ticks
        // Wrapped digit runs: a length of 0 leaves NoteLen alone, a negative one counts as 0.
        {u"L4294967296C", kAll, 4, info(8)},
        {u"L4294967295C", kAll, 0, info(0, 12, 4, 0, -1)},
        {u"L4294967295C.C4", kAll, 4, info(8, 12, 4, 0, -1)},
        {u"C18446744073709551615R4", kAll, 4, info(8)},
    });
}

TEST(PositionQuery, SettingsAndDecay) {
    check({
        {u"T180O5K-3V+W2L8", kAll, 0, info(0, 14, 5, -3, 8, 44, 2)},
        {u"*5/3", kAll, 0, info(0)},
        {u"V10:V20C1", kAll, 0, info(0, 12, 4, 0, 4, 10)},  // nothing after ":" is read
        {u":C1", kAll, 0, info(0)},
        {u"\\1,9,2,5", kAll, 0, info(0, 12, 4, 0, 4, 40, 0, 5)},  // a list gives its last number
        {u"\\.1,9,2,5", kAll, 0, info(0, 12, 4, 0, 4, 40, 0, 5)},
        {u"\\1,9,2,", kAll, 0, info(0)},
        {u"\\.5", kAll, 0, info(0, 12, 4, 0, 4, 40, 0, 5)},
        {u"\\3\\", kAll, 0, info(0)},
    });
}

TEST(PositionQuery, SettingsInTheMiddleOfATune) {
    // Tempo 90 bpm is code 10: a whole note lasts 256 ticks.
    constexpr std::u16string_view tune = u"T90O5L8V50W2\\4CD4.K-3<V+E16R2:C1";
    check({
        {tune, 1, 0, info(0)},
        {tune, 2, 0, info(0, 0)},                          // "T" alone
        {tune, 3, 0, info(0, 9)},                          // "T9"
        {tune, 4, 0, info(0, 10)},                         // "T90"
        {tune, 5, 0, info(0, 10, 0)},                      // "O" alone
        {tune, 15, 0, info(0, 10, 5, 0, 8, 50, 2, 4)},
        {tune, 16, 3, info(4, 10, 5, 0, 8, 50, 2, 4)},     // C8: 32 ticks
        {tune, 17, 6, info(8, 10, 5, 0, 8, 50, 2, 4)},     // D8: 64 ticks
        {tune, 18, 9, info(12, 10, 5, 0, 8, 50, 2, 4)},    // D4: 96 ticks
        {tune, 19, 13, info(16, 10, 5, 0, 8, 50, 2, 4)},   // D4.: 128 ticks
        {tune, 21, 13, info(16, 10, 5, 0, 8, 50, 2, 4)},   // "K-" is 0
        {tune, 22, 13, info(16, 10, 5, -3, 8, 50, 2, 4)},
        {tune, 23, 13, info(16, 10, 4, -3, 8, 50, 2, 4)},  // "<"
        {tune, 24, 13, info(16, 10, 4, -3, 8, 0, 2, 4)},   // "V" alone is 0
        {tune, 25, 13, info(16, 10, 4, -3, 8, 54, 2, 4)},
        {tune, 26, 16, info(20, 10, 4, -3, 8, 54, 2, 4)},  // E8: 160 ticks
        {tune, 27, 39, info(48, 10, 4, -3, 8, 54, 2, 4)},  // E1: 384 ticks
        {tune, 28, 14, info(18, 10, 4, -3, 8, 54, 2, 4)},  // E16: 144 ticks
        {tune, 29, 18, info(22, 10, 4, -3, 8, 54, 2, 4)},  // R8: 176 ticks
        {tune, 30, 28, info(34, 10, 4, -3, 8, 54, 2, 4)},  // R2: 272 ticks
        {tune, 31, 28, info(34, 10, 4, -3, 8, 54, 2, 4)},  // ":" ends the scan
        {tune, 32, 28, info(34, 10, 4, -3, 8, 54, 2, 4)},
        {tune, kAll, 28, info(34, 10, 4, -3, 8, 54, 2, 4)},
    });
}

TEST(PositionQuery, LongTuneDoesNotOverflow) {
    // 10,000 whole notes at tempo 0: 5,760,000 ticks, 2,643,840,000 samples.
    std::u16string text = u"T0L1" + std::u16string(10000, u'C');
    MML_Info got;
    EXPECT_EQ(PSG_GetInfoMML(text.c_str(), kAll, &got), 599510);
    EXPECT_EQ(got, info(320000, 0, 4, 0, 1));
}

TEST(PositionQuery, MissingArgumentsLeaveInfoAlone) {
    const MML_Info sentinel{1, 2, 3, 4, 5, 6, 7, 8};
    const std::u16string text = u"C1";
    MML_Info got = sentinel;
    EXPECT_EQ(PSG_GetInfoMML(static_cast<const char16_t*>(nullptr), 5, &got), 0);
    EXPECT_EQ(PSG_GetInfoMML(text.c_str(), 5, nullptr), 0);
    EXPECT_EQ(PSG_GetInfoMML(std::u16string_view(text), 5, nullptr), 0);
    for (std::int64_t position : {std::int64_t{0}, std::int64_t{-1}, std::numeric_limits<std::int64_t>::min()}) {
        EXPECT_EQ(PSG_GetInfoMML(text.c_str(), position, &got), 0);
        EXPECT_EQ(PSG_GetInfoMML(std::u16string_view(text), position, &got), 0);
    }
    EXPECT_EQ(got, sentinel);
    // A 0 code unit inside a counted text ends it as well.
    EXPECT_EQ(PSG_GetInfoMML(std::u16string_view(u"C4\0C1", 5), kAll, &got), 4);
    EXPECT_EQ(got, info(8));
}

}  // namespace
}  // namespace bleeptone
