// bleeptone notes: the lines and the JSON object, on hand-counted tunes, a
// project with patterns and a loop, and every demo against what a real
// render plays; bad arguments and unwritable output.

#include <gtest/gtest.h>

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "engine/engine.h"
#include "project/project_blocks.h"
#include "project/project_file.h"
#include "project/project_model.h"
#include "project/u16_view.h"
#include "song/song_assembly.h"
#include "song/song_positions.h"
#include "tests/cli_run.h"
#include "tests/heard_notes.h"
#include "tests/test_support.h"

namespace bleeptone {
namespace {

using testing::runCli;

const std::string kHeader = "channel\tstart\tframes\tnote\tverse\tcolumn\tpass\n";

std::vector<std::vector<std::string>> fields(const std::string& out) {
    std::vector<std::vector<std::string>> rows;
    std::istringstream in(out);
    std::string line;
    std::getline(in, line);  // the header
    while (std::getline(in, line)) {
        std::vector<std::string> row;
        std::istringstream cells(line);
        for (std::string cell; std::getline(cells, cell, '\t');) row.push_back(cell);
        rows.push_back(row);
    }
    return rows;
}

QJsonObject jsonOf(const std::string& out) {
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(out), &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << out;
    return doc.object();
}

TEST(CliNotes, LinesCountedByHand) {
    const struct {
        std::vector<std::string> args;
        std::string lines;
    } rows[] = {
        // 48 ticks of 459 frames a quarter; R8 half of it; D at NoteLen.
        {{"--mml", "C4R8D"}, "1\t0\t22032\t60\t1\t1\t1\n1\t22032\t11016\tr\t1\t3\t1\n1\t33048\t22032\t62\t1\t5\t1\n"},
        // Out of range (O9C, O0K-1C): silent. A note of 0 ticks lasts one.
        {{"--mml", "O9C O0K-1C O4K0C255"},
         "1\t0\t22032\t-\t1\t3\t1\n1\t22032\t22032\t-\t1\t10\t1\n1\t44064\t459\t60\t1\t16\t1\n"},
        // Both loop together at tick 96: the render stops there.
        {{"--mml", "C4:", "--mml", "C2:"},
         "1\t0\t22032\t60\t1\t1\t1\n1\t22032\t22032\t60\t1\t1\t2\n2\t0\t44064\t60\t1\t1\t1\n"},
        // On to one second (44,100 frames): ticks 0 to 96.
        {{"--mml", "C4:", "--mml", "C2:", "--seconds", "1"},
         "1\t0\t22032\t60\t1\t1\t1\n1\t22032\t22032\t60\t1\t1\t2\n1\t44064\t22032\t60\t1\t1\t3\n"
         "2\t0\t44064\t60\t1\t1\t1\n2\t44064\t44064\t60\t1\t1\t2\n"},
        {{"--mml", "", "--mml", "", "--mml", "r1"}, "3\t0\t88128\tr\t1\t1\t1\n"},
        {{"--mml", "C4", "--seconds", "0"}, ""},
    };
    for (const auto& r : rows) {
        const testing::CliRun run = runCli([&] {
            std::vector<std::string> a = {"notes"};
            a.insert(a.end(), r.args.begin(), r.args.end());
            return a;
        }());
        EXPECT_EQ(run.code, kExitOk) << r.args[1] << run.err;
        EXPECT_EQ(run.out, kHeader + r.lines) << r.args[1];
        EXPECT_EQ(run.err, "");
    }
}

TEST(CliNotes, JsonObject) {
    const testing::CliRun run = runCli({"notes", "--mml", "V100 C4:", "--mml", "W3 \\1,9 C1", "--json"});
    ASSERT_EQ(run.code, kExitOk) << run.err;
    const QJsonObject j = jsonOf(run.out);
    // Channel 2 ends at tick 192; channel 1 then loops alone at tick 192: a common loop.
    EXPECT_EQ(j["length"].toInteger(), 192 * 459);
    EXPECT_EQ(j["frames"].toInteger(), 192 * 459);
    EXPECT_EQ(j["stop"].toString(), "loop");
    EXPECT_EQ(j["sample_rate"].toInt(), 44100);
    const QJsonArray channels = j["channels"].toArray();
    ASSERT_EQ(channels.size(), 4);
    EXPECT_EQ(channels[0].toObject(), (QJsonObject{{"channel", 1}, {"loop", 48 * 459}}));
    EXPECT_EQ(channels[1].toObject(), (QJsonObject{{"channel", 2}, {"end", 192 * 459}}));
    EXPECT_EQ(channels[2].toObject(), (QJsonObject{{"channel", 3}, {"empty", true}, {"end", 0}}));
    const QJsonArray notes = j["notes"].toArray();
    ASSERT_EQ(notes.size(), 5);  // four quarters on channel 1, the whole note on channel 2
    EXPECT_EQ(notes[0].toObject(), (QJsonObject{{"channel", 1},
                                                {"start", 0},
                                                {"frames", 22032},
                                                {"note", 60},
                                                {"verse", 1},
                                                {"column", 6},
                                                {"pass", 1},
                                                {"volume", 36},
                                                {"waveform", 0}}));
    EXPECT_EQ(notes[3].toObject()["pass"].toInt(), 4);
    EXPECT_EQ(notes[4].toObject()["waveform"].toInt(), 3);
    EXPECT_EQ(notes[4].toObject()["column"].toInt(), 9);

    const QJsonObject silent = jsonOf(runCli({"notes", "--mml", "O9C", "--mml", "R", "--json"}).out);
    EXPECT_EQ(silent["notes"].toArray()[0].toObject()["note"].toString(), "-");
    EXPECT_EQ(silent["notes"].toArray()[1].toObject()["note"].toString(), "r");
    EXPECT_EQ(silent["stop"].toString(), "end");
    const QJsonObject limited = jsonOf(runCli({"notes", "--mml", "C1:", "--seconds", "0.5", "--json"}).out);
    EXPECT_EQ(limited["stop"].toString(), "time");
    EXPECT_EQ(limited["frames"].toInteger(), 22050);
    EXPECT_TRUE(limited["length"].isNull());  // no end nor common loop within half a second
}

class CliNotesFiles : public testing::TempDirTest {};

TEST_F(CliNotesFiles, ProjectWithPatternsAndALoop) {
    ProjectModel m;
    ASSERT_TRUE(loadBuiltIn(BuiltInProject::NewTemplate, m));
    m.setText(control::channelEditor(1), "c4 d4\ne4");
    m.setText(control::patternField(1), "1+2+1");
    m.setText(control::channelEditor(2), "c2\n:");
    m.setText(control::patternField(2), "1+2");
    const std::string file = path("song.mmlp");
    ASSERT_TRUE(saveProjectFile(QString::fromStdString(file), m).ok);

    const testing::CliRun run = runCli({"notes", file});
    ASSERT_EQ(run.code, kExitOk) << run.err;
    // Verse 1 twice, both times at its own columns; channel 2 loops through
    // its verse ":" until channel 1 has ended and the loop is common (tick 288).
    EXPECT_EQ(run.out, kHeader +
                           "1\t0\t22032\t60\t1\t1\t1\n"
                           "1\t22032\t22032\t62\t1\t4\t1\n"
                           "1\t44064\t22032\t64\t2\t1\t1\n"
                           "1\t66096\t22032\t60\t1\t1\t1\n"
                           "1\t88128\t22032\t62\t1\t4\t1\n"
                           "2\t0\t44064\t60\t1\t1\t1\n"
                           "2\t44064\t44064\t60\t1\t1\t2\n"
                           "2\t88128\t44064\t60\t1\t1\t3\n");
    const QJsonObject j = jsonOf(runCli({"notes", file, "--json"}).out);
    EXPECT_EQ(j["length"].toInteger(), 288 * 459);
    EXPECT_EQ(j["channels"].toArray()[0].toObject()["end"].toInteger(), 240 * 459);
    EXPECT_EQ(j["channels"].toArray()[1].toObject()["loop"].toInteger(), 96 * 459);

    EXPECT_EQ(runCli({"notes", path("missing.mmlp")}).code, kExitIo);
}

// Every line is a note or rest the engine started at that frame, at the
// place its text came from, and the song ends where a render ends.
TEST(CliNotes, EveryDemoIsWhatTheEnginePlays) {
    for (int d = 1; d <= 4; ++d) {
        ProjectModel m;
        ASSERT_TRUE(loadBuiltIn(static_cast<BuiltInProject>(static_cast<int>(BuiltInProject::Demo1) + d - 1), m));
        const std::array<ChannelAssembly, 4> song = assembleSongWithMap(m);
        const testing::HeardSong heard =
            testing::hear({u16view(song[0].text), u16view(song[1].text), u16view(song[2].text), u16view(song[3].text)},
                          600ull * kSampleRate);
        ASSERT_TRUE(heard.end.has_value());

        const testing::CliRun run = runCli({"notes", "--demo", std::to_string(d)});
        ASSERT_EQ(run.code, kExitOk) << run.err;
        const auto rows = fields(run.out);
        std::size_t row = 0;
        for (int k = 0; k < kVoices; ++k) {
            for (const testing::HeardNote& n : heard.notes[k]) {
                ASSERT_LT(row, rows.size()) << "demo " << d;
                const std::vector<std::string>& r = rows[row++];
                ASSERT_EQ(r.size(), 7u);
                const std::optional<EditorPlace> place = placeInSong(song[k], k + 1, n.position);
                ASSERT_TRUE(place.has_value());
                EXPECT_EQ(r[0], std::to_string(k + 1)) << "demo " << d;
                EXPECT_EQ(r[1], std::to_string(n.start)) << "demo " << d;
                EXPECT_EQ(r[4], std::to_string(place->verse)) << "demo " << d;
                EXPECT_EQ(r[5], std::to_string(place->column + 1)) << "demo " << d;
                // The note: a rest where the text has one, else the pitch the voice was given.
                const QChar letter =
                    verseAt(versesOf(m.text(control::channelEditor(k + 1))), place->verse).at(place->column).toLower();
                EXPECT_EQ(r[3] == "r", letter == 'r') << "demo " << d;
                if (r[3] != "r" && r[3] != "-") {
                    const float step = NoteTable[static_cast<std::size_t>(std::stoi(r[3]) - 12)] * rcp44100;
                    EXPECT_TRUE(n.phaseAdd == step || n.phaseAdd == std::min(step * 10.0f, 0.999f))  // noise: x 10
                        << "demo " << d << " note " << r[3];
                }
            }
        }
        EXPECT_EQ(row, rows.size()) << "demo " << d;
        const QJsonObject j = jsonOf(runCli({"notes", "--demo", std::to_string(d), "--json"}).out);
        EXPECT_EQ(static_cast<std::uint64_t>(j["length"].toInteger()), *heard.end) << "demo " << d;
    }
}

TEST_F(CliNotesFiles, BadArgumentsAndUnwritableOutput) {
    const std::vector<std::vector<std::string>> bad = {
        {"notes"},
        {"notes", "--demo", "5"},
        {"notes", "--demo", "1", "--seconds", "601"},
        {"notes", "--demo", "1", "--seconds", "-1"},
        {"notes", "--demo", "1", "--seconds", "soon"},
        {"notes", "--demo", "1", "--seconds"},
        {"notes", "--demo", "1", "--loops", "2"},
        {"notes", "--demo", "1", "--mml", "C"},
        {"notes", "--mml", "C", "--mml", "C", "--mml", "C", "--mml", "C", "--mml", "C"},
    };
    for (const auto& args : bad) {
        const testing::CliRun run = runCli(args);
        EXPECT_EQ(run.code, kExitUsage) << args.back();
        EXPECT_EQ(run.out, "");
        EXPECT_NE(run.err.find("bleeptone notes: "), std::string::npos) << run.err;
    }
    std::FILE* full = std::fopen("/dev/full", "w");
    ASSERT_NE(full, nullptr);
    std::FILE* err = std::fopen(path("err").c_str(), "w");
    EXPECT_EQ(runCommandLine({"notes", "--demo", "4"}, CliIo{full, err, false}), kExitIo);
    std::fclose(full);
    std::fclose(err);
    EXPECT_EQ(testing::readBytes(path("err")).empty(), false);
}

}  // namespace
}  // namespace bleeptone
