// The command line: query output, render formats and their agreement, where
// a render stops, the export options, the handling of bad arguments and
// unwritable files, and outputs that are links or FIFOs.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "cli/cli.h"
#include "cli/utf8.h"
#include "engine/offline_render.h"
#include "tests/cli_run.h"
#include "tests/test_support.h"

namespace bleeptone {
namespace {

using testing::readBytes;
using testing::le32;
using testing::CliRun;
using testing::runCli;

std::vector<std::int16_t> asS16(const std::vector<std::uint8_t>& b, std::size_t from = 0) {
    std::vector<std::int16_t> s((b.size() - from) / 2);
    std::memcpy(s.data(), b.data() + from, s.size() * 2);
    return s;
}

std::vector<float> asF32(const std::vector<std::uint8_t>& b) {
    std::vector<float> s(b.size() / 4);
    std::memcpy(s.data(), b.data(), s.size() * 4);
    return s;
}

using CliTest = testing::TempDirTest;

TEST(CliQuery, PrintsStateAndTime) {
    struct Case {
        std::string text, position, expected;
    } cases[] = {
        {"C4D8", "5", "12 12 4 0 4 40 0 0 7\n"},
        {"T15C1", "6", "32 15 4 0 4 40 0 0 9\n"},
        {"O5K-3L8V20W2\\4C", "2147483647", "4 12 5 -3 8 20 2 4 2\n"},
        {"C4:D4", "6", "8 12 4 0 4 40 0 0 4\n"},
        {"C4", "0", "0 0 0 0 0 0 0 0 0\n"},  // nothing scanned, the record untouched
        {"\xC5\x83" "1", "3", "32 12 4 0 4 40 0 0 19\n"},  // U+0143 reads as C
    };
    for (const auto& c : cases) {
        const CliRun run = runCli({"query", c.text, c.position});
        EXPECT_EQ(run.code, kExitOk) << c.text;
        EXPECT_EQ(run.out, c.expected) << c.text;
    }
}

TEST(CliUtf8, DecodesArguments) {
    const struct {
        std::string bytes;
        std::u16string units;
    } rows[] = {
        {"C4", u"C4"},
        {"\xC5\x83", u"\u0143"},
        {"\xF0\x9F\x8E\xB5", u"\xD83C\xDFB5"},    // U+1F3B5: a surrogate pair
        {"R\xE2\x82", u"R\uFFFD\uFFFD"},          // cut off at the end: one U+FFFD a byte
        {"\xC0\x80R", u"\uFFFD\uFFFDR"},          // overlong
        {"\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},  // a surrogate encoded on its own
        {"\xFFR", u"\uFFFDR"},
        {"\xEF\xBB\xBFR", u"\uFEFFR"},  // a byte-order mark is kept
    };
    for (const auto& r : rows) EXPECT_EQ(utf8ToUtf16(r.bytes), r.units) << r.bytes;
}

TEST(CliQuery, RejectsBadArguments) {
    for (const auto& args : std::vector<std::vector<std::string>>{
             {"query"}, {"query", "C4"}, {"query", "C4", "x"}, {"query", "C4", "5", "6"},
             {"query", "C4", "99999999999999999999"}}) {
        const CliRun run = runCli(args);
        EXPECT_EQ(run.code, kExitUsage);
        EXPECT_TRUE(run.out.empty());
        EXPECT_NE(run.err.find("bleeptone query:"), std::string::npos);
    }
}

TEST_F(CliTest, WavOfAQuarterNote) {
    // C4 at tempo 12 lasts 48 ticks: 48 x 459 samples, the last 459 faded.
    const CliRun run = runCli({"render", "--mml", "C4", "-o", path("c4.wav"), "--events", path("c4.events")});
    ASSERT_EQ(run.code, kExitOk) << run.err;
    const auto wav = readBytes(path("c4.wav"));
    ASSERT_EQ(wav.size(), 44108u);
    EXPECT_EQ(le32(wav, 4), 44100u);
    EXPECT_EQ(le32(wav, 40), 44064u);
    std::ifstream events(path("c4.events"));
    std::string line;
    ASSERT_TRUE(std::getline(events, line));
    EXPECT_EQ(line, "22032 -1");
    EXPECT_FALSE(std::getline(events, line));
}

TEST_F(CliTest, FormatsAgree) {
    // The raw recording samples are the output's, and the WAV holds them
    // with only the last 459 faded.
    const std::vector<std::string> tune = {"--mml", "T150L16O5W2CEG>C<GEC4", "--mml", "W3O3L8CCGG", "--mml",
                                           "W4V30O2C2", "--mml", "W5O1V20C8C8"};
    auto render = [&](const std::string& format) {
        std::vector<std::string> args = {"render", "--format", format, "-o", path("out." + format)};
        args.insert(args.end(), tune.begin(), tune.end());
        const CliRun run = runCli(args);
        EXPECT_EQ(run.code, kExitOk) << run.err;
        return readBytes(path("out." + format));
    };
    const auto f32 = asF32(render("f32"));
    const auto s16 = asS16(render("s16"));
    const auto wav = render("wav");
    const auto data = asS16(wav, 44);
    ASSERT_EQ(f32.size(), s16.size());
    ASSERT_EQ(data.size(), s16.size());
    ASSERT_GT(s16.size(), 459u * 10);
    for (std::size_t i = 0; i < s16.size(); ++i) ASSERT_EQ(s16[i], recordingSample(f32[i])) << i;
    for (std::size_t i = 0; i + 459 < s16.size(); ++i) ASSERT_EQ(data[i], s16[i]) << i;
    EXPECT_NE(std::vector<std::int16_t>(data.end() - 459, data.end()),
              std::vector<std::int16_t>(s16.end() - 459, s16.end()));
}

TEST_F(CliTest, WhereARenderStops) {
    struct Case {
        std::vector<std::string> args;
        std::size_t samples;
        std::string lastEvent;
    } cases[] = {
        // Both channels loop together after 48 ticks.
        {{"--mml", "C4:", "--mml", "C4:"}, 48 * 459, "22032 -2"},
        // C4 loops every 48 ticks, R64C4 every 48 after 3: never together.
        // (R64*1C4: posts 1 at ticks 3 and 54 within the second.)
        {{"--mml", "C4:", "--mml", "R64*1C4:", "--max-seconds", "1"}, 44100, "24786 1"},
        // A fixed length plays past the end.
        {{"--mml", "C4", "--seconds", "0.5"}, 22050, "22032 -1"},
        {{"--mml", "C4", "--seconds", "0"}, 0, ""},
        // Nothing to play ends at the first tick.
        {{}, 0, "0 -1"},
    };
    for (auto& c : cases) {
        std::vector<std::string> args = {"render", "--format", "f32", "-o", path("x.f32"), "--events", path("x.ev")};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const CliRun run = runCli(args);
        ASSERT_EQ(run.code, kExitOk) << run.err;
        EXPECT_EQ(readBytes(path("x.f32")).size(), c.samples * 4) << args.back();
        std::ifstream events(path("x.ev"));
        std::string line, last;
        while (std::getline(events, line)) last = line;
        EXPECT_EQ(last, c.lastEvent) << args.back();
    }
}

TEST_F(CliTest, BadArgumentsExitTwoAndWriteNothing) {
    const std::vector<std::vector<std::string>> bad = {
        {"render", "--bogus"},
        {"render", "--format", "aiff", "-o", path("a")},
        {"render", "--seconds", "-1", "-o", path("a")},
        {"render", "--seconds", "abc", "-o", path("a")},
        {"render", "--max-seconds", "1e9", "-o", path("a")},
        {"render", "--mml"},
        {"render", "-o"},
        {"render", "--mml", "A", "--mml", "B", "--mml", "C", "--mml", "D", "--mml", "E", "-o", path("a")},
        {"render", "--demo", "5", "-o", path("a")},
        {"render", "--demo", "1", "--mml", "C", "-o", path("a")},
        {"render", "a.mmlp", "b.mmlp", "-o", path("a")},
        {"nonsense"},
    };
    for (const auto& args : bad) {
        const CliRun run = runCli(args);
        EXPECT_EQ(run.code, kExitUsage) << args[1];
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    }
    EXPECT_EQ(fileCount(), 0u);
}

TEST_F(CliTest, RefusesAudioOnATerminal) {
    const CliRun run = runCli({"render", "--mml", "C4"}, /*outIsTerminal=*/true);
    EXPECT_EQ(run.code, kExitUsage);
    EXPECT_TRUE(run.out.empty());
}

TEST_F(CliTest, UnwritableOutputExitsOneAndLeavesNothing) {
    for (const std::string format : {"wav", "f32"}) {
        const CliRun run = runCli({"render", "--mml", "C4", "--format", format, "-o", path("missing/dir/out")});
        EXPECT_EQ(run.code, kExitIo) << format;
        EXPECT_NE(run.err.find("missing/dir/out"), std::string::npos) << run.err;
    }
    // A good audio file is not left behind when the events file fails.
    const CliRun run = runCli({"render", "--mml", "C4", "-o", path("ok.wav"), "--events", path("missing/ev")});
    EXPECT_EQ(run.code, kExitIo);
    EXPECT_EQ(fileCount(), 0u);
}

TEST_F(CliTest, WavToStandardOutput) {
    const CliRun run = runCli({"render", "--mml", "C4", "-o", "-"});
    ASSERT_EQ(run.code, kExitOk) << run.err;
    ASSERT_EQ(run.out.size(), 44108u);
    EXPECT_EQ(run.out.compare(0, 4, "RIFF"), 0);
}

// The export options: the format a name asks for, stems beside the mix,
// the fade, encoded formats to standard output; and every bad value or
// combination refused with one line, writing nothing.
TEST_F(CliTest, ExportOptionsAndTheirErrors) {
    const std::string loop = "W4O3L8CEG>C<:";  // 96 ticks, looping
    const struct {
        std::vector<std::string> args;
        int code;
        std::string magic;  // the start of the file (or of standard output for "-o -")
        std::string error;  // part of the message on failure
    } rows[] = {
        {{"-o", path("a.FLAC")}, kExitOk, "fLaC", ""},
        {{"-o", path("a.Ogg")}, kExitOk, "OggS", ""},
        {{"-o", path("a.bin")}, kExitOk, "RIFF", ""},
        {{"-o", path("a.wav"), "--format", "ogg"}, kExitOk, "OggS", ""},
        {{"-o", "-", "--format", "flac"}, kExitOk, "fLaC", ""},
        {{"-o", path("a.wav"), "--loops", "16", "--fade", "2.5", "--start", "0.5"}, kExitOk, "RIFF", ""},
        {{"--format", "aiff"}, kExitUsage, "", "unknown format 'aiff' (wav, flac, ogg, mp3, f32, s16 or mid)"},
        {{"--loops", "0"}, kExitUsage, "", "--loops must be a whole number from 1 to 16: '0'"},
        {{"--loops", "17"}, kExitUsage, "", "--loops must be a whole number from 1 to 16: '17'"},
        {{"--loops", "2.5"}, kExitUsage, "", "--loops must be a whole number from 1 to 16: '2.5'"},
        {{"--fade", "-1"}, kExitUsage, "", "--fade must be a number of seconds from 0 to 36000: '-1'"},
        {{"--start", "x"}, kExitUsage, "", "--start must be a number of seconds from 0 to 36000: 'x'"},
        {{"--start"}, kExitUsage, "", "option --start needs a value"},
        {{"--stems", "-o", "-"}, kExitUsage, "", "--stems needs an output file (-o FILE), not standard output"},
        {{"--stems", "--format", "s16"}, kExitUsage, "",
         "--stems needs an audio format (wav, flac, ogg or mp3), not s16"},
        {{"--fade", "1", "-o", path("a.f32"), "--format", "f32"}, kExitUsage, "",
         "--fade needs an audio format (wav, flac, ogg or mp3), not f32"},
        {{"--loops", "2", "--seconds", "1"}, kExitUsage, "", "give --loops or --seconds, not both"},
    };
    for (const auto& r : rows) {
        std::filesystem::remove_all(dir_);
        std::filesystem::create_directory(dir_);
        std::vector<std::string> args = {"render", "--mml", loop};
        args.insert(args.end(), r.args.begin(), r.args.end());
        std::string shown;
        for (const auto& a : r.args) shown += a + " ";
        const CliRun run = runCli(args);
        EXPECT_EQ(run.code, r.code) << shown << run.err;
        if (r.code != kExitOk) {
            EXPECT_EQ(run.err, "bleeptone render: " + r.error + " (see bleeptone --help)\n") << shown;
            EXPECT_EQ(fileCount(), 0u) << shown;
            continue;
        }
        const std::string got = r.args[1] == "-" ? run.out : [&] {
            const auto b = readBytes(r.args[1]);
            return std::string(b.begin(), b.end());
        }();
        EXPECT_EQ(got.compare(0, 4, r.magic), 0) << shown;
        EXPECT_EQ(fileCount(), r.args[1] == "-" ? 0u : 1u) << shown;
    }

    // Stems: NAME-1 .. NAME-4 beside the mix, all as long as the mix.
    const CliRun stems =
        runCli({"render", "--mml", loop, "--mml", "C4", "--stems", "--fade", "0.1", "-o", path("song.wav")});
    ASSERT_EQ(stems.code, kExitOk) << stems.err;
    const auto mix = readBytes(path("song.wav"));
    EXPECT_EQ(mix.size(), 44u + 2 * 96 * 459);
    EXPECT_EQ(asS16(mix, 44).back(), 0);  // the fade ends in silence
    for (int c = 1; c <= 4; ++c)
        EXPECT_EQ(readBytes(path("song-" + std::to_string(c) + ".wav")).size(), mix.size()) << c;
}

// Outputs follow the rule for every file: a symlink stays and the file it
// points to gets the output; a FIFO is written into (a thread reads it) and
// stays a FIFO; the staging area is left empty.
TEST_F(CliTest, SymlinkAndFifoOutputs) {
    std::filesystem::create_directory(path("stage"));
    std::filesystem::create_directory(path("real"));
    ASSERT_EQ(setenv("TMPDIR", path("stage").c_str(), 1), 0);
    ASSERT_EQ(mkfifo(path("fifo").c_str(), 0600), 0);
    for (const std::string format : {"wav", "f32", "flac"}) {
        SCOPED_TRACE(format);
        const std::vector<std::string> song = {"render", "--mml", "T150L16O5W2CEG>C<GEC4", "--format", format,
                                               "--events"};
        auto render = [&](const std::string& out, const std::string& events) {
            std::vector<std::string> args = song;
            args.insert(args.end(), {events, "-o", out});
            const CliRun run = runCli(args);
            EXPECT_EQ(run.code, kExitOk) << run.err;
        };
        render(path("ref"), path("ref.events"));
        const auto expected = readBytes(path("ref"));
        ASSERT_GT(expected.size(), 1000u);

        std::ofstream(path("real/out")) << "old";
        std::ofstream(path("real/events")) << "old";
        std::filesystem::remove(path("link"));
        std::filesystem::remove(path("events-link"));
        std::filesystem::create_symlink("real/out", path("link"));
        std::filesystem::create_symlink("real/events", path("events-link"));
        render(path("link"), path("events-link"));
        EXPECT_TRUE(std::filesystem::is_symlink(path("link")));
        EXPECT_EQ(readBytes(path("real/out")), expected);
        EXPECT_EQ(readBytes(path("real/events")), readBytes(path("ref.events")));

        std::vector<std::uint8_t> piped;
        std::thread reader([&] { piped = readBytes(path("fifo")); });
        render(path("fifo"), path("events"));
        const int release = ::open(path("fifo").c_str(), O_WRONLY | O_NONBLOCK);  // frees the reader if nothing came
        if (release >= 0) ::close(release);
        reader.join();
        EXPECT_EQ(piped, expected);
        EXPECT_TRUE(std::filesystem::is_fifo(path("fifo")));
    }
    unsetenv("TMPDIR");
    EXPECT_TRUE(std::filesystem::is_empty(path("stage")));
}

}  // namespace
}  // namespace bleeptone
