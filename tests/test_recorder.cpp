// The WAV recorder, driven from the test thread: the test renders with
// PSG_Core itself, so every sample is known and nothing waits on a clock.
// Expected files are the rendered recording samples with the tail fade
// worked out here from its rule (factor x 0.988 per sample in single
// precision, product rounded to nearest, ties to even) and the 44-byte header
// written out field by field.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <limits>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "engine/engine.h"
#include "engine/offline_render.h"
#include "tests/recording_samples.h"
#include "tests/test_support.h"

namespace bleeptone {

static void PrintTo(RecordOutcome o, std::ostream* os) {
    const char* names[] = {"None", "Complete", "Damaged", "WriteFailed"};
    *os << names[static_cast<int>(o)];
}

namespace {

using Samples = std::vector<std::int16_t>;
using testing::Bytes;
constexpr std::uint32_t kHalfBytes = 2 * RecordRing::kHalfSamples;

using testing::le32;
using testing::readBytes;
using testing::waitFor;

// RIFF/WAVE, PCM, mono, 44,100 Hz, 88,200 bytes/s, 2 bytes a frame, 16 bits.
Bytes header(std::uint32_t dataBytes) {
    Bytes h = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' ', 16, 0, 0, 0, 1, 0, 1, 0,
               0x44, 0xAC, 0, 0, 0x88, 0x58, 0x01, 0, 2, 0, 16, 0, 'd', 'a', 't', 'a', 0, 0, 0, 0};
    for (int i = 0; i < 4; ++i) {
        h[4 + i] = static_cast<std::uint8_t>((dataBytes + 36) >> (8 * i));
        h[40 + i] = static_cast<std::uint8_t>(dataBytes >> (8 * i));
    }
    return h;
}

Samples faded(Samples s) {
    if (s.size() < 459) return s;
    float factor = 1.0f;
    for (std::size_t k = s.size() - 459; k < s.size(); ++k) {
        factor *= 0.988f;
        s[k] = static_cast<std::int16_t>(std::nearbyint(static_cast<double>(s[k]) * factor));
    }
    return s;
}

Samples slice(const Samples& s, std::size_t from, std::size_t to) { return Samples(s.begin() + from, s.begin() + to); }

// The file holds exactly the header for its length and these samples.
void expectWav(const std::string& path, const Samples& samples) {
    const Bytes b = readBytes(path);
    ASSERT_EQ(b.size(), 44 + 2 * samples.size()) << path;
    EXPECT_EQ(Bytes(b.begin(), b.begin() + 44), header(static_cast<std::uint32_t>(2 * samples.size()))) << path;
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const auto got = static_cast<std::int16_t>(b[44 + 2 * i] | b[45 + 2 * i] << 8);
        ASSERT_EQ(got, samples[i]) << path << ": first difference at sample " << i << " of " << samples.size();
    }
}

// Header intact and both size fields matching the file's length.
void expectWellFormed(const std::string& path) {
    const Bytes b = readBytes(path);
    ASSERT_GE(b.size(), 44u) << path;
    EXPECT_EQ(b.size() % 2, 0u) << path;
    EXPECT_EQ(Bytes(b.begin(), b.begin() + 44), header(static_cast<std::uint32_t>(b.size() - 44))) << path;
}

// The recording samples of a fresh engine playing texts until its end or common loop.
Samples reference(const std::vector<std::u16string>& texts) {
    OfflineRenderSpec job;
    job.texts = texts;
    job.maxFrames = 60 * kSampleRate;
    return testing::recordingSamples(job);
}

// An engine rendered by the test thread, keeping the recording sample of
// every sample it rendered.
struct Rig {
    std::unique_ptr<Engine> engine = Engine::create();
    Samples played;

    // Renders in chunks; stops after the chunk in which an event with data
    // `until` was posted, and returns that event.
    std::optional<EngineEvent> render(std::size_t frames, std::size_t chunk = 1000,
                                       std::int64_t until = std::numeric_limits<std::int64_t>::min()) {
        std::vector<float> buf(chunk);
        for (std::size_t done = 0; done < frames;) {
            const std::size_t n = std::min(chunk, frames - done);
            engine->PSG_Core(buf.data(), n);
            for (std::size_t i = 0; i < n; ++i) played.push_back(recordingSample(buf[i]));
            done += n;
            std::optional<EngineEvent> hit;
            for (EngineEvent e; engine->pollEvent(e);)
                if (e.data == until && !hit) hit = e;
            if (hit) return hit;
        }
        return std::nullopt;
    }
    std::optional<EngineEvent> renderUntil(std::int64_t data) { return render(60 * kSampleRate, 1000, data); }
    Recorder& recorder() { return engine->recorder(); }
};

using RecorderTest = testing::TempDirTest;

// A recording started together with the tune ends by itself at the tick
// where the tune ends (-1) or all its channels loop together (-2), and the
// file is complete by the time the event is seen. A quarter note is 48 ticks
// (a whole note (18 - 12) x 32 = 192), a tick 459 samples.
TEST_F(RecorderTest, AutoStopEndsTheFileAtTheTuneEnd) {
    const struct {
        std::vector<std::u16string> texts;
        std::int64_t event;
        std::size_t ticks;
        std::size_t fileBytes;  // 44 + ticks x 459 x 2; RIFF size 8 less, data size 44 less
    } cases[] = {
        {{u"C4"}, kEventEnded, 48, 44108},
        {{u"C4:"}, kEventLooped, 48, 44108},
        {{u"C4:", u"C2:"}, kEventLooped, 96, 88172},  // both loop together only at tick 96
        {{u"C4", u"C2"}, kEventEnded, 96, 88172},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.texts[0].begin(), c.texts[0].end()) + " " + std::to_string(c.texts.size()));
        const Samples ref = reference(c.texts);
        ASSERT_EQ(ref.size(), c.ticks * 459);
        Rig rig;
        const std::string file = path("tune.wav");
        ASSERT_TRUE(rig.engine->PSG_StartWaveRecord(file, true));
        rig.engine->PSG_PlayMML(c.texts[0], c.texts.size() > 1 ? c.texts[1] : u"");
        const auto ev = rig.renderUntil(c.event);
        ASSERT_TRUE(ev.has_value());
        EXPECT_EQ(ev->frame, c.ticks * 459);
        EXPECT_FALSE(rig.recorder().recording());
        EXPECT_EQ(rig.recorder().lastOutcome(), RecordOutcome::Complete);
        const Bytes b = readBytes(file);
        ASSERT_EQ(b.size(), c.fileBytes);
        EXPECT_EQ(le32(b, 4), c.fileBytes - 8);
        EXPECT_EQ(le32(b, 40), c.fileBytes - 44);
        expectWav(file, faded(ref));
    }
}

TEST_F(RecorderTest, WithoutAutoStopTheRecordingOutlivesTheTune) {
    Rig rig;
    const std::string file = path("tune.wav");
    ASSERT_TRUE(rig.engine->PSG_StartWaveRecord(file, false));
    rig.engine->PSG_PlayMML(u"C4");
    ASSERT_TRUE(rig.renderUntil(kEventEnded).has_value());
    EXPECT_TRUE(rig.recorder().recording());
    rig.engine->PSG_StopWaveRecord();
    EXPECT_FALSE(rig.recorder().recording());
    ASSERT_EQ(rig.played.size(), 23000u);  // rendered in chunks of 1,000
    expectWav(file, faded(rig.played));
}

// 4 whole notes: 768 ticks, 352,512 samples, more than the ring's 262,144.
// The ring enters its second half at sample 131,072 and wraps at 262,144;
// each time the half just left is written before rendering goes on.
TEST_F(RecorderTest, LongRecordingIsWrittenInHalves) {
    const Samples ref = reference({u"C1D1E1F1"});
    ASSERT_EQ(ref.size(), 352512u);
    Rig rig;
    const std::string file = path("long.wav");
    ASSERT_TRUE(rig.engine->PSG_StartWaveRecord(file, true));
    rig.engine->PSG_PlayMML(u"C1D1E1F1");
    std::uint32_t half = 0;
    int crossings = 0;
    while (!rig.render(2048, 2048, kEventEnded)) {
        ASSERT_LT(rig.played.size(), 400000u);
        const std::uint32_t now = rig.engine->ring().record_buffer_idx.load() & RecordRing::kHalfBit;
        if (now == half) continue;
        half = now;
        ++crossings;
        const std::uint64_t due = 44 + std::uint64_t{kHalfBytes} * crossings;
        ASSERT_TRUE(waitFor([&] { return rig.recorder().bytesWritten() >= due; })) << "half " << crossings;
        EXPECT_EQ(rig.recorder().bytesWritten(), due);
    }
    EXPECT_EQ(crossings, 2);
    EXPECT_FALSE(rig.recorder().recording());
    EXPECT_EQ(rig.recorder().lastOutcome(), RecordOutcome::Complete);
    expectWav(file, faded(ref));
}

// Fewer than 459 samples are left as they are; 459 and more fade the last 459.
TEST_F(RecorderTest, ShortRecordingsAndTheFadeThreshold) {
    float factor = 1.0f;
    for (int k = 0; k < 459; ++k) factor *= 0.988f;
    EXPECT_NEAR(factor, 0.0039, 0.0001);  // the last sample's share
    for (std::size_t n : {0, 1, 300, 458, 459, 460, 2000}) {
        SCOPED_TRACE(n);
        Rig rig;
        const std::string file = path("short.wav");
        ASSERT_TRUE(rig.engine->PSG_StartWaveRecord(file));
        rig.engine->PSG_PlayMML(u"V63C4");
        rig.render(n, 97);
        rig.engine->PSG_StopWaveRecord();
        EXPECT_EQ(rig.recorder().lastOutcome(), RecordOutcome::Complete);
        expectWav(file, faded(rig.played));
        if (n == 300) {
            EXPECT_EQ(readBytes(file).size(), 644u);  // sizes 636 and 600
        }
    }
}

// The first tick of a tune that starts within a second of the recording
// restarts the ring, so the file begins with the tune's first sample.
// Ticks fall on multiples of 459 samples.
TEST_F(RecorderTest, RecordingAlignsWithTheTuneThatFollows) {
    const struct {
        const char* name;
        std::u16string before;  // played before the recording starts ("" = nothing)
        std::size_t startAt;    // samples rendered before the start
        std::size_t silence;    // samples rendered between the start and "C4"
        std::size_t fileFrom;   // first sample of the stream in the file
    } cases[] = {
        {"fresh engine", u"", 0, 3000, 3213},                  // next tick: 7 x 459
        {"stopped tune", u"C4", 30000, 5000, 35343},           // 77 x 459; index 5,343
        {"C1 playing, 96 ticks", u"C1", 4590, 44063, 48654},   // index 44,064 < 44,100: restart
        {"C1 playing, 97 ticks", u"C1", 4590, 44065, 4590},    // index 44,523: none
        {"C1C1 playing, 2 s", u"C1C1", 4590, 88200, 4590},     // index 88,587: none
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig;
        if (!c.before.empty()) rig.engine->PSG_PlayMML(c.before);
        rig.render(c.startAt);
        const std::string file = path("aligned.wav");
        ASSERT_TRUE(rig.engine->PSG_StartWaveRecord(file, true));
        rig.render(c.silence);
        rig.engine->PSG_PlayMML(u"C4");
        const auto ev = rig.renderUntil(kEventEnded);
        ASSERT_TRUE(ev.has_value());
        const std::size_t tuneStart = (c.startAt + c.silence + 458) / 459 * 459;
        EXPECT_EQ(ev->frame, tuneStart + 48 * 459);
        expectWav(file, faded(slice(rig.played, c.fileFrom, ev->frame)));
        if (c.before.empty()) expectWav(file, faded(reference({u"C4"})));
    }
}

// Starting a recording finishes the running one first; the new one begins
// with the first sample rendered after its start, wherever the ring stood.
TEST_F(RecorderTest, StartingAnotherRecordingCompletesTheFirst) {
    Rig rig;
    rig.engine->PSG_PlayMML(u"C1E1");
    ASSERT_TRUE(rig.engine->PSG_StartWaveRecord(path("a.wav")));
    rig.render(5000);
    ASSERT_TRUE(rig.engine->PSG_StartWaveRecord(path("b.wav")));
    expectWav(path("a.wav"), faded(slice(rig.played, 0, 5000)));
    EXPECT_TRUE(rig.recorder().recording());
    rig.render(3001, 700);
    rig.engine->PSG_StopWaveRecord();
    expectWav(path("b.wav"), faded(slice(rig.played, 5000, 8001)));
}

// A file that cannot be created records nothing; a running recording is
// still finished first.
TEST_F(RecorderTest, FileThatCannotBeCreated) {
    for (bool running : {false, true}) {
        SCOPED_TRACE(running);
        Rig rig;
        rig.engine->PSG_PlayMML(u"C1");
        if (running) {
            ASSERT_TRUE(rig.engine->PSG_StartWaveRecord(path("first.wav")));
        }
        rig.render(1200);
        const std::string bad = path("missing/dir/x.wav");
        EXPECT_FALSE(rig.engine->PSG_StartWaveRecord(bad, true));
        EXPECT_FALSE(rig.recorder().recording());
        if (running) expectWav(path("first.wav"), faded(rig.played));
        rig.render(3000);
        rig.engine->PSG_StopWaveRecord();
        EXPECT_FALSE(std::filesystem::exists(bad));
    }
}

// The file appears, complete, when the recording ends: a new file only then;
// through a symlink the link stays and the file it points to is replaced; a
// FIFO gets the recording at the end (a thread reads it) and stays a FIFO.
TEST_F(RecorderTest, TheFileAppearsWhenTheRecordingEnds) {
    std::filesystem::create_directory(path("stage"));
    std::filesystem::create_directory(path("real"));
    std::filesystem::create_symlink("real/take.wav", path("link.wav"));
    ASSERT_EQ(mkfifo(path("fifo").c_str(), 0600), 0);
    ASSERT_EQ(setenv("TMPDIR", path("stage").c_str(), 1), 0);
    const Samples expected = faded(reference({u"C4"}));
    for (const std::string target : {"new.wav", "link.wav", "fifo"}) {
        SCOPED_TRACE(target);
        std::ofstream(path("real/take.wav")) << "old";
        const bool fifo = target == "fifo";
        const std::string lands = target == "link.wav" ? path("real/take.wav") : path(target);
        Bytes piped;
        std::thread reader;
        if (fifo) reader = std::thread([&] { piped = readBytes(path("fifo")); });

        Rig rig;
        const bool started = rig.engine->PSG_StartWaveRecord(path(target), /*AutoStop=*/true);
        if (started && !fifo) {
            EXPECT_EQ(readBytes(lands), (target == "new.wav" ? Bytes{} : Bytes{'o', 'l', 'd'}));
            EXPECT_EQ(std::filesystem::exists(lands), target != "new.wav");
        }
        rig.engine->PSG_PlayMML(u"C4");
        const bool ended = started && rig.renderUntil(kEventEnded).has_value();
        if (fifo) {
            // Frees the reader if nothing came.
            const int release = ::open(path("fifo").c_str(), O_WRONLY | O_NONBLOCK);
            if (release >= 0) ::close(release);
            reader.join();
            std::ofstream(path("piped.wav"), std::ios::binary).write(reinterpret_cast<const char*>(piped.data()),
                                                                      static_cast<std::streamsize>(piped.size()));
        }
        ASSERT_TRUE(ended);
        EXPECT_EQ(rig.recorder().lastOutcome(), RecordOutcome::Complete);
        expectWav(fifo ? path("piped.wav") : lands, expected);
        EXPECT_TRUE(std::filesystem::is_symlink(path("link.wav")));
        EXPECT_TRUE(std::filesystem::is_fifo(path("fifo")));
    }
    unsetenv("TMPDIR");
    EXPECT_TRUE(std::filesystem::is_empty(path("stage")));
}

// Synchronous mode: the renderer steps the writer itself with pump(). More
// than half a ring (131,072 samples) rendered between two steps may have
// overwritten samples not yet written: the outcome says so and the file is
// still well-formed. Up to half a ring between steps loses nothing.
TEST_F(RecorderTest, SynchronousWriterThatFallsBehindIsDetected) {
    const struct {
        const char* name;
        std::vector<std::size_t> segments;  // samples rendered before each pump()
        RecordOutcome outcome;
    } cases[] = {
        {"pump every 2,048", std::vector<std::size_t>(150, 2048), RecordOutcome::Complete},
        {"pump every 131,072", {131072, 131072, 50000}, RecordOutcome::Complete},
        // From 2,048 samples into half 0, half 0 is overwritten once the
        // renderer has left it (129,024) and gone through half 1 (131,072).
        {"260,095 without pump", {2048, 260095}, RecordOutcome::Complete},
        {"260,096 without pump", {2048, 260096}, RecordOutcome::Damaged},
        {"300,000 before the first pump", {300000}, RecordOutcome::Damaged},  // the ring wrapped
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig;
        rig.recorder().setMode(Recorder::Mode::Synchronous);
        const std::string file = path("sync.wav");
        ASSERT_TRUE(rig.engine->PSG_StartWaveRecord(file));
        rig.engine->PSG_PlayMML(u"C1D1E1F1");
        for (std::size_t n : c.segments) {
            rig.render(n, 4096);
            rig.recorder().pump();
        }
        rig.engine->PSG_StopWaveRecord();
        EXPECT_EQ(rig.recorder().lastOutcome(), c.outcome);
        expectWellFormed(file);
        if (c.outcome == RecordOutcome::Complete) expectWav(file, faded(rig.played));
    }
}

TEST_F(RecorderTest, TerminateCompletesTheRecording) {
    Rig rig;
    ASSERT_TRUE(rig.engine->PSG_StartWaveRecord(path("t.wav")));
    rig.engine->PSG_PlayMML(u"C4");
    rig.render(5000);
    rig.engine->PSG_Terminate();
    EXPECT_FALSE(rig.recorder().recording());
    expectWav(path("t.wav"), faded(rig.played));

    // With the silent output rendering on its own thread.
    auto engine = Engine::create();
    ASSERT_EQ(engine->PSG_Init(AudioBackend::Null).result, InitResult::Silent);
    engine->PSG_PlayMML(u"C4");
    ASSERT_TRUE(engine->PSG_StartWaveRecord(path("s.wav")));
    const std::uint64_t from = engine->framesRendered();
    ASSERT_TRUE(waitFor([&] { return engine->framesRendered() > from + 2 * kPreferredBufferFrames; }));
    engine->PSG_Terminate();
    EXPECT_FALSE(engine->hasOutput());
    EXPECT_FALSE(engine->recorder().recording());
    expectWellFormed(path("s.wav"));
    EXPECT_GT(readBytes(path("s.wav")).size(), 44u);
}

// Renders without pause on its own thread until destroyed.
class FreeRenderer {
public:
    explicit FreeRenderer(Engine& engine)
        : thread_([this, &engine] {
              std::vector<float> buf(333);
              while (!quit_.load()) engine.PSG_Core(buf.data(), buf.size());
          }) {}
    ~FreeRenderer() {
        quit_.store(true);
        thread_.join();
    }

private:
    std::atomic<bool> quit_{false};
    std::thread thread_;
};

// This thread starts and stops recordings while another renders; the looping
// tune stops some of them by itself.
TEST_F(RecorderTest, RecordingsStartAndStopWhileAnotherThreadRenders) {
    auto engine = Engine::create();
    engine->PSG_PlayMML(u"C4:", u"E8G8:");  // both loop every 48 ticks
    constexpr int kRecordings = 24;
    {
        FreeRenderer renderer(*engine);
        for (int i = 0; i < kRecordings; ++i) {
            ASSERT_TRUE(engine->PSG_StartWaveRecord(path("r" + std::to_string(i) + ".wav"), i % 2 == 1));
            const std::uint64_t from = engine->framesRendered();
            ASSERT_TRUE(waitFor([&] { return engine->framesRendered() >= from + 4000u * (i % 4); }));
            if (i % 3 == 0) engine->PSG_StopWaveRecord();
            for (EngineEvent e; engine->pollEvent(e);) {
            }
        }
        engine->PSG_StopWaveRecord();
    }
    EXPECT_FALSE(engine->recorder().recording());
    for (int i = 0; i < kRecordings; ++i) expectWellFormed(path("r" + std::to_string(i) + ".wav"));
}

// A stop requested just after a new tune was handed over, less than a second
// into the recording: the tune's first tick may restart the ring at 0, but
// not under the samples that the stop still has to write.
TEST_F(RecorderTest, StopJustAfterANewTuneWhileAnotherThreadRenders) {
    auto engine = Engine::create();
    engine->PSG_PlayMML(u"C1");
    constexpr int kRecordings = 10;
    {
        FreeRenderer renderer(*engine);
        for (int i = 0; i < kRecordings; ++i) {
            ASSERT_TRUE(engine->PSG_StartWaveRecord(path("r" + std::to_string(i) + ".wav")));
            const std::uint64_t from = engine->framesRendered();
            ASSERT_TRUE(waitFor([&] { return engine->framesRendered() >= from + 2000; }));
            engine->PSG_PlayMML(i % 2 ? u"G16E16" : u"C1");
            engine->PSG_StopWaveRecord();
        }
    }
    for (int i = 0; i < kRecordings; ++i) expectWellFormed(path("r" + std::to_string(i) + ".wav"));
}

}  // namespace
}  // namespace bleeptone
