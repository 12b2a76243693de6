// Import MIDI: lengths, the grid's clock, voices, the tidy MML, the report,
// and the round trip of the demos through a MIDI file.
#include <gtest/gtest.h>

#include <map>
#include <set>

#include "engine/constants.h"
#include "export/midi_export.h"
#include "export/midi_import.h"
#include "export/midi_mml.h"
#include "project/project_blocks.h"
#include "project/project_model.h"
#include "song/note_map.h"
#include "song/song_assembly.h"
#include "tests/qt_printers.h"

using namespace bleeptone;

namespace bleeptone {
inline void PrintTo(const MmlLength& l, std::ostream* os) { *os << l.number << (l.dot ? "." : ""); }
}  // namespace bleeptone

namespace {

std::vector<MmlLength> L(std::initializer_list<std::pair<int, bool>> list) {
    std::vector<MmlLength> out;
    for (const auto& [n, dot] : list) out.push_back({n, dot});
    return out;
}

TEST(MidiImport, TheFewestAndPlainestLengths) {
    // Tempo 12: a whole note is 192 ticks; tempo 13: 160.
    const struct {
        int tempo, ticks;
        std::vector<MmlLength> lengths;
    } cases[] = {
        {12, 48, L({{4, false}})},
        {12, 72, L({{4, true}})},
        {12, 64, L({{3, false}})},               // a length may be any number
        {12, 60, L({{4, false}, {16, false}})},  // none gives 60: the fewest that add up
        {12, 9, L({{32, true}})},                // 192 / 21 is 9 too, but 32. is plainer
        {12, 1, L({{128, false}})},              // 192 div 128
        {12, 2, L({{96, false}})},
        {12, 384, L({{1, false}, {1, false}})},
        {12, 1728, L({{1, true}, {1, true}, {1, true}, {1, true}, {1, true}, {1, true}})},
        {13, 10, L({{16, false}})},
        {13, 15, L({{16, true}})},
        {13, 3, L({{64, true}})},  // 160 div 48 is 3 too; a dotted 64th is plainer
    };
    for (const auto& c : cases) {
        MmlLengths lengths(c.tempo);
        EXPECT_EQ(lengths.of(c.ticks), c.lengths) << c.ticks << " ticks at tempo " << c.tempo;
    }
}

TEST(MidiImport, GridStepsBecomeWholeTicks) {
    const GridClock clock({{0, 12}, {64, 13}}, 64);  // a whole note at 12, then 13
    EXPECT_EQ(clock.tickAt(64), 192);
    EXPECT_EQ(clock.tickAt(65), 195);  // 2.5 ticks a step, rounded from the change
    EXPECT_EQ(clock.tickAt(66), 197);
    EXPECT_EQ(clock.tempoAt(63), 12);
    EXPECT_EQ(clock.tempoAt(64), 13);
    EXPECT_EQ(clock.stepAtTick(195), 65);
    EXPECT_EQ(clock.stepAtTick(196), 66);
}

// A file of division 96 with one track per list of (tick, note, ticks, channel).
struct Note {
    std::uint64_t tick;
    int note, ticks, channel = 0, velocity = 100;
};
MidiFile fileOf(std::vector<std::vector<Note>> tracks) {
    MidiFile f;
    f.division = 96;
    for (const auto& notes : tracks) {
        MidiTrack t;
        std::vector<std::pair<std::uint64_t, MidiEvent>> events;
        for (const Note& n : notes) {
            events.push_back({n.tick + n.ticks, channelEvent(n.tick + n.ticks, midi::NoteOff, n.channel, n.note)});
            events.push_back({n.tick, channelEvent(n.tick, midi::NoteOn, n.channel, n.note, n.velocity)});
        }
        std::stable_sort(events.begin(), events.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
        for (auto& e : events) t.events.push_back(e.second);
        f.tracks.push_back(t);
    }
    return f;
}

TEST(MidiImport, TidyVersesAndPatterns) {
    std::vector<Note> melody;
    for (std::uint64_t bar : {0, 2}) {
        const std::uint64_t at = bar * 384;
        melody.insert(melody.end(),
                      {{at, 60, 96}, {at + 96, 62, 48}, {at + 144, 64, 48}, {at + 192, 65, 192}, {at + 384, 67, 384}});
    }
    const MidiImport im = importMidi(fileOf({melody}), {});
    ASSERT_TRUE(im.ok);
    const ImportedChannel& ch = im.channels[0];
    EXPECT_EQ(ch.verses, QStringList{"l8 c4def2 g1"});
    EXPECT_EQ(ch.pattern, "1+1");
    EXPECT_EQ(ch.octave, 4);
    EXPECT_EQ(ch.volume, 57);  // velocity 100
    EXPECT_EQ(ch.waveform, 4);
    EXPECT_TRUE(im.report.isEmpty()) << im.report.join('\n').toStdString();
    for (int c = 1; c < 4; ++c) EXPECT_FALSE(im.channels[c].plays);
}

TEST(MidiImport, ChordsOverlapsPercussionAndTheReport) {
    const struct {
        const char* what;
        std::vector<std::vector<Note>> tracks;
        std::array<const char*, 4> verses;
        QStringList report;
    } cases[] = {
        {"a chord: its top note stays, the others find free channels",
         {{{0, 60, 384}, {0, 64, 384}, {0, 67, 384}}},
         {"l1 g", "l1 e", "l1 c", ""},
         {}},
        {"a legato overlap is cut; a lower note that enters under a held one goes elsewhere",
         {{{0, 60, 144}, {96, 62, 96}, {192, 64, 384}, {288, 55, 96}}},
         {"l4 cde1", "l2 r.g4", "", ""},
         {"1 note was cut short where the next note of the voice begins."}},
        {"percussion alone takes channel 1's noise",
         {{{0, 36, 24, 9}, {96, 38, 24, 9}, {96, 42, 24, 9, 60}}},
         {"l16 <<<cr8.>>>c", "", "", ""},  // the kick's noise is C2, the snare's C5
         {"1 note of percussion that sounded with another was left out: the noise plays one at a time."}},
        {"an hour at most",
         {{{0, 60, 96}, {std::uint64_t(1) << 40, 62, 96}}},
         {"l4 c", "", "", ""},
         {"1 note after the first hour was left out."}},
    };
    for (const auto& c : cases) {
        const MidiImport im = importMidi(fileOf(c.tracks), {});
        for (int k = 0; k < 4; ++k)
            EXPECT_EQ(im.channels[k].verses.join('|'), QString::fromUtf8(c.verses[k]))
                << c.what << ", channel " << k + 1;
        EXPECT_EQ(im.report, c.report) << c.what;
    }
}

TEST(MidiImport, ReaderProblemsLeadTheReportAndBadFilesSayWhy) {
    MidiFile f = fileOf({{{0, 60, 96}, {96, 62, 96}}});
    std::vector<std::uint8_t> bytes = midiFileBytes(f);
    bytes.resize(bytes.size() - 6);  // into the second note's end
    MidiImport im = importMidiBytes(bytes, {});
    ASSERT_TRUE(im.ok);
    EXPECT_EQ(im.report, (QStringList{"The file is cut short.",
                                      "Track 1: the track ends inside an event; the rest of the track is skipped.",
                                      "1 note shorter than a 1/64 was lengthened to one."}));
    EXPECT_EQ(im.channels[0].verses, QStringList{"l4 cd64"});  // the open note ends with the file

    im = importMidiBytes(std::vector<std::uint8_t>{'M', 'T', 'h', 'd'}, {});
    EXPECT_FALSE(im.ok);
    EXPECT_EQ(im.error, "not a MIDI file");
}

// (start frame, MIDI note) of every note that sounds.
std::multiset<std::pair<std::uint64_t, int>> sounding(const NoteMap& map) {
    std::multiset<std::pair<std::uint64_t, int>> out;
    for (const MappedChannel& ch : map.channels)
        for (const MappedNote& n : ch.notes)
            if (n.kind == NoteKind::Note && n.peakLevel > 0) out.insert({n.start, n.midiNote()});
    return out;
}

TEST(MidiImport, TheDemosComeBackWithTheirNotesAtTheirMoments) {
    for (BuiltInProject demo :
         {BuiltInProject::Demo1, BuiltInProject::Demo2, BuiltInProject::Demo3, BuiltInProject::Demo4}) {
        ProjectModel original;
        loadBuiltIn(BuiltInProject::NewTemplate, original);
        loadBuiltIn(demo, original);
        MidiExportSpec spec;
        const NoteMap before = mapSong(assembleSongWithMap(original), midiMapLimits(spec));
        const std::vector<std::uint8_t> bytes = midiFileBytes(midiFileOfMap(before, spec));

        const MidiImport im = importMidiBytes(bytes, {});
        ASSERT_TRUE(im.ok);
        EXPECT_TRUE(im.report.isEmpty()) << im.report.join('\n').toStdString();
        ProjectModel imported;
        loadBuiltIn(BuiltInProject::NewTemplate, imported);
        applyMidiImport(im, imported);
        EXPECT_EQ(imported.state(control::TempoBox), original.state(control::TempoBox));
        const NoteMap after = mapSong(assembleSongWithMap(imported), midiMapLimits(spec));
        EXPECT_EQ(sounding(after), sounding(before)) << "demo " << static_cast<int>(demo) + 1;
    }
}

}  // namespace
