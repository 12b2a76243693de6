// The watchdog on the sound device, with fake devices that call back at the
// real rate on their own thread until the test makes them stop (as a device
// that goes away does), refuse to start, or never let go when stopped. No
// sound device is opened; every wait is for a condition, never for a time.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <condition_variable>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>

#include "engine/engine.h"
#include "engine/offline_render.h"
#include "tests/test_support.h"

namespace bleeptone {
namespace {

using testing::waitFor;

// What one fake device shares with the test.
struct Switches {
    std::atomic<bool> hang{false};   // stops calling back
    std::atomic<bool> fault{false};  // reports a fault
};

// Shared by the test and every fake the factory makes (helpers of the
// watchdog may outlive the engine; they hold it too).
struct Devices {
    std::atomic<int> made{0};             // fake devices made
    std::atomic<int> refusals{0};         // how many more starts fail
    std::atomic<bool> stopBlocks{false};  // stop() and abort() wait until released
    std::atomic<int> stops{0};            // stop() or abort() called
    std::atomic<int> drained{0};          // of them, stop()
    std::atomic<bool> lateSound{false};   // a device given up called back and got sound
    std::mutex mutex;
    std::condition_variable released;
    bool release = false;
    std::shared_ptr<Switches> latest;  // the last device made

    std::shared_ptr<Switches> add() {
        const std::lock_guard<std::mutex> lock(mutex);
        made.fetch_add(1);
        latest = std::make_shared<Switches>();
        return latest;
    }
    Switches& last() {
        const std::lock_guard<std::mutex> lock(mutex);
        return *latest;
    }
    void releaseAll() {
        {
            const std::lock_guard<std::mutex> lock(mutex);
            release = true;
        }
        released.notify_all();
    }
};

// A device: calls back at the real rate (a silent clocked thread inside)
// while not hung. When it is stopped it calls back twice more, as a device
// given up may; what those calls get is checked.
class FakeDevice : public AudioOutput {
public:
    explicit FakeDevice(std::shared_ptr<Devices> devices) : devices_(std::move(devices)), switches_(devices_->add()) {}
    bool start(RenderFn render, void* context) override {
        if (devices_->refusals.load() > 0) {
            devices_->refusals.fetch_sub(1);
            return false;
        }
        render_ = render;
        context_ = context;
        started_ = inner_.start(&FakeDevice::tick, this);
        return started_;
    }
    void stop() override {
        devices_->drained.fetch_add(1);
        finish();
    }
    void abort() override { finish(); }
    std::string error() const override { return "refused"; }
    std::uint64_t latencyFrames() const override { return 3000; }
    bool watched() const override { return true; }
    bool faulted() const override { return switches_->fault.load(); }

private:
    static void tick(void* context, float* out, std::size_t frames) {
        auto* self = static_cast<FakeDevice*>(context);
        if (self->switches_->hang.load()) return;
        self->render_(self->context_, out, frames);
        if (self->givenUp_.load() && std::any_of(out, out + frames, [](float s) { return s != 0.0f; }))
            self->devices_->lateSound.store(true);
        self->calls_.fetch_add(1);
    }
    void finish() {
        devices_->stops.fetch_add(1);
        if (devices_->stopBlocks.load()) {
            std::unique_lock<std::mutex> lock(devices_->mutex);
            devices_->released.wait(lock, [this] { return devices_->release; });
        }
        if (started_) {
            givenUp_.store(true);
            switches_->hang.store(false);
            const int calls = calls_.load();
            waitFor([&] { return calls_.load() >= calls + 2; });
        }
        inner_.stop();
    }

    std::shared_ptr<Devices> devices_;
    std::shared_ptr<Switches> switches_;
    ClockedSilentOutput inner_;
    RenderFn render_ = nullptr;
    void* context_ = nullptr;
    bool started_ = false;
    std::atomic<bool> givenUp_{false};
    std::atomic<int> calls_{0};
};

// Quick enough for a test, slow enough that a busy machine is not taken for
// a lost device.
WatchdogTiming testTiming() {
    WatchdogTiming t;
    t.stall = std::chrono::milliseconds(400);
    t.retry = std::chrono::milliseconds(100);
    t.look = std::chrono::milliseconds(5);
    t.release = std::chrono::milliseconds(300);
    return t;
}

std::unique_ptr<Engine> watchedEngine(const std::shared_ptr<Devices>& devices, WatchdogTiming timing = testTiming()) {
    auto engine = Engine::create();
    engine->setWatchdogTiming(timing);
    engine->setOutputFactory([devices](AudioBackend backend) -> std::unique_ptr<AudioOutput> {
        if (backend == AudioBackend::Null) return std::make_unique<ClockedSilentOutput>();
        return std::make_unique<FakeDevice>(devices);
    });
    return engine;
}

bool renderedOn(const Engine& engine, std::uint64_t frames) {
    const std::uint64_t from = engine.framesRendered();
    return waitFor([&] { return engine.framesRendered() >= from + frames; });
}

// A tune of two seconds, recorded through the loss of the device (and
// its return): the file holds every sample once, as the offline render does.
TEST(OutputWatchdogTest, LostAndBackTheRecordingMissesNoSample) {
    char dir[] = "/tmp/bleeptone-watchdog-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string live = std::string(dir) + "/live.wav", offline = std::string(dir) + "/offline.wav";
    const std::u16string tune = u"l16 cdefgab>cdefgab>c";

    auto devices = std::make_shared<Devices>();
    {
        auto engine = watchedEngine(devices);
        ASSERT_EQ(engine->PSG_Init().result, InitResult::Device);
        devices->refusals = 2;  // the first two tries fail: the device is still gone
        EXPECT_EQ(engine->outputLatencyFrames(), 3000u);
        ASSERT_TRUE(engine->PSG_StartWaveRecord(live, /*AutoStop=*/true));
        engine->PSG_PlayMML(tune);
        ASSERT_TRUE(renderedOn(*engine, 4096));

        devices->last().hang = true;
        ASSERT_TRUE(waitFor([&] { return engine->outputHealth().silent; }));
        EXPECT_EQ(engine->outputHealth().losses, 1u);
        EXPECT_EQ(engine->outputLatencyFrames(), kPreferredBufferFrames) << "the silent output's";
        ASSERT_TRUE(renderedOn(*engine, 4096)) << "the tune goes on silently";

        ASSERT_TRUE(waitFor([&] { return !engine->outputHealth().silent; })) << "the device comes back";
        EXPECT_EQ(devices->made.load(), 4) << "the first, two refusals, the one that plays";
        EXPECT_EQ(engine->outputHealth().losses, 1u);
        EXPECT_EQ(engine->outputLatencyFrames(), 3000u);
        ASSERT_TRUE(waitFor([&] { return !engine->recorder().recording(); })) << "the tune ends on the device";
        engine->PSG_Terminate();
        EXPECT_EQ(devices->stops.load(), 4) << "every device made is released";
        EXPECT_EQ(devices->drained.load(), 1) << "only the healthy one plays out what it holds";
    }
    EXPECT_FALSE(devices->lateSound.load()) << "a device given up calls back, and gets silence";

    OfflineRenderSpec spec;
    spec.texts = {tune};
    spec.wavPath = offline;
    spec.maxFrames = 60 * kSampleRate;
    struct Discard : RenderSink {
        bool samples(const float*, std::size_t) override { return true; }
        bool event(const EngineEvent&) override { return true; }
    } sink;
    renderOffline(spec, sink);
    EXPECT_EQ(testing::readBytes(live), testing::readBytes(offline));
    std::filesystem::remove_all(dir);
}

// A device that reports a fault is given up at once; one that never lets
// go holds up neither the switch to silence nor the end; a Play tries the
// device again before the retry interval is up.
TEST(OutputWatchdogTest, FaultsStuckDevicesAndPlay) {
    auto devices = std::make_shared<Devices>();
    WatchdogTiming timing = testTiming();
    timing.retry = std::chrono::hours(1);  // only a Play tries again
    {
        auto engine = watchedEngine(devices, timing);
        ASSERT_EQ(engine->PSG_Init().result, InitResult::Device);
        devices->stopBlocks = true;
        devices->last().fault = true;
        ASSERT_TRUE(waitFor([&] { return engine->outputHealth().silent; }));
        ASSERT_TRUE(renderedOn(*engine, 4096)) << "silent, though the device is still being stopped";
        EXPECT_EQ(devices->made.load(), 1);

        engine->PSG_PlayMML(u"c");
        ASSERT_TRUE(waitFor([&] { return !engine->outputHealth().silent; })) << "Play tried the device again";
        EXPECT_EQ(devices->made.load(), 2);

        engine->PSG_Terminate();  // the new device does not let go either: the wait is bounded
        EXPECT_FALSE(engine->hasOutput());
        EXPECT_EQ(engine->outputHealth().losses, 0u);
    }
    devices->releaseAll();
    ASSERT_TRUE(waitFor([&] { return devices->stops.load() == 2 && devices.use_count() == 1; }))
        << "the helpers finish once the devices let go";
}

// A device that fails at the start is not watched: PSG_Init falls back to
// the silent output as before, and nothing tries the device again.
TEST(OutputWatchdogTest, ADeviceThatDoesNotStartIsNotRetried) {
    auto devices = std::make_shared<Devices>();
    devices->refusals = 1;
    auto engine = watchedEngine(devices);
    const InitOutcome init = engine->PSG_Init();
    EXPECT_EQ(init.result, InitResult::SilentFallback);
    EXPECT_EQ(init.error, "refused");
    engine->PSG_PlayMML(u"c");
    ASSERT_TRUE(renderedOn(*engine, 4096));
    EXPECT_EQ(devices->made.load(), 1);
    EXPECT_FALSE(engine->outputHealth().silent);
}

}  // namespace
}  // namespace bleeptone
