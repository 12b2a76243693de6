// Projects on the command line: export-mml and import-mml, render of a
// project file or a built-in demo, and the handling of bad arguments and
// unusable files.

#include <gtest/gtest.h>
#include <sndfile.h>
#include <stdio.h>

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "export/json_text.h"
#include "project/control_numbers.h"
#include "project/project_blocks.h"
#include "project/project_fields.h"
#include "project/project_file.h"
#include "project/project_model.h"
#include "song/mml_text.h"
#include "song/song_assembly.h"
#include "tests/cli_run.h"
#include "tests/demo1_text.h"
#include "tests/qt_printers.h"
#include "tests/test_support.h"

namespace bleeptone {

namespace {

using testing::readBytes;
using testing::CliRun;
using testing::runCli;

void writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string lastLine(const std::string& path) {
    std::ifstream in(path);
    std::string line, last;
    while (std::getline(in, line)) last = line;
    return last;
}

ProjectModel builtIn(int demo) {
    ProjectModel m;
    EXPECT_TRUE(loadBuiltIn(demo == 0 ? BuiltInProject::NewTemplate
                                      : static_cast<BuiltInProject>(static_cast<int>(BuiltInProject::Demo1) + demo - 1),
                            m));
    return m;
}

using CliProjectTest = testing::TempDirTest;

TEST(ExportMml, Demo1) {
    const CliRun run = runCli({"export-mml", "--demo", "1"});
    ASSERT_EQ(run.code, kExitOk) << run.err;
    EXPECT_EQ(run.err, "");
    // The project info's notice and author lines are the demo's own.
    const QStringList lines = QString::fromStdString(run.out).split('\n');
    ASSERT_EQ(lines.size(), 13);
    EXPECT_TRUE(lines[0].startsWith(";[ Demo 1 | ")) << lines[0].toStdString();
    EXPECT_TRUE(lines[0].endsWith(" ];")) << lines[0].toStdString();
    EXPECT_EQ(lines.mid(1), testing::kDemo1Text.mid(1));
}

TEST_F(CliProjectTest, ChannelTextsAreTheAssembledSongAsJson) {
    ProjectModel edited = builtIn(1);
    edited.setText(control::channelEditor(1), QString::fromUtf16(u"C\u00E9<D\n\"E"));
    const std::string project = path("tune.mmlp");
    ASSERT_TRUE(saveProjectFile(QString::fromStdString(project), edited).ok);
    const struct {
        std::vector<std::string> args;
        ProjectModel model;
    } rows[] = {
        {{"export-mml", "--demo", "1", "--channel-texts"}, builtIn(1)},
        {{"export-mml", "--channel-texts", "--demo", "4"}, builtIn(4)},
        {{"export-mml", project, "--channel-texts"}, edited},
    };
    for (const auto& row : rows) {
        const CliRun run = runCli(row.args);
        ASSERT_EQ(run.code, kExitOk) << run.err;
        std::vector<std::u16string> texts;
        for (const QString& t : assembleSong(row.model)) texts.push_back(t.toStdU16String());
        EXPECT_EQ(run.out, jsonStringArray(texts) + "\n");
    }
}

TEST_F(CliProjectTest, ImportThenExportGivesTheSameText) {
    for (int demo = 1; demo <= 4; ++demo) {
        SCOPED_TRACE(demo);
        const CliRun exported = runCli({"export-mml", "--demo", std::to_string(demo)});
        ASSERT_EQ(exported.code, kExitOk) << exported.err;
        const std::string text = path("demo" + std::to_string(demo) + ".txt");
        const std::string project = path("demo" + std::to_string(demo) + ".mmlp");
        writeFile(text, exported.out);

        const CliRun imported = runCli({"import-mml", text, "-o", project});
        ASSERT_EQ(imported.code, kExitOk) << imported.err;
        EXPECT_EQ(imported.out, "");
        // The saved project is the New template with the text pasted into it.
        ProjectModel saved = builtIn(0);
        ASSERT_TRUE(loadProjectFile(QString::fromStdString(project), saved).ok);
        ProjectModel expected = builtIn(0);
        ASSERT_EQ(pasteMmlText(QString::fromStdString(exported.out), expected), PasteResult::Ok);
        EXPECT_EQ(saved, expected);

        const CliRun again = runCli({"export-mml", project});
        ASSERT_EQ(again.code, kExitOk) << again.err;
        EXPECT_EQ(again.out, exported.out);
    }
}

TEST_F(CliProjectTest, RenderOfADemoStopsWhereARecordingWould) {
    const struct {
        int demo;
        std::size_t samples;
        std::string lastEvent;
    } rows[] = {
        // Every channel plays 3584 ticks; channels 1 and 2 end with "<" after
        // their last note, which is read when it runs out: they end one tick later.
        {1, 3585 * 459, "1645515 -1"},
        // Channels 1 to 3 loop after 1920 ticks, channel 4 every 20: all at 1920.
        {4, 1920 * 459, "881280 -2"},
    };
    for (const auto& r : rows) {
        const CliRun run = runCli({"render", "--demo", std::to_string(r.demo), "--format", "s16", "-o", path("out.s16"),
                                   "--events", path("out.events")});
        ASSERT_EQ(run.code, kExitOk) << run.err;
        EXPECT_EQ(readBytes(path("out.s16")).size(), r.samples * 2) << r.demo;
        EXPECT_EQ(lastLine(path("out.events")), r.lastEvent) << r.demo;
    }
}

std::vector<std::string> lines(const std::string& path) {
    std::ifstream in(path);
    std::vector<std::string> all;
    for (std::string line; std::getline(in, line);) all.push_back(line);
    return all;
}

// The export options on the demos: FLAC holds exactly the WAV's samples;
// --loops N of a looping demo is N times its loop; --start S is the tail of
// the full render from sample S x 44,100 on, samples and events alike (event
// frames counted from the new start).
TEST_F(CliProjectTest, FlacLoopsAndStartOnTheDemos) {
    ASSERT_EQ(runCli({"render", "--demo", "1", "-o", path("demo.wav")}).code, kExitOk);
    ASSERT_EQ(runCli({"render", "--demo", "1", "-o", path("demo.flac")}).code, kExitOk);
    const auto wav = readBytes(path("demo.wav"));
    SF_INFO info{};
    SNDFILE* flac = sf_open(path("demo.flac").c_str(), SFM_READ, &info);
    ASSERT_NE(flac, nullptr);
    EXPECT_EQ(info.format & SF_FORMAT_TYPEMASK, SF_FORMAT_FLAC);
    std::vector<std::int16_t> decoded(static_cast<std::size_t>(info.frames));
    EXPECT_EQ(sf_read_short(flac, decoded.data(), info.frames), info.frames);
    sf_close(flac);
    ASSERT_EQ(wav.size(), 44 + 2 * decoded.size());
    EXPECT_EQ(std::memcmp(wav.data() + 44, decoded.data(), 2 * decoded.size()), 0);

    // Demo 4 loops every 1920 ticks (881,280 samples).
    const CliRun loops = runCli({"render", "--demo", "4", "--loops", "2", "--format", "s16", "-o", path("two.s16"),
                                 "--events", path("two.events")});
    ASSERT_EQ(loops.code, kExitOk) << loops.err;
    EXPECT_EQ(readBytes(path("two.s16")).size(), 2 * 2 * 881280u);
    EXPECT_EQ(lastLine(path("two.events")), "1762560 -2");

    ASSERT_EQ(runCli({"render", "--demo", "1", "--format", "f32", "-o", path("full.f32"), "--events", path("full.ev")})
                  .code,
              kExitOk);
    const auto full = readBytes(path("full.f32"));
    ASSERT_EQ(full.size(), 4 * 1645515u);
    for (const auto& [start, frames] : {std::pair{"10", 441000u}, {"37.3", 1644930u}, {"60", 2646000u}}) {
        SCOPED_TRACE(start);
        const CliRun run = runCli({"render", "--demo", "1", "--start", start, "--format", "f32", "-o",
                                   path("tail.f32"), "--events", path("tail.ev")});
        ASSERT_EQ(run.code, kExitOk) << run.err;
        const std::size_t from = std::min<std::size_t>(4 * frames, full.size());
        EXPECT_TRUE(readBytes(path("tail.f32")) == std::vector<std::uint8_t>(full.begin() + from, full.end()));
        std::vector<std::string> tail;
        for (const std::string& line : lines(path("full.ev"))) {
            std::istringstream in(line);
            std::uint64_t frame = 0;
            std::string data;
            in >> frame >> data;
            if (frame >= frames) tail.push_back(std::to_string(frame - frames) + " " + data);
        }
        EXPECT_EQ(lines(path("tail.ev")), tail);
    }
}

TEST_F(CliProjectTest, RenderOfAProjectFileEqualsTheDemo) {
    for (int demo = 1; demo <= 4; ++demo) {
        SCOPED_TRACE(demo);
        const std::string project = path("tune.mmlp");
        ASSERT_TRUE(saveProjectFile(QString::fromStdString(project), builtIn(demo)).ok);
        const CliRun fromFile = runCli({"render", project, "--seconds", "1.5", "-o", path("file.wav")});
        ASSERT_EQ(fromFile.code, kExitOk) << fromFile.err;
        const CliRun fromDemo =
            runCli({"render", "--demo", std::to_string(demo), "--seconds", "1.5", "-o", path("demo.wav")});
        ASSERT_EQ(fromDemo.code, kExitOk) << fromDemo.err;
        const auto a = readBytes(path("file.wav"));
        EXPECT_EQ(a.size(), 44u + 2 * 66150u);
        EXPECT_TRUE(a == readBytes(path("demo.wav")));
    }
}

TEST_F(CliProjectTest, BadArgumentsExitTwoAndWriteNothing) {
    const std::string song = path("song.mmlp");
    const std::string out = path("out.wav");
    const std::vector<std::vector<std::string>> bad = {
        {"export-mml"},
        {"export-mml", "--demo"},
        {"export-mml", "--demo", "0"},
        {"export-mml", "--demo", "5"},
        {"export-mml", "--demo", "one"},
        {"export-mml", song, song},
        {"export-mml", song, "--demo", "1"},
        {"export-mml", "--bogus"},
        {"import-mml", path("in.txt")},
        {"import-mml", path("in.txt"), "-o"},
        {"import-mml", path("a.txt"), path("b.txt"), "-o", song},
        {"import-mml", "--bogus", "-o", song},
        {"render", song, "--mml", "C4", "-o", out},
        {"render", "--demo", "1", "--mml", "C4", "-o", out},
        {"render", song, "--demo", "1", "-o", out},
        {"render", "--demo", "9", "-o", out},
        {"render", song, song, "-o", out},
        {"play", song, "--mml", "C4", "--audio", "null"},
        {"play", "--demo", "2", song, "--audio", "null"},
        {"play", "--demo", "0", "--audio", "null"},
        {"render", "--demo", "1", "--format", "mid", "--fade", "2", "-o", out},
        {"render", "--demo", "1", "--stems", "-o", path("out.mid")},
        {"render", "--demo", "1", "--events", path("ev.txt"), "-o", path("out.mid")},
        {"import-midi", path("in.mid")},
        {"import-midi", "-o", song},
        {"import-midi", path("in.mid"), "--grid", "8", "-o", song},
        {"import-midi", path("a.mid"), path("b.mid"), "-o", song},
        {"import-midi", path("in.mid"), "--bogus", "-o", song},
    };
    for (const auto& args : bad) {
        const CliRun run = runCli(args);
        std::string shown;
        for (const auto& a : args) shown += a + " ";
        EXPECT_EQ(run.code, kExitUsage) << shown;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << shown << run.err;
        EXPECT_EQ(run.out, "") << shown;
    }
    EXPECT_EQ(fileCount(), 0u);
}

TEST_F(CliProjectTest, UnusableProjectExitsOneNamingTheFile) {
    writeFile(path("notes.txt"), "hello\n");
    writeFile(path("old.mmlp"), "\xEF\xBB\xBF\n[Version]\nVersionNumber = 2.0.0\n[Settings]\n3 = 12\n");
    for (const std::string name : {"missing.mmlp", "notes.txt", "old.mmlp"}) {
        for (const std::vector<std::string>& args :
             {std::vector<std::string>{"export-mml", path(name)},
              std::vector<std::string>{"render", path(name), "-o", path("out.wav")}}) {
            const CliRun run = runCli(args);
            EXPECT_EQ(run.code, kExitIo) << args[0] << " " << name;
            EXPECT_NE(run.err.find(name), std::string::npos) << run.err;
            EXPECT_EQ(run.out, "") << args[0] << " " << name;
        }
    }
    EXPECT_FALSE(std::filesystem::exists(path("out.wav")));
}

TEST_F(CliProjectTest, ImportFailures) {
    // A text without any verse declaration: nothing is saved.
    writeFile(path("plain.txt"), ";[ Title ];\n\nno verses here\n");
    CliRun run = runCli({"import-mml", path("plain.txt"), "-o", path("p.mmlp")});
    EXPECT_EQ(run.code, kExitIo);
    EXPECT_NE(run.err.find("Unable to parse the MML data."), std::string::npos) << run.err;
    EXPECT_FALSE(std::filesystem::exists(path("p.mmlp")));
    // A text that cannot be read.
    run = runCli({"import-mml", path("missing.txt"), "-o", path("p.mmlp")});
    EXPECT_EQ(run.code, kExitIo);
    EXPECT_NE(run.err.find("missing.txt"), std::string::npos) << run.err;
    EXPECT_FALSE(std::filesystem::exists(path("p.mmlp")));
    // A project that cannot be written.
    writeFile(path("tune.txt"), "CH1Verse_1.s = \"cde\"");
    run = runCli({"import-mml", path("tune.txt"), "-o", path("missing/dir/p.mmlp")});
    EXPECT_EQ(run.code, kExitIo);
    EXPECT_NE(run.err.find("p.mmlp"), std::string::npos) << run.err;
}

// A MIDI file from a project, named by its extension, and back as a project;
// a file that is no MIDI file is refused and leaves nothing behind.
TEST_F(CliProjectTest, MidiOutAndIn) {
    ProjectModel song = builtIn(0);
    song.setText(control::verseNameField(1), "Tune");
    song.setText(control::channelEditor(1), "l8 cdef");
    ASSERT_TRUE(saveProjectFile(QString::fromStdString(path("song.mmlp")), song).ok);
    CliRun run = runCli({"render", path("song.mmlp"), "-o", path("song.MIDI")});
    ASSERT_EQ(run.code, kExitOk) << run.err;
    const auto file = readBytes(path("song.MIDI"));
    const std::string bytes(file.begin(), file.end());
    EXPECT_EQ(bytes.substr(0, 4), "MThd");
    EXPECT_NE(bytes.find("Tune"), std::string::npos);  // the track's name

    run = runCli({"import-midi", path("song.MIDI"), "-o", path("back.mmlp")});
    ASSERT_EQ(run.code, kExitOk) << run.err;
    EXPECT_EQ(run.err, "");  // nothing was lost
    ProjectModel back = builtIn(0);
    ASSERT_TRUE(loadProjectFile(QString::fromStdString(path("back.mmlp")), back).ok);
    EXPECT_EQ(back.text(control::channelEditor(1)), "l8 cdef");
    EXPECT_EQ(back.text(control::verseNameField(1)), "Tune");
    EXPECT_EQ(back.text(control::ProjectInfo), "song\nImported from song.MIDI");

    writeFile(path("notes.mid"), "hello");
    run = runCli({"import-midi", path("notes.mid"), "-o", path("p.mmlp")});
    EXPECT_EQ(run.code, kExitIo);
    EXPECT_EQ(run.err, "bleeptone import-midi: cannot import " + path("notes.mid") + ": not a MIDI file\n");
    EXPECT_FALSE(std::filesystem::exists(path("p.mmlp")));
}

TEST_F(CliProjectTest, ImportOfALoneVerse) {
    writeFile(path("tune.txt"), "CH1Verse_1.s = \"cde\"\r\n");
    const CliRun run = runCli({"import-mml", path("tune.txt"), "-o", path("tune.mmlp")});
    ASSERT_EQ(run.code, kExitOk) << run.err;
    ProjectModel saved = builtIn(0);
    ASSERT_TRUE(loadProjectFile(QString::fromStdString(path("tune.mmlp")), saved).ok);
    ProjectModel expected = builtIn(0);
    expected.setText(control::channelEditor(1), "cde");
    EXPECT_EQ(saved, expected);
}

}  // namespace
}  // namespace bleeptone
