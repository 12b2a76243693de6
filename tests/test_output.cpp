// Audio output and the engine's life cycle: PSG_Init / PSG_Terminate with a
// fake output that logs what is done to it, the silent clocked output, and
// the choice of backend. No sound device is ever opened.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "engine/engine.h"
#include "tests/test_support.h"

namespace bleeptone {
namespace {

using Log = std::vector<std::string>;

using testing::waitFor;

// What the fakes share with the test. Declared before the engine, so that it
// outlives the outputs the engine still holds.
struct Bench {
    Log log;
    bool refuseDevice = false;
    bool refuseSilent = false;
    RenderFn render = nullptr;  // what the last started output was given
    void* context = nullptr;
    Engine* engine = nullptr;   // to note a recording still running at stop()
    int made = 0;
};

// Outputs are numbered in the order the factory makes them. A device does
// not render by itself: the test calls the render function it was given. The
// silent one wraps a real ClockedSilentOutput.
class FakeOutput : public AudioOutput {
public:
    FakeOutput(Bench& bench, AudioBackend backend)
        : bench_(bench), id_(std::to_string(++bench.made)), device_(backend == AudioBackend::PortAudio) {
        if (!device_) inner_ = std::make_unique<ClockedSilentOutput>();
    }
    ~FakeOutput() override { bench_.log.push_back("release " + id_); }
    bool start(RenderFn render, void* context) override {
        bench_.log.push_back("start " + id_);
        if (device_ ? bench_.refuseDevice : bench_.refuseSilent) return false;
        bench_.render = render;
        bench_.context = context;
        return inner_ ? inner_->start(render, context) : true;
    }
    void stop() override {
        const bool recording = bench_.engine && bench_.engine->recorder().recording();
        bench_.log.push_back("stop " + id_ + (recording ? " while recording" : ""));
        if (inner_) inner_->stop();
    }
    std::string error() const override { return device_ ? "device busy" : "silent refused"; }

private:
    Bench& bench_;
    std::string id_;
    bool device_;
    std::unique_ptr<AudioOutput> inner_;
};

std::unique_ptr<Engine> engineOn(Bench& bench) {
    auto engine = Engine::create();
    engine->setOutputFactory([&bench](AudioBackend backend) { return std::make_unique<FakeOutput>(bench, backend); });
    bench.engine = engine.get();
    return engine;
}

bool awaitEvent(Engine& engine, std::int64_t data) {
    return waitFor([&] {
        for (EngineEvent e; engine.pollEvent(e);)
            if (e.data == data) return true;
        return false;
    });
}

TEST(OutputTest, SecondInitReplacesTheOutputAndSilencesEveryVoice) {
    Bench bench;
    auto engine = engineOn(bench);
    ASSERT_EQ(engine->PSG_Init().result, InitResult::Device);
    for (std::uint8_t k = 0; k < kVoices; ++k) engine->synth().PSG_Sound(k, 220.0f * (k + 1), 63, 0);
    std::vector<float> buf(1000);
    bench.render(bench.context, buf.data(), buf.size());
    EXPECT_TRUE(std::any_of(buf.begin(), buf.end(), [](float s) { return s != 0.0f; }));

    ASSERT_EQ(engine->PSG_Init().result, InitResult::Device);
    EXPECT_EQ(bench.log, (Log{"start 1", "stop 1", "release 1", "start 2"}));
    const PSGInternal& psg = engine->synth().state();
    for (int k = 0; k < kVoices; ++k) {
        EXPECT_EQ(psg.vmul[k], 0.0f) << k;
        EXPECT_EQ(psg.tmp[k], 0.0f) << k;
    }
    EXPECT_EQ(psg.interrupt_cnt, 0);  // a tick is due at the next render call
    EXPECT_EQ(psg.mastervolume, 1.0f);
    bench.render(bench.context, buf.data(), buf.size());
    for (float s : buf) ASSERT_EQ(s, 0.0f);
}

TEST(OutputTest, TerminateStopsAndReleasesOnlyAnExistingOutput) {
    Bench bench;
    auto engine = engineOn(bench);
    engine->PSG_Terminate();
    EXPECT_TRUE(bench.log.empty());
    EXPECT_FALSE(engine->hasOutput());
    engine->PSG_Init();
    EXPECT_TRUE(engine->hasOutput());
    engine->PSG_Terminate();
    engine->PSG_Terminate();
    EXPECT_EQ(bench.log, (Log{"start 1", "stop 1", "release 1"}));
    EXPECT_FALSE(engine->hasOutput());
}

// A running recording is finished before the output stops, whether the
// engine shuts down or starts again.
using OutputFileTest = testing::TempDirTest;

TEST_F(OutputFileTest, RecordingIsFinishedBeforeTheOutputStops) {
    const std::string file = path("r.wav");
    for (bool reinit : {false, true}) {
        SCOPED_TRACE(reinit);
        Bench bench;
        auto engine = engineOn(bench);
        engine->PSG_Init();
        ASSERT_TRUE(engine->PSG_StartWaveRecord(file));
        engine->PSG_PlayMML(u"C4");
        std::vector<float> buf(3000);
        bench.render(bench.context, buf.data(), buf.size());
        reinit ? (void)engine->PSG_Init() : engine->PSG_Terminate();
        EXPECT_EQ(bench.log.at(1), "stop 1");
        EXPECT_FALSE(engine->recorder().recording());
        EXPECT_EQ(std::filesystem::file_size(file), 44u + 6000u);
    }
}

// When the device does not start, the engine runs on the silent clocked
// output: a played tune still ends with its -1 event. "C64" lasts 3 ticks.
TEST(OutputTest, InitOutcomes) {
    const struct {
        const char* name;
        AudioBackend backend;
        bool refuseDevice, refuseSilent;
        InitResult result;
        const char* error;  // nullptr: not checked
        Log log;
    } cases[] = {
        {"device", AudioBackend::PortAudio, false, false, InitResult::Device, "", {"start 1"}},
        {"device refuses", AudioBackend::PortAudio, true, false, InitResult::SilentFallback, "device busy",
         {"start 1", "release 1", "start 2"}},
        {"null", AudioBackend::Null, false, false, InitResult::Silent, "", {"start 1"}},
        {"nothing starts", AudioBackend::PortAudio, true, true, InitResult::NoOutput, "device busy",
         {"start 1", "release 1", "start 2", "release 2"}},
        {"null refuses", AudioBackend::Null, false, true, InitResult::NoOutput, nullptr, {"start 1", "release 1"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Bench bench;
        bench.refuseDevice = c.refuseDevice;
        bench.refuseSilent = c.refuseSilent;
        auto engine = engineOn(bench);
        const InitOutcome outcome = engine->PSG_Init(c.backend);
        EXPECT_EQ(outcome.result, c.result);
        if (c.error) {
            EXPECT_EQ(outcome.error, c.error);
        }
        EXPECT_EQ(bench.log, c.log);
        EXPECT_EQ(engine->hasOutput(), c.result != InitResult::NoOutput);
        if (c.result == InitResult::Silent || c.result == InitResult::SilentFallback) {
            engine->PSG_PlayMML(u"C64");
            EXPECT_TRUE(awaitEvent(*engine, kEventEnded));
        }
        engine->PSG_Terminate();
        EXPECT_FALSE(engine->hasOutput());
    }
}

// The function handed to the output is the engine's render callback. Ticks
// fall on multiples of 459 samples: "C64" played after sample 1,000 is read
// at 1,377 and ends 3 ticks later, at 2,754.
TEST(OutputTest, RenderCallbackDrivesTheEngine) {
    Bench bench;
    auto engine = engineOn(bench);
    engine->PSG_Init();
    ASSERT_NE(bench.render, nullptr);
    std::vector<float> buf(2048);
    bench.render(bench.context, buf.data(), 0);
    EXPECT_EQ(engine->framesRendered(), 0u);
    bench.render(bench.context, buf.data(), 1000);
    EXPECT_EQ(engine->framesRendered(), 1000u);
    engine->PSG_PlayMML(u"C64");
    bench.render(bench.context, buf.data(), 2048);
    EXPECT_EQ(engine->framesRendered(), 3048u);
    // buf[i] is sample 1,000 + i: silent until the note, sounding from 1,377.
    EXPECT_TRUE(std::all_of(buf.begin(), buf.begin() + 377, [](float s) { return s == 0.0f; }));
    EXPECT_TRUE(std::any_of(buf.begin() + 377, buf.begin() + 1754, [](float s) { return s != 0.0f; }));
    EngineEvent e;
    ASSERT_TRUE(engine->pollEvent(e));
    EXPECT_EQ(e.data, kEventEnded);
    EXPECT_EQ(e.frame, 2754u);
}

TEST(OutputTest, ClockedSilentOutputRendersUntilStopped) {
    struct Counter {
        std::atomic<int> calls{0};
        std::atomic<int> oddSizes{0};
        std::atomic<bool> inside{false};
    } counter;
    const RenderFn render = [](void* context, float*, std::size_t frames) {
        auto& c = *static_cast<Counter*>(context);
        c.inside.store(true);
        if (frames != kPreferredBufferFrames) c.oddSizes.fetch_add(1);
        c.calls.fetch_add(1);
        c.inside.store(false);
    };
    {
        ClockedSilentOutput output;
        ASSERT_TRUE(output.start(render, &counter));
        EXPECT_EQ(output.error(), "");
        EXPECT_EQ(output.latencyFrames(), kPreferredBufferFrames);  // it renders one buffer ahead
        ASSERT_TRUE(waitFor([&] { return counter.calls.load() >= 3; }));
        output.stop();
        EXPECT_FALSE(counter.inside.load());
        const int stoppedAt = counter.calls.load();
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        EXPECT_EQ(counter.calls.load(), stoppedAt);
        ASSERT_TRUE(output.start(render, &counter));  // starts again; the destructor stops it
        ASSERT_TRUE(waitFor([&] { return counter.calls.load() > stoppedAt; }));
    }
    EXPECT_EQ(counter.oddSizes.load(), 0);

    auto engine = Engine::create();
    ASSERT_EQ(engine->PSG_Init(AudioBackend::Null).result, InitResult::Silent);
    EXPECT_EQ(engine->outputLatencyFrames(), kPreferredBufferFrames);
    ASSERT_TRUE(waitFor([&] { return engine->framesRendered() >= 3 * kPreferredBufferFrames; }));
    engine->PSG_Terminate();
    EXPECT_EQ(engine->outputLatencyFrames(), 0u);
    const std::uint64_t frames = engine->framesRendered();
    EXPECT_EQ(frames % kPreferredBufferFrames, 0u);
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_EQ(engine->framesRendered(), frames);
}

TEST(AudioBackendTest, Names) {
    const struct {
        const char* name;
        std::optional<AudioBackend> backend;
    } cases[] = {
        {"portaudio", AudioBackend::PortAudio}, {"null", AudioBackend::Null}, {"", std::nullopt},
        {"pulse", std::nullopt},                 {"nul", std::nullopt},       {"null ", std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(parseAudioBackend(c.name), c.backend) << '"' << c.name << '"';
}

TEST(AudioBackendTest, Environment) {
    const char* old = std::getenv("BLEEPTONE_AUDIO");
    const std::optional<std::string> saved = old ? std::optional<std::string>(old) : std::nullopt;
    const struct {
        const char* value;  // nullptr: unset
        AudioBackend backend;
    } cases[] = {
        {nullptr, AudioBackend::PortAudio}, {"null", AudioBackend::Null},      {"portaudio", AudioBackend::PortAudio},
        {"", AudioBackend::PortAudio},      {"bogus", AudioBackend::PortAudio},
    };
    for (const auto& c : cases) {
        c.value ? setenv("BLEEPTONE_AUDIO", c.value, 1) : unsetenv("BLEEPTONE_AUDIO");
        EXPECT_EQ(audioBackendFromEnvironment(), c.backend) << (c.value ? c.value : "(unset)");
    }
    saved ? setenv("BLEEPTONE_AUDIO", saved->c_str(), 1) : unsetenv("BLEEPTONE_AUDIO");
}

}  // namespace
}  // namespace bleeptone
