#pragma once
// Export MIDI: the note map of a song as a Standard MIDI File, format 1.
//
// Track 1 holds the tempo map (and the time signature of the Measure box);
// then one track per channel that plays, named after its verse-name field or
// "Channel N". Channels 1 to 4 play on MIDI channels 1 to 4, a noise note on
// General MIDI's percussion channel 10; programs follow the waveform and
// velocity the volume (export/midi_gm.h). A note whose voice stays silent
// (volume 0, no envelope raising it) is left out.
//
// Timing. Every note of the engine starts on a tick (459 samples), whatever
// its channel's tempo, so a MIDI tick is a whole fraction of the engine's
// tick and every note lands on a MIDI tick exactly. The division is chosen
// so that a quarter note of the first channel that plays is a whole number
// of MIDI ticks at each of its tempos (960 or just below for one tempo):
// the file's beats are that channel's beats. A tempo event holds whole
// microseconds, while a quarter note of the engine lasts a 49th of a
// microsecond more or less than any of them; the tempo alternates between
// the two whole values on either side, so that the file's clock never runs
// more than kMidiDriftMicroseconds from the engine's over any length.

#include <array>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

#include "export/midi_file.h"
#include "project/project_fields.h"
#include "song/note_map.h"

namespace bleeptone {

inline constexpr double kMidiDriftMicroseconds = 10.0;

struct MidiExportSpec {
    // Where the file starts, in samples of the song: notes sounding there
    // start at the file's start, as in an audio export from that moment.
    std::uint64_t startFrame = 0;
    std::optional<std::uint64_t> frames;       // exactly this long (passes and maxFrames do not apply)
    std::uint64_t maxFrames = 600ull * 44100;  // at most this long otherwise
    int passes = 1;                            // of a song whose channels loop together, as for audio
    std::array<std::string, 4> names;          // track names of channels 1..4 (empty: "Channel N")
    int beatsPerMeasure = 4;                   // the time signature: 2/4, 3/4 or 4/4
    std::string title;                         // the tempo track's name (may be empty)
};

// How far the song must be mapped for an export with these choices.
NoteMapLimits midiMapLimits(const MidiExportSpec& spec);

struct MidiExportStats {
    int notes = 0;   // notes written
    int tracks = 0;  // channel tracks
    std::uint16_t division = 0;
    std::uint64_t ticks = 0;  // the file's length in ticks
};

// The file for a map made with midiMapLimits(spec). Thread: any.
MidiFile midiFileOfMap(const NoteMap& map, const MidiExportSpec& spec, MidiExportStats* stats = nullptr);

// The track names of a project: its verse-name fields, trimmed; a field left
// empty or as the New template has it ("CH1 Verse(s)") names none.
std::array<std::string, 4> midiTrackNames(const ProjectFields& fields);
// The beats of a measure by the Measure box (2, 3 or 4).
int beatsPerMeasureOf(const ProjectFields& fields);

struct MidiWriteResult {
    bool ok = false;
    std::string message;  // why it failed, naming the file
};

// Writes the file through a StagedFile: complete, or not at all.
MidiWriteResult writeMidiFile(const MidiFile& file, const std::string& path);
// The same into an open stream (standard output); name is what messages call it.
MidiWriteResult writeMidiFile(const MidiFile& file, std::FILE* out, const std::string& name);

}  // namespace bleeptone
