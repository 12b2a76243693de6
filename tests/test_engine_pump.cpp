// The engine pump: fast while a tune plays and until its end event has been
// delivered (also when the main thread looks in the instant between the last
// channel ending and its event being posted), slow when idle, and no event
// lost on the way; a lost sound device told once, on a line of the window.
// The last test runs only inside a PipeWire session (tests/pipewire/run.sh):
// the real window and the real device, the server killed mid-song.

#include <gtest/gtest.h>

#include <QElapsedTimer>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "app/application.h"
#include "app/controls.h"
#include "app/dispatcher.h"
#include "app/engine_pump.h"
#include "app/main_window.h"
#include "app/song_commands.h"
#include "engine/engine.h"
#include "tests/event_loop.h"
#include "tests/hand_output.h"
#include "tests/program_test.h"
#include "tests/scripted_dialogs.h"

namespace bleeptone {
namespace {

// Polls the pump when a channel has just ended and its event is not posted yet.
struct PollBeforeEnd : TickObserver {
    EnginePump* pump = nullptr;
    std::vector<int> intervals;  // the pump's pace after each such poll
    void beforeEndEvent() override {
        pump->poll();
        intervals.push_back(pump->interval());
    }
};

TEST(EnginePump, QuietWhenIdleFastUntilTheEndIsDelivered) {
    auto engine = Engine::create();
    testing::HandOutput* output = nullptr;
    engine->setOutputFactory(testing::handOutputs(output));
    ASSERT_EQ(engine->PSG_Init(AudioBackend::Null).result, InitResult::Silent);
    std::vector<std::int64_t> delivered;
    EnginePump pump(*engine, [&delivered](std::int64_t data) { delivered.push_back(data); });
    PollBeforeEnd peek;
    peek.pump = &pump;
    engine->sequencer().setObserver(&peek);

    EXPECT_EQ(pump.interval(), EnginePump::kIdleIntervalMs) << "idle from the start";
    pump.poll();
    EXPECT_EQ(pump.interval(), EnginePump::kIdleIntervalMs);

    engine->PSG_PlayMML(u"l16 c*3 d");
    pump.poll();
    EXPECT_EQ(pump.interval(), EnginePump::kIntervalMs) << "a tune plays";
    for (int block = 0; block < 20 && engine->sequencer().playingMask() != 0; ++block) {
        output->render(2048);
        pump.poll();
    }
    ASSERT_EQ(engine->sequencer().playingMask(), 0u);
    // In the instant between the end and its event the pump kept its pace.
    EXPECT_EQ(peek.intervals, std::vector<int>{EnginePump::kIntervalMs});
    pump.poll();
    EXPECT_EQ(delivered, (std::vector<std::int64_t>{3, kEventEnded}));
    EXPECT_EQ(pump.interval(), EnginePump::kIdleIntervalMs) << "quiet again once the end is delivered";

    // A tune that starts and ends between two slow looks still gets its end delivered.
    delivered.clear();
    engine->PSG_PlayMML(u"l16 c");
    for (int block = 0; block < 20 && engine->sequencer().playingMask() != 0; ++block) output->render(2048);
    pump.poll();
    EXPECT_EQ(delivered, std::vector<std::int64_t>{kEventEnded});
    EXPECT_EQ(pump.interval(), EnginePump::kIdleIntervalMs);
    engine->sequencer().setObserver(&engine->recorder());
}

// A hand output whose health the test sets, as the watchdog would report it.
class HealthOutput : public testing::HandOutput {
public:
    explicit HealthOutput(OutputHealth& health) : health_(health) {}
    OutputHealth health() const override { return health_; }

private:
    OutputHealth& health_;
};

const QString kSilentNotice = "The sound device stopped; playing on silently.";

TEST(EnginePump, ALostDeviceIsToldOnceOnALineOfTheWindow) {
    OutputHealth health;
    testing::ScriptedDialogs dialogs;
    Application app(dialogs);
    Application::Options options = testing::programOptions();
    options.outputFactory = [&health](AudioBackend) { return std::make_unique<HealthOutput>(health); };
    ASSERT_TRUE(app.start(options));
    app.dispatcher().setLeaveLoop([] {});
    testing::serveFor(300);
    EXPECT_EQ(app.window().outputNotice(), QString());

    health = {1, true};
    ASSERT_TRUE(testing::serveUntil([&] { return app.window().outputNotice() == kSilentNotice; }));
    EXPECT_TRUE(dialogs.calls.empty()) << "no box: the music is not interrupted";
    health = {1, false};
    ASSERT_TRUE(testing::serveUntil([&] { return app.window().outputNotice().isEmpty(); })) << "the device is back";

    // The pump tells each change once.
    std::vector<bool> told;
    EnginePump pump(app.engine(), [](std::int64_t) {});
    pump.setOutputListener([&told](bool silent) { told.push_back(silent); });
    for (const bool silent : {false, true, true, false, false, true}) {
        health = {2, silent};
        pump.poll();
    }
    EXPECT_EQ(told, (std::vector<bool>{true, false, true}));
    app.shutdown();
}

// Inside a PipeWire session: Demo 4 in the real window on the real device;
// the server is killed mid-song. The song plays on silently (the playhead
// moves), the window says so on its line, and Stop and Quit answer at once.
// BLEEPTONE_PW_KILL is the command that kills the server.
TEST(EnginePumpPipeWire, TheServerDiesMidSong) {
    const char* kill = std::getenv("BLEEPTONE_PW_KILL");
    if (!kill) GTEST_SKIP() << "runs inside a PipeWire session (tests/pipewire/run.sh)";
    testing::ScriptedDialogs dialogs;
    Application app(dialogs);
    Application::Options options = testing::programOptions();
    options.audio = AudioBackend::PortAudio;
    ASSERT_TRUE(app.start(options));
    app.dispatcher().setLeaveLoop([] {});
    ASSERT_TRUE(dialogs.calls.empty()) << "the device opened";
    Engine& engine = app.engine();
    app.dispatcher().submit(AppEvent::menu(menu::Demo4));
    app.dispatcher().submit(AppEvent::control(control::PlayButton));
    ASSERT_EQ(app.song().playState(), PlayState::Song);
    ASSERT_TRUE(testing::serveUntil([&] { return engine.songFrame() > kSampleRate; }, 20000));

    ASSERT_EQ(std::system(kill), 0);
    ASSERT_TRUE(testing::serveUntil([&] { return app.window().outputNotice() == kSilentNotice; }, 20000));
    EXPECT_EQ(engine.outputHealth().losses, 1u);
    EXPECT_TRUE(dialogs.calls.empty()) << "no box";
    // The playhead moves on: the snapshot heard now is newer a moment later.
    PlayheadSnapshot before, after;
    ASSERT_TRUE(engine.playheadNow(before));
    ASSERT_TRUE(testing::serveUntil(
        [&] { return engine.playheadNow(after) && after.songFrame > before.songFrame + kSampleRate / 2; }, 20000));
    EXPECT_EQ(app.song().playState(), PlayState::Song);

    QElapsedTimer clock;
    clock.start();
    app.dispatcher().submit(AppEvent::control(control::StopButton));
    const qint64 stopMs = clock.elapsed();
    EXPECT_EQ(app.song().playState(), PlayState::Idle);
    clock.restart();
    app.shutdown();
    const qint64 quitMs = clock.elapsed();
    std::printf("after the loss: Stop took %lld ms, Quit (the engine's end) %lld ms\n", static_cast<long long>(stopMs),
                static_cast<long long>(quitMs));
    // Generous bounds: they catch a hang, not a slow machine.
    EXPECT_LT(stopMs, 10000);
    EXPECT_LT(quitMs, 10000);
    EXPECT_FALSE(engine.hasOutput());
}

}  // namespace
}  // namespace bleeptone
