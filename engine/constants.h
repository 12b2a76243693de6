#pragma once
// Numbers the whole engine shares.

namespace bleeptone {

inline constexpr int kVoices = 4;           // channels 0..3, one voice each
inline constexpr int kSampleRate = 44100;   // frames per second
inline constexpr int kTickSamples = 459;    // samples between two sequencer ticks

}  // namespace bleeptone
