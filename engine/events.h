#pragma once
// Engine events leave the audio thread through a fixed-capacity,
// single-producer single-consumer lock-free queue. A full queue drops the
// newest event and counts it; posting never blocks or allocates.

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

    // Producer side: the audio thread (the tick). Safe inside the render callback.
    bool post(const EngineEvent& event) {
        const std::size_t head = head_.load(std::memory_order_relaxed);
        const std::size_t tail = tail_.load(std::memory_order_acquire);
        if (head - tail >= kCapacity) {
            dropped_.fetch_add(1, std::memory_order_relaxed);
            return false;
        }
        slots_[head & (kCapacity - 1)] = event;
        head_.store(head + 1, std::memory_order_release);
        return true;
    }

    // Consumer side: one thread (the main thread). Not for the render callback.
    bool poll(EngineEvent& event) {
        const std::size_t tail = tail_.load(std::memory_order_relaxed);
        if (tail == head_.load(std::memory_order_acquire)) return false;
        event = slots_[tail & (kCapacity - 1)];
        tail_.store(tail + 1, std::memory_order_release);
        return true;
    }

    // Events dropped because the queue was full. Any thread.
    std::uint64_t dropped() const { return dropped_.load(std::memory_order_relaxed); }

private:
    std::array<EngineEvent, kCapacity> slots_{};
    alignas(64) std::atomic<std::size_t> head_{0};
    alignas(64) std::atomic<std::size_t> tail_{0};
    std::atomic<std::uint64_t> dropped_{0};
};

}  // namespace bleeptone
