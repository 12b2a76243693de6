#pragma once
// Numbers the whole engine shares, and the one conversion of seconds to samples.

#include <cmath>
#include <cstdint>

namespace bleeptone {

inline constexpr int kVoices = 4;           // channels 0..3, one voice each
inline constexpr int kSampleRate = 44100;   // frames per second
inline constexpr int kTickSamples = 459;    // samples between two sequencer ticks

// Where a voice's wave cycle starts: every voice that PSG_PlayMML restarts,
// and a triangle that starts from silence (at its zero crossing; the other
// waveforms start from silence at 0.5).
inline constexpr float kStartPhase = 0.75f;

// The sample at `seconds` into a tune: rounded to the nearest sample, halves
// away from zero; negative times (and NaN) give 0, times past the counter's
// range its largest value. Every time given in seconds (--start, --seconds,
// --max-seconds, --fade, a moment to play from) becomes samples here.
// Thread: any. Callback: yes.
inline std::uint64_t framesForSeconds(double seconds) {
    if (!(seconds > 0.0)) return 0;
    const double frames = std::round(seconds * kSampleRate);
    return frames >= 0x1p64 ? UINT64_MAX : static_cast<std::uint64_t>(frames);
}

}  // namespace bleeptone
