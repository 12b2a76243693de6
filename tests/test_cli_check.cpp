// bleeptone check: one line per finding as a compiler writes warnings, in
// order of place, the JSON object, the exit codes (0 none, 1 findings, 2 bad
// arguments) and the name a line starts with.

#include <gtest/gtest.h>

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <string>

#include "cli/cli.h"
#include "project/project_blocks.h"
#include "project/project_file.h"
#include "project/project_model.h"
#include "tests/cli_run.h"
#include "tests/test_support.h"

namespace bleeptone {
namespace {

using testing::runCli;

TEST(CliCheck, LinesInOrderOfPlace) {
    // Channel 2's finding comes after channel 1's, though it plays first.
    const testing::CliRun run = runCli({"check", "--mml", "c4 c4 v100 c2", "--mml", "w9 c1"});
    EXPECT_EQ(run.code, 1);
    EXPECT_EQ(run.out,
              "mml:1:1:7: warning: \"v100\" sets the volume to 36, not 100: volumes go up to 63 and the engine keeps "
              "only the number's low 6 bits\n"
              "mml:2:1:1: warning: \"w9\" plays the sawtooth, as w1 does: waveforms go from 0 to 5 and the voice reads "
              "only the low 3 bits\n");
    EXPECT_EQ(run.err, "");
}

TEST(CliCheck, NothingToSay) {
    for (const std::vector<std::string>& args : {std::vector<std::string>{"check", "--mml", "l8 cdefgab>c<"},
                                                 {"check", "--demo", "1"},
                                                 {"check", "--demo", "4"}}) {
        const testing::CliRun run = runCli(args);
        EXPECT_EQ(run.code, 0) << args[2] << run.out;
        EXPECT_EQ(run.out, "");
    }
}

TEST(CliCheck, Json) {
    const testing::CliRun run = runCli({"check", "--mml", "c4 v100", "--json"});
    EXPECT_EQ(run.code, 1);
    QJsonParseError error;
    const QJsonObject j = QJsonDocument::fromJson(QByteArray::fromStdString(run.out), &error).object();
    ASSERT_EQ(error.error, QJsonParseError::NoError) << run.out;
    EXPECT_EQ(j["name"].toString(), "mml");
    const QJsonArray findings = j["findings"].toArray();
    ASSERT_EQ(findings.size(), 1);
    const QJsonObject f = findings[0].toObject();
    EXPECT_EQ(f["channel"].toInt(), 1);
    EXPECT_EQ(f["verse"].toInt(), 1);
    EXPECT_EQ(f["column"].toInt(), 4);
    EXPECT_EQ(f["length"].toInt(), 4);
    EXPECT_EQ(f["rule"].toString(), "volume");
    EXPECT_EQ(f["frame"].toInteger(), 48 * 459);  // read when the quarter note has run out
    EXPECT_TRUE(f["message"].toString().startsWith("\"v100\" sets the volume to 36"));

    const QJsonObject none =
        QJsonDocument::fromJson(QByteArray::fromStdString(runCli({"check", "--demo", "2", "--json"}).out)).object();
    EXPECT_EQ(none, (QJsonObject{{"name", "demo2"}, {"findings", QJsonArray()}}));
}

TEST(CliCheck, BadArguments) {
    for (const std::vector<std::string>& args : {std::vector<std::string>{"check"},
                                                 {"check", "--demo", "5"},
                                                 {"check", "--seconds", "3", "--mml", "c"},
                                                 {"check", "--demo", "1", "--mml", "c"},
                                                 {"check", "/nonexistent/song.mmlp"}}) {
        const testing::CliRun run = runCli(args);
        EXPECT_EQ(run.code, kExitUsage) << args.back();
        EXPECT_EQ(run.out, "");
        EXPECT_NE(run.err, "");
    }
}

class CliCheckFiles : public testing::TempDirTest {};

// The project file's name as given starts each line; a pattern's finding has verse 0.
TEST_F(CliCheckFiles, ProjectNamedAsGiven) {
    ProjectModel m;
    ASSERT_TRUE(loadBuiltIn(BuiltInProject::NewTemplate, m));
    m.setText(control::channelEditor(1), "c1\nc1");
    m.setText(control::patternField(1), "1+2+3");
    const std::string file = path("song.mmlp");
    ASSERT_TRUE(saveProjectFile(QString::fromStdString(file), m).ok);
    const testing::CliRun run = runCli({"check", file});
    EXPECT_EQ(run.code, 1);
    EXPECT_EQ(run.out, file +
                           ":1:0:5: warning: pattern entry 3 names verse 3, but channel 1 has 2 verses: it plays "
                           "nothing\n");
}

}  // namespace
}  // namespace bleeptone
