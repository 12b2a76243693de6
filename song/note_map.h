#pragma once
// The note map: every note and rest of a song as the engine plays it, with
// its moment, its pitch and loudness, and the place in the editors it came
// from. It is made by the engine's own sequencer, ticking without sound, so
// it cannot disagree with what is heard; the song assembly's map turns the
// text positions the sequencer reports into (channel, verse, column). The
// song view, the tune checks, MIDI export, the web page's playhead and
// `bleeptone notes` all read it. Pure code: no widgets, no threads.

#include <QString>

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "engine/constants.h"
#include "engine/mml.h"
#include "engine/seek.h"
#include "song/song_assembly.h"
#include "song/song_positions.h"

namespace bleeptone {

enum class NoteKind : std::uint8_t {
    Note,    // a note in C0..C8 (note index 0..96)
    Rest,    // "R"
    Silent,  // a note whose index falls outside 0..96: silent like a rest
};

// One note or rest as a channel played it.
struct MappedNote {
    std::uint64_t start = 0;  // frame of the tick that read it (459 x the tick), from the song's start
    std::uint32_t ticks = 1;  // how long it lasts: its EvtLen, and one tick when that is 0
    NoteKind kind = NoteKind::Rest;
    std::uint8_t startLevel = 0;  // VolTable index its voice started at (0 for a rest or a silent note)
    std::uint8_t peakLevel = 0;   // the highest index the voice held from its start until the next read:
                                  // 0 for a note that stays silent, above 0 for one an envelope raises
    bool dotted = false;
    std::int32_t index = -1;           // note index (semitone + Octave x 12 + Transpose); -1 for a rest
    std::int32_t position = -1;        // its command's position in the channel text (UTF-16 units)
    std::int32_t pass = 1;             // 1, and one more after each ":" the channel has looped through
    std::int64_t length = 0;           // its length: the number given, or NoteLen
    std::optional<EditorPlace> place;  // where it came from; none for a note of the settings prefix
    // The channel's settings as it was read: Tempo, Octave, Transpose,
    // NoteLen, Volume, Waveform, Decay (kDecayEnvelope while an envelope is
    // in force) as the engine holds them (values already masked or clamped);
    // EvtCnt is its EvtLen.
    MML_Info settings;

    std::uint64_t frames() const { return static_cast<std::uint64_t>(ticks) * kTickSamples; }
    std::uint64_t end() const { return start + frames(); }
    // The MIDI note number of a Note (12..108).
    int midiNote() const { return index + 12; }
};

// Any other command a channel read (settings, "*", ":", "/", and the end of
// its text), with the settings before and after it: what the engine made of
// the value written there.
struct MappedCommand {
    std::uint64_t frame = 0;  // the tick that read it
    std::uint8_t code = 0;    // mmlCommands code; 0: reading reached the end of the text
    bool dot = false;
    std::int8_t sign = 0;
    std::int32_t closed = 0;     // numbers closed by a comma
    std::int64_t number = 0;     // the final number, as read
    std::int32_t position = -1;  // its position in the channel text (the terminator's for the end)
    std::int32_t pass = 1;       // for ":", the pass it ends
    std::optional<EditorPlace> place;
    MML_Info before;  // EvtCnt aside
    MML_Info after;
};

// When reading entered one verse of the channel's pattern (or a passage).
struct VerseStart {
    std::uint64_t frame = 0;  // the tick that read its first command (or the next one, for a verse without any)
    int verse = 0;            // its editor line, from 1
    int segment = 0;          // its index in the assembly's segments: which entry of the pattern
    std::int32_t pass = 1;
};

// What one voice played.
struct MappedChannel {
    int channel = 0;                         // the editor channel (1..4) whose text it plays; 0 for none
    bool hasText = false;                    // it was given a text that is not empty
    std::vector<MappedNote> notes;           // in order of start
    std::vector<MappedCommand> commands;     // in the order read
    std::vector<VerseStart> verses;          // in the order entered, pass after pass
    std::optional<std::uint64_t> endFrame;   // the tick at which it ended, within the map
    std::optional<std::uint64_t> loopFrame;  // the tick of its first ":": the length of one pass
    std::int32_t passes = 1;                 // passes begun within the map
};

// Where a map stops.
struct NoteMapLimits {
    std::uint64_t maxFrames = kMaxSeekFrames;  // ticks at frames below this are mapped (default ten minutes)
    // Stop at the passes-th time every playing channel loops in the same
    // tick, as a render does (1: where a recording stops itself); 0 never.
    // The end of the song always stops the map.
    int passes = 1;
};

enum class NoteMapStop {
    Ended,   // every channel ended (a render's -1)
    Looped,  // the passes-th common loop (a render's -2)
    Limit,   // maxFrames
};

struct NoteMap {
    std::array<MappedChannel, kVoices> channels;  // by voice (engine channel 0..3)
    std::uint64_t frames = 0;                     // the map covers frames [0, frames): where a render stops
    NoteMapStop stop = NoteMapStop::Limit;
    // The song's length: the frame where it ended or its channels first
    // looped together, when that lies within the map.
    std::optional<std::uint64_t> songLength;
    std::vector<std::uint64_t> commonLoops;  // every tick at which all playing channels looped together

    // The note or rest voice `voice` plays at `frame` (the last one started
    // at or before it, if it still lasts); null when none.
    const MappedNote* noteAt(int voice, std::uint64_t frame) const;
};

// The map of a song as Play assembles it (assembleSongWithMap): channel c
// plays on voice c - 1, its positions placed through placeInSong, so that a
// verse played twice maps both times to the same text.
NoteMap mapSong(const std::array<ChannelAssembly, 4>& song, const NoteMapLimits& limits = {});

// The map of a passage selected in channel `channel`'s editor, played as
// Play plays it (on passageVoice(channel)); places through placeInPassage.
NoteMap mapPassage(const Passage& passage, int channel, const NoteMapLimits& limits = {});

// The map of channel texts as PSG_PlayMML takes them: each text is verse 1
// of its channel, columns counted in that text.
NoteMap mapTexts(const SongTexts& texts, const NoteMapLimits& limits = {});

}  // namespace bleeptone
