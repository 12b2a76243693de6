// The playhead: what each channel sounds at every tick, published by the
// audio thread and read by another; the pick of the snapshot being heard.
// Ticks worked out by hand at tempo 12: a whole note is 192 ticks.

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "engine/engine.h"
#include "tests/hand_output.h"

namespace bleeptone {
namespace {

using Positions = std::array<std::int32_t, kVoices>;

// "L8C D R4 E": C at 2 (ticks 0..23), D at 4 (24..47), R at 6 (48..95), E at
// 9 (96..119); the channel ends at tick 120. "C2" sounds 96 ticks; the empty
// text ends at the first tick; ":" leaves the never-played channel idle;
// "C8:" loops, its C at 0 again after each ":".
TEST(Playhead, PositionsOfTheSoundingCommands) {
    auto engine = Engine::create();
    const std::uint32_t song = engine->PSG_PlayMML(u"L8C D R4 E", u"C2", u"", u":");
    const struct {
        int tick;
        Positions positions;
    } rows[] = {
        {0, {2, 0, -1, -1}},     {23, {2, 0, -1, -1}},    {24, {4, 0, -1, -1}},  {47, {4, 0, -1, -1}},
        {48, {6, 0, -1, -1}},    {95, {6, 0, -1, -1}},    {96, {9, -1, -1, -1}}, {119, {9, -1, -1, -1}},
        {120, {-1, -1, -1, -1}}, {130, {-1, -1, -1, -1}},
    };
    std::vector<float> buf(kTickSamples);
    int tick = 0;
    for (const auto& r : rows) {
        for (; tick <= r.tick; ++tick) engine->PSG_Core(buf.data(), buf.size());
        PlayheadSnapshot s;
        ASSERT_TRUE(engine->playheadAt(engine->framesRendered() - 1, s));
        EXPECT_EQ(s.frame, static_cast<std::uint64_t>(r.tick) * kTickSamples) << "tick " << r.tick;
        EXPECT_EQ(s.songFrame, s.frame) << "tick " << r.tick;
        EXPECT_EQ(s.song, song);
        EXPECT_EQ(s.positions, r.positions) << "tick " << r.tick;
    }

    // A new song half-way through a block: its clock starts at its first tick.
    engine->PSG_Core(buf.data(), 100);  // frame 131 x 459 + 100: the next tick is at 132 x 459
    const std::uint32_t next = engine->PSG_PlayMML(u"C8:", u"", u"", u"");
    EXPECT_EQ(next, song + 1);
    for (int t = 0; t < 30; ++t) engine->PSG_Core(buf.data(), buf.size());
    PlayheadSnapshot s;
    ASSERT_TRUE(engine->playheadAt(132 * kTickSamples + 24 * kTickSamples, s));  // the loop's second pass
    EXPECT_EQ(s.song, next);
    EXPECT_EQ(s.songFrame, 24u * kTickSamples);
    EXPECT_EQ(s.positions, (Positions{0, -1, -1, -1}));
    EXPECT_EQ(engine->songFrame(), engine->framesRendered() - 132 * kTickSamples);
    // The ring still holds the first song's ticks (256 slots).
    EXPECT_TRUE(engine->playheadAt(0, s));
    EXPECT_EQ(s.song, song);
}

// A song wanted at once: its first tick comes before the next block,
// wherever the beat stands, and the beat goes on from there. The voice left
// as it is (":") plays on.
TEST(Playhead, ASongAtOnceTicksBeforeTheNextBlock) {
    for (const std::size_t before : {0u, 100u, 458u, 459u, 1000u}) {
        SCOPED_TRACE(before);
        auto engine = Engine::create();
        std::vector<float> buf(2048);
        engine->PSG_PlayMML(u"C1", u"", u"", u"");
        engine->PSG_Core(buf.data(), before);
        const std::uint32_t song = engine->playMMLAtOnce(MML_NoChange, u"L8 C D", MML_NoChange, MML_NoChange);
        engine->PSG_Core(buf.data(), buf.size());
        PlayheadSnapshot s;
        ASSERT_TRUE(engine->playheadAt(before, s));
        EXPECT_EQ(s.frame, before);
        EXPECT_EQ(s.song, song);
        EXPECT_EQ(s.songFrame, 0u);
        EXPECT_EQ(s.positions, (Positions{0, 3, -1, -1}));
        ASSERT_TRUE(engine->playheadAt(before + kTickSamples, s));
        EXPECT_EQ(s.frame, before + kTickSamples);
        EXPECT_EQ(engine->songFrame(), buf.size());
    }
}

// The sample heard now is the last one rendered less the latency: after 5
// ticks' worth (2,295 samples) with 1,000 of latency, sample 1,294 is heard,
// which tick 2 (from 918) set. Notes change every 3 ticks: "L64" at tempo 12.
TEST(Playhead, NowFollowsWhatIsHeard) {
    testing::HandOutput* output = nullptr;
    auto engine = Engine::create();
    engine->setOutputFactory(testing::handOutputs(output, 1000));
    ASSERT_EQ(engine->PSG_Init().result, InitResult::Device);
    EXPECT_EQ(engine->outputLatencyFrames(), 1000u);
    engine->PSG_PlayMML(u"L64 CDEFGAB", u"", u"", u"");
    PlayheadSnapshot s;
    EXPECT_FALSE(engine->playheadNow(s));  // nothing rendered yet
    output->render(900);
    EXPECT_FALSE(engine->playheadNow(s));  // nothing heard yet
    output->render(5 * kTickSamples - 900);
    ASSERT_TRUE(engine->playheadNow(s));
    EXPECT_EQ(s.frame, 2u * kTickSamples);
    EXPECT_EQ(s.positions[0], 4);      // the C, read at tick 0, sounds until tick 3
    output->render(5 * kTickSamples);  // sample 3,589 heard: tick 7, the E (6..8)
    ASSERT_TRUE(engine->playheadNow(s));
    EXPECT_EQ(s.frame, 7u * kTickSamples);
    EXPECT_EQ(s.positions[0], 6);
}

// A reader on another thread (run under ThreadSanitizer) never sees a torn
// snapshot: in "L64 C..." (3 ticks a note) and "L32 C..." (6 ticks) the
// position of every snapshot follows from its frame.
TEST(Playhead, ReaderOnAnotherThreadSeesWholeSnapshots) {
    std::u16string fast = u"L64 ", slow = u"L32 ";
    for (int i = 0; i < 3000; ++i) {
        fast += u'C';
        slow += u'D';
    }
    auto engine = Engine::create();
    engine->PSG_PlayMML(fast, slow, u"", u"");
    constexpr int kTicks = 6000;
    std::atomic<bool> done{false};
    std::thread audio([&] {
        std::vector<float> buf(1000);
        for (int i = 0; i < kTicks * kTickSamples / 1000; ++i) engine->PSG_Core(buf.data(), buf.size());
        done.store(true);
    });
    std::uint64_t reads = 0, bad = 0;
    while (!done.load()) {
        PlayheadSnapshot s;
        if (!engine->playheadAt(UINT64_MAX, s)) continue;
        const std::uint64_t tick = s.frame / kTickSamples;
        ++reads;
        bad += s.frame % kTickSamples != 0 || s.songFrame != s.frame ||
               s.positions[0] != static_cast<std::int32_t>(4 + tick / 3) ||
               s.positions[1] != static_cast<std::int32_t>(4 + tick / 6) || s.positions[2] != -1;
    }
    audio.join();
    EXPECT_EQ(bad, 0u) << "of " << reads;
}

}  // namespace
}  // namespace bleeptone
