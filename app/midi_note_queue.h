#pragma once
// Note-ons from the MIDI thread to the main thread: one producer (the open
// port's RtMidi callback), one consumer (the main thread's drain), fixed
// slots, no allocation, no lock. A full queue drops the note and counts it.

#include <array>
#include <atomic>
#include <cstdint>
#include <vector>

namespace bleeptone {

class NoteQueue {
public:
    static constexpr std::uint32_t kSlots = 256;
    struct Slot {
        std::uint8_t note = 0, velocity = 0;
        double stamp = 0;
    };
    // MIDI thread: every message moves the clock on; note-ons are queued.
    void message(const std::vector<unsigned char>& bytes, double delta) {
        clock_ += delta;
        if (bytes.size() < 3 || (bytes[0] & 0xF0) != 0x90 || bytes[2] == 0) return;
        const std::uint32_t head = head_.load(std::memory_order_relaxed);
        if (head - tail_.load(std::memory_order_acquire) >= kSlots) {
            dropped_.fetch_add(1, std::memory_order_relaxed);
            return;
        }
        slots_[head % kSlots] = {bytes[1], bytes[2], clock_};
        head_.store(head + 1, std::memory_order_release);
    }
    // Main thread.
    bool pop(Slot& slot) {
        const std::uint32_t tail = tail_.load(std::memory_order_relaxed);
        if (tail == head_.load(std::memory_order_acquire)) return false;
        slot = slots_[tail % kSlots];
        tail_.store(tail + 1, std::memory_order_release);
        return true;
    }
    // Main thread, while no port is open.
    void reset() {
        head_.store(0);
        tail_.store(0);
        clock_ = 0;
    }
    std::uint64_t dropped() const { return dropped_.load(std::memory_order_relaxed); }

private:
    std::array<Slot, kSlots> slots_{};
    std::atomic<std::uint32_t> head_{0}, tail_{0};
    std::atomic<std::uint64_t> dropped_{0};
    double clock_ = 0;  // the MIDI thread's
};

}  // namespace bleeptone
