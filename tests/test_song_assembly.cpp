// Song assembly on a ProjectModel: the number rule, verses, channel prefixes,
// patterns, the whole song's channel texts, the passage of a selection with
// its settings preamble, the song length and the playing-time text.

#include <gtest/gtest.h>

#include <QString>
#include <QStringList>

#include <array>
#include <climits>
#include <optional>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "project/number_rule.h"
#include "project/project_blocks.h"
#include "project/project_fields.h"
#include "project/project_model.h"
#include "project/u16_view.h"
#include "song/song_assembly.h"
#include "song/song_positions.h"
#include "tests/qt_printers.h"

namespace bleeptone {
namespace {

constexpr int patternField(int channel) { return 61 + 2 * (channel - 1); }

ProjectModel newTemplate() {
    ProjectModel m;
    EXPECT_TRUE(loadBuiltIn(BuiltInProject::NewTemplate, m));
    return m;
}

ProjectModel demo(int n) {
    ProjectModel m;
    EXPECT_TRUE(loadBuiltIn(static_cast<BuiltInProject>(static_cast<int>(BuiltInProject::Demo1) + n - 1), m));
    return m;
}

// The New template's prefix: tempo 12, triangle, octave 4, no decay, volume 40.
const QString kNewPrefix = "T12 W0 O4 \\0 V40 ";

TEST(NumberRule, ReadsSignedDecimalHexAndBinary) {
    const struct {
        QString text;
        int value;
    } rows[] = {
        {"", 0},
        {"12", 12},
        {"007", 7},
        {"  7", 7},
        {"\t-3", -3},
        {" \t +5", 5},
        {"12ab", 12},  // digits up to the first other character
        {"1 2", 1},    // a blank ends the number
        {"a", 0},
        {"-", 0},
        {"- 5", 0},    // blanks are skipped only before the sign
        {"$10", 16},
        {"$ff", 255},
        {"$FF", 255},
        {"$1g", 1},
        {"$", 0},
        {"%11", 3},
        {"%102", 2},  // "2" is no binary digit
        {"%", 0},
        {"99999999999999999999", INT_MAX},  // held within the int range
    };
    for (const auto& r : rows) EXPECT_EQ(numberRule(r.text), r.value) << r.text.toStdString();
    // Project files: decimal digits only.
    EXPECT_EQ(decimalNumber(u" \t-12x"), -12);
    EXPECT_EQ(decimalNumber(u"$10"), 0);
    EXPECT_EQ(decimalNumber(u"%11"), 0);
}

TEST(Verses, LinesOfTheEditor) {
    EXPECT_TRUE(versesOf("").isEmpty());
    EXPECT_EQ(versesOf("cde"), QStringList({"cde"}));
    EXPECT_EQ(versesOf("cde\n\nfg"), QStringList({"cde", "", "fg"}));
    EXPECT_EQ(versesOf("cde\n"), QStringList({"cde", ""}));  // an empty last verse
    EXPECT_EQ(versesOf("\n"), QStringList({"", ""}));

    const QStringList verses = {"c", "d", "e"};
    const struct {
        int v;
        QString verse;
    } rows[] = {{1, "c"}, {3, "e"}, {0, ""}, {-1, ""}, {4, ""}, {INT_MIN, ""}, {INT_MAX, ""}};
    for (const auto& r : rows) EXPECT_EQ(verseAt(verses, r.v), r.verse) << r.v;
}

TEST(ChannelPrefix, SettingsAsTheControlsShowThem) {
    const struct {
        int channel, tempo, waveform, octave, volume, decay;
        QString prefix;
    } rows[] = {
        {1, 13, 4, 2, 40, 3, "T13 W4 O2 \\3 V40 "},
        {1, 0, 5, 0, 0, 0, "T0 W5 O0 \\0 V0 "},  // noise is channel 1's sixth waveform
        {2, 15, 1, 8, 63, 32, "T15 W1 O8 \\32 V63 "},
        {4, 9, 3, 5, 37, 10, "T9 W3 O5 \\10 V37 "},
    };
    for (const auto& r : rows) {
        ProjectModel m = newTemplate();
        m.setState(control::TempoBox, r.tempo);
        m.setState(control::waveformBox(r.channel), r.waveform);
        m.setState(control::octaveBox(r.channel), r.octave);
        m.setState(control::volumeBox(r.channel), r.volume);
        m.setState(control::decayBox(r.channel), r.decay);
        EXPECT_EQ(channelPrefix(m, r.channel), r.prefix) << r.channel;
        // As Copy MML writes it.
        EXPECT_EQ(channelPrefix(m, r.channel, PrefixLetters::Lower), r.prefix.toLower()) << r.channel;
    }
    // The tempo is shared; the rest belongs to each channel.
    ProjectModel m = newTemplate();
    m.setState(control::TempoBox, 7);
    m.setState(control::octaveBox(3), 6);
    EXPECT_EQ(channelPrefix(m, 1), "T7 W0 O4 \\0 V40 ");
    EXPECT_EQ(channelPrefix(m, 3), "T7 W0 O6 \\0 V40 ");
}

TEST(Patterns, EntriesNameVersesByTheNumberRule) {
    // Channel 1 holds the verses c, d and e; each case names its pattern
    // and the channel text after the New template's prefix.
    const struct {
        QString pattern;
        QString afterPrefix;
    } rows[] = {
        {"", "c"},            // verse 1, no blank after it
        {"3", "e"},           // one character: that verse alone, no blank
        {"3+1", "e c "},      // each entry followed by one blank
        {" 1 + 2 ", "c d "},  // blanks dropped
        {"1++2", "c  d "},    // the empty middle entry plays nothing
        {"0", ""},
        {"-1", " "},          // two characters: an entry that plays nothing
        {"4", ""},            // beyond the last verse
        {"1+4+2", "c  d "},
        {"a", ""},            // not a number
        {"a+2", " d "},
        {"+3", " e "},        // two entries: an empty one, then 3
        {"%11", "e "},        // binary 3
        {"$2+%1", "d c "},
        {"1+1+1", "c c c "},
        {"+", ""},            // one character: its number is 0
        {"++", "   "},        // three empty entries
    };
    for (const auto& r : rows) {
        ProjectModel m = newTemplate();
        m.setText(control::channelEditor(1), "c\nd\ne");
        m.setText(patternField(1), r.pattern);
        EXPECT_EQ(channelSongText(m, 1), kNewPrefix + r.afterPrefix) << '"' << r.pattern.toStdString() << '"';
    }
}

TEST(Patterns, HexadecimalAndDecimalEntriesAmongSixteenVerses) {
    ProjectModel m = newTemplate();
    QStringList verses;
    for (int v = 1; v <= 16; ++v) verses << QString("r%1").arg(v);
    m.setText(control::channelEditor(2), verses.join('\n'));
    const struct {
        QString pattern;
        QString afterPrefix;
    } rows[] = {
        {"$10", "r16 "},
        {"10", "r10 "},
        {"$a+16", "r10 r16 "},
        {"$11", " "},  // 17: beyond the last verse
    };
    for (const auto& r : rows) {
        m.setText(patternField(2), r.pattern);
        EXPECT_EQ(channelSongText(m, 2), kNewPrefix + r.afterPrefix) << r.pattern.toStdString();
    }
}

TEST(Patterns, NoLimitOnTheNumberOfVerses) {
    ProjectModel m = newTemplate();
    QStringList verses;
    for (int v = 1; v <= 300; ++v) verses << (v == 256 ? "e8" : v == 300 ? "d8" : "c");
    m.setText(control::channelEditor(1), verses.join('\n'));
    const struct {
        QString pattern;
        QString afterPrefix;
    } rows[] = {{"300", "d8 "}, {"256+300+1", "e8 d8 c "}, {"301", " "}};
    for (const auto& r : rows) {
        m.setText(patternField(1), r.pattern);
        EXPECT_EQ(channelSongText(m, 1), kNewPrefix + r.afterPrefix) << r.pattern.toStdString();
    }
}

TEST(AssembleSong, TheLoopingVerseExample) {
    ProjectModel m = newTemplate();
    m.setState(control::TempoBox, 13);
    m.setState(control::waveformBox(1), 4);
    m.setState(control::octaveBox(1), 2);
    m.setState(control::volumeBox(1), 40);
    m.setState(control::decayBox(1), 3);
    m.setText(control::channelEditor(1), "w4 \\3 o2 dd2 w5 \\4 o5 c\nw4 \\3 o2 d2 w5 \\4 o5 cd\n:");
    m.setText(patternField(1), "1+1+2+3");
    EXPECT_EQ(channelSongText(m, 1),
              "T13 W4 O2 \\3 V40 w4 \\3 o2 dd2 w5 \\4 o5 c w4 \\3 o2 dd2 w5 \\4 o5 c w4 \\3 o2 d2 w5 \\4 o5 cd : ");
}

TEST(AssembleSong, Demo1) {
    const std::array<QString, 4> texts = assembleSong(demo(1));
    const QString v1 = "L8 G4B-B-G4B-B-  G4>E-E-<G4>E-E-<  A>CF4<A>CF4<  F4AAGB->D4< ";
    const QString v2 = "L8 GB->D4<GB->D4<  GB->E-<B-GB->E-<B-  A>CF4<A>CF4<  FA>C<AGB->D4< ";
    const QString c3v1 = "L4 GG2G8F8 E-E-2E-8D8 CCCD E-2D2 ";
    const QString c3v2 = "B-B-2B-8A8 GG2G8F8 CCCD E-2D2 ";
    const QString c3v3 = "B-B-2B-8A8 GG2G8F8 ACFA G2D2 ";
    EXPECT_EQ(texts[0], "T11 W1 O1 \\8 V48 " + v1 + v1 + v1 + v1);
    EXPECT_EQ(texts[1], "T11 W4 O3 \\2 V42 " + v2 + v2 + v2 + v2);
    EXPECT_EQ(texts[2], "T11 W4 O5 \\1 V44 " + c3v1 + c3v2 + c3v1 + c3v3);
    EXPECT_EQ(texts[3], "");  // no verses
}

TEST(AssembleSong, MutedAndEmptyChannels) {
    ProjectModel m = demo(1);
    m.setState(control::muteBox(2), 1);
    const std::array<QString, 4> texts = assembleSong(m);
    EXPECT_FALSE(texts[0].isEmpty());
    EXPECT_EQ(texts[1], "");  // muted
    EXPECT_FALSE(texts[2].isEmpty());
    EXPECT_EQ(texts[3], "");  // empty editor, whatever its pattern
    EXPECT_TRUE(channelSounds(m, 1));
    EXPECT_FALSE(channelSounds(m, 2));
    EXPECT_FALSE(channelSounds(m, 4));

    for (int c = 1; c <= 4; ++c) m.setState(control::muteBox(c), 1);
    EXPECT_EQ(assembleSong(m), (std::array<QString, 4>{}));

    // An editor holding only a line break has two empty verses: it sounds
    // (its settings play), unlike an empty editor.
    ProjectModel n = newTemplate();
    n.setText(control::channelEditor(4), "\n");
    n.setText(patternField(4), "1+2");
    EXPECT_TRUE(channelSounds(n, 4));
    EXPECT_EQ(channelSongText(n, 4), kNewPrefix + "  ");
    n.setText(control::channelEditor(3), "");
    n.setText(patternField(3), "1+2");
    EXPECT_EQ(channelSongText(n, 3), "");
}

TEST(SongLength, LongestChannelUpToItsFirstLoop) {
    // A whole note at tempo 12 lasts 192 ticks: 192 x 459 / 4410 = 19.98, so 19.
    const struct {
        std::array<QString, 4> texts;
        qint64 tenths;
    } rows[] = {
        {{"", "", "", ""}, 0},
        {{"C1", "", "", ""}, 19},
        {{"", "C4:C1C1C1", "", ""}, 4},        // 48 ticks before the ":"
        {{"C1", "C1C1", "C4", ""}, 39},        // 384 ticks
        {{"", "", "", "T15 C1 C1 C1 C1"}, 39},  // 4 x 96 ticks
    };
    for (const auto& r : rows) EXPECT_EQ(songLengthTenths(r.texts), r.tenths) << r.texts[0].toStdString();

    // Demo 1: every channel plays 16 bars of 224 ticks (tempo 11): 3584 ticks.
    EXPECT_EQ(songLengthTenths(assembleSong(demo(1))), 373);
    // Demo 4: channels 1 to 3 play 1920 ticks (tempo 13) before their ":".
    EXPECT_EQ(songLengthTenths(assembleSong(demo(4))), 199);
}

// Demo 4's channel 1 holds the verse "w4 \3 o2 d2 w5 \4 o5 cd" as its second
// line (offsets 24..46, its line break at 47), after the prefix
// "T13 W4 O2 \3 V40 " (17 characters).
const QString kLoopingEditor = "w4 \\3 o2 dd2 w5 \\4 o5 c\nw4 \\3 o2 d2 w5 \\4 o5 cd\n:";
const QString kLoopingPrefix = "T13 W4 O2 \\3 V40 ";

TEST(SelectedPassage, PreambleCarriesTheSettingsAtItsStart) {
    const struct {
        const char* what;
        QString prefix, editor;
        int start, length;
        QString text;
        int shownStart, shownLength;
    } rows[] = {
        // "cd" at offsets 21 and 22 of the line: query position 17 + 21 + 1 = 39.
        {"cd", kLoopingPrefix, kLoopingEditor, 45, 2, "T13O5K0L4V40W5\\4*cd", 45, 2},
        // From "o5" into the next line: shortened to the end of the line's text.
        {"across lines", kLoopingPrefix, kLoopingEditor, 42, 7, "T13O2K0L4V40W5\\4*o5 cd", 42, 5},
        // Up to and including the line break: the same.
        {"with line break", kLoopingPrefix, kLoopingEditor, 45, 3, "T13O5K0L4V40W5\\4*cd", 45, 2},
        // From the first line far into the text.
        {"first line", kLoopingPrefix, kLoopingEditor, 0, 40, "T13O2K0L4V40W4\\3*w4 \\3 o2 dd2 w5 \\4 o5 c", 0, 23},
        // Nothing before the passage but the prefix.
        {"at line start", kNewPrefix, "cde\nfg", 4, 2, "T12O4K0L4V40W0\\0*fg", 4, 2},
        // An envelope before the passage is carried as a plain decay.
        {"envelope", kNewPrefix, "\\1,9 cde", 5, 3, "T12O4K0L4V40W0\\9*cde", 5, 3},
        {"transpose", kNewPrefix, "K-2 L8 cde", 7, 3, "T12O4K-2L8V40W0\\0*cde", 7, 3},
        // The settings of the line before the passage, not those after it.
        {"later settings", kNewPrefix, "o2 c o6 d", 5, 4, "T12O2K0L4V40W0\\0*o6 d", 5, 4},
        // Past the end of the text: held to the text.
        {"past the end", kNewPrefix, "cde\nfg", 5, 10, "T12O4K0L4V40W0\\0*g", 5, 1},
    };
    for (const auto& r : rows) {
        const auto passage = selectedPassage(r.prefix, r.editor, r.start, r.length);
        ASSERT_TRUE(passage.has_value()) << r.what;
        EXPECT_EQ(passage->text, r.text) << r.what;
        EXPECT_EQ(passage->selectionStart, r.shownStart) << r.what;
        EXPECT_EQ(passage->selectionLength, r.shownLength) << r.what;
    }
}

TEST(SelectedPassage, NoneOrEmpty) {
    // No selection: no passage at all.
    EXPECT_FALSE(selectedPassage(kLoopingPrefix, kLoopingEditor, 45, 0).has_value());
    EXPECT_FALSE(selectedPassage(kLoopingPrefix, "", 0, 0).has_value());
    // A selection of only a line break (alone or reaching into the next
    // line) holds no text of its line: an empty passage, shrunk to nothing.
    for (int length : {1, 3}) {
        const auto passage = selectedPassage(kLoopingPrefix, kLoopingEditor, 47, length);
        ASSERT_TRUE(passage.has_value()) << length;
        EXPECT_TRUE(passage->text.isEmpty()) << length;
        EXPECT_EQ(passage->selectionStart, 47);
        EXPECT_EQ(passage->selectionLength, 0);
    }
    // An empty line between two others.
    const auto empty = selectedPassage(kNewPrefix, "c\n\nd", 2, 2);
    ASSERT_TRUE(empty.has_value());
    EXPECT_TRUE(empty->text.isEmpty());
}

TEST(PlayingTime, ElapsedAgainstTheLength) {
    const struct {
        QString status;
        qint64 elapsedMs, lengthTenths;
        QString text;
    } rows[] = {
        {"Playing  ", 83400, 1234, "Playing  01:23.4 / 02:03.4"},
        {"Playing  ", 0, 373, "Playing  00:00.0 / 00:37.3"},
        {"Recording  ", 5000, 7, "Recording  00:05.0 / 00:00.7"},  // a one-digit length
        {"Playing  ", 59960, 600, "Playing  00:60.0 / 01:00.0"},   // 59.96 s rounds to 60.0
        {"Playing  ", 119960, 0, "Playing  01:60.0 / 00:00.0"},
        {"Playing  ", 9999, 10, "Playing  00:10.0 / 00:01.0"},
        {"Playing  ", 61240, 6009, "Playing  01:01.2 / 10:00.9"},
        // More than 99 minutes: only the first two digits of the minutes.
        {"Playing  ", 6005000, 62345, "Playing  10:05.0 / 10:54.5"},
        {"", 0, 0, "00:00.0 / 00:00.0"},
    };
    for (const auto& r : rows)
        EXPECT_EQ(playingTimeText(r.status, r.elapsedMs, r.lengthTenths), r.text) << r.elapsedMs;
}

}  // namespace
}  // namespace bleeptone

namespace bleeptone {
namespace {

// ------------------------------------------------------ position mapping

// The looping example: prefix of 17, verses of 23, 23 and 1 characters,
// pattern "1+1+2+3", each verse followed by a blank.
TEST(SongPositions, SegmentsOfTheAssembledText) {
    ProjectModel m = newTemplate();
    m.setState(control::TempoBox, 13);
    m.setState(control::waveformBox(1), 4);
    m.setState(control::octaveBox(1), 2);
    m.setState(control::decayBox(1), 3);
    m.setText(control::channelEditor(1), kLoopingEditor);
    m.setText(patternField(1), "1+1+2+3");
    const ChannelAssembly a = assembleChannel(m, 1);
    EXPECT_EQ(a.text, channelSongText(m, 1));
    EXPECT_EQ(a.segments, (std::vector<TextSegment>{{17, 23, 1}, {41, 23, 1}, {65, 23, 2}, {89, 1, 3}}));

    const struct {
        int position;
        std::optional<EditorPlace> place;
    } rows[] = {
        // The prefix (0..16), verse 1, the joining blank at 40, verse 1 again.
        {0, std::nullopt},
        {16, std::nullopt},
        {17, EditorPlace{1, 1, 0}},
        {39, EditorPlace{1, 1, 22}},
        {40, std::nullopt},
        {41, EditorPlace{1, 1, 0}},
        // Verse 2, a blank, verse 3, the last blank, past the end.
        {86, EditorPlace{1, 2, 21}},
        {88, std::nullopt},
        {89, EditorPlace{1, 3, 0}},
        {90, std::nullopt},
        {91, std::nullopt},
        {-1, std::nullopt},
    };
    for (const auto& r : rows) EXPECT_EQ(placeInSong(a, 1, r.position), r.place) << r.position;

    // Play from Here: the first time the pattern plays the verse.
    EXPECT_EQ(songPositionOf(a, 1, 5), 22);
    EXPECT_EQ(songPositionOf(a, 2, 0), 65);
    EXPECT_EQ(songPositionOf(a, 2, 99), 88);  // held at the verse's end
    EXPECT_EQ(songPositionOf(a, 2, -3), 65);
    EXPECT_EQ(songPositionOf(a, 4, 0), std::nullopt);  // not in the editor
    m.setText(patternField(1), "2+3");
    EXPECT_EQ(songPositionOf(assembleChannel(m, 1), 1, 0), std::nullopt);  // not in the pattern
}

TEST(SongPositions, PatternsMutesAndEmptyEditors) {
    ProjectModel m = newTemplate();
    m.setText(control::channelEditor(2), "cde\n\nfg");  // verses of 3, 0 and 2
    const struct {
        QString pattern;
        std::vector<TextSegment> segments;
    } rows[] = {
        {"", {{17, 3, 1}}},                  // verse 1 alone, no blank
        {"3", {{17, 2, 3}}},                 // one character: that verse alone
        {"0", {}},                           // names no verse
        {"2+3", {{17, 0, 2}, {18, 2, 3}}},   // an empty verse keeps its place
        {"3++1", {{17, 2, 3}, {21, 3, 1}}},  // the empty entry adds one blank
        {" 1 + 9 + 1", {{17, 3, 1}, {22, 3, 1}}},
    };
    for (const auto& r : rows) {
        m.setText(patternField(2), r.pattern);
        const ChannelAssembly a = assembleChannel(m, 2);
        EXPECT_EQ(a.segments, r.segments) << r.pattern.toStdString();
        EXPECT_EQ(a.text, channelSongText(m, 2));
    }
    m.setState(control::muteBox(2), 1);
    EXPECT_TRUE(assembleChannel(m, 2).segments.empty());
    EXPECT_EQ(songPositionOf(assembleChannel(m, 2), 1, 0), std::nullopt);
    EXPECT_TRUE(assembleChannel(m, 3).segments.empty());  // no verses
}

// Every segment of every demo holds its verse, and a playing demo's
// sounding positions all lead back to note or rest letters in the editors.
TEST(SongPositions, DemosMapBackToTheirEditors) {
    for (int d = 1; d <= 4; ++d) {
        const ProjectModel m = demo(d);
        const std::array<ChannelAssembly, 4> song = assembleSongWithMap(m);
        for (int c = 1; c <= 4; ++c) {
            const QStringList verses = versesOf(m.text(control::channelEditor(c)));
            for (const TextSegment& s : song[c - 1].segments)
                EXPECT_EQ(song[c - 1].text.mid(s.offset, s.length), verses[s.verse - 1]) << d << "/" << c;
        }
        auto engine = Engine::create();
        engine->PSG_PlayMML(u16view(song[0].text), u16view(song[1].text), u16view(song[2].text), u16view(song[3].text));
        std::vector<float> buf(kTickSamples);
        int mapped = 0;
        for (int tick = 0; tick < 2000; ++tick) {
            engine->PSG_Core(buf.data(), buf.size());
            PlayheadSnapshot snap;
            ASSERT_TRUE(engine->playheadAt(engine->framesRendered() - 1, snap));
            for (int c = 1; c <= 4; ++c) {
                if (snap.positions[c - 1] < 0) continue;
                const auto place = placeInSong(song[c - 1], c, snap.positions[c - 1]);
                ASSERT_TRUE(place.has_value()) << "demo " << d << " tick " << tick;
                const QChar letter = verseAt(versesOf(m.text(control::channelEditor(c))), place->verse)[place->column];
                ASSERT_TRUE(QString("CDEFGABRcdefgabr").contains(letter)) << "demo " << d << " tick " << tick;
                ++mapped;
            }
        }
        EXPECT_GT(mapped, 2000) << d;
    }
}

// The passage "T13O5K0L4V40W5\4*cd" of "cd" at columns 21 and 22 of verse 2.
TEST(SongPositions, PassageMapsBackToItsEditor) {
    const auto p = selectedPassage(kLoopingPrefix, kLoopingEditor, 45, 2);
    ASSERT_TRUE(p.has_value());
    EXPECT_EQ(p->preambleLength, 17);
    const struct {
        int position;
        std::optional<EditorPlace> place;
    } rows[] = {{0, std::nullopt},
                {16, std::nullopt},
                {17, EditorPlace{3, 2, 21}},
                {18, EditorPlace{3, 2, 22}},
                {19, std::nullopt}};
    for (const auto& r : rows) EXPECT_EQ(placeInPassage(*p, 3, r.position), r.place) << r.position;
    EXPECT_EQ(passageVoice(1), 0);
    EXPECT_EQ(passageVoice(3), 1);
    const auto empty = selectedPassage(kNewPrefix, "c\n\nd", 2, 2);
    EXPECT_EQ(placeInPassage(*empty, 1, 0), std::nullopt);
}

TEST(SongPositions, EditorOffsetsAndPlaces) {
    const QString editor = "cde\n\nfg";
    const struct { int offset, verse, column; } rows[] = {{0, 1, 0}, {3, 1, 3}, {4, 2, 0}, {5, 3, 0}, {7, 3, 2}};
    for (const auto& r : rows) {
        EXPECT_EQ(editorPlaceAt(editor, 2, r.offset), (EditorPlace{2, r.verse, r.column})) << r.offset;
        EXPECT_EQ(editorOffset(editor, r.verse, r.column), r.offset) << r.offset;
    }
    EXPECT_EQ(editorPlaceAt(editor, 2, 99), (EditorPlace{2, 3, 2}));  // held to the text
    EXPECT_EQ(editorOffset(editor, 1, 9), 3);                         // held to the line
    EXPECT_EQ(editorOffset(editor, 4, 0), -1);
    EXPECT_EQ(editorOffset(editor, 0, 0), -1);
}

}  // namespace
}  // namespace bleeptone
