#pragma once
// The recording ring: every rendered sample, as a 16-bit integer, recording
// or not. Two halves of 131,072 samples; the recorder writes a half to the
// file once the renderer has moved on to the other one.

#include <array>
#include <atomic>
#include <bit>
#include <cstdint>

#include "engine/constants.h"

namespace bleeptone {

static_assert(std::endian::native == std::endian::little, "the ring holds little-endian samples");

struct RecordRing {
    // Every index and length of the ring counts samples (a sample is 2 bytes).
    static constexpr std::uint32_t kSamples = 262144;
    static constexpr std::uint32_t kHalfSamples = kSamples / 2;
    static constexpr std::uint32_t kHalfBit = kHalfSamples;         // which half an index lies in
    static constexpr std::uint32_t kOffsetMask = kHalfSamples - 1;  // offset inside the half
    static constexpr std::uint32_t kAlignLimit = kSampleRate;       // one second

    alignas(64) std::array<std::int16_t, kSamples> record_buffer{};
    // Index of the next sample (0..kSamples - 1). Written by the audio thread
    // (after each block, release; and by the tick's alignment and the ring
    // restart), read by the writer thread (acquire).
    std::atomic<std::uint32_t> record_buffer_idx{0};
    // Samples stored since the engine started, published with the index: lets
    // the writer notice that it fell so far behind that the ring lapped it.
    std::atomic<std::uint64_t> samplesStored{0};
    // A recording that starts asks the render loop to restart the ring at 0
    // before its next block (so the reset cannot be lost to a block in
    // flight): it raises restartRequested, and the render loop copies the
    // number to restartApplied once done, with samplesStored at that moment
    // in restartStored.
    std::atomic<std::uint32_t> restartRequested{0};
    std::atomic<std::uint32_t> restartApplied{0};
    std::atomic<std::uint64_t> restartStored{0};
    // Set while a stop still has to copy the start of the ring: the tick's
    // alignment must not rewind the index over it.
    std::atomic<bool> holdAlignment{false};
};

// The renderer and the writer share the ring's samples without a lock. Each
// sample is stored and loaded as a relaxed atomic (an ordinary 16-bit move on
// x86-64 and ARM64), so a writer that has fallen a whole lap behind copies
// newer samples than it wanted, and reports the recording damaged, but never
// races with the renderer.
// Thread: audio (the render). Callback: yes.
inline void storeRingSample(std::int16_t* samples, std::uint32_t i, std::int16_t value) {
    std::atomic_ref<std::int16_t>(samples[i]).store(value, std::memory_order_relaxed);
}

// Copies count samples from sample first on (no wrap) out of the ring.
// Thread: the WAV writer (or whoever steps it). Callback: no (the writer's work).
inline void copyRingSamples(std::int16_t* samples, std::uint32_t first, std::uint32_t count, std::int16_t* out) {
    for (std::uint32_t k = 0; k < count; ++k)
        out[k] = std::atomic_ref<std::int16_t>(samples[first + k]).load(std::memory_order_relaxed);
}

}  // namespace bleeptone
