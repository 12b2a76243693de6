#pragma once
// Engine events leave the audio thread through a fixed-capacity,
// single-producer single-consumer lock-free queue. Posting never blocks or
// allocates. When the consumer falls behind, "*" numbers are dropped (and
// counted); the events that end playing (-1, -2) always arrive, in order:
// - "*" numbers may not take the last kEndReserve slots;
// - while "*" numbers are dropped, an end event equal to the newest unread
//   one is folded into it instead of taking another slot;
// - should even the reserve fill up, the newest end event waits in one word
//   beside the slots, and nothing enters the slots until it has been read:
//   "*" numbers are dropped, an end event alike is folded into it, and one of
//   the other kind takes its place (the newest state of playing wins).

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>

namespace bleeptone {

// Data of an engine event: a "*" number (>= 0), or one of these.
inline constexpr std::int64_t kEventEnded = -1;   // all channels ended
inline constexpr std::int64_t kEventLooped = -2;  // every playing channel looped in one tick

// The application event kind: the characters "MML " as a big-endian code.
inline constexpr std::uint32_t MML_Event = 0x4D4D4C20u;

struct EngineEvent {
    std::int64_t data = 0;
    std::uint64_t frame = 0;  // index of the first sample rendered after the tick that posted it
};

class EventQueue {
public:
    static constexpr std::size_t kCapacity = 1024;  // a power of two
    static constexpr std::size_t kEndReserve = 16;  // slots only -1 and -2 may take

    // Queues an event; false when a "*" number was dropped. Thread: audio (the
    // one producer). Callback: yes (wait-free, no allocation).
    bool post(const EngineEvent& event) {
        const std::size_t head = head_.load(std::memory_order_relaxed);
        const std::size_t used = head - tail_.load(std::memory_order_acquire);
        const std::uint64_t late = late_.load(std::memory_order_relaxed);
        if (event.data >= 0) {
            if (late != 0 || used >= kCapacity - kEndReserve) {
                dropped_.fetch_add(1, std::memory_order_relaxed);
                return false;
            }
            push(head, event);
            return true;
        }
        if (late != 0) {
            // Of two alike keep the older; else the newer takes its place.
            if (unpackEvent(late).data != event.data) late_.store(pack(event, head), std::memory_order_release);
            return true;
        }
        // "*" numbers are being dropped: an end event equal to the newest
        // unread one need not take a second slot.
        if (used >= kCapacity - kEndReserve && slots_[(head - 1) & kMask].data == event.data) return true;
        if (used < kCapacity) {
            push(head, event);
        } else {
            late_.store(pack(event, head), std::memory_order_release);
        }
        return true;
    }

    // Next event, if any. Thread: the one consumer (the main thread, or the
    // thread that renders offline). Callback: yes (wait-free).
    bool poll(EngineEvent& event) {
        const std::size_t tail = tail_.load(std::memory_order_relaxed);
        if (held_ && tail == heldAt_) {
            held_ = false;
            event = heldEvent_;
            return true;
        }
        if (tail == head_.load(std::memory_order_acquire)) {
            if (late_.load(std::memory_order_relaxed) == 0) return false;
            const std::uint64_t late = late_.exchange(0, std::memory_order_acq_rel);
            if (late == 0) return false;
            // The slots were empty a moment ago, but the producer may have
            // filled them all since: the waiting event follows those.
            const std::size_t at = tail + ((((late >> 2) & kPositionMask) - tail) & kPositionMask);
            if (at == tail) {
                event = unpackEvent(late);
                return true;
            }
            held_ = true;
            heldEvent_ = unpackEvent(late);
            heldAt_ = at;  // <= head, as the acquire above made sure
        }
        event = slots_[tail & kMask];
        tail_.store(tail + 1, std::memory_order_release);
        return true;
    }

    // "*" numbers dropped because the queue was full. Thread: any. Callback: yes.
    std::uint64_t dropped() const { return dropped_.load(std::memory_order_relaxed); }

private:
    static constexpr std::size_t kMask = kCapacity - 1;
    static constexpr std::size_t kPositionMask = 2 * kCapacity - 1;  // tells 0..kCapacity slots apart
    static constexpr int kPositionBits = 11;
    static_assert(kPositionMask == (std::size_t{1} << kPositionBits) - 1);

    void push(std::size_t head, const EngineEvent& event) {
        slots_[head & kMask] = event;
        head_.store(head + 1, std::memory_order_release);
    }
    // A waiting end event in one word: bits 0-1 its kind (1: -1, 2: -2; 0 is
    // no event), then the slot position it follows (modulo 2 x kCapacity),
    // then the low 51 bits of its frame (1,600 years of samples).
    static std::uint64_t pack(const EngineEvent& event, std::size_t position) {
        return (event.frame << (2 + kPositionBits)) | ((position & kPositionMask) << 2) |
               (event.data == kEventEnded ? 1u : 2u);
    }
    static EngineEvent unpackEvent(std::uint64_t word) {
        return {(word & 3u) == 1u ? kEventEnded : kEventLooped, word >> (2 + kPositionBits)};
    }

    std::array<EngineEvent, kCapacity> slots_{};
    alignas(64) std::atomic<std::size_t> head_{0};
    alignas(64) std::atomic<std::size_t> tail_{0};
    std::atomic<std::uint64_t> late_{0};  // an end event that found every slot taken
    std::atomic<std::uint64_t> dropped_{0};
    // The consumer's own: a waiting end event it took before the slots it follows.
    bool held_ = false;
    EngineEvent heldEvent_;
    std::size_t heldAt_ = 0;
    static_assert(std::atomic<std::uint64_t>::is_always_lock_free);
};

}  // namespace bleeptone
