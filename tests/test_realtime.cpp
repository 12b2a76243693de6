// The render callback must never allocate: this binary replaces the global
// allocator and counts every allocation and release made by a thread while
// it is marked as the audio thread.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstddef>
#include <cstdlib>
#include <memory>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "engine/engine.h"

namespace {

thread_local bool tAudioThread = false;
std::atomic<std::size_t> gAllocs{0};
std::atomic<std::size_t> gFrees{0};

void* allocate(std::size_t n, std::size_t align = 0) {
    if (tAudioThread) gAllocs.fetch_add(1, std::memory_order_relaxed);
    if (n == 0) n = 1;
    if (align > alignof(std::max_align_t)) return std::aligned_alloc(align, (n + align - 1) / align * align);
    return std::malloc(n);
}

void release(void* p) {
    if (p && tAudioThread) gFrees.fetch_add(1, std::memory_order_relaxed);
    std::free(p);
}

void* allocateOrThrow(std::size_t n, std::size_t align = 0) {
    if (void* p = allocate(n, align)) return p;
    throw std::bad_alloc();
}

}  // namespace

void* operator new(std::size_t n) { return allocateOrThrow(n); }
void* operator new[](std::size_t n) { return allocateOrThrow(n); }
void* operator new(std::size_t n, std::align_val_t a) { return allocateOrThrow(n, static_cast<std::size_t>(a)); }
void* operator new[](std::size_t n, std::align_val_t a) { return allocateOrThrow(n, static_cast<std::size_t>(a)); }
void* operator new(std::size_t n, const std::nothrow_t&) noexcept { return allocate(n); }
void* operator new[](std::size_t n, const std::nothrow_t&) noexcept { return allocate(n); }
void* operator new(std::size_t n, std::align_val_t a, const std::nothrow_t&) noexcept {
    return allocate(n, static_cast<std::size_t>(a));
}
void* operator new[](std::size_t n, std::align_val_t a, const std::nothrow_t&) noexcept {
    return allocate(n, static_cast<std::size_t>(a));
}
void operator delete(void* p) noexcept { release(p); }
void operator delete[](void* p) noexcept { release(p); }
void operator delete(void* p, std::size_t) noexcept { release(p); }
void operator delete[](void* p, std::size_t) noexcept { release(p); }
void operator delete(void* p, std::align_val_t) noexcept { release(p); }
void operator delete[](void* p, std::align_val_t) noexcept { release(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { release(p); }
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept { release(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { release(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { release(p); }
void operator delete(void* p, std::align_val_t, const std::nothrow_t&) noexcept { release(p); }
void operator delete[](void* p, std::align_val_t, const std::nothrow_t&) noexcept { release(p); }

namespace bleeptone {
namespace {

TEST(Realtime, CounterSeesAllocationsOfTheMarkedThread) {
    const std::size_t before = gAllocs.load();
    std::thread([] {
        tAudioThread = true;
        void* p = ::operator new(16);
        ::operator delete(p);
        tAudioThread = false;
    }).join();
    void* q = ::operator new(16);  // not marked: not counted
    ::operator delete(q);
    EXPECT_EQ(gAllocs.load() - before, 1u);
}

// Thirty seconds of a four-channel tune with loops, "*" events, decays and
// envelopes, rendered and drained on one marked thread. At tempo 12 the loop
// bodies last 192, 288, 144 and 288 ticks, so all four loop together every
// 576 ticks; "*1" opens every pass of channel 0 (ticks 0, 192, ...) and
// "*2" / "*3" come 192 ticks into every pass of channels 1 and 3.
TEST(Realtime, RenderingALongTuneNeverAllocates) {
    auto engine = Engine::create();
    engine->PSG_PlayMML(u"*1 L8 \\.2,9,6,4 CDEFGAB>C<:", u"W4V30\\2O3C2G2*2E4.R8:", u"W2\\0,9,3O5E8G8>C4<R4:",
                        u"W3V20\\.1,9,5,0O2C1*3R2:");
    constexpr std::size_t kFrames = 30 * kSampleRate;  // ticks 0..2882
    std::array<std::size_t, 4> stars{};
    std::size_t looped = 0, ended = 0, other = 0;
    gAllocs = 0;
    gFrees = 0;
    std::thread audio([&] {
        tAudioThread = true;
        std::array<float, 512> buf{};
        for (std::size_t done = 0; done < kFrames;) {
            const std::size_t n = std::min(buf.size(), kFrames - done);
            engine->PSG_Core(buf.data(), n);
            done += n;
            EngineEvent e;
            while (engine->pollEvent(e)) {
                if (e.data >= 1 && e.data <= 3) ++stars[static_cast<std::size_t>(e.data)];
                else if (e.data == kEventLooped) ++looped;
                else if (e.data == kEventEnded) ++ended;
                else ++other;
            }
        }
        tAudioThread = false;
    });
    audio.join();
    EXPECT_EQ(gAllocs.load(), 0u);
    EXPECT_EQ(gFrees.load(), 0u);
    // The tune did what it should while being measured.
    EXPECT_EQ(stars[1], 16u);  // ticks 0, 192, ..., 2880
    EXPECT_EQ(stars[2], 10u);  // ticks 192, 480, ..., 2784
    EXPECT_EQ(stars[3], 10u);
    EXPECT_EQ(looped, 5u);     // ticks 576, 1152, 1728, 2304, 2880
    EXPECT_EQ(ended, 0u);
    EXPECT_EQ(other, 0u);
    EXPECT_EQ(engine->droppedEvents(), 0u);
}

// An output whose thread is marked as the audio thread: it renders as fast
// as it can, 512 frames a call, until stopped.
class MarkedOutput : public AudioOutput {
public:
    bool start(RenderFn render, void* context) override {
        running_.store(true);
        thread_ = std::thread([this, render, context] {
            std::array<float, 512> buf{};
            tAudioThread = true;
            while (running_.load()) {
                render(context, buf.data(), buf.size());
                calls_.fetch_add(1);
                std::this_thread::yield();
            }
            tAudioThread = false;
        });
        return true;
    }
    void stop() override {
        running_.store(false);
        if (thread_.joinable()) thread_.join();
    }
    std::string error() const override { return {}; }
    int calls() const { return calls_.load(); }

private:
    std::atomic<bool> running_{false};
    std::atomic<int> calls_{0};
    std::thread thread_;
};

// With the oscilloscope on and the playhead read, songs taken over from a
// seek (Play from Here, a live edit) are taken by the audio thread without
// an allocation there: the texts change hands, they are not copied; a
// seamless loop's start is copied back without one, time after time.
TEST(Realtime, ScopeAndSeekHandOversNeverAllocate) {
    MarkedOutput* output = nullptr;
    auto engine = Engine::create();
    engine->setOutputFactory([&output](AudioBackend) {
        auto o = std::make_unique<MarkedOutput>();
        output = o.get();
        return o;
    });
    engine->setScopeEnabled(true);
    gAllocs = 0;
    gFrees = 0;
    ASSERT_EQ(engine->PSG_Init().result, InitResult::Device);
    const SongTexts a = {u"*1 L8 \\.2,9,6,4 CDEFGAB>C<:", u"W4V30\\2O3C2G2*2E4.R8:", u"W2\\0,9,3O5E8G8>C4<R4:",
                         u"W5 O3 L16 CDCD:"};
    const SongTexts b = {u"W5 O4 L16 CDRCD:", u"", u"\\0,9,2 O5 L4 EGB>C:", u"W3 O2 C1:"};
    std::vector<float> trace[kScopeTraces];
    float* dest[kScopeTraces];
    for (int t = 0; t < kScopeTraces; ++t) {
        trace[t].resize(2048);
        dest[t] = trace[t].data();
    }
    std::size_t copied = 0;
    std::uint32_t lastSong = 0;
    for (int round = 0; round < 9; ++round) {
        // Rounds 6 to 8 loop, a song, its live edit and the next texts at the loop's end (seamless loops).
        const std::uint64_t at = 44100u * static_cast<unsigned>(round);
        const LoopRange loop{at, at + 3000};
        if (round < 6)
            lastSong = round % 2 ? engine->continueMML(b) : engine->PSG_PlayMMLFrom(a, at);
        else if (round == 6)
            lastSong = engine->PSG_PlayMMLFrom(a, at, loop);
        else if (round == 7)
            lastSong = engine->continueMML(b, LoopRange{44100u * 6, 44100u * 6 + 3000});
        else
            lastSong = engine->continueAtLoopEnd(a, LoopRange{100, 2000});
        const int calls = output->calls();
        while (output->calls() < calls + 40) {
            copied += engine->copyScope(2048, dest);
            PlayheadSnapshot s;
            engine->playheadNow(s);
            for (EngineEvent e; engine->pollEvent(e);) {}
        }
    }
    PlayheadSnapshot s;
    ASSERT_TRUE(engine->playheadAt(UINT64_MAX, s));
    engine->PSG_Terminate();
    EXPECT_EQ(gAllocs.load(), 0u);
    EXPECT_EQ(gFrees.load(), 0u);
    EXPECT_GT(copied, 0u);
    EXPECT_EQ(s.song, lastSong);  // the last hand-over was taken
    EXPECT_GT(engine->loopRestarts(), 3u);
}

}  // namespace
}  // namespace bleeptone
