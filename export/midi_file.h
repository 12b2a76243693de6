#pragma once
// Standard MIDI Files in memory: the events of each track at absolute ticks,
// the writer of a file (format 0 or 1) and a defensive reader of files from
// anywhere. The reader never trusts a length: every read is checked against
// the bytes there are, a track that goes wrong is kept up to that point, and
// the memory it takes is bounded by the file's size (at most kMaxMidiFileBytes).

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace bleeptone {

inline constexpr std::size_t kMaxMidiFileBytes = 4 * 1024 * 1024;
inline constexpr std::uint32_t kMaxMidiDelta = 0x0FFFFFFF;  // the largest variable-length quantity

namespace midi {
inline constexpr std::uint8_t NoteOff = 0x80, NoteOn = 0x90, PolyPressure = 0xA0, Controller = 0xB0, Program = 0xC0,
                              ChannelPressure = 0xD0, PitchBend = 0xE0, SysEx = 0xF0, SysExEscape = 0xF7, Meta = 0xFF;
inline constexpr std::uint8_t MetaText = 0x01, MetaTrackName = 0x03, MetaEndOfTrack = 0x2F, MetaTempo = 0x51,
                              MetaTimeSignature = 0x58, MetaKeySignature = 0x59;
inline constexpr int PercussionChannel = 9;  // channel 10 as the user counts
}  // namespace midi

struct MidiEvent {
    std::uint64_t tick = 0;  // absolute, from the track's start
    // A channel message's status byte (0x80..0xEF, channel in the low
    // nibble), midi::Meta or midi::SysEx.
    std::uint8_t status = 0;
    std::uint8_t data1 = 0;  // channel messages: the data bytes; meta: its type
    std::uint8_t data2 = 0;
    std::string payload;  // meta and sysex: the bytes after the length (the reader keeps only the metas it knows)

    std::uint8_t kind() const { return status < 0xF0 ? status & 0xF0 : status; }
    int channel() const { return status & 0x0F; }
    bool isNoteOn() const { return kind() == midi::NoteOn && data2 > 0; }
    bool isNoteOff() const { return kind() == midi::NoteOff || (kind() == midi::NoteOn && data2 == 0); }
    bool isMeta(std::uint8_t type) const { return status == midi::Meta && data1 == type; }
};

struct MidiTrack {
    std::vector<MidiEvent> events;  // in file order, ticks never decreasing
};

struct MidiFile {
    int format = 1;
    // Bit 15 clear: ticks per quarter note. Set: SMPTE timing, the high byte
    // minus the frames per second, the low byte ticks per frame.
    std::uint16_t division = 960;
    std::vector<MidiTrack> tracks;

    bool smpte() const { return (division & 0x8000) != 0; }
    // SMPTE timing's ticks per second (0 for ticks per quarter note).
    double smpteTicksPerSecond() const;
};

// The moment of every tick of a file: its tempo events (those of every
// track: the tempo map is the file's), 120 beats per minute before the
// first; SMPTE timing has no tempo.
class MidiTempoMap {
public:
    struct Change {
        std::uint64_t tick = 0;
        std::uint32_t tempo = 500000;  // microseconds per quarter note
    };
    explicit MidiTempoMap(const MidiFile& file);
    double seconds(std::uint64_t tick) const;
    // The changes in order of tick (the first at tick 0); one per tick, the last read.
    const std::vector<Change>& changes() const { return changes_; }

private:
    std::vector<Change> changes_;
    std::vector<double> startSeconds_;  // of each change
    double ticksPerQuarter_ = 960;
    double smpteTicksPerSecond_ = 0;
};

// Events that make one.
MidiEvent channelEvent(std::uint64_t tick, std::uint8_t kind, int channel, int data1, int data2 = 0);
MidiEvent metaEvent(std::uint64_t tick, std::uint8_t type, std::string payload);
MidiEvent tempoEvent(std::uint64_t tick, std::uint32_t microsecondsPerQuarter);
// The tempo of a tempo meta event, or nothing when it is malformed.
std::optional<std::uint32_t> tempoOf(const MidiEvent& event);

// The file's bytes. Each track gets its end-of-track event (after its last
// event) unless it ends with one; deltas must fit a variable-length quantity
// (callers keep ticks below kMaxMidiDelta). Thread: any.
std::vector<std::uint8_t> midiFileBytes(const MidiFile& file);

struct MidiReadResult {
    std::optional<MidiFile> file;       // none: not a file we can read (error says why)
    std::string error;                  // "not a MIDI file", "format 2 (independent songs) is not supported"...
    std::vector<std::string> problems;  // what was skipped or cut short in a file that was read
};

// Reads the bytes of a Standard MIDI File (format 0 or 1; also inside a
// RIFF RMID wrapper). Channel messages, tempo, time and key signatures,
// track names and the ends of tracks are kept; other metas and sysex are
// skipped. Thread: any.
MidiReadResult readMidiFile(std::span<const std::uint8_t> bytes);

}  // namespace bleeptone
