// Export Audio. The reference for every file is the offline render itself:
// the recording's file (renderOffline with a WAV path), or the recording
// samples of a render (as `render --format s16` gives them). Loop lengths are
// worked out by hand: at the default tempo (code 12) a whole note lasts
// (18 - 12) x 32 = 192 ticks of 459 samples, so an eighth is 24 ticks.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "engine/offline_render.h"
#include "engine/recording_fade.h"
#include "export/audio_export.h"
#include "export/export_choices.h"
#include "export/fade_out.h"
#include "tests/recording_samples.h"
#include "tests/test_support.h"

namespace bleeptone {
namespace {

using Samples = std::vector<std::int16_t>;
using Texts = std::array<std::u16string, 4>;
using testing::Bytes;
using testing::readBytes;

constexpr std::uint64_t kEighth = 24 * 459;

// Notes, envelopes, an event and an end on every channel: ends (-1) after the longest.
const Texts kEnding = {u"t11 w1 o1 \\8 v48 L8 G4B-B-G4B-B- G4>E-E-<G4>E-E-<", u"t11 w4 o3 \\2 v42 L8 GB->D4<GB->D4<",
                       u"t11 w4 o5 \\1,9,2,5 v44 L4 GG2G8F8 *1 E-E-2", u"t11 w6 o2 v30 L16 CCRC CCRC"};
// Every playing channel back at its start after four eighths (-2); channel 3 silent.
const Texts kLooping = {u"W2 \\2,8,5 L8CDEF:", u"W4O3L4CG:", u"", u"W5 V20 L8 CE:"};

Samples recordingSamples(const Texts& texts, std::uint64_t frames) {
    OfflineRenderSpec job;
    job.texts.assign(texts.begin(), texts.end());
    job.frames = frames;
    return testing::recordingSamples(job);
}

// What a recording of frames samples holds: the render with its tail faded.
Samples recorded(const Texts& texts, std::uint64_t frames) {
    Samples s = recordingSamples(texts, frames);
    fadeRecordingTail(s.data(), s.size());
    return s;
}

Samples wavSamples(const std::string& path) {
    const Bytes b = readBytes(path);
    Samples s;
    for (std::size_t i = 44; i + 1 < b.size(); i += 2) s.push_back(static_cast<std::int16_t>(b[i] | b[i + 1] << 8));
    return s;
}

Samples decode(const std::string& path, SF_INFO& info) {
    info = {};
    SNDFILE* sf = sf_open(path.c_str(), SFM_READ, &info);
    if (!sf) return {};
    Samples s(static_cast<std::size_t>(info.frames) * static_cast<std::size_t>(info.channels));
    s.resize(static_cast<std::size_t>(sf_read_short(sf, s.data(), static_cast<sf_count_t>(s.size()))));
    sf_close(sf);
    return s;
}

ExportSpec specOf(const Texts& texts, ExportFormat format = ExportFormat::Wav) {
    ExportSpec spec;
    spec.texts = texts;
    spec.format = format;
    return spec;
}

using ExportTest = testing::TempDirTest;

TEST(ExportNames, FormatsAndStemPaths) {
    EXPECT_EQ(exportFormatFromExtension("a/song.wav"), ExportFormat::Wav);
    EXPECT_EQ(exportFormatFromExtension("song.FLAC"), ExportFormat::Flac);
    EXPECT_EQ(exportFormatFromExtension("x.y/song.Ogg"), ExportFormat::Ogg);
    EXPECT_EQ(exportFormatFromExtension("song.mp3"), ExportFormat::Mp3);
    for (const char* none : {"song", "song.mp4", "wav", "song.wav/", ".wav"})
        EXPECT_EQ(exportFormatFromExtension(none), std::nullopt) << none;
    EXPECT_EQ(stemPath("dir/NAME.EXT", 1), "dir/NAME-1.EXT");
    EXPECT_EQ(stemPath("/a.b/song.final.flac", 4), "/a.b/song.final-4.flac");
    EXPECT_EQ(stemPath("song", 2), "song-2");
}

// The window's choices: file names, and the export they ask for.
TEST(ExportChoicesLogic, NamesAndSpec) {
    const struct {
        std::string chosen;
        ExportFormat format;
        std::string path;
    } names[] = {{"a/tune", ExportFormat::Flac, "a/tune.flac"},
                 {"tune.FLAC", ExportFormat::Flac, "tune.FLAC"},
                 {"tune.wav.old", ExportFormat::Wav, "tune.wav.old.wav"},
                 {"tune.ogg", ExportFormat::Mp3, "tune.ogg.mp3"},
                 {".mp3", ExportFormat::Mp3, ".mp3.mp3"},
                 // The file's name counts, not its folders'.
                 {"tunes.wav.d/tune", ExportFormat::Wav, "tunes.wav.d/tune.wav"},
                 {"a/.mp3", ExportFormat::Mp3, "a/.mp3.mp3"},
                 {"Demo 1", ExportFormat::Ogg, "Demo 1.ogg"}};
    for (const auto& n : names) EXPECT_EQ(withExtension(n.chosen, n.format), n.path) << n.chosen;
    for (ExportFormat f : {ExportFormat::Wav, ExportFormat::Flac, ExportFormat::Ogg, ExportFormat::Mp3})
        EXPECT_EQ(formatOfExtension(formatExtension(f)), f);
    EXPECT_EQ(formatOfExtension("FLAC"), ExportFormat::Flac);
    EXPECT_EQ(formatOfExtension("aiff"), std::nullopt);

    EXPECT_TRUE(songLoops({u"", u"CD:"}));
    EXPECT_FALSE(songLoops({u"CDE", u"", u"W2 C"}));
    // 0 s of fade: the recording's own; passes bring the length limit along.
    const ExportSpec plain = exportSpecFor({ExportFormat::Mp3, 1, 0, false}, kLooping);
    EXPECT_EQ(plain.texts, kLooping);
    EXPECT_EQ(plain.format, ExportFormat::Mp3);
    EXPECT_EQ(plain.fadeSeconds, std::nullopt);
    EXPECT_EQ(plain.maxFrames, 600u * 44100);
    const ExportSpec full = exportSpecFor({ExportFormat::Wav, 40, 1e9, true}, kLooping);
    EXPECT_EQ(full.passes, 16);
    EXPECT_EQ(full.fadeSeconds, 600.0);
    EXPECT_TRUE(full.stems);
    EXPECT_EQ(full.maxFrames, 16u * 600 * 44100);
}

// One pass, no fade: exactly the file a recording writes.
TEST_F(ExportTest, WavIsTheRecordingsFile) {
    for (const Texts& texts : {kEnding, kLooping}) {
        OfflineRenderSpec job;
        job.texts.assign(texts.begin(), texts.end());
        job.maxFrames = 600 * 44100;
        job.wavPath = path("recording.wav");
        struct : RenderSink {
            bool samples(const float*, std::size_t) override { return true; }
            bool event(const EngineEvent&) override { return true; }
        } ignore;
        ASSERT_EQ(renderOffline(job, ignore).wav, RecordOutcome::Complete);

        const ExportResult r = exportAudio(specOf(texts), path("export.wav"), {}, nullptr);
        ASSERT_TRUE(r.ok()) << r.message;
        const Bytes recording = readBytes(job.wavPath);
        EXPECT_GT(recording.size(), 44u + 2 * kRecordingFadeSamples);
        EXPECT_EQ(readBytes(path("export.wav")), recording);
        EXPECT_EQ(r.frames, (recording.size() - 44) / 2);
    }
}

// FLAC holds the WAV samples exactly; the lossy formats are mono 44,100 Hz
// files of the song's length within the encoder's padding.
TEST_F(ExportTest, EncodedFormatsReadBack) {
    ASSERT_TRUE(exportAudio(specOf(kEnding), path("song.wav"), {}, nullptr).ok());
    const Samples wav = wavSamples(path("song.wav"));
    const struct {
        ExportFormat format;
        const char* name;
        int type;
        std::size_t padding;
    } cases[] = {{ExportFormat::Flac, "song.flac", SF_FORMAT_FLAC, 0},
                 {ExportFormat::Ogg, "song.ogg", SF_FORMAT_OGG, 0},
                 {ExportFormat::Mp3, "song.mp3", SF_FORMAT_MPEG, 2 * 1152}};
    for (const auto& c : cases) {
        const ExportResult r = exportAudio(specOf(kEnding, c.format), path(c.name), {}, nullptr);
        ASSERT_TRUE(r.ok()) << c.name << ": " << r.message;
        SF_INFO info;
        const Samples got = decode(path(c.name), info);
        EXPECT_EQ(info.format & SF_FORMAT_TYPEMASK, c.type) << c.name;
        EXPECT_EQ(info.channels, 1) << c.name;
        EXPECT_EQ(info.samplerate, 44100) << c.name;
        EXPECT_GE(got.size(), wav.size()) << c.name;
        EXPECT_LE(got.size(), wav.size() + c.padding) << c.name;
        if (c.format == ExportFormat::Flac) {
            EXPECT_EQ(got, wav);
        } else {  // the same music: the difference at least 10 dB below the signal
            double signal = 0, noise = 0;
            for (std::size_t i = 0; i < wav.size() && i < got.size(); ++i) {
                signal += double(wav[i]) * wav[i];
                noise += double(got[i] - wav[i]) * (got[i] - wav[i]);
            }
            EXPECT_LT(10 * noise, signal) << c.name;
        }
    }
}

// A song ends at its passes-th common loop (-2), or at its end (-1) however
// many passes are asked, or at the length limit.
TEST_F(ExportTest, PassesOfALoopingSong) {
    const struct {
        Texts texts;
        int passes;
        std::uint64_t maxFrames;
        std::uint64_t frames;
    } cases[] = {
        {kLooping, 1, 600 * 44100, 4 * kEighth},
        {kLooping, 2, 600 * 44100, 8 * kEighth},
        {kLooping, 16, 600 * 44100, 64 * kEighth},
        {{u"L8CD:", u"L4CDE:"}, 2, 600 * 44100, 2 * 6 * kEighth},  // together every 3 quarters
        {{u"L8CDEF"}, 3, 600 * 44100, 4 * kEighth},                // ends
        {kLooping, 2, 10000, 10000},
    };
    for (const auto& c : cases) {
        ExportSpec spec = specOf(c.texts);
        spec.passes = c.passes;
        spec.maxFrames = c.maxFrames;
        const ExportResult r = exportAudio(spec, path("loop.wav"), {}, nullptr);
        ASSERT_TRUE(r.ok()) << r.message;
        EXPECT_EQ(r.frames, c.frames) << "passes " << c.passes;
        EXPECT_EQ(wavSamples(path("loop.wav")), recorded(c.texts, c.frames)) << "passes " << c.passes;
    }
}

// From a later moment of the song: the tail of the full render, the passes
// still counted from the song's start; the events (frames from the file's
// start) end with the one that ends the file.
TEST_F(ExportTest, StartLaterInTheSong) {
    const Samples full = recordingSamples(kLooping, 8 * kEighth);
    for (const std::uint64_t start : {std::uint64_t{0}, kEighth + 100, 4 * kEighth + 5, 9 * kEighth}) {
        ExportSpec spec = specOf(kLooping);
        spec.passes = 2;
        spec.startFrame = start;
        std::vector<EngineEvent> events;
        spec.events = [&](const EngineEvent& ev) { events.push_back(ev); };
        const ExportResult r = exportAudio(spec, path("tail.wav"), {}, nullptr);
        ASSERT_TRUE(r.ok()) << r.message;
        Samples expected(full.begin() + static_cast<std::ptrdiff_t>(std::min<std::uint64_t>(start, full.size())),
                         full.end());
        fadeRecordingTail(expected.data(), expected.size());
        EXPECT_EQ(wavSamples(path("tail.wav")), expected) << start;
        if (start <= 8 * kEighth) {
            ASSERT_FALSE(events.empty()) << start;
            EXPECT_EQ(events.back().data, kEventLooped);
            EXPECT_EQ(events.back().frame, 8 * kEighth - start);
        } else {
            EXPECT_TRUE(events.empty());
        }
    }
}

TEST(ExportFade, LinearGainRoundedToEven) {
    const struct {
        std::int16_t sample;
        std::uint64_t j, n;
        std::int16_t faded;
    } cases[] = {{1000, 0, 4, 750}, {1000, 1, 4, 500}, {1000, 2, 4, 250},      {1000, 3, 4, 0},  {3, 0, 2, 2},
                 {5, 0, 2, 2},      {-5, 0, 2, -2},    {-32768, 0, 2, -16384}, {32767, 0, 1, 0}, {7, 1, 3, 2}};
    for (const auto& c : cases)
        EXPECT_EQ(fadeOutSample(c.sample, c.j, c.n), c.faded) << c.sample << " " << c.j << "/" << c.n;
}

// The fade-out replaces the recording's: the last S seconds (at most the
// whole song) go down to silence, everything before them is untouched.
TEST_F(ExportTest, FadeOutOverTheLastSeconds) {
    const std::uint64_t length = 4 * kEighth;
    const Samples plain = recordingSamples(kLooping, length);
    for (const auto& [seconds, n] : {std::pair{0.25, std::uint64_t{11025}}, {10.0, length}, {0.0, 0}}) {
        ExportSpec spec = specOf(kLooping);
        spec.fadeSeconds = seconds;
        ASSERT_TRUE(exportAudio(spec, path("fade.wav"), {}, nullptr).ok());
        Samples expected = plain;
        for (std::uint64_t j = 0; j < n; ++j) {
            auto& s = expected[length - n + j];
            s = fadeOutSample(s, j, n);
        }
        EXPECT_EQ(wavSamples(path("fade.wav")), expected) << seconds << " s";
    }
}

// Each stem is its channel alone, as long as the mix; the mix is the plain export.
TEST_F(ExportTest, StemsAreTheChannelsAlone) {
    ExportSpec spec = specOf(kEnding);
    ASSERT_TRUE(exportAudio(spec, path("mix-only.wav"), {}, nullptr).ok());
    spec.stems = true;
    const ExportResult r = exportAudio(spec, path("song.wav"), {}, nullptr);
    ASSERT_TRUE(r.ok()) << r.message;
    ASSERT_EQ(r.files.size(), 5u);
    EXPECT_EQ(readBytes(path("song.wav")), readBytes(path("mix-only.wav")));
    for (int c = 1; c <= 4; ++c) {
        Texts alone;
        alone[c - 1] = kEnding[c - 1];
        EXPECT_EQ(r.files[c], path("song-" + std::to_string(c) + ".wav"));
        EXPECT_EQ(wavSamples(r.files[c]), recorded(alone, r.frames)) << "stem " << c;
    }
}

// Progress runs from the first file's start to the last file's end; a
// cancelled export, at any point, leaves no file.
TEST_F(ExportTest, ProgressAndCancel) {
    ExportSpec spec = specOf(kEnding, ExportFormat::Flac);
    spec.stems = true;
    std::vector<ExportProgress> seen;
    const ExportResult r = exportAudio(
        spec, path("song.flac"), [&](const ExportProgress& p) { seen.push_back(p); }, nullptr);
    ASSERT_TRUE(r.ok()) << r.message;
    ASSERT_GE(seen.size(), 10u);  // each file's start and end at least
    EXPECT_EQ(seen.front().fraction(), 0.0);
    EXPECT_EQ(seen.back().fraction(), 1.0);
    for (std::size_t i = 0; i < seen.size(); ++i) {
        EXPECT_EQ(seen[i].files, 5);
        EXPECT_EQ(seen[i].framesTotal, r.frames);
        if (i > 0) {
            EXPECT_GE(seen[i].fraction(), seen[i - 1].fraction());
        }
    }
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directory(dir_);

    for (const int cancelAtFile : {-1, 0, 3}) {  // -1: before the start
        std::atomic<bool> cancel{cancelAtFile < 0};
        const ExportResult c = exportAudio(
            spec, path("song.flac"),
            [&](const ExportProgress& p) {
                if (p.file == cancelAtFile) cancel = true;
            },
            &cancel);
        EXPECT_EQ(c.status, ExportStatus::Cancelled) << cancelAtFile;
        EXPECT_EQ(c.message, "export cancelled");
        EXPECT_EQ(fileCount(), 0u) << cancelAtFile;
    }
}

// Failures name the file and leave nothing behind, even files already complete.
TEST_F(ExportTest, FailuresNameTheFileAndLeaveNothing) {
    std::ofstream(path("plain")).put('x');
    std::filesystem::create_directory(path("song-3.wav"));  // in the way of a stem
    const struct {
        std::string path;
        ExportFormat format;
        bool stems;
        std::string named;
        const char* reason;
    } cases[] = {
        {path("missing/song.wav"), ExportFormat::Wav, false, path("missing/song.wav"), "No such file or directory"},
        {path("plain/song.flac"), ExportFormat::Flac, false, path("plain/song.flac"), "Not a directory"},
        {path("song.wav"), ExportFormat::Wav, true, path("song-3.wav"), "Is a directory"},
        {path("big.wav"), ExportFormat::Wav, false, path("big.wav"), "File too large"},
        {path("big.flac"), ExportFormat::Flac, false, path("big.flac"), "File too large"},
        {path("big.ogg"), ExportFormat::Ogg, false, path("big.ogg"), "File too large"},
        {path("big.mp3"), ExportFormat::Mp3, false, path("big.mp3"), "File too large"},
    };
    for (const auto& c : cases) {
        ExportSpec spec = specOf(kLooping, c.format);
        spec.passes = 16;  // 15 s
        spec.stems = c.stems;
        testing::FileSizeLimit limit(c.path.find("big") != std::string::npos ? 16384 : RLIM_INFINITY);
        ASSERT_TRUE(limit.ok());
        const ExportResult r = exportAudio(spec, c.path, {}, nullptr);
        EXPECT_EQ(r.status, ExportStatus::Failed) << c.path;
        EXPECT_NE(r.message.find(c.named), std::string::npos) << r.message;
        EXPECT_NE(r.message.find(c.reason), std::string::npos) << r.message;
        EXPECT_EQ(fileCount(), 2u) << c.path;  // "plain" and "song-3.wav" only
    }
    ExportSpec bad = specOf(kLooping);
    bad.passes = 17;
    EXPECT_EQ(exportAudio(bad, path("x.wav"), {}, nullptr).message, "passes must be from 1 to 16, not 17");
}

// A symlink stays and its target gets the file; a FIFO is written into, never replaced.
TEST_F(ExportTest, SymlinkAndFifoTargets) {
    const ExportSpec spec = specOf(kLooping);
    ASSERT_TRUE(exportAudio(spec, path("plain.wav"), {}, nullptr).ok());
    const Bytes expected = readBytes(path("plain.wav"));

    std::filesystem::create_directory(path("real"));
    std::ofstream(path("real/song.wav")) << "old";
    std::filesystem::create_symlink("real/song.wav", path("link.wav"));
    ASSERT_TRUE(exportAudio(spec, path("link.wav"), {}, nullptr).ok());
    EXPECT_TRUE(std::filesystem::is_symlink(path("link.wav")));
    EXPECT_EQ(readBytes(path("real/song.wav")), expected);

    std::filesystem::create_directory(path("stage"));
    ASSERT_EQ(setenv("TMPDIR", path("stage").c_str(), 1), 0);
    ASSERT_EQ(mkfifo(path("fifo").c_str(), 0600), 0);
    Bytes piped;
    std::thread reader([&] { piped = readBytes(path("fifo")); });
    const ExportResult r = exportAudio(spec, path("fifo"), {}, nullptr);
    const int release = ::open(path("fifo").c_str(), O_WRONLY | O_NONBLOCK);  // frees the reader if nothing came
    if (release >= 0) ::close(release);
    reader.join();
    unsetenv("TMPDIR");
    ASSERT_TRUE(r.ok()) << r.message;
    EXPECT_EQ(piped, expected);
    EXPECT_TRUE(std::filesystem::is_fifo(path("fifo")));
    EXPECT_TRUE(std::filesystem::is_empty(path("stage")));
}

}  // namespace
}  // namespace bleeptone
