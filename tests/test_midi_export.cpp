// Export MIDI: the sounds as General MIDI has them, and every note of the
// engine at its moment in the file, read back through the file's tempo map.
#include <gtest/gtest.h>

#include <cmath>

#include "engine/constants.h"
#include "export/midi_export.h"
#include "export/midi_gm.h"
#include "project/project_blocks.h"
#include "project/project_model.h"

using namespace bleeptone;

namespace {

TEST(MidiGm, ProgramsDrumsAndVelocities) {
    // waveform -> program (0-based): triangle 80 Ocarina, sawtooth 82, A 83, B 85, square 81 (1-based)
    const int programs[8] = {79, 81, 82, 84, 80, 81, 82, 84};
    for (int w = 0; w < 8; ++w) EXPECT_EQ(programOfWaveform(w), programs[w]) << w;
    EXPECT_EQ(programOfWaveform(12), 80);  // the low three bits, as the voice takes them
    const struct {
        int program, waveform;
    } back[] = {{79, 0}, {80, 4}, {81, 1}, {82, 2}, {84, 3}, {33, 0}, {48, 1}, {0, 4}, {73, 0}, {83, 4}};
    for (const auto& b : back) EXPECT_EQ(waveformOfProgram(b.program), b.waveform) << b.program;

    for (int noise : {24, 36, 43, 48, 53, 57, 62, 72, 74, 77, 81, 84, 88, 91, 96})
        EXPECT_EQ(noiseOfDrumKey(drumKeyOfNoise(noise)), noise) << noise;
    EXPECT_EQ(drumKeyOfNoise(60), 37);   // nearest the side stick's 62
    EXPECT_EQ(drumKeyOfNoise(0), 35);    // lower than any: the bass drum
    EXPECT_EQ(drumKeyOfNoise(127), 44);  // higher: the pedal hi-hat
    EXPECT_EQ(noiseOfDrumKey(20), 72);   // a key General MIDI leaves free

    // 127 x 10^(-(63 - level) x 0.75 / 40)
    const struct { int level, velocity; } curve[] = {{63, 127}, {55, 90}, {40, 47}};
    for (const auto& c : curve) {
        EXPECT_EQ(velocityOfLevel(c.level), c.velocity) << c.level;
        EXPECT_EQ(levelOfVelocity(c.velocity), c.level) << c.velocity;
    }
    EXPECT_EQ(velocityOfLevel(1), 9);  // 8.74; level 2 gives 9 as well (9.1)
    EXPECT_EQ(levelOfVelocity(9), 2);
    EXPECT_EQ(levelOfVelocity(1), 1);
}

MidiFile exportTexts(std::array<std::u16string, 4> texts, MidiExportSpec spec = {}, MidiExportStats* stats = nullptr) {
    SongTexts views;
    for (int k = 0; k < 4; ++k) views[k] = texts[k];
    return midiFileOfMap(mapTexts(views, midiMapLimits(spec)), spec, stats);
}

std::vector<std::uint32_t> tempos(const MidiFile& f) {
    std::vector<std::uint32_t> out;
    for (const MidiEvent& e : f.tracks[0].events)
        if (auto t = tempoOf(e)) out.push_back(*t);
    return out;
}

TEST(MidiExport, TheBeatIsChannelOnesAndTheDivisionFitsEachOfItsTempos) {
    // A quarter note is (18 - tempo) x 8 ticks of 510000/49 us.
    const struct {
        std::u16string first, second;
        int division;
        std::uint32_t tempo;  // the first: the exact value rounded
    } cases[] = {
        {u"T12 c", u"", 960, 499592},        // 48 ticks: 499591.84 us
        {u"T11 c", u"", 952, 582857},        // 56: 582857.14
        {u"T0 c", u"", 864, 1498776},        // 144: 1498775.51
        {u"T12 c T13 c", u"", 960, 499592},  // 48 and 40: 240, four times
        {u"", u"T15 c", 960, 249796},        // the first channel that plays: 24 ticks, 249795.92
        {u"T12 c", u"T13 c", 960, 499592},   // channel 1 sets the beat
    };
    for (const auto& c : cases) {
        const MidiFile f = exportTexts({c.first, c.second, u"", u""});
        EXPECT_EQ(f.division, c.division);
        ASSERT_FALSE(tempos(f).empty());
        EXPECT_EQ(tempos(f).front(), c.tempo);
    }
    const MidiFile two = exportTexts({u"T12 c T13 c", u"", u"", u""});
    EXPECT_EQ(tempos(two), (std::vector<std::uint32_t>{499592, 416327}));  // 20400000/49 = 416326.53
}

// Every note of the map against its note-on, through the tempo map of the
// file as read back.
void expectOnTime(const std::array<std::u16string, 4>& texts, const MidiExportSpec& spec, const char* what) {
    SongTexts views;
    for (int k = 0; k < 4; ++k) views[k] = texts[k];
    const NoteMap map = mapTexts(views, midiMapLimits(spec));
    const MidiReadResult back = readMidiFile(midiFileBytes(midiFileOfMap(map, spec)));
    ASSERT_TRUE(back.file) << what;
    const MidiTempoMap tempo(*back.file);
    std::vector<double> want, got;
    const std::uint64_t end = spec.startFrame + spec.frames.value_or(map.frames);
    for (const MappedChannel& ch : map.channels)
        for (const MappedNote& n : ch.notes)
            if (n.kind == NoteKind::Note && n.end() > spec.startFrame && n.start < end)
                want.push_back(double(std::max(n.start, spec.startFrame) - spec.startFrame) / kSampleRate);
    for (const MidiTrack& t : back.file->tracks)
        for (const MidiEvent& e : t.events)
            if (e.isNoteOn()) got.push_back(tempo.seconds(e.tick));
    std::sort(want.begin(), want.end());
    std::sort(got.begin(), got.end());
    ASSERT_EQ(got.size(), want.size()) << what;
    double worst = 0;
    for (std::size_t i = 0; i < got.size(); ++i) worst = std::max(worst, std::abs(got[i] - want[i]));
    EXPECT_LE(worst * 1e6, kMidiDriftMicroseconds + 1e-3) << what;
}

TEST(MidiExport, NotesStayOnTheEnginesClockOverTenMinutes) {
    MidiExportSpec tenMinutes;
    tenMinutes.frames = 600ull * kSampleRate;
    expectOnTime({u"T12 l8 cdefgab>c<:", u"", u"", u""}, tenMinutes, "tempo 12 for ten minutes");
    expectOnTime({u"T11 l16 cdef:", u"T10 l4 c:", u"T14 l8 e:", u""}, tenMinutes, "three tempos at once");
    expectOnTime({u"T12 l4 cd T13 ef T0 g T15 a:", u"", u"", u""}, tenMinutes, "a beat that changes tempo");
    MidiExportSpec between;
    between.startFrame = 13230;  // 0.3 s: between two ticks
    expectOnTime({u"T12 l8 cdefgab", u"T13 c1", u"", u""}, between, "from between two ticks");
}

TEST(MidiExport, ChannelsProgramsVelocitiesAndSilentNotes) {
    MidiExportStats stats;
    const MidiFile f = exportTexts({u"W5 V63 c", u"W4 c", u"W1 V0 c V40 \\0,9 d", u"W0 V0 c"}, {}, &stats);
    ASSERT_EQ(f.tracks.size(), 4u);  // the tempo track; channel 4 never sounds
    EXPECT_EQ(stats.notes, 3);
    const auto events = [&](int track) {
        std::vector<std::tuple<int, int, int, int>> out;  // kind, channel, data1, data2
        for (const MidiEvent& e : f.tracks[track].events)
            if (e.status < 0xF0) out.push_back({e.kind(), e.channel(), e.data1, e.data2});
        return out;
    };
    using E = std::vector<std::tuple<int, int, int, int>>;
    EXPECT_EQ(events(1), (E{{0x90, 9, 37, 127}, {0x80, 9, 37, 64}}));  // noise: percussion, no program
    EXPECT_EQ(events(2), (E{{0xC0, 1, 80, 0}, {0x90, 1, 60, 47}, {0x80, 1, 60, 64}}));
    const E third = events(3);  // the silent C is left out, the D its envelope raises from 0 is kept
    ASSERT_EQ(third.size(), 3u);
    EXPECT_EQ(std::get<2>(third[0]), 81);
    EXPECT_EQ(std::get<2>(third[1]), 62);
    EXPECT_GT(std::get<3>(third[1]), 1);
    for (int t = 1; t < 4; ++t) EXPECT_EQ(f.tracks[t].events.front().payload, "Channel " + std::to_string(t));
}

TEST(MidiExport, StartPassesAndLength) {
    MidiExportSpec spec;
    spec.startFrame = 24 * kTickSamples;  // the middle of the C
    MidiExportStats stats;
    const MidiFile f = exportTexts({u"T12 c4 d4", u"", u"", u""}, spec, &stats);
    std::vector<std::pair<std::uint64_t, int>> ons;
    for (const MidiEvent& e : f.tracks[1].events)
        if (e.isNoteOn()) ons.push_back({e.tick, e.data1});
    EXPECT_EQ(ons, (std::vector<std::pair<std::uint64_t, int>>{{0, 60}, {480, 62}}));  // 20 MIDI ticks a tick
    EXPECT_EQ(stats.ticks, 72u * 20);  // to the end of the D and the tick that ends the song

    MidiExportSpec twice;
    twice.passes = 2;
    exportTexts({u"T12 c4:", u"", u"", u""}, twice, &stats);
    EXPECT_EQ(stats.notes, 2);
    EXPECT_EQ(stats.ticks, 2u * 48 * 20);
}

TEST(MidiExport, TrackNamesComeFromTheVerseNames) {
    ProjectModel model;
    loadBuiltIn(BuiltInProject::NewTemplate, model);
    model.setText(control::verseNameField(2), QStringLiteral("  Lead "));
    const std::array<std::string, 4> names = midiTrackNames(model);
    EXPECT_EQ(names, (std::array<std::string, 4>{"", "Lead", "", ""}));  // "CH1 Verse(s)" names none
    EXPECT_EQ(beatsPerMeasureOf(model), 4);
}

}  // namespace
