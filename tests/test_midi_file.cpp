// Standard MIDI Files: the bytes the writer makes, and a reader that keeps
// what it can of a damaged file and never reads past one.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "export/midi_file.h"

using namespace bleeptone;

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes header(int format, int tracks, int division) {
    return {'M',
            'T',
            'h',
            'd',
            0,
            0,
            0,
            6,
            0,
            static_cast<std::uint8_t>(format),
            0,
            static_cast<std::uint8_t>(tracks),
            static_cast<std::uint8_t>(division >> 8),
            static_cast<std::uint8_t>(division)};
}

Bytes trackChunk(const Bytes& events) {
    Bytes out = {'M', 'T', 'r', 'k', 0, 0, 0, static_cast<std::uint8_t>(events.size())};
    out.insert(out.end(), events.begin(), events.end());
    return out;
}

Bytes file(const Bytes& events, int format = 0) {
    Bytes out = header(format, 1, 96);
    const Bytes t = trackChunk(events);
    out.insert(out.end(), t.begin(), t.end());
    return out;
}

TEST(MidiFile, WritesHeaderTracksAndVariableLengthTimes) {
    MidiFile f;
    f.division = 96;
    MidiTrack t;
    t.events.push_back(channelEvent(0, midi::NoteOn, 0, 60, 100));
    t.events.push_back(channelEvent(96, midi::NoteOff, 0, 60, 64));
    t.events.push_back(channelEvent(96 + 0x80, midi::NoteOn, 9, 38, 1));
    t.events.push_back(tempoEvent(96 + 0x80 + 0x3FFF, 500000));
    f.tracks.push_back(t);
    const Bytes expected = {
        'M',  'T',  'h',  'd',  0,    0,    0,    6,    0, 1, 0, 1, 0, 96,  //
        'M',  'T',  'r',  'k',  0,    0,    0,    25,                       //
        0x00, 0x90, 60,   100,                                              // note on at 0
        0x60, 0x80, 60,   64,                                               // 96 later
        0x81, 0x00, 0x99, 38,   1,                                          // 128 later, channel 10
        0xFF, 0x7F, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20,                     // 16383 later, 500000 us
        0x00, 0xFF, 0x2F, 0x00,                                             // the end of the track, added
    };
    EXPECT_EQ(midiFileBytes(f), expected);

    const MidiReadResult back = readMidiFile(expected);
    ASSERT_TRUE(back.file) << back.error;
    EXPECT_TRUE(back.problems.empty());
    ASSERT_EQ(back.file->tracks.size(), 1u);
    const auto& e = back.file->tracks[0].events;
    ASSERT_EQ(e.size(), 5u);
    EXPECT_EQ(e[2].tick, 224u);
    EXPECT_EQ(e[2].channel(), 9);
    EXPECT_EQ(tempoOf(e[3]), 500000u);
    EXPECT_EQ(e[3].tick, 224u + 0x3FFF);
}

TEST(MidiFile, ReadsRunningStatusAndSkipsWhatItDoesNotKeep) {
    const MidiReadResult r = readMidiFile(file({
        0x00, 0x90, 60,   100,              // note on
        0x10, 62,   90,                     // running status: another note on
        0x10, 60,   0,                      // and a note on of velocity 0: an off
        0x00, 0xF0, 0x03, 1,    2,   0xF7,  // sysex, skipped; it cancels running status
        0x00, 0xFF, 0x01, 0x02, 'h', 'i',   // a text meta, skipped
        0x00, 0xFF, 0x03, 0x02, 'A', 'b',   // the track's name, kept
        0x00, 0xC1, 33,                     // a program change: one data byte
        0x00, 0xFF, 0x2F, 0x00,             // the end: what follows is not read
        0x00, 0x90, 1,    1,
    }));
    ASSERT_TRUE(r.file);
    EXPECT_TRUE(r.problems.empty());
    const auto& e = r.file->tracks[0].events;
    ASSERT_EQ(e.size(), 6u);
    EXPECT_TRUE(e[1].isNoteOn());
    EXPECT_EQ(e[1].data1, 62);
    EXPECT_EQ(e[1].tick, 16u);
    EXPECT_TRUE(e[2].isNoteOff());
    EXPECT_EQ(e[3].payload, "Ab");
    EXPECT_EQ(e[4].kind(), midi::Program);
    EXPECT_EQ(e[4].data1, 33);
    EXPECT_TRUE(e[5].isMeta(midi::MetaEndOfTrack));
}

TEST(MidiFile, ADamagedTrackKeepsItsEventsUpToTheFault) {
    const struct {
        const char* what;
        Bytes events;
        std::size_t kept;
    } cases[] = {
        // a sysex cancels running status: the next data byte has none
        {"a data byte without a status", {0x00, 0x90, 60, 1, 0x00, 0xF0, 0x00, 61, 1}, 1},
        {"a data byte first", {0x00, 60, 1}, 0},
        {"a time of five bytes", {0x00, 0x90, 60, 1, 0x81, 0x81, 0x81, 0x81, 0x01, 0x90, 60, 0}, 1},
        {"an event cut short", {0x00, 0x90, 60, 1, 0x00, 0x90, 61}, 1},
        {"a status byte inside the data", {0x00, 0x90, 0x90, 1}, 0},
        {"a meta longer than the track", {0x00, 0x90, 60, 1, 0x00, 0xFF, 0x03, 0x7F, 'x'}, 1},
        {"a system status files do not hold", {0x00, 0x90, 60, 1, 0x00, 0xF8}, 1},
    };
    for (const auto& c : cases) {
        const MidiReadResult r = readMidiFile(file(c.events));
        ASSERT_TRUE(r.file) << c.what;
        EXPECT_EQ(r.file->tracks[0].events.size(), c.kept) << c.what;
        ASSERT_EQ(r.problems.size(), 1u) << c.what;
        EXPECT_NE(r.problems[0].find("track 1: "), std::string::npos) << r.problems[0];
    }
}

TEST(MidiFile, RefusesWhatIsNoMidiFile) {
    Bytes cutHeader = header(1, 1, 96);
    cutHeader.resize(10);
    Bytes smpte = file({0x00, 0x90, 60, 1});
    smpte[12] = 0xE7;  // -25 frames per second
    smpte[13] = 40;    // 40 ticks a frame: 1000 ticks a second
    Bytes riff = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'R', 'M', 'I', 'D', 'd', 'a', 't', 'a', 0, 0, 0, 0};
    const Bytes inner = file({0x00, 0x90, 60, 1});
    riff[16] = static_cast<std::uint8_t>(inner.size());
    riff.insert(riff.end(), inner.begin(), inner.end());
    Bytes longer = file({0x00, 0x90, 60, 1});
    longer[21] = 40;  // the track claims more bytes than the file has

    EXPECT_EQ(readMidiFile(Bytes{}).error, "not a MIDI file");
    EXPECT_EQ(readMidiFile(Bytes{'R', 'I', 'F', 'F'}).error, "not a MIDI file");
    EXPECT_EQ(readMidiFile(cutHeader).error, "not a MIDI file");
    EXPECT_EQ(readMidiFile(header(2, 1, 96)).error, "format 2 (independent sequences) is not supported");
    EXPECT_EQ(readMidiFile(header(0, 1, 0)).error, "the file's timing (division) is invalid");
    EXPECT_EQ(readMidiFile(header(1, 1, 96)).error, "the file holds no tracks");
    EXPECT_EQ(readMidiFile(Bytes(kMaxMidiFileBytes + 1, 0)).error, "the file is larger than 4 MiB");

    const MidiReadResult s = readMidiFile(smpte);
    ASSERT_TRUE(s.file);
    EXPECT_TRUE(s.file->smpte());
    EXPECT_DOUBLE_EQ(s.file->smpteTicksPerSecond(), 1000.0);
    EXPECT_DOUBLE_EQ(MidiTempoMap(*s.file).seconds(1500), 1.5);

    const MidiReadResult r = readMidiFile(riff);
    ASSERT_TRUE(r.file) << r.error;
    EXPECT_EQ(r.file->tracks[0].events.size(), 1u);

    const MidiReadResult l = readMidiFile(longer);
    ASSERT_TRUE(l.file);
    EXPECT_EQ(l.problems, std::vector<std::string>{"the file is cut short"});
    EXPECT_EQ(l.file->tracks[0].events.size(), 1u);
}

TEST(MidiFile, TempoMapGivesEachTickItsMoment) {
    MidiFile f;
    f.division = 480;
    f.tracks.resize(2);
    f.tracks[0].events = {tempoEvent(960, 250000)};  // the first tempo at tick 960: 120 bpm before
    f.tracks[1].events = {tempoEvent(1440, 1000000), tempoEvent(1440, 2000000)};  // the last at a tick counts
    const MidiTempoMap map(f);
    EXPECT_DOUBLE_EQ(map.seconds(480), 0.5);
    EXPECT_DOUBLE_EQ(map.seconds(960), 1.0);
    EXPECT_DOUBLE_EQ(map.seconds(1440), 1.25);
    EXPECT_DOUBLE_EQ(map.seconds(1680), 2.25);
    ASSERT_EQ(map.changes().size(), 3u);
    EXPECT_EQ(map.changes()[2].tempo, 2000000u);
}

}  // namespace
