// The sequencer tick as the render loop drives it: one tick before every
// block of 459 samples. Expected ticks, volumes and pitches are worked out by
// hand from the tick rules (tempo 12: a whole note is 192 ticks, a quarter 48).

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <bit>
#include <cmath>
#include <cstdint>
#include <iterator>
#include <limits>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "engine/engine.h"

namespace bleeptone {
namespace {

using Texts = std::array<std::u16string_view, kVoices>;
constexpr std::int64_t kMax64 = std::numeric_limits<std::int64_t>::max();
const float kRcp = std::bit_cast<float>(0x37BE37C6u);  // 1 / 44100 in single precision

struct Ev {
    std::int64_t tick;
    std::int64_t data;
    bool operator==(const Ev&) const = default;
};
void PrintTo(const Ev& e, std::ostream* os) { *os << "{" << e.tick << ", " << e.data << "}"; }

std::vector<Ev> every(std::int64_t first, std::int64_t step, std::int64_t last, std::int64_t data) {
    std::vector<Ev> v;
    for (std::int64_t t = first; t <= last; t += step) v.push_back({t, data});
    return v;
}

std::string narrow(const Texts& texts) {
    std::string s;
    for (auto t : texts) {
        s += '"';
        for (char16_t c : t) s += static_cast<char>(c);
        s += "\" ";
    }
    return s;
}

// Frequency of note index k: the float nearest to 440 x 2^((k - 57) / 12).
float noteHz(int k) { return static_cast<float>(440.0 * std::exp2((k - 57) / 12.0)); }

float advance(float phase, float add) {
    const float p = phase + add;
    return p >= 1.0f ? p - 1.0f : p;
}

// A fresh engine. Rendering 459 frames per call runs exactly one tick at the
// start of each call, so an event's frame / 459 is the tick that posted it.
struct Rig {
    std::unique_ptr<Engine> engine = Engine::create();
    std::array<float, kTickSamples> buf{};
    std::vector<Ev> events;

    Rig() = default;
    explicit Rig(const Texts& t) { play(t); }
    void play(const Texts& t) { engine->PSG_PlayMML(t[0], t[1], t[2], t[3]); }
    void render(std::size_t frames) {
        engine->PSG_Core(buf.data(), frames);
        EngineEvent e;
        while (engine->pollEvent(e)) events.push_back({static_cast<std::int64_t>(e.frame / kTickSamples), e.data});
    }
    void tick() { render(kTickSamples); }
    void ticks(int n) {
        for (int i = 0; i < n; ++i) tick();
    }
    const MML_Channel& ch(int k) const { return engine->sequencer().channel(k); }
    PSGInternal& psg() { return engine->synth().state(); }
    // VolTable index of voice k's target volume, -1 if it is no entry.
    int vol(int k) {
        for (int i = 0; i < 64; ++i)
            if (VolTable[static_cast<std::size_t>(i)] == psg().vmul[k]) return i;
        return -1;
    }
};

// ---------------------------------------------------------------- events

struct EventCase {
    Texts texts;
    int ticks;
    std::vector<Ev> expected;
};

TEST(SequencerEvents, PostedAtTheDerivedTicks) {
    const EventCase cases[] = {
        // Four empty texts: every channel ends at the first tick, one -1.
        {{u"", u"", u"", u""}, 5, {{0, -1}}},
        // The quarter note read at tick 0 runs out at tick 48, where the text ends.
        {{u"C4"}, 60, {{48, -1}}},
        {{u"C4 "}, 60, {{48, -1}}},           // the blank belongs to the note
        {{u"C4V5"}, 60, {{49, -1}}},          // V5 read at 48, the end seen at 49
        {{u"C4*7"}, 60, {{48, 7}, {49, -1}}},
        {{u"*C4"}, 60, {{0, 0}, {48, -1}}},
        {{u"C"}, 60, {{48, -1}}},             // NoteLen 4
        {{u"L8C"}, 60, {{24, -1}}},
        {{u"L0C"}, 60, {{48, -1}}},           // L0 changes nothing
        {{u"C4,8"}, 60, {{24, -1}}},          // the last number counts
        {{u"C4."}, 80, {{72, -1}}},           // (48 x 2 + 48) >> 1
        {{u"C4.."}, 80, {{72, -1}}},          // several dots count as one
        {{u"C5."}, 80, {{57, -1}}},           // 192 div 5 = 38; (76 + 38) >> 1
        {{u"R4"}, 60, {{48, -1}}},
        {{u"R4."}, 80, {{72, -1}}},
        {{u"C4R4"}, 100, {{96, -1}}},
        {{u"O9C4"}, 60, {{48, -1}}},          // out of range: silent, still timed
        {{u"T0C1"}, 600, {{576, -1}}},
        {{u"T15C1"}, 100, {{96, -1}}},
        // 192 div 193 = 0: a note of 0 ticks lasts one tick.
        {{u"C193"}, 5, {{1, -1}}},
        {{u"C193C193R193"}, 5, {{3, -1}}},
        // Lengths that come out negative (-1 after wrapping) last one tick too.
        {{u"C18446744073709551615"}, 5, {{1, -1}}},
        {{u"C18446744073709551615.C4"}, 60, {{49, -1}}},
        {{u"L4294967295C"}, 5, {{1, -1}}},    // NoteLen keeps the low 32 bits: -1
        // "*" numbers are never negative: the sign bit of a wrapped run is cleared.
        {{u"*9223372036854775807C"}, 60, {{0, kMax64}, {48, -1}}},
        {{u"*9223372036854775808C"}, 60, {{0, 0}, {48, -1}}},
        {{u"*9223372036854775809C"}, 60, {{0, 1}, {48, -1}}},
        {{u"*18446744073709551615C"}, 60, {{0, kMax64}, {48, -1}}},
        {{u"*18446744073709551614C"}, 60, {{0, kMax64 - 1}, {48, -1}}},
        {{u"*18446744073709551616C"}, 60, {{0, 0}, {48, -1}}},
        // Events of one tick come in channel order; -1 only when the last channel ends.
        {{u"C8*10", u"*11C8*12", u"C4", u"*13C8*14"}, 60, {{0, 11}, {0, 13}, {24, 10}, {24, 12}, {24, 14}, {48, -1}}},
        {{u"C4*5", u"C4"}, 60, {{48, 5}, {49, -1}}},
        // Loops: -2 when every channel still playing loops in the same tick.
        {{u"C4:"}, 200, every(48, 48, 199, -2)},
        {{u"C4:", u"C2:"}, 400, every(96, 96, 399, -2)},
        {{u"C4:", u"C1"}, 300, every(192, 48, 299, -2)},  // C1 ends at 192, in the tick of a loop
        {{u"*1C4:"}, 100, {{0, 1}, {48, 1}, {48, -2}, {96, 1}, {96, -2}}},
        // At most one ":" per tick: a second one stops reading for the tick.
        {{u": "}, 4, every(0, 1, 3, -2)},     // ":" alone would be MML_NoChange
        {{u"T12:"}, 4, every(0, 1, 3, -2)},
        {{u":C4"}, 4, every(0, 1, 3, -2)},   // back at ":" before the note: silent
        {{u"C193:"}, 5, every(1, 1, 4, -2)},
        {{u"*1:"}, 3, {{0, 1}, {0, 1}, {0, -2}, {1, 1}, {1, -2}, {2, 1}, {2, -2}}},
        {{u"*1:", u"*2:"}, 2, {{0, 1}, {0, 1}, {0, 2}, {0, 2}, {0, -2}, {1, 1}, {1, 2}, {1, -2}}},
        {{u": ", u"C4:"}, 100, every(48, 48, 99, -2)},
        {{u": ", u"C4"}, 52, every(48, 1, 51, -2)},  // channel 1 ends at 48
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(narrow(c.texts));
        Rig r(c.texts);
        r.ticks(c.ticks);
        EXPECT_EQ(r.events, c.expected);
        EXPECT_EQ(r.engine->droppedEvents(), 0u);
    }
}

TEST(SequencerEvents, BoundedLoopKeepsPlayingOnItsColon) {
    Rig r({u"T3:", u"", u"", u""});
    r.ticks(3);
    EXPECT_EQ(r.ch(0).EvtCnt, 0);
    EXPECT_EQ(r.ch(0).Tempo, 3);           // T3 read again after the loop
    ASSERT_NE(r.ch(0).CmdPtr, nullptr);
    EXPECT_EQ(*r.ch(0).CmdPtr, u':');
    EXPECT_EQ(r.engine->sequencer().playingMask(), 1u);
}

// A tick that posts more "*" numbers than the queue holds, with nobody
// reading: the "*" numbers beyond the room left for end events are dropped
// and counted, and the -1 of tick 48 still arrives, after the ones kept.
TEST(SequencerEvents, FullQueueDropsStarNumbersButNotTheEnd) {
    std::u16string text;
    for (int i = 0; i < 1100; ++i) {
        const std::string n = std::string("*") + std::to_string(i);
        text.append(n.begin(), n.end());
    }
    text += u"C4";
    auto engine = Engine::create();
    engine->PSG_PlayMML(text);
    std::array<float, kTickSamples> buf{};
    for (int t = 0; t <= 48; ++t) engine->PSG_Core(buf.data(), buf.size());
    constexpr std::size_t kKept = EventQueue::kCapacity - EventQueue::kEndReserve;
    EXPECT_EQ(engine->droppedEvents(), 1100u - kKept);
    std::vector<EngineEvent> got;
    for (EngineEvent e; engine->pollEvent(e);) got.push_back(e);
    ASSERT_EQ(got.size(), kKept + 1);
    for (std::size_t i = 0; i < kKept; ++i) ASSERT_EQ(got[i].data, static_cast<std::int64_t>(i));
    EXPECT_EQ(got.back().data, kEventEnded);
    EXPECT_EQ(got.back().frame, 48u * kTickSamples);
}

// The queue alone, its consumer stalled. Events are posted in runs (frame =
// the post's number) and polled only where a case says; the events read
// must be the expected runs, in order of their frames. C = 1024 slots, of
// which "*" numbers (written 7) may take C - R = 1008.
TEST(SequencerEvents, EndEventsSurviveAStalledConsumer) {
    constexpr std::int64_t kStar = 7, kPoll = INT64_MIN;
    constexpr int kRoom = static_cast<int>(EventQueue::kCapacity - EventQueue::kEndReserve);
    struct Run {
        std::int64_t data;
        int count;
    };
    using Runs = std::vector<Run>;
    auto times = [](const Runs& pattern, int n) {
        Runs v;
        for (int i = 0; i < n; ++i) v.insert(v.end(), pattern.begin(), pattern.end());
        return v;
    };
    auto join = [](Runs a, const Runs& b) {
        a.insert(a.end(), b.begin(), b.end());
        return a;
    };
    const struct {
        const char* name;
        Runs posts;  // kPoll: read count events
        Runs expected;
        std::uint64_t dropped;
    } cases[] = {
        {"flood, then -1", {{kStar, 2000}, {-1, 1}}, {{kStar, kRoom}, {-1, 1}}, 2000 - kRoom},
        {"flood, then many -2", {{kStar, 2000}, {-2, 500}}, {{kStar, kRoom}, {-2, 1}}, 2000 - kRoom},
        // "*n" and -2 every tick: the pairs fill the room, then only the first -2 after it stays.
        {"-2 after every *n", times({{kStar, 1}, {-2, 1}}, 1000), times({{kStar, 1}, {-2, 1}}, kRoom / 2),
         1000 - kRoom / 2},
        // Alike ones never repeat: the reserve fills, and the newest waits beside the slots.
        {"-1 and -2 by turns", join({{kStar, 2000}}, times({{-1, 1}, {-2, 1}}, 20)),
         join({{kStar, kRoom}}, join(times({{-1, 1}, {-2, 1}}, 8), {{-2, 1}})), 2000 - kRoom},
        // Nothing passes the waiting one, though reading makes room.
        {"nothing passes the waiting one",
         join({{kStar, 2000}}, join(times({{-1, 1}, {-2, 1}}, 20), {{kPoll, 5}, {kStar, 3}, {kPoll, 2000}, {kStar, 2},
                                                                     {-1, 1}})),
         join({{kStar, kRoom}}, join(times({{-1, 1}, {-2, 1}}, 8), {{-2, 1}, {kStar, 2}, {-1, 1}})), 2003 - kRoom},
        {"room again once read", {{kStar, 1100}, {kPoll, 2000}, {kStar, 3}, {-1, 1}}, {{kStar, kRoom + 3}, {-1, 1}},
         1100 - kRoom},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto queue = std::make_unique<EventQueue>();
        std::vector<EngineEvent> got;
        std::uint64_t frame = 0;
        for (const Run& r : c.posts)
            for (int i = 0; i < r.count; ++i) {
                EngineEvent e;
                if (r.data != kPoll) queue->post({r.data, frame++});
                else if (queue->poll(e)) got.push_back(e);
            }
        for (EngineEvent e; queue->poll(e);) got.push_back(e);
        // Both as runs of equal data, adjacent runs of the same data merged.
        using Merged = std::vector<std::pair<std::int64_t, int>>;
        auto add = [](Merged& m, std::int64_t data, int count) {
            if (!m.empty() && m.back().first == data) m.back().second += count;
            else m.emplace_back(data, count);
        };
        Merged runs, expected;
        for (std::size_t i = 0; i < got.size(); ++i) {
            if (i > 0) {
                ASSERT_GT(got[i].frame, got[i - 1].frame) << "event " << i;
            }
            add(runs, got[i].data, 1);
        }
        for (const Run& r : c.expected) add(expected, r.data, r.count);
        EXPECT_EQ(runs, expected);
        EXPECT_EQ(queue->dropped(), c.dropped);
    }
}

// ------------------------------------------------------------ PSG_PlayMML

TEST(SequencerPlay, NoChangeRestartsOnlyTheOtherChannels) {
    Rig r({u"C1", u"C1", u"L2C", u""});
    r.ticks(10);  // ticks 0..9: channel 0 read C1 (192) at 0 and counted 9
    const auto* ptr0 = r.ch(0).CmdPtr;
    const auto* ptr2 = r.ch(2).CmdPtr;
    ASSERT_EQ(r.ch(0).EvtCnt, 183);
    ASSERT_EQ(r.ch(3).EvtCnt, -1);  // the empty text ended at tick 0
    r.play({MML_NoChange, u"O5D8", MML_NoChange, MML_NoChange});
    EXPECT_EQ(r.ch(0).EvtCnt, 183);
    EXPECT_EQ(r.ch(0).CmdPtr, ptr0);
    EXPECT_EQ(r.ch(2).EvtCnt, 96 - 9);
    EXPECT_EQ(r.ch(2).CmdPtr, ptr2);
    EXPECT_EQ(r.ch(3).EvtCnt, -1);  // idle stays idle
    EXPECT_EQ(r.ch(1).EvtCnt, 0);
    EXPECT_EQ(*r.ch(1).CmdPtr, u'O');
    EXPECT_EQ(r.engine->sequencer().playingMask(), 0b0111u);

    r.tick();  // tick 10
    EXPECT_EQ(r.ch(0).EvtCnt, 182);
    EXPECT_EQ(r.ch(2).EvtCnt, 86);
    EXPECT_EQ(r.ch(1).EvtCnt, 24);
    EXPECT_EQ(r.ch(1).Octave, 5);
    EXPECT_EQ(r.psg().phase_add[1], noteHz(62) * kRcp);  // D5
    r.ticks(200);
    EXPECT_EQ(r.events, (std::vector<Ev>{{192, -1}}));  // 34 and 96 end quietly
}

TEST(SequencerPlay, EmptyTextsStopEverythingWithOneEvent) {
    Rig r;
    r.ticks(3);  // nothing given yet: nothing happens
    EXPECT_TRUE(r.events.empty());
    EXPECT_EQ(r.ch(0).EvtCnt, -1);
    r.play({u"C1", u"C1:", u"C1", u"C1"});
    r.ticks(5);  // ticks 3..7
    r.play({u"", u"", u"", u""});
    r.ticks(5);
    EXPECT_EQ(r.events, (std::vector<Ev>{{8, -1}}));
    for (int k = 0; k < kVoices; ++k) {
        EXPECT_EQ(r.ch(k).EvtCnt, -1);
        EXPECT_EQ(r.psg().vmul[k], 0.0f);
    }
    EXPECT_EQ(r.engine->sequencer().playingMask(), 0u);
}

TEST(SequencerPlay, PhaseRestartReachesTheVoiceBeforeTheNextBlock) {
    Rig r({u"C1", u"C1"});
    r.ticks(3);
    // In the middle of a block: the restart waits for the next block, no tick runs.
    r.render(100);
    r.play({MML_NoChange, u"E1", MML_NoChange, MML_NoChange});
    const float p0 = r.psg().phase[0];
    const float add1 = r.psg().phase_add[1];  // still the old note
    r.render(1);
    EXPECT_EQ(r.psg().phase[1], 0.75f + add1);
    EXPECT_EQ(r.psg().phase[0], advance(p0, r.psg().phase_add[0]));
    r.render(kTickSamples - 101);
    // At a block boundary: restart, then the tick reads E1 on a sounding voice
    // (so PSG_Sound keeps the phase), then one sample.
    r.play({MML_NoChange, u"E1", MML_NoChange, MML_NoChange});
    r.render(1);
    EXPECT_EQ(r.ch(1).EvtCnt, 192);
    EXPECT_EQ(r.psg().phase_add[1], noteHz(52) * kRcp);
    EXPECT_EQ(r.psg().phase[1], 0.75f + r.psg().phase_add[1]);
    // A silent voice whose new note is no triangle: the note's own restart
    // (0.5) comes after the hand-over's, so it wins.
    r.render(kTickSamples - 1);
    r.play({MML_NoChange, MML_NoChange, u"W1C", MML_NoChange});
    r.render(1);
    EXPECT_EQ(r.psg().phase[2], 0.5f + noteHz(48) * kRcp);
}

// ----------------------------------------------------------------- sound

struct SoundCase {
    int channel;
    std::u16string_view text;
    float phaseAdd;
    std::uint32_t mask;
    int vol;
    float startPhase;
};

TEST(SequencerSound, NoteReachesTheVoice) {
    const float a4 = 440.0f * kRcp;
    const SoundCase cases[] = {
        {0, u"A", a4, 0x7FFFFFFF, 40, 0.75f},
        {0, u"O8C", noteHz(96) * kRcp, 0x7FFFFFFF, 40, 0.75f},
        {0, u"O0C", noteHz(0) * kRcp, 0x7FFFFFFF, 40, 0.75f},
        {3, u"C+", noteHz(49) * kRcp, 0x7FFFFFFF, 40, 0.75f},
        {0, u"B+", noteHz(48) * kRcp, 0x7FFFFFFF, 40, 0.75f},       // wraps to C of the octave
        {2, u"V100K-3C", 220.0f * kRcp, 0x7FFFFFFF, 36, 0.75f},    // 100 AND 63; A3
        {1, u"V+W1A", a4, 0x00000000, 44, 0.5f},
        {0, u"W4V63A", a4, 0x3F000000, 63, 0.5f},
        {0, u"W5A", a4 * 10.0f, 0x00000001, 40, 0.5f},              // noise steps ten times faster
        {1, u"W5A", a4, 0x00000001, 40, 0.5f},                      // only voice 0 is noise
        {0, u"W13A", a4, 0x00000001, 40, 0.5f},                     // mask from 13 AND 7, no noise
        {0, u"W261A", a4 * 10.0f, 0x00000001, 40, 0.5f},            // low 8 bits: 5
        {0, u"W8A", a4, 0x7FFFFFFF, 40, 0.5f},
        {0, u"W256A", a4, 0x7FFFFFFF, 40, 0.75f},                   // low 8 bits: 0
        {0, u"\\.1,9C", noteHz(48) * kRcp, 0x7FFFFFFF, 4, 0.75f},  // 320 x 1 div 72
        {0, u"\\20,20C", noteHz(48) * kRcp, 0x7FFFFFFF, 24, 0.75f},  // 6400 div 72 = 88, AND 63
    };
    for (const auto& c : cases) {
        Texts texts{};
        texts[static_cast<std::size_t>(c.channel)] = c.text;
        SCOPED_TRACE(narrow(texts));
        Rig r(texts);
        r.render(1);
        const int k = c.channel;
        EXPECT_EQ(r.psg().phase_add[k], c.phaseAdd);
        EXPECT_EQ(r.psg().wave_mask[k], c.mask);
        EXPECT_EQ(r.vol(k), c.vol);
        EXPECT_EQ(r.psg().phase[k], c.startPhase + c.phaseAdd);
    }
}

// ---------------------------------------------------------------- volume

struct VolCase {
    std::u16string_view text;
    std::vector<std::pair<int, int>> at;  // (tick, VolTable index of voice 0 after it)
};

TEST(SequencerVolume, FollowsDecayEnvelopeAndRests) {
    // Tick t of a note read at tick 0 sees elapsed = t - 1; C1 lasts 192 ticks
    // and its channel ends (silent) at tick 192. V40: Volume_ 320.
    const VolCase cases[] = {
        // Interpolated 0..9: round(40 x elapsed / 192), ties to even (2.5, 7.5).
        {u"\\0,9C1", {{0, 0}, {1, 0}, {13, 2}, {37, 8}, {50, 10}, {97, 20}, {150, 31}, {191, 40}, {192, 0}}},
        // Stepped 0,9: index 2 x elapsed div 192: silent first half, full second.
        {u"\\.0,9C1", {{0, 0}, {1, 0}, {96, 0}, {97, 40}, {191, 40}, {192, 0}}},
        // Interpolated 1,9,2,5 (f = 3 x elapsed / 192): 5, 9, 2, 3.5, 4.90625 x 320 / 72.
        {u"\\1,9,2,5C1", {{0, 4}, {33, 22}, {65, 40}, {129, 9}, {161, 16}, {191, 22}}},
        // Stepped 1,9,2,5: a quarter of the note each, (320 x v) div 72.
        {u"\\.1,9,2,5C1", {{0, 4}, {48, 4}, {49, 40}, {96, 40}, {97, 8}, {144, 8}, {145, 22}, {191, 22}}},
        {u"\\20,20C4", {{0, 24}, {1, 63}, {47, 63}, {48, 0}}},    // 89 clamped to 63
        // Decay 3: (320 - 3t) >> 3.
        {u"\\3C1", {{0, 40}, {1, 39}, {2, 39}, {3, 38}, {24, 31}, {106, 0}, {150, 0}}},
        // Negative decays swell the note, held at full volume.
        {u"\\4294967295C1", {{0, 40}, {1, 40}, {8, 41}, {184, 63}, {191, 63}}},
        {u"V63\\4294967295C1", {{0, 63}, {8, 63}, {100, 63}}},
        {u"\\2147483648C1", {{0, 40}, {1, 63}, {2, 63}}},
        // Rests silence; the next note sounds again.
        {u"C4R4C4", {{0, 40}, {47, 40}, {48, 0}, {95, 0}, {96, 40}}},
        // The out-of-range second note is silent for its whole length, decay or not.
        {u"O8CO9C", {{0, 40}, {47, 40}, {48, 0}, {60, 0}, {95, 0}}},
        {u"\\1O8CO9C", {{0, 40}, {47, 34}, {48, 0}, {49, 0}, {95, 0}}},
        {u"O0K-1C", {{0, 0}, {10, 0}}},
        // The loop ends the envelope: after ":" the first C4 plays flat again.
        {u"C4\\.0,9C4:", {{47, 40}, {48, 0}, {72, 0}, {73, 40}, {96, 40}, {97, 40}, {120, 40}, {144, 0}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(narrow({c.text}));
        Rig r({c.text});
        std::vector<int> vol;
        for (int t = 0; t <= c.at.back().first; ++t) {
            r.tick();
            vol.push_back(r.vol(0));
        }
        for (const auto& [tick, index] : c.at) EXPECT_EQ(vol[static_cast<std::size_t>(tick)], index) << "tick " << tick;
    }
}

TEST(SequencerVolume, DecayStepsOneVolumePerTick) {
    Rig r({u"V63\\8C1"});
    for (int t = 0; t <= 70; ++t) {
        r.tick();
        EXPECT_EQ(r.ch(0).Volume_, std::max(504 - 8 * t, 0)) << "tick " << t;
        EXPECT_EQ(r.vol(0), std::max(63 - t, 0)) << "tick " << t;
    }
}

TEST(SequencerVolume, NegativeDecayHoldsTheWorkingVolume) {
    Rig r({u"\\4294967295C1", u"\\2147483648C1"});
    r.ticks(191);  // 320 + 190 would pass 504
    EXPECT_EQ(r.ch(0).Decay, -1);
    EXPECT_EQ(r.ch(0).Volume_, 504);
    EXPECT_EQ(r.ch(1).Volume_, 504);
}

// --------------------------------------------------------------- threads

// PSG_PlayMML on this thread while another renders. Run under ThreadSanitizer.
TEST(SequencerThreads, PlayWhileRendering) {
    static constexpr std::u16string_view kTexts[] = {
        u"C8*1D8:", u":", u"", u"\\.1,9,2R16E32*2", u"T200L64CDEFG", u"*3:", u"V63\\8O2C2", u"\\0,9,4B16:",
    };
    constexpr int kPlays = 2000, kRenders = 4000;
    auto engine = Engine::create();
    engine->PSG_PlayMML(u"C4:", u"D4:", u"E4:", u"F4:");
    std::thread audio([&] {
        std::vector<float> buf(1024);
        for (int i = 0; i < kRenders; ++i) engine->PSG_Core(buf.data(), 1 + static_cast<std::size_t>(i * 37) % 1000);
    });
    std::int64_t lastFrame = 0, badData = 0, backwards = 0;
    auto drain = [&] {
        EngineEvent e;
        while (engine->pollEvent(e)) {
            badData += e.data < -2;
            backwards += static_cast<std::int64_t>(e.frame) < lastFrame;
            lastFrame = static_cast<std::int64_t>(e.frame);
        }
    };
    for (int i = 0; i < kPlays; ++i) {
        auto pick = [&](int k) { return kTexts[static_cast<std::size_t>(i * (k + 3) + k) % std::size(kTexts)]; };
        engine->PSG_PlayMML(pick(0), pick(1), pick(2), pick(3));
        drain();
    }
    audio.join();
    drain();
    EXPECT_EQ(badData, 0);
    EXPECT_EQ(backwards, 0);

    const Sequencer& seq = engine->sequencer();
    for (int k = 0; k < kVoices; ++k) {
        const MML_Channel& ch = seq.channel(k);
        EXPECT_GE(ch.EvtCnt, -1);
        EXPECT_EQ((seq.playingMask() >> k) & 1u, ch.EvtCnt != -1 ? 1u : 0u) << "channel " << k;
        EXPECT_NE(ch.CmdPtr, nullptr);
        EXPECT_GE(ch.Volume_, 0);
        EXPECT_LE(ch.Volume_, 504);
    }
    // Still a working sequencer: the note's "*" and then the end, one tick apart.
    engine->PSG_PlayMML(u"C4*5", u"", u"", u"");
    std::vector<float> buf(kTickSamples * 60);
    engine->PSG_Core(buf.data(), buf.size());
    std::vector<EngineEvent> got;
    EngineEvent e;
    while (engine->pollEvent(e)) got.push_back(e);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].data, 5);
    EXPECT_EQ(got[1].data, kEventEnded);
    EXPECT_EQ(got[1].frame - got[0].frame, static_cast<std::uint64_t>(kTickSamples));
}

// The queue's two sides on two threads, the producer much faster: whatever
// arrives keeps its order, every "*" number either arrives or is counted,
// and the last end event arrives last.
TEST(SequencerThreads, FloodedEventQueueKeepsOrder) {
    constexpr std::uint64_t kPosts = 200000;
    auto queue = std::make_unique<EventQueue>();
    std::atomic<bool> done{false};
    std::uint64_t stars = 0;
    std::thread audio([&] {
        for (std::uint64_t f = 1; f <= kPosts; ++f) {
            const std::int64_t data = f % 7 == 0 ? kEventEnded : (f % 5 == 0 ? kEventLooped : 3);
            stars += data >= 0;
            queue->post({data, f});
        }
        queue->post({kEventEnded, kPosts + 1});
        done.store(true);
    });
    std::vector<EngineEvent> got;
    for (EngineEvent e;;) {
        const bool finished = done.load();  // nothing is posted after it is set
        if (queue->poll(e)) got.push_back(e);
        else if (finished) break;
    }
    audio.join();
    std::uint64_t starsGot = 0;
    for (std::size_t i = 0; i < got.size(); ++i) {
        starsGot += got[i].data >= 0;
        if (i > 0) {
            ASSERT_GT(got[i].frame, got[i - 1].frame) << "event " << i;
        }
    }
    EXPECT_EQ(starsGot + queue->dropped(), stars);
    ASSERT_FALSE(got.empty());
    EXPECT_EQ(got.back().data, kEventEnded);
    EXPECT_EQ(got.back().frame, kPosts + 1);
}

}  // namespace
}  // namespace bleeptone
