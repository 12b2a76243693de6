// The note map: every note and rest where the engine starts it (checked
// against real renders, the demos among them), lengths, levels, passes and
// ends counted by hand, places through patterns and passages, and what the
// engine made of each command.

#include <gtest/gtest.h>

#include <QString>

#include <array>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "project/project_blocks.h"
#include "project/project_model.h"
#include "project/u16_view.h"
#include "song/note_map.h"
#include "song/song_assembly.h"
#include "tests/heard_notes.h"
#include "tests/qt_printers.h"

namespace bleeptone {
namespace {

constexpr std::uint64_t tick(std::uint64_t n) { return n * kTickSamples; }

ProjectModel project(BuiltInProject block) {
    ProjectModel m;
    EXPECT_TRUE(loadBuiltIn(block, m));
    return m;
}

ProjectModel demo(int n) {
    return project(static_cast<BuiltInProject>(static_cast<int>(BuiltInProject::Demo1) + n - 1));
}

// The map says what the engine did: the same notes and rests at the same
// frames and positions, the pitch and gain PSG_Sound gave the voice, the
// loudest gain until the next read, and the same end.
void expectAgreesWithEngine(const SongTexts& texts, const NoteMap& map, const std::string& what) {
    const bool limited = map.stop == NoteMapStop::Limit;  // then on through the loops, up to the same frame
    const testing::HeardSong heard = testing::hear(texts, limited ? map.frames : map.frames + tick(1), limited);
    ASSERT_TRUE(heard.end.has_value() || limited) << what;
    if (!limited) {
        EXPECT_EQ(*heard.end, map.frames) << what;
    }
    for (int k = 0; k < kVoices; ++k) {
        const std::vector<MappedNote>& notes = map.channels[k].notes;
        const std::vector<testing::HeardNote>& want = heard.notes[k];
        ASSERT_EQ(notes.size(), want.size()) << what << " voice " << k;
        for (std::size_t i = 0; i < notes.size(); ++i) {
            const MappedNote& n = notes[i];
            const std::string at = what + " voice " + std::to_string(k) + " note " + std::to_string(i);
            EXPECT_EQ(n.start, want[i].start) << at;
            EXPECT_EQ(n.position, want[i].position) << at;
            if (i + 1 < notes.size()) {
                EXPECT_EQ(n.end(), notes[i + 1].start) << at;
            }
            EXPECT_EQ(VolTable[n.startLevel], want[i].vmul) << at;
            EXPECT_EQ(VolTable[n.peakLevel], want[i].peakVmul) << at;
            if (n.kind == NoteKind::Note) {
                Synth voice;  // what PSG_Sound makes of the map's pitch, level and waveform
                voice.PSG_Sound(static_cast<std::uint8_t>(k), NoteTable[static_cast<std::size_t>(n.index)],
                                n.startLevel, static_cast<std::uint8_t>(n.settings.Waveform));
                EXPECT_EQ(voice.state().phase_add[k], want[i].phaseAdd) << at;
            } else {
                EXPECT_EQ(n.startLevel, 0) << at;
            }
        }
    }
}

TEST(NoteMap, AgreesWithTheEngine) {
    const std::vector<std::array<std::u16string, 4>> tunes = {
        {u"C4R8D"},
        {u"C4:", u"C2:"},
        {u"C4", u"C1:"},
        {u"V63\\8C1 \\0,9C2 \\.0,9C2 \\1,9,2,5 L8 CDEFG V0C4 \\0,0C4 \\0,9C4V5"},
        {u"O9C O8CO9C O0K-1C K+5 O7 B C R K-30 C"},
        {u"C255 D255 E T250 C T16 C T39 C T40 C1 T240 C1 L0 C L100 C C4.. D8."},
        {u"W5 O2 L16 CDEC>C<C", u"W5 O2 L16 CDEC", u"W7 O6 C", u"W9 O3 \\2 C1"},
        {u"C4 V5 *3", u"T12:", u"*1 C8 *2 R8 *3"},
        {u"T180 L16 W2 O5 CEG>C<GEC8:", u"T150 L8 W3 O3 C\\1,9,2,5 CGG:", u"T100 W4 V30 O2 C2\\4G2",
         u"T200 L16 W1 O1 V20 C*1C"},
        {u"\\3,9,0,9,0,9 V50 L2 CDE \\-8 V10 C1 V+ V- V++ C", u"", u"", u"O2 l64 " + std::u16string(200, u'c')},
    };
    for (const auto& t : tunes) {
        const SongTexts texts = {t[0], t[1], t[2], t[3]};
        expectAgreesWithEngine(texts, mapTexts(texts), QString::fromStdU16String(t[0]).toStdString());
    }
    // A tune that loops for ever, mapped past its loops up to a limit.
    const SongTexts looping = {u"T180 L16 CDE\\1,9 FG:", u"L8 CR:", u"C1:", u""};
    NoteMapLimits limits;
    limits.maxFrames = tick(1000);
    limits.passes = 0;
    expectAgreesWithEngine(looping, mapTexts(looping, limits), "looping");

    for (int d = 1; d <= 4; ++d) {
        const ProjectModel m = demo(d);
        const std::array<ChannelAssembly, 4> song = assembleSongWithMap(m);
        const SongTexts texts = {u16view(song[0].text), u16view(song[1].text), u16view(song[2].text),
                                 u16view(song[3].text)};
        const NoteMap map = mapSong(song);
        ASSERT_NE(map.stop, NoteMapStop::Limit) << "demo " << d;
        expectAgreesWithEngine(texts, map, "demo " + std::to_string(d));
        // Every note's place is a note or rest letter of its verse in the editor.
        for (const MappedChannel& ch : map.channels) {
            const QStringList verses = versesOf(m.text(control::channelEditor(ch.channel)));
            for (const MappedNote& n : ch.notes) {
                ASSERT_TRUE(n.place.has_value()) << "demo " << d;
                EXPECT_EQ(n.place->channel, ch.channel);
                const QChar letter = verseAt(verses, n.place->verse).at(n.place->column).toLower();
                EXPECT_TRUE(n.kind == NoteKind::Rest ? letter == 'r' : QString("cdefgab").contains(letter))
                    << "demo " << d << " verse " << n.place->verse << " column " << n.place->column;
            }
        }
    }
}

struct Expected {
    std::uint64_t startTick;
    std::uint32_t ticks;
    NoteKind kind;
    int index;  // note index
    int column;
    int pass;
};

TEST(NoteMap, NotesCountedByHand) {
    const struct {
        std::array<std::u16string, 2> texts;
        NoteMapLimits limits;
        NoteMapStop stop;
        std::uint64_t endTick;
        std::vector<Expected> voice0, voice1 = {};
    } rows[] = {
        // Quarter = 48 ticks at tempo 12; R8 = 24; D takes NoteLen.
        {{u"C4R8D"},
         {},
         NoteMapStop::Ended,
         120,
         {{0, 48, NoteKind::Note, 48, 0, 1}, {48, 24, NoteKind::Rest, -1, 2, 1}, {72, 48, NoteKind::Note, 50, 4, 1}}},
        {{u"T15C1"}, {}, NoteMapStop::Ended, 96, {{0, 96, NoteKind::Note, 48, 3, 1}}},
        {{u"C4."}, {}, NoteMapStop::Ended, 72, {{0, 72, NoteKind::Note, 48, 0, 1}}},
        // 192 div 255 is 0 ticks: the note lasts one.
        {{u"C255D"}, {}, NoteMapStop::Ended, 49, {{0, 1, NoteKind::Note, 48, 0, 1}, {1, 48, NoteKind::Note, 50, 4, 1}}},
        // Out of range: 9 x 12 = 108, and 0 - 1 = -1.
        {{u"O9C O0K-1C"},
         {},
         NoteMapStop::Ended,
         96,
         {{0, 48, NoteKind::Silent, 108, 2, 1}, {48, 48, NoteKind::Silent, -1, 9, 1}}},
        // A command after the last note: the channel ends a tick later.
        {{u"C4V5"}, {}, NoteMapStop::Ended, 49, {{0, 48, NoteKind::Note, 48, 0, 1}}},
        // Both loop together at tick 96; the render stops before its notes.
        {{u"C4:", u"C2:"},
         {},
         NoteMapStop::Looped,
         96,
         {{0, 48, NoteKind::Note, 48, 0, 1}, {48, 48, NoteKind::Note, 48, 0, 2}},
         {{0, 96, NoteKind::Note, 48, 0, 1}}},
        // Once channel 1 has ended, channel 2's loop is everything that plays.
        {{u"C4", u"C1:"},
         {},
         NoteMapStop::Looped,
         192,
         {{0, 48, NoteKind::Note, 48, 0, 1}},
         {{0, 192, NoteKind::Note, 48, 0, 1}}},
        // On past the loops, up to tick 200.
        {{u"C4:", u"C2:"},
         {tick(200), 0},
         NoteMapStop::Limit,
         200,
         {{0, 48, NoteKind::Note, 48, 0, 1},
          {48, 48, NoteKind::Note, 48, 0, 2},
          {96, 48, NoteKind::Note, 48, 0, 3},
          {144, 48, NoteKind::Note, 48, 0, 4},
          {192, 48, NoteKind::Note, 48, 0, 5}},
         {{0, 96, NoteKind::Note, 48, 0, 1}, {96, 96, NoteKind::Note, 48, 0, 2}, {192, 96, NoteKind::Note, 48, 0, 3}}},
        // Four empty texts end at the first tick.
        {{u"", u""}, {}, NoteMapStop::Ended, 0, {}},
    };
    for (const auto& r : rows) {
        const std::string what = QString::fromStdU16String(r.texts[0]).toStdString();
        const NoteMap map = mapTexts({r.texts[0], r.texts[1], u"", u""}, r.limits);
        EXPECT_EQ(map.stop, r.stop) << what;
        EXPECT_EQ(map.frames, tick(r.endTick)) << what;
        const std::vector<Expected>* want[2] = {&r.voice0, &r.voice1};
        for (int k = 0; k < 2; ++k) {
            const std::vector<MappedNote>& notes = map.channels[k].notes;
            ASSERT_EQ(notes.size(), want[k]->size()) << what << " voice " << k;
            for (std::size_t i = 0; i < notes.size(); ++i) {
                const Expected& e = (*want[k])[i];
                EXPECT_EQ(notes[i].start, tick(e.startTick)) << what << " note " << i;
                EXPECT_EQ(notes[i].ticks, e.ticks) << what << " note " << i;
                EXPECT_EQ(notes[i].kind, e.kind) << what << " note " << i;
                if (e.kind != NoteKind::Rest) {
                    EXPECT_EQ(notes[i].index, e.index) << what << " note " << i;
                }
                ASSERT_TRUE(notes[i].place.has_value());
                EXPECT_EQ(*notes[i].place, (EditorPlace{k + 1, 1, e.column})) << what << " note " << i;
                EXPECT_EQ(notes[i].pass, e.pass) << what << " note " << i;
            }
        }
    }

    // Where each channel ends or loops, and the song's length.
    const NoteMap loops = mapTexts({u"C4:", u"C2:", u"", u""}, {tick(200), 0});
    EXPECT_EQ(loops.channels[0].loopFrame, tick(48));
    EXPECT_EQ(loops.channels[1].loopFrame, tick(96));
    EXPECT_EQ(loops.channels[0].passes, 5);
    EXPECT_EQ(loops.commonLoops, (std::vector<std::uint64_t>{tick(96), tick(192)}));
    EXPECT_EQ(loops.songLength, tick(96));
    EXPECT_EQ(loops.channels[2].endFrame, 0u);
    EXPECT_FALSE(loops.channels[2].hasText);
    const NoteMap ends = mapTexts({u"C4", u"C1:", u"", u""});
    EXPECT_EQ(ends.channels[0].endFrame, tick(48));
    EXPECT_FALSE(ends.channels[0].loopFrame.has_value());
    EXPECT_EQ(ends.channels[1].passes, 1);
    EXPECT_EQ(ends.songLength, tick(192));

    // The note sounding at a moment.
    EXPECT_EQ(ends.noteAt(0, tick(47) + 458), &ends.channels[0].notes[0]);
    EXPECT_EQ(ends.noteAt(0, tick(48)), nullptr);
    EXPECT_EQ(ends.noteAt(1, tick(100)), &ends.channels[1].notes[0]);
    EXPECT_EQ(ends.noteAt(2, 0), nullptr);
}

TEST(NoteMap, LevelsOfDecaysAndEnvelopes) {
    const struct {
        std::u16string text;
        int start, peak;
    } rows[] = {
        {u"C4", 40, 40},
        {u"V0C4", 0, 0},  // starts silent and stays so: MIDI leaves it out
        {u"O9C", 0, 0},
        {u"\\1,9R", 0, 0},
        {u"V63\\8C1", 63, 63},
        // Rising from 0: 40 x 46/48 = 38.3 at the last tick heard before the end.
        {u"\\0,9C4", 0, 38},
        // Commands after it keep the voice one tick more: 40 x 47/48 = 39.2.
        {u"\\0,9C4V5", 0, 39},
        // Stepped: silent for the first half, then 320 x 9 / 72 = 40.
        {u"\\.0,9C2", 0, 40},
        // 320 x 1 / 72 = 4.4 at its start; the envelope's 9 gives 40.
        {u"\\1,9,2,5C1", 4, 40},
    };
    for (const auto& r : rows) {
        const NoteMap map = mapTexts({r.text, u"", u"", u""});
        ASSERT_EQ(map.channels[0].notes.size(), 1u);
        EXPECT_EQ(map.channels[0].notes[0].startLevel, r.start) << QString::fromStdU16String(r.text).toStdString();
        EXPECT_EQ(map.channels[0].notes[0].peakLevel, r.peak) << QString::fromStdU16String(r.text).toStdString();
    }
}

TEST(NoteMap, CommandsSayWhatTheEngineMadeOfThem) {
    const NoteMap map = mapTexts({u"V100 T250 W9 L0 K30 K-3 C4V5", u"", u"", u""});
    const std::vector<MappedCommand>& c = map.channels[0].commands;
    ASSERT_EQ(c.size(), 8u);  // six settings, V5 and the end of the text
    EXPECT_EQ(c[0].number, 100);
    EXPECT_EQ(c[0].before.Volume, 40);
    EXPECT_EQ(c[0].after.Volume, 36);  // the low 6 bits
    EXPECT_EQ(c[1].after.Tempo, 12);   // above 240: ignored
    EXPECT_EQ(c[2].after.Waveform, 9);
    EXPECT_EQ(c[3].after.NoteLen, 4);  // L0 changes nothing
    EXPECT_EQ(c[4].after.Transpose, 0);
    EXPECT_EQ(c[5].after.Transpose, -3);
    EXPECT_EQ(c[5].sign, -1);
    EXPECT_EQ(c[5].place, (EditorPlace{1, 1, 20}));
    EXPECT_EQ(map.channels[0].notes[0].index, 45);  // 48 - 3
    EXPECT_EQ(map.channels[0].notes[0].settings.Volume, 36);
    EXPECT_EQ(c[6].frame, tick(48));  // read when the note has run out
    EXPECT_EQ(c[7].code, 0);          // then the end of the text
    EXPECT_EQ(c[7].position, 28);
    EXPECT_EQ(map.channels[0].endFrame, tick(49));
}

TEST(NoteMap, PlacesThroughPatternsPrefixesAndLoops) {
    ProjectModel m = project(BuiltInProject::NewTemplate);
    m.setText(control::channelEditor(1), "c4 d4\ne4");
    m.setText(control::patternField(1), "1+2+1");
    m.setText(control::channelEditor(2), "c2\n:");
    m.setText(control::patternField(2), "1+2");
    m.setText(control::channelEditor(3), "c1");
    m.setState(control::muteBox(3), 1);
    const NoteMap map = mapSong(assembleSongWithMap(m));

    // Verse 1 played twice: both times the same text.
    const EditorPlace v1c{1, 1, 0}, v1d{1, 1, 3}, v2e{1, 2, 0};
    const std::vector<std::pair<std::uint64_t, EditorPlace>> want = {
        {0, v1c}, {48, v1d}, {96, v2e}, {144, v1c}, {192, v1d}};
    const std::vector<MappedNote>& one = map.channels[0].notes;
    ASSERT_EQ(one.size(), want.size());
    for (std::size_t i = 0; i < want.size(); ++i) {
        EXPECT_EQ(one[i].start, tick(want[i].first)) << i;
        EXPECT_EQ(one[i].place, want[i].second) << i;
    }
    const std::vector<VerseStart>& verses = map.channels[0].verses;
    ASSERT_EQ(verses.size(), 3u);
    EXPECT_EQ(verses[1].frame, tick(96));
    EXPECT_EQ(verses[1].verse, 2);
    EXPECT_EQ(verses[2].frame, tick(144));
    EXPECT_EQ(verses[2].verse, 1);
    EXPECT_EQ(verses[2].segment, 2);
    EXPECT_EQ(map.channels[0].endFrame, tick(240));
    // The prefix's commands come from no verse.
    ASSERT_FALSE(map.channels[0].commands.empty());
    EXPECT_FALSE(map.channels[0].commands[0].place.has_value());

    // Channel 2 loops through its verse ":" every 96 ticks; once channel 1
    // has ended, the loop at tick 288 is common and the map stops there.
    EXPECT_EQ(map.stop, NoteMapStop::Looped);
    EXPECT_EQ(map.frames, tick(288));
    const std::vector<MappedNote>& two = map.channels[1].notes;
    ASSERT_EQ(two.size(), 3u);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(two[i].start, tick(96 * i));
        EXPECT_EQ(two[i].pass, i + 1);
        EXPECT_EQ(two[i].place, (EditorPlace{2, 1, 0}));
    }
    EXPECT_EQ(map.channels[1].loopFrame, tick(96));
    const std::vector<VerseStart>& loopVerses = map.channels[1].verses;
    ASSERT_GE(loopVerses.size(), 3u);
    EXPECT_EQ(loopVerses[1].verse, 2);  // the ":" verse, entered when verse 1 has run out
    EXPECT_EQ(loopVerses[1].frame, tick(96));
    EXPECT_EQ(loopVerses[2].pass, 2);
    EXPECT_EQ(loopVerses[2].frame, tick(96));

    // A muted channel plays nothing.
    EXPECT_FALSE(map.channels[2].hasText);
    EXPECT_TRUE(map.channels[2].notes.empty());
}

TEST(NoteMap, Passage) {
    const QString editor = "c4 d4 e4\nf4";
    const std::optional<Passage> passage = selectedPassage("T12 W0 O4 \\0 V40 ", editor, 3, 5);  // "d4 e4"
    ASSERT_TRUE(passage.has_value());
    const NoteMap map = mapPassage(*passage, 3);
    // Channel 3's passage plays on the second voice.
    EXPECT_EQ(map.channels[1].channel, 3);
    const std::vector<MappedNote>& notes = map.channels[1].notes;
    ASSERT_EQ(notes.size(), 2u);
    EXPECT_EQ(notes[0].start, 0u);
    EXPECT_EQ(notes[0].index, 50);
    EXPECT_EQ(notes[0].place, (EditorPlace{3, 1, 3}));
    EXPECT_EQ(notes[1].start, tick(48));
    EXPECT_EQ(notes[1].place, (EditorPlace{3, 1, 6}));
    EXPECT_EQ(map.frames, tick(96));
    ASSERT_EQ(map.channels[1].verses.size(), 1u);
    EXPECT_EQ(map.channels[1].verses[0].verse, 1);
    EXPECT_TRUE(map.channels[0].notes.empty());
}

}  // namespace
}  // namespace bleeptone
