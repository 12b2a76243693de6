#pragma once
// The oscilloscope ring: while the oscilloscope is open, the render writes
// every sample of each voice (as it goes into the mix) and of the mix into a
// ring of five traces; the main thread copies the newest frames out on its
// timer. One writer (the audio thread), one reader (the main thread).
//
// The writer stores plain floats (vector stores in the SIMD render), so the
// reader must never read a slot while it is written. The reader announces
// the first frame it is about to copy (readerFrom_); the writer looks at it
// before each block and leaves out (rather than waits) a block that would
// overwrite a slot of a frame still being copied. That takes a reader stalled
// for kFrames minus the frames it copies (a tenth of a second at least); a
// left-out block only moves validFrom_ on. The ring is kept small (160 KiB)
// on purpose: at four times the size its stores cost the render a third more. Both sides use sequentially consistent
// operations on readerFrom_ and written_, so either the writer sees the
// announcement or the reader sees the block it has to keep clear of.

#include <algorithm>
#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>

#include "engine/constants.h"

namespace bleeptone {

// Traces 0..3 are the voices, 4 the mix. Values are on the mix's scale:
// +-0.5 is full scale (the output sample is twice the mix); each voice is
// (wave - 0.5) x its smoothed gain, the mix their clipped sum.
inline constexpr int kScopeTraces = kVoices + 1;
inline constexpr int kScopeMixTrace = kVoices;

// Where a block's scope samples go: the traces and the slot of the block's first frame.
struct ScopeCursor {
    float* traces[kScopeTraces];
    std::uint32_t mask;  // ring length in frames - 1
    std::uint32_t index;
};

class ScopeRing {
public:
    static constexpr std::uint32_t kFrames = 8192;  // a power of two
    static constexpr std::uint64_t kNoReader = UINT64_MAX;

    // Thread: main (the one reader). Callback: yes (one store).
    void setEnabled(bool on) { enabled_.store(on, std::memory_order_relaxed); }
    // Thread: any. Callback: yes.
    bool enabled() const { return enabled_.load(std::memory_order_relaxed); }

    // Before a block of n frames that starts at engine frame `frame`: true
    // (and the cursor) when its samples may be written. Thread: audio.
    // Callback: yes (wait-free).
    bool beginBlock(std::uint64_t frame, std::uint32_t n, ScopeCursor& cursor) {
        if (frame != writtenLocal_) validFrom_.store(frame, std::memory_order_release);  // the scope was off
        const std::uint64_t reader = readerFrom_.load(std::memory_order_seq_cst);
        if (reader != kNoReader && frame + n > reader + kFrames) {
            // The block would overwrite frames being copied: leave it out.
            validFrom_.store(frame + n, std::memory_order_release);
            finishBlock(frame + n);
            return false;
        }
        for (int t = 0; t < kScopeTraces; ++t) cursor.traces[t] = traces_[t].data();
        cursor.mask = kFrames - 1;
        cursor.index = static_cast<std::uint32_t>(frame) & (kFrames - 1);
        return true;
    }
    // After the block written through beginBlock's cursor. Thread: audio. Callback: yes.
    void endBlock(std::uint64_t frameAfter) { finishBlock(frameAfter); }

    // Copies the newest frames (at most `frames`, oldest first) of every trace
    // into out[t][0..], each array holding `frames` floats. Returns how many
    // were copied; first (if given) receives the engine frame of the first.
    // Thread: main (the one reader). Callback: no (copies up to 5 x frames floats).
    std::size_t copyNewest(std::size_t frames, float* const out[kScopeTraces], std::uint64_t* first = nullptr) {
        frames = std::min<std::size_t>(frames, kFrames / 2);
        for (int attempt = 0; attempt < 4; ++attempt) {
            const std::uint64_t w0 = written_.load(std::memory_order_seq_cst);
            const std::uint64_t from =
                std::max(w0 - std::min<std::uint64_t>(w0, frames), validFrom_.load(std::memory_order_acquire));
            if (from >= w0) return report(first, w0, 0);
            readerFrom_.store(from, std::memory_order_seq_cst);
            // Blocks that started before the announcement are at most kMaxBlock
            // frames past what is written now: they must not reach `from`.
            const std::uint64_t w1 = written_.load(std::memory_order_seq_cst);
            if (w1 + kMaxBlock > from + kFrames || validFrom_.load(std::memory_order_acquire) > from) {
                readerFrom_.store(kNoReader, std::memory_order_seq_cst);
                continue;  // the writer raced ahead (or left a block out): look again
            }
            const std::size_t count = static_cast<std::size_t>(w0 - from);
            const std::uint32_t start = static_cast<std::uint32_t>(from) & (kFrames - 1);
            const std::size_t firstPart = std::min<std::size_t>(count, kFrames - start);
            for (int t = 0; t < kScopeTraces; ++t) {
                std::copy_n(traces_[t].data() + start, firstPart, out[t]);
                std::copy_n(traces_[t].data(), count - firstPart, out[t] + firstPart);
            }
            readerFrom_.store(kNoReader, std::memory_order_seq_cst);
            return report(first, from, count);
        }
        return report(first, 0, 0);
    }

private:
    static constexpr std::uint64_t kMaxBlock = kTickSamples;  // the render's blocks never exceed a tick

    static std::size_t report(std::uint64_t* first, std::uint64_t frame, std::size_t count) {
        if (first) *first = frame;
        return count;
    }
    void finishBlock(std::uint64_t frameAfter) {
        writtenLocal_ = frameAfter;
        written_.store(frameAfter, std::memory_order_seq_cst);
    }

    alignas(64) std::array<std::array<float, kFrames>, kScopeTraces> traces_{};
    alignas(64) std::atomic<bool> enabled_{false};
    std::atomic<std::uint64_t> written_{0};    // engine frame after the last block written
    std::atomic<std::uint64_t> validFrom_{0};  // first frame the traces hold
    std::uint64_t writtenLocal_ = 0;           // the writer's own copy of written_
    alignas(64) std::atomic<std::uint64_t> readerFrom_{kNoReader};
};

}  // namespace bleeptone
