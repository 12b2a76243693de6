#pragma once
// Exact seeking. Starting a song at sample N means exactly what a new engine
// does when it is handed the texts and renders N samples that nobody hears:
// the seek is that render, done silently (no output, no recording, no
// events) and far faster than real time, since only the state that carries
// from sample to sample (phases, smoothed gains, noise register) is
// advanced. Engine::PSG_PlayMMLFrom then hands the state over to the live
// engine; firstFrameAt finds the sample where a text position is reached.

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

#include "engine/constants.h"
#include "engine/sequencer.h"
#include "engine/synth.h"

namespace bleeptone {

// Four channel texts as PSG_PlayMML takes them.
using SongTexts = std::array<std::u16string_view, kVoices>;

// A stretch of a song that plays again and again: song frames [start, end).
// After the sample before `end` comes the song's sample `start`.
struct LoopRange {
    std::uint64_t start = 0;
    std::uint64_t end = 0;  // after start
    friend bool operator==(const LoopRange&, const LoopRange&) = default;
};

// The default bound of the searches: ten minutes of samples.
inline constexpr std::uint64_t kMaxSeekFrames = 600ull * kSampleRate;

// A song's state advanced silently from its start. Holds a synthesiser and
// a sequencer of its own, without output, recording ring, events or
// playhead. Thread: its owner (any one thread at a time); the live engine's
// audio thread takes it over only through the Engine's hand-over.
class SilentSong {
public:
    // Thread: any. Callback: no (allocates nothing, but is large).
    SilentSong();
    SilentSong(const SilentSong&) = delete;
    SilentSong& operator=(const SilentSong&) = delete;

    // The state of a new engine that has just been handed the texts (song
    // is the number its playhead snapshots will carry). Thread: the owner.
    // Callback: no (copies the texts).
    void start(const SongTexts& texts, std::uint32_t song, RenderPath path = RenderPath::Simd);

    // Renders `frames` more samples silently, stepping through ticks and
    // blocks exactly as PSG_Core does (stepFrames), the voices skipped
    // rather than rendered. Thread: the owner. Callback: no (runs as long as
    // the render takes).
    void advance(std::uint64_t frames);

    // Samples rendered since start. Thread: the owner. Callback: yes.
    std::uint64_t frame() const { return frame_; }
    // The song had channels playing at its start and has none now: it ended
    // in the silent part, whose -1 event nobody saw. Thread: the owner. Callback: yes.
    bool endedSilently() const { return startedMask_ != 0 && sequencer_.playingMask() == 0; }

    // Thread: the owner (or the audio thread during the hand-over). Callback: yes.
    Synth& synth() { return synth_; }
    const Synth& synth() const { return synth_; }
    Sequencer& sequencer() { return sequencer_; }
    const Sequencer& sequencer() const { return sequencer_; }

private:
    Synth synth_;
    Sequencer sequencer_;
    std::uint64_t frame_ = 0;
    std::uint32_t startedMask_ = 0;
};

// The sample at which channel `channel` (0..3) first starts sounding a note
// or rest whose position in its text is at or after `position`, when a new
// engine plays the texts: the index of the first sample after the tick that
// reads it (a multiple of 459). Nothing when the channel ends first or the
// bound passes. Only the sequencer runs (SequencerRun), so this is cheap
// (about a microsecond per tick). Thread: any. Callback: no (allocates).
std::optional<std::uint64_t> firstFrameAt(const SongTexts& texts, int channel, std::int32_t position,
                                          std::uint64_t maxFrames = kMaxSeekFrames);

}  // namespace bleeptone
