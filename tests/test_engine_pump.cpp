// The engine pump: fast while a tune plays and until its end event has been
// delivered (also when the main thread looks in the instant between the last
// channel ending and its event being posted), slow when idle, and no event
// lost on the way.

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "app/engine_pump.h"
#include "engine/engine.h"
#include "tests/hand_output.h"

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

}  // namespace
}  // namespace bleeptone
