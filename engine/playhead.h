#pragma once
// The playhead: at every tick the sequencer publishes which command each
// channel is sounding, stamped with the tick's sample. The audio thread
// writes one snapshot per tick into a small ring of seqlock-protected slots;
// readers (the main thread's timer) pick the snapshot of the sample being
// heard. No lock, no allocation, no waiting on either side.

#include <array>
#include <atomic>
#include <cstdint>

#include "engine/constants.h"

namespace bleeptone {

struct PlayheadSnapshot {
    std::uint64_t frame = 0;      // engine sample: the index of the first sample after the tick
    std::uint64_t songFrame = 0;  // the same moment on the song's clock (samples since it started)
    std::uint32_t song = 0;       // the number of the play that the positions belong to (Engine::PSG_PlayMML...)
    // Per channel (voice) 0..3: the position, in UTF-16 units of the text as
    // handed to PSG_PlayMML, of the note or rest being sounded; -1 while the
    // channel is idle, has ended, or has read no note since its (re)start.
    std::array<std::int32_t, kVoices> positions{-1, -1, -1, -1};
};

class PlayheadRing {
public:
    static constexpr std::uint32_t kSlots = 256;  // 2.7 s of ticks: far more than any output latency

    // Publishes one snapshot (snapshots come in order of frame).
    // Thread: audio (the tick; the one writer). Callback: yes (wait-free).
    void publish(const PlayheadSnapshot& snapshot) {
        const std::uint64_t n = published_.load(std::memory_order_relaxed);
        Slot& slot = slots_[n % kSlots];
        // Release stores of the fields (plain moves on x86-64) keep the odd
        // sequence number ahead of them: a reader that sees any new field
        // sees the slot marked as being written. (No fences: ThreadSanitizer
        // does not follow them.)
        slot.seq.store(2 * n + 1, std::memory_order_relaxed);
        slot.frame.store(snapshot.frame, std::memory_order_release);
        slot.songFrame.store(snapshot.songFrame, std::memory_order_release);
        slot.song.store(snapshot.song, std::memory_order_release);
        for (int k = 0; k < kVoices; ++k) slot.positions[k].store(snapshot.positions[k], std::memory_order_release);
        slot.seq.store(2 * n + 2, std::memory_order_release);
        published_.store(n + 1, std::memory_order_release);
    }

    // The newest snapshot whose frame is at most `frame`; false when the ring
    // holds none that old (or none at all). Thread: any. Callback: yes
    // (wait-free but for retries while the writer laps the reader).
    bool at(std::uint64_t frame, PlayheadSnapshot& out) const {
        const std::uint64_t n = published_.load(std::memory_order_acquire);
        // The oldest slot may be rewritten any moment: leave it out.
        const std::uint64_t oldest = n > kSlots - 1 ? n - (kSlots - 1) : 0;
        for (std::uint64_t i = n; i-- > oldest;) {
            PlayheadSnapshot s;
            if (!read(i, s)) return false;  // lapped: everything older is gone too
            if (s.frame <= frame) {
                out = s;
                return true;
            }
        }
        return false;
    }

    // The newest snapshot; false before the first. Thread: any. Callback: yes.
    bool newest(PlayheadSnapshot& out) const { return at(UINT64_MAX, out); }

    // Snapshots published so far. Thread: any. Callback: yes.
    std::uint64_t published() const { return published_.load(std::memory_order_acquire); }

private:
    struct Slot {
        std::atomic<std::uint64_t> seq{0};  // 2i + 1 while snapshot i is written, 2i + 2 once it is complete
        std::atomic<std::uint64_t> frame{0};
        std::atomic<std::uint64_t> songFrame{0};
        std::atomic<std::uint32_t> song{0};
        std::array<std::atomic<std::int32_t>, kVoices> positions{};
    };

    // Snapshot i, if its slot still holds it, complete.
    bool read(std::uint64_t i, PlayheadSnapshot& out) const {
        const Slot& slot = slots_[i % kSlots];
        const std::uint64_t before = slot.seq.load(std::memory_order_acquire);
        if (before != 2 * i + 2) return false;
        // Acquire loads keep the second look at the sequence number after them.
        out.frame = slot.frame.load(std::memory_order_acquire);
        out.songFrame = slot.songFrame.load(std::memory_order_acquire);
        out.song = slot.song.load(std::memory_order_acquire);
        for (int k = 0; k < kVoices; ++k) out.positions[k] = slot.positions[k].load(std::memory_order_acquire);
        return slot.seq.load(std::memory_order_relaxed) == before;
    }

    std::array<Slot, kSlots> slots_{};
    alignas(64) std::atomic<std::uint64_t> published_{0};
};

}  // namespace bleeptone
