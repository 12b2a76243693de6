// Exact seeking: a song started at sample N (silent render, then hand-over)
// sounds bit for bit like the same song rendered from its start, from N on,
// events included; the live hand-over to a running output; firstFrameAt.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <bit>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "cli/cli.h"
#include "engine/engine.h"
#include "engine/offline_render.h"
#include "engine/stepping.h"
#include "project/project_blocks.h"
#include "project/project_model.h"
#include "project/u16_view.h"
#include "song/note_map.h"
#include "song/song_assembly.h"
#include "tests/cli_run.h"
#include "tests/hand_output.h"
#include "tests/heard_notes.h"
#include "tests/test_support.h"

namespace bleeptone {
namespace {

struct Take {
    std::vector<float> samples;
    std::vector<EngineEvent> events;
};

void renderInto(Engine& engine, Take& take, std::size_t frames, std::size_t chunk) {
    std::vector<float> buf(chunk);
    for (std::size_t done = 0; done < frames;) {
        const std::size_t n = std::min(chunk, frames - done);
        engine.PSG_Core(buf.data(), n);
        take.samples.insert(take.samples.end(), buf.begin(), buf.begin() + static_cast<std::ptrdiff_t>(n));
        done += n;
        for (EngineEvent e; engine.pollEvent(e);) take.events.push_back(e);
    }
}

// A new engine that plays the texts from the start.
Take fullRender(const SongTexts& texts, RenderPath path, std::size_t frames) {
    Take take;
    auto engine = Engine::create();
    engine->synth().setRenderPath(path);
    engine->PSG_PlayMML(texts[0], texts[1], texts[2], texts[3]);
    renderInto(*engine, take, frames, 1000);
    return take;
}

// A new engine (no output: the hand-over happens at once) started at `from`.
Take seekRender(const SongTexts& texts, RenderPath path, std::uint64_t from, std::size_t frames) {
    Take take;
    auto engine = Engine::create();
    engine->synth().setRenderPath(path);
    engine->PSG_PlayMMLFrom(texts, from);
    EXPECT_EQ(engine->songFrame(), from);
    renderInto(*engine, take, frames, 733);
    return take;
}

// The part of a take from sample `from` on, its events' frames made relative.
Take slice(const Take& full, std::uint64_t from, std::size_t frames) {
    Take t;
    t.samples.assign(full.samples.begin() + static_cast<std::ptrdiff_t>(from),
                     full.samples.begin() + static_cast<std::ptrdiff_t>(from + frames));
    for (const EngineEvent& e : full.events)
        if (e.frame >= from && e.frame < from + frames) t.events.push_back({e.data, e.frame - from});
    return t;
}

void expectSameTake(const Take& got, const Take& want, const std::string& what) {
    ASSERT_EQ(got.samples.size(), want.samples.size()) << what;
    for (std::size_t i = 0; i < want.samples.size(); ++i) {
        ASSERT_EQ(std::bit_cast<std::uint32_t>(got.samples[i]), std::bit_cast<std::uint32_t>(want.samples[i]))
            << what << ", sample " << i;
    }
    std::vector<EngineEvent> events;
    for (const EngineEvent& e : got.events)
        if (e.frame < got.samples.size()) events.push_back(e);
    ASSERT_EQ(events.size(), want.events.size()) << what;
    for (std::size_t i = 0; i < events.size(); ++i) {
        EXPECT_EQ(events[i].data, want.events[i].data) << what << ", event " << i;
        EXPECT_EQ(events[i].frame, want.events[i].frame) << what << ", event " << i;
    }
}

struct Tune {
    std::string name;
    std::array<std::u16string, kVoices> texts;
    SongTexts views() const { return {texts[0], texts[1], texts[2], texts[3]}; }
};

Tune demoTune(int n) {
    ProjectModel m;
    EXPECT_TRUE(loadBuiltIn(static_cast<BuiltInProject>(static_cast<int>(BuiltInProject::Demo1) + n - 1), m));
    const std::array<QString, 4> song = assembleSong(m);
    Tune t{"demo " + std::to_string(n), {}};
    for (int k = 0; k < kVoices; ++k) t.texts[k] = std::u16string(u16view(song[k]));
    return t;
}

TEST(Seek, StartsExactlyWhereAFullRenderIs) {
    const std::vector<Tune> tunes = {
        demoTune(1),
        demoTune(4),  // loops with ":" after 20 s
        {"loops and stars", {u"*1L8CDEFG:", u"O3C2*2:", u"", u""}},
        {"envelopes and decays", {u"\\0,9,3 L4 CDE\\.1,9,5,0 O2 C1 R2 D1", u"V63\\8C1 W2 E2", u"W3\\2,8,1 G4.A8", u""}},
        {"noise", {u"W5 O4 L16 CDRCD V30 W5 O6 C8 C8:", u"W4 O2 C1", u"", u"W1 O5 L32 CDEFGAB>C"}},
    };
    const std::uint64_t starts[] = {0, 1, 458, 459, 460, 1000, 100 * 459 + 17, 5 * 44100, 19 * 44100 + 3};
    constexpr std::size_t kAfter = 6000;  // 13 ticks after each start
    for (const Tune& tune : tunes) {
        for (RenderPath path : {RenderPath::Simd, RenderPath::Scalar}) {
            const Take full = fullRender(tune.views(), path, 20 * 44100 + kAfter);
            for (std::uint64_t from : starts) {
                const std::string what =
                    tune.name + (path == RenderPath::Simd ? " simd" : " scalar") + " from " + std::to_string(from);
                Take seeked = seekRender(tune.views(), path, from, kAfter);
                // A song that ended before the start says so at once.
                if (std::any_of(full.events.begin(), full.events.end(),
                                [&](const EngineEvent& e) { return e.data == kEventEnded && e.frame < from; })) {
                    ASSERT_FALSE(seeked.events.empty()) << what;
                    EXPECT_EQ(seeked.events.front().data, kEventEnded) << what;
                    EXPECT_EQ(seeked.events.front().frame, 0u) << what;
                    seeked.events.erase(seeked.events.begin());
                }
                expectSameTake(seeked, slice(full, from, kAfter), what);
            }
        }
    }
}

// After a seek the song goes on as the note map has it: every note and rest
// read from there on, at the song frame of the engine's own clock, with the
// map's position and gain (the samples are the full render's, above). The
// seeks land on a note's tick, either side of it and between two ticks.
TEST(Seek, GoesOnAsTheNoteMapHasIt) {
    const std::vector<Tune> tunes = {
        demoTune(4),
        {"loops and stars", {u"*1L8CDEFG:", u"O3C2*2:", u"", u""}},
        {"envelopes and decays", {u"\\0,9,3 L4 CDE\\.1,9,5,0 O2 C1 R2 D1", u"V63\\8C1 W2 E2", u"W3\\2,8,1 G4.A8", u""}},
    };
    constexpr std::uint64_t kWindow = 2 * 44100;
    for (const Tune& tune : tunes) {
        NoteMapLimits limits;
        limits.maxFrames = 25 * 44100;
        limits.passes = 0;  // on through the loops, as the engine plays them
        const NoteMap map = mapTexts(tune.views(), limits);
        const std::vector<MappedNote>& notes = map.channels[0].notes;
        const auto later =
            std::find_if(notes.begin(), notes.end(), [](const MappedNote& n) { return n.start > 44100; });
        ASSERT_NE(later, notes.end()) << tune.name;
        const std::uint64_t at = later->start;
        for (const std::uint64_t from : {at, at - 1, at + 1, std::uint64_t{19 * 44100 + 17}}) {
            const std::string what = tune.name + " from " + std::to_string(from);
            const testing::HeardSong heard = testing::hear(tune.views(), from + kWindow, true, from);
            const std::uint64_t until = std::min(from + kWindow, map.frames);
            for (int k = 0; k < kVoices; ++k) {
                std::vector<MappedNote> want;
                for (const MappedNote& n : map.channels[k].notes)
                    if (n.start >= from && n.start < until) want.push_back(n);
                const std::vector<testing::HeardNote>& got = heard.notes[k];
                ASSERT_EQ(got.size(), want.size()) << what << " voice " << k;
                for (std::size_t i = 0; i < want.size(); ++i) {
                    EXPECT_EQ(got[i].start, want[i].start) << what << " voice " << k << " note " << i;
                    EXPECT_EQ(got[i].position, want[i].position) << what << " voice " << k << " note " << i;
                    EXPECT_EQ(got[i].vmul, VolTable[want[i].startLevel]) << what << " voice " << k << " note " << i;
                }
            }
        }
    }
}

// A song that ended in the silent part still tells the program so: -1 at
// the take-over, like at any song's end.
TEST(Seek, PastTheEndEndsAtOnce) {
    auto engine = Engine::create();
    engine->PSG_PlayMMLFrom({u"C8", u"", u"", u""}, 30 * kTickSamples);  // the channel ends at tick 24
    EXPECT_EQ(engine->sequencer().playingMask(), 0u);
    EngineEvent e;
    ASSERT_TRUE(engine->pollEvent(e));
    EXPECT_EQ(e.data, kEventEnded);
    EXPECT_EQ(e.frame, 0u);
    EXPECT_FALSE(engine->pollEvent(e));
    // At the very tick of the end, the live tick posts it (once).
    engine->PSG_PlayMMLFrom({u"C8", u"", u"", u""}, 24 * kTickSamples);
    EXPECT_FALSE(engine->pollEvent(e));
    std::vector<float> buf(10);
    engine->PSG_Core(buf.data(), buf.size());
    ASSERT_TRUE(engine->pollEvent(e));
    EXPECT_EQ(e.data, kEventEnded);
    EXPECT_FALSE(engine->pollEvent(e));
}

// Tempo 12: a quarter note lasts 48 ticks, an eighth 24.
TEST(Seek, FirstFrameAtAPosition) {
    const std::u16string loop = u"L8CD R4 E:";  // C 0..23, D 24..47, R 48..95, E 96..119, then again
    const struct {
        SongTexts texts;
        int channel;
        std::int32_t position;
        std::optional<std::uint64_t> tick;
    } rows[] = {
        {{loop, u"", u"", u""}, 0, 0, 0},
        {{loop, u"", u"", u""}, 0, 2, 0},             // the C itself
        {{loop, u"", u"", u""}, 0, 3, 24},            // after the C: the D
        {{loop, u"", u"", u""}, 0, 5, 48},            // the blank before the rest: the rest
        {{loop, u"", u"", u""}, 0, 8, 96},            // the E
        {{loop, u"", u"", u""}, 0, 9, std::nullopt},  // after the last note: never (it loops for ever)
        {{loop, u"", u"", u""}, 0, -5, 0},
        {{u"", u"C4 D4", u"", u""}, 1, 3, 48},
        {{u"", u"C4 D4", u"", u""}, 1, 5, std::nullopt},  // past the end: the channel ends first
        {{u"", u"C4 D4", u"", u""}, 0, 0, std::nullopt},  // a channel with an empty text
        {{u"C1", u":", u"", u""}, 1, 0, std::nullopt},    // MML_NoChange on a new engine: never plays
        {{u"C1", u"", u"", u""}, 4, 0, std::nullopt},     // no such channel
    };
    for (const auto& r : rows) {
        const auto got = firstFrameAt(r.texts, r.channel, r.position);
        const auto want = r.tick ? std::optional<std::uint64_t>(*r.tick * kTickSamples) : std::nullopt;
        EXPECT_EQ(got, want) << "channel " << r.channel << " position " << r.position;
    }
    // The bound: the D of "C1 D1" comes at tick 192.
    EXPECT_EQ(firstFrameAt({u"C1 D1", u"", u"", u""}, 0, 2, 191 * kTickSamples), std::nullopt);
    EXPECT_EQ(firstFrameAt({u"C1 D1", u"", u"", u""}, 0, 2, 192 * kTickSamples), 192 * kTickSamples);

    // Seeking there starts the D at once: the first tick reads it.
    auto engine = Engine::create();
    engine->PSG_PlayMMLFrom({u"C1 D1", u"", u"", u""}, *firstFrameAt({u"C1 D1", u"", u"", u""}, 0, 2));
    std::vector<float> buf(1);
    engine->PSG_Core(buf.data(), 1);
    EXPECT_EQ(engine->sequencer().channel(0).soundingAt, 3);
}

TEST(Seek, FramesForSeconds) {
    const struct {
        double seconds;
        std::uint64_t frames;
    } rows[] = {
        {0.0, 0},
        {-1.0, 0},
        {std::nan(""), 0},
        {1.0, 44100},
        {0.4 / 44100, 0},  // to the nearest sample
        {0.6 / 44100, 1},
        {1.4 / 44100, 1},
        {0.125, 5513},   // 5,512.5 exactly: halves away from zero
        {0.0625, 2756},  // 2,756.25
        {300.0, 300u * 44100u},
        {36000.0, 1'587'600'000},
        {1e300, UINT64_MAX},
    };
    for (const auto& r : rows) EXPECT_EQ(framesForSeconds(r.seconds), r.frames) << r.seconds;
}

// The walk through ticks and blocks (stepping.h), seen through a policy
// that renders nothing but counts as advancing the voices: a tick before
// every 459th sample from the first, blocks cut at ticks and at the policy's
// limit, restarted voices at the start phase before the block. This policy
// splits the walk at frame 500 and writes down what it sees.
struct StepRecord {
    static constexpr bool kAdvancesVoices = true;
    std::vector<std::uint64_t> ticks;
    std::vector<std::pair<std::uint64_t, int>> blocks;
    std::uint64_t splitAt = 500;
    std::uint64_t limit(std::uint64_t frame, std::uint64_t left) const {
        return frame < splitAt && splitAt - frame < left ? splitAt - frame : left;
    }
    void ticked(std::uint64_t frame) { ticks.push_back(frame); }
    void block(std::uint64_t frame, int n) { blocks.emplace_back(frame, n); }
};

TEST(Seek, StepFramesWalksTicksAndBlocks) {
    auto synth = std::make_unique<Synth>();
    Sequencer sequencer(*synth, nullptr, nullptr, nullptr);
    sequencer.PSG_PlayMML(u"W1C1", u"", u"", u"");  // a sawtooth starts at 0.5 from silence
    StepRecord walk;
    std::uint64_t frame = 0;
    stepFrames(*synth, sequencer, frame, 1000, walk);
    EXPECT_EQ(frame, 1000u);
    EXPECT_EQ(walk.ticks, (std::vector<std::uint64_t>{0, 459, 918}));
    const std::vector<std::pair<std::uint64_t, int>> blocks = {{0, 459}, {459, 41}, {500, 418}, {918, 82}};
    EXPECT_EQ(walk.blocks, blocks);
    EXPECT_EQ(synth->state().interrupt_cnt, 918 + 459 - 1000);
    // The restart comes before the block, the tick's note after it: phase 0.5.
    EXPECT_EQ(synth->state().phase[0], 0.5f);
    // A restart between calls: before the next block, which runs up to the
    // tick due at 1,377.
    sequencer.PSG_PlayMML(u"R1", u"", u"", u"");
    walk = StepRecord{};
    stepFrames(*synth, sequencer, frame, 377, walk);
    EXPECT_EQ(frame, 1377u);
    EXPECT_TRUE(walk.ticks.empty());
    EXPECT_EQ(walk.blocks, (std::vector<std::pair<std::uint64_t, int>>{{1000, 377}}));
    EXPECT_EQ(synth->state().phase[0], kStartPhase);
}

// Renders frames samples through the hand-driven output, in calls of
// chunk, and keeps them in the take.
void hear(Take& take, testing::HandOutput* output, std::size_t frames, std::size_t chunk) {
    const std::vector<float> s = output->render(frames, chunk);
    take.samples.insert(take.samples.end(), s.begin(), s.end());
}

std::unique_ptr<Engine> engineWithHandOutput(testing::HandOutput*& output) {
    auto engine = Engine::create();
    engine->setOutputFactory(testing::handOutputs(output, 1000));
    EXPECT_EQ(engine->PSG_Init().result, InitResult::Device);
    return engine;
}

const SongTexts kSongA = {u"W4 L8 O3 CEGE:", u"W2 O2 C2 \\3 G2", u"", u""};
const SongTexts kSongB = {u"W5 O4 L16 CDRCD:", u"", u"\\0,9,2 O5 L4 EGB>C", u"W3 O2 C1"};

// Play from Here on a running output: song A plays, B is started at frame F
// while the audio thread renders; from the take-over on, the output is B
// from F on, as a new engine renders it, and the song clock reads F there.
TEST(SeekLive, PlayFromHereTakesOverAtABlockBoundary) {
    testing::HandOutput* output = nullptr;
    auto engine = engineWithHandOutput(output);
    engine->PSG_PlayMML(kSongA[0], kSongA[1], kSongA[2], kSongA[3]);
    Take heard;
    hear(heard, output, 3000, 512);

    constexpr std::uint64_t kF = 12345;
    std::atomic<bool> switched{false};
    std::thread audio([&] {
        while (!switched.load()) hear(heard, output, 256, 256);
        hear(heard, output, 8000, 300);
    });
    const std::uint32_t song = engine->PSG_PlayMMLFrom(kSongB, kF);
    switched.store(true);
    audio.join();
    for (EngineEvent e; engine->pollEvent(e);) heard.events.push_back(e);

    const std::uint64_t takenAt = engine->framesRendered() - engine->songFrame() + kF;
    ASSERT_GE(takenAt, 3000u);
    ASSERT_LE(takenAt + 8000, heard.samples.size());
    const std::size_t after = static_cast<std::size_t>(heard.samples.size() - takenAt);
    Take fromB = slice(heard, takenAt, after);
    expectSameTake(fromB, slice(fullRender(kSongB, RenderPath::Simd, kF + after), kF, after), "B after the take-over");

    PlayheadSnapshot snap;
    ASSERT_TRUE(engine->playheadAt(takenAt, snap));
    EXPECT_EQ(snap.song, song);
    EXPECT_EQ(snap.songFrame, kF);
}

// A live edit: the new texts take over exactly at the song frame they were
// rendered to, so the song's clock runs on and nothing is heard twice.
TEST(SeekLive, ContinueTakesOverWithoutAJump) {
    testing::HandOutput* output = nullptr;
    auto engine = engineWithHandOutput(output);
    engine->PSG_PlayMML(kSongA[0], kSongA[1], kSongA[2], kSongA[3]);
    Take heard;
    hear(heard, output, 10000, 2048);
    ASSERT_EQ(engine->songFrame(), 10000u);  // the first tick came with sample 0

    engine->continueMML(kSongB);  // posted, not yet taken: nothing renders by itself
    hear(heard, output, 20000, 2048);
    for (EngineEvent e; engine->pollEvent(e);) heard.events.push_back(e);
    EXPECT_EQ(engine->songFrame(), 30000u);  // the clock ran on
    PlayheadSnapshot first;
    std::uint64_t takenAt = 0;
    for (std::uint64_t f = 10000; f < 30000; ++f) {
        if (engine->playheadAt(f, first) && first.song == 2) {
            takenAt = first.frame;
            break;
        }
    }
    ASSERT_GT(takenAt, 10000u);
    EXPECT_EQ(first.songFrame, takenAt);
    const Take a = fullRender(kSongA, RenderPath::Simd, takenAt);
    expectSameTake(slice(heard, 0, takenAt), a, "A before the take-over");
    const std::size_t after = static_cast<std::size_t>(30000 - takenAt);
    expectSameTake(slice(heard, takenAt, after), slice(fullRender(kSongB, RenderPath::Simd, 30000), takenAt, after),
                   "B after the take-over");

    // A newer edit withdraws one still pending; a stop withdraws it too.
    engine->continueMML(kSongA);
    engine->continueMML(kSongB);
    engine->PSG_PlayMML(u"", u"", u"", u"");
    hear(heard, output, 3 * kTickSamples, 459);
    EXPECT_EQ(engine->sequencer().playingMask(), 0u);
}

// ---------------------------------------------------------------------------
// Seamless loops: after the loop's end the output goes on, sample for
// sample, with the song's samples from the loop's start, time after time.

// What a loop of [start, end) makes of a song played from `from`: the song's
// samples from `from` up to `end`, then [start, end) over and over.
std::vector<float> looped(const Take& full, std::uint64_t from, LoopRange loop, std::size_t frames) {
    std::vector<float> out;
    for (std::uint64_t f = from; out.size() < frames;) {
        out.push_back(full.samples[static_cast<std::size_t>(f)]);
        if (++f == loop.end) f = loop.start;
    }
    return out;
}

void expectSameSamples(const std::vector<float>& got, const std::vector<float>& want, const std::string& what) {
    ASSERT_EQ(got.size(), want.size()) << what;
    for (std::size_t i = 0; i < want.size(); ++i)
        ASSERT_EQ(std::bit_cast<std::uint32_t>(got[i]), std::bit_cast<std::uint32_t>(want[i]))
            << what << ", sample " << i;
}

TEST(SeekLoop, ALoopRangePlaysWithoutAGap) {
    // "C8 D8 E8" at tempo 12: eighths of 24 ticks; the channel ends at tick 72 (frame 33,048).
    const SongTexts ends = {u"W2 C8 D8 E8", u"", u"W4 O3 L16 GAGA", u""};
    const struct {
        std::string name;
        SongTexts texts;
        LoopRange loop;
        std::size_t chunk;
    } rows[] = {
        {"mid-tick range, 512-sample calls", kSongB, {5000, 30000}, 512},
        {"range on ticks, 2,048-sample calls", kSongB, {10 * 459, 40 * 459}, 2048},
        {"a range shorter than a call", kSongA, {20000, 20700}, 4096},
        {"the whole song to its end", ends, {0, 72 * 459}, 1000},
    };
    for (const auto& r : rows) {
        testing::HandOutput* output = nullptr;
        auto engine = engineWithHandOutput(output);
        engine->PSG_PlayMML(r.texts[0], r.texts[1], r.texts[2], r.texts[3]);
        engine->setLoop(r.loop);
        EXPECT_EQ(engine->loop(), std::optional<LoopRange>(r.loop)) << r.name;
        const std::size_t frames = static_cast<std::size_t>(r.loop.end + 3 * (r.loop.end - r.loop.start) + 5000);
        Take heard;
        hear(heard, output, frames, r.chunk);
        for (EngineEvent e; engine->pollEvent(e);) heard.events.push_back(e);
        const Take full = fullRender(r.texts, RenderPath::Simd, static_cast<std::size_t>(r.loop.end) + 1);
        expectSameSamples(heard.samples, looped(full, 0, r.loop, frames), r.name);
        EXPECT_GE(engine->loopRestarts(), 3u) << r.name;
        // A song looped before its end never ends.
        for (const EngineEvent& e : heard.events) EXPECT_NE(e.data, kEventEnded) << r.name;
    }
}

// Played from a moment with a loop (Play, or a click on the song view's
// ruler, with Loop Playback on) while the output runs; then the loop goes,
// and the song plays on from where it stands.
TEST(SeekLoop, PlayFromAMomentIntoALoopAndOut) {
    testing::HandOutput* output = nullptr;
    auto engine = engineWithHandOutput(output);
    engine->PSG_PlayMML(kSongA[0], kSongA[1], kSongA[2], kSongA[3]);
    Take heard;
    hear(heard, output, 3000, 512);
    const LoopRange loop{8000, 21000};
    std::atomic<bool> started{false};
    std::thread audio([&] {
        while (!started.load()) hear(heard, output, 256, 256);
    });
    engine->PSG_PlayMMLFrom(kSongB, 15000, loop);
    started.store(true);
    audio.join();
    // A few calls past the take-over at most: the loop has not gone round yet.
    ASSERT_LT(engine->songFrame(), loop.end);
    const std::uint64_t takenAt = engine->framesRendered() - engine->songFrame() + 15000;
    hear(heard, output, 40000, 700);
    const Take full = fullRender(kSongB, RenderPath::Simd, 60000);
    const std::vector<float> after(heard.samples.begin() + static_cast<std::ptrdiff_t>(takenAt), heard.samples.end());
    expectSameSamples(after, looped(full, 15000, loop, after.size()), "from 15,000, looping [8,000, 21,000)");

    engine->setLoop(std::nullopt);
    EXPECT_EQ(engine->loop(), std::nullopt);
    const std::uint64_t at = engine->songFrame();
    ASSERT_LT(at, loop.end);
    const std::vector<float> on = output->render(30000, 1024);
    expectSameSamples(on,
                      std::vector<float>(full.samples.begin() + static_cast<std::ptrdiff_t>(at),
                                         full.samples.begin() + static_cast<std::ptrdiff_t>(at + 30000)),
                      "on past the old loop's end");
}

// Both sides at once (for ThreadSanitizer): the audio thread renders all
// along while the main thread arms, replaces and drops loops, edits and
// stops; each loop armed last holds.
TEST(SeekLoop, ArmedAndDroppedWhileTheOutputRuns) {
    testing::HandOutput* output = nullptr;
    auto engine = engineWithHandOutput(output);
    engine->PSG_PlayMML(kSongB[0], kSongB[1], kSongB[2], kSongB[3]);
    std::atomic<bool> done{false};
    std::thread audio([&] {
        while (!done.load()) output->render(512, 128);
    });
    for (int round = 0; round < 40; ++round) {
        const std::uint64_t start = 459u * static_cast<unsigned>(round % 7);
        const LoopRange loop{start, start + 2000 + 300u * static_cast<unsigned>(round % 5)};
        switch (round % 5) {
            case 0: engine->setLoop(loop); break;
            case 1: engine->continueMML(round % 2 ? kSongA : kSongB, loop); break;
            case 2: engine->continueAtLoopEnd(kSongA, loop); break;
            case 3: engine->setLoop(std::nullopt); break;
            case 4: engine->PSG_PlayMMLFrom(kSongB, start, loop); break;
        }
        if (round % 5 == 0 || round % 5 == 4) {
            EXPECT_EQ(engine->loop(), std::optional(loop)) << round;
        }
        if (round % 5 == 3) {
            EXPECT_EQ(engine->loop(), std::nullopt) << round;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    engine->PSG_PlayMML(u"", u"", u"", u"");
    EXPECT_EQ(engine->loop(), std::nullopt);
    done.store(true);
    audio.join();
    EXPECT_GT(engine->loopRestarts(), 0u);
}

// Loop Playback of a passage whose selection changed: the new passage comes
// in at the old one's end, from its own start, and loops in its turn; a live
// edit of a looping song carries on from the same moment, with the loop.
TEST(SeekLoop, NewTextsAtTheLoopsEndAndLiveEditsInALoop) {
    testing::HandOutput* output = nullptr;
    auto engine = engineWithHandOutput(output);
    const SongTexts first = {u"W2 C8 D8 E8", u"", u"", u""};     // ends at tick 72
    const SongTexts second = {u"W4 O5 G16 E16", u"", u"", u""};  // ends at tick 24
    const LoopRange firstLoop{0, 72 * 459}, secondLoop{0, 24 * 459};
    engine->PSG_PlayMML(first[0], first[1], first[2], first[3]);
    engine->setLoop(firstLoop);
    Take heard;
    hear(heard, output, 10000, 1024);
    const std::uint32_t song = engine->continueAtLoopEnd(second, secondLoop);
    hear(heard, output, 60000, 1024);
    const Take a = fullRender(first, RenderPath::Simd, firstLoop.end);
    const Take b = fullRender(second, RenderPath::Simd, secondLoop.end);
    std::vector<float> want(a.samples.begin(), a.samples.end());
    want.resize(heard.samples.size());
    for (std::size_t i = a.samples.size(); i < want.size(); ++i)
        want[i] = b.samples[(i - a.samples.size()) % b.samples.size()];
    expectSameSamples(heard.samples, want, "the first passage once, then the second over and over");
    PlayheadSnapshot snap;
    ASSERT_TRUE(engine->playheadAt(firstLoop.end, snap));
    EXPECT_EQ(snap.song, song);
    EXPECT_EQ(snap.songFrame, 0u);

    // kSongB looping [5,000, 30,000), edited into kSongA while it plays: the
    // edit takes over ahead of the sample being rendered, at the same song
    // frame, and the loop goes on with the new texts.
    engine->PSG_PlayMMLFrom(kSongB, 5000, LoopRange{5000, 30000});
    hear(heard, output, 4096, 4096);  // takes it over
    const std::uint64_t base = heard.samples.size();
    ASSERT_EQ(engine->songFrame(), 5000u + 4096u);
    const std::uint32_t edited = engine->continueMML(kSongA, LoopRange{5000, 30000});
    hear(heard, output, 60000, 1024);
    std::uint64_t takenAt = 0;
    for (std::uint64_t f = base; f < base + 20000 && takenAt == 0; ++f)
        if (engine->playheadAt(f, snap) && snap.song == edited) takenAt = snap.frame;
    ASSERT_GT(takenAt, base);
    const std::uint64_t songAt = snap.songFrame;
    EXPECT_EQ(songAt, 5000 + 4096 + (takenAt - base));  // no jump
    const Take editedFull = fullRender(kSongA, RenderPath::Simd, 30000);
    const std::vector<float> after(heard.samples.begin() + static_cast<std::ptrdiff_t>(takenAt), heard.samples.end());
    expectSameSamples(after, looped(editedFull, songAt, LoopRange{5000, 30000}, after.size()), "the edit, looping");
}

}  // namespace
}  // namespace bleeptone

namespace bleeptone {
namespace {

// bleeptone play --start: "C4 D4" ends at tick 96 (sample 44,064); from 0.5 s
// (sample 22,050) the recording holds exactly the tune's samples from there
// on, up to its end (the last 459 faded out, as every recording's are).
class SeekCli : public testing::TempDirTest {};

TEST_F(SeekCli, PlayStartsAtTheGivenMoment) {
    const std::string wav = path("start.wav");
    const testing::CliRun run =
        testing::runCli({"play", "--mml", "C4 D4", "--audio", "null", "--start", "0.5", "--record", wav});
    ASSERT_EQ(run.code, kExitOk) << run.err;
    const testing::Bytes file = testing::readBytes(wav);
    ASSERT_GE(file.size(), 44u);
    const std::size_t samples = (file.size() - 44) / 2;
    ASSERT_EQ(samples, 44064u - 22050u);
    const Take full = fullRender({u"C4 D4", u"", u"", u""}, RenderPath::Simd, 44064);
    for (std::size_t i = 0; i + kTickSamples < samples; ++i) {
        const auto got = static_cast<std::int16_t>(file[44 + 2 * i] | file[45 + 2 * i] << 8);
        ASSERT_EQ(got, recordingSample(full.samples[22050 + i])) << "sample " << i;
    }
}

TEST(SeekCliArgs, StartIsSecondsWithinRange) {
    for (const char* bad : {"-1", "abc", "36001", "nan", ""}) {
        const testing::CliRun run = testing::runCli({"play", "--mml", "C", "--audio", "null", "--start", bad});
        EXPECT_EQ(run.code, kExitUsage) << bad;
        EXPECT_NE(run.err.find("--start must be a number of seconds from 0 to 36000"), std::string::npos) << run.err;
    }
    // Past the end of the tune: it ends at once.
    EXPECT_EQ(testing::runCli({"play", "--mml", "C16", "--audio", "null", "--start", "60"}).code, kExitOk);
}

}  // namespace
}  // namespace bleeptone
