// The web page writer: one file with nothing loaded from elsewhere, the
// channel texts coloured by the editors' rule, the song's data (the texts Play
// plays, the Copy MML text, the note map's notes in their editor places), and
// export-html on the command line. That the page plays what Bleeptone plays
// is proved in a browser (web/test_page.py, make web).

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "export/web_page.h"
#include "project/control_numbers.h"
#include "project/project_blocks.h"
#include "project/project_model.h"
#include "song/mml_text.h"
#include "song/song_assembly.h"
#include "tests/cli_run.h"

namespace bleeptone {
namespace {

ProjectModel builtIn(BuiltInProject which) {
    ProjectModel m;
    EXPECT_TRUE(loadBuiltIn(BuiltInProject::NewTemplate, m));
    if (which != BuiltInProject::NewTemplate) {
        EXPECT_TRUE(loadBuiltIn(which, m));
    }
    return m;
}

std::size_t count(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

// The text between the first `from` and the next `to` after it.
std::string between(const std::string& text, const std::string& from, const std::string& to) {
    const std::size_t a = text.find(from);
    if (a == std::string::npos) return {};
    const std::size_t b = text.find(to, a + from.size());
    return b == std::string::npos ? std::string() : text.substr(a + from.size(), b - a - from.size());
}

QJsonObject songData(const std::string& page) {
    const std::string json = between(page, "<script type=\"application/json\" id=\"bleeptone-song\">", "</script>");
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(json), &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << error.errorString().toStdString();
    return doc.object();
}

TEST(WebPage, DemosAreSelfContainedAndSmall) {
    for (int n = 1; n <= 4; ++n) {
        SCOPED_TRACE(n);
        const ProjectModel demo = builtIn(static_cast<BuiltInProject>(static_cast<int>(BuiltInProject::Demo1) + n - 1));
        const std::string page = webPageHtml(demo, QString("Demo %1").arg(n));
        EXPECT_LE(page.size(), 300u * 1024u);
        EXPECT_EQ(page.rfind("<!DOCTYPE html>", 0), 0u);
        // Three script elements, each closed where it should be: nothing put
        // in (the engine, the song's texts) ends one early.
        EXPECT_EQ(count(page, "<script"), 3u);
        EXPECT_EQ(count(page, "</script"), 3u);
        EXPECT_EQ(count(page, "<!--"), 1u);  // the template's own comment
        for (const char* outside : {"<link", "<img", "<iframe", " src=", " href=", "@import", "url(", "fetch("})
            EXPECT_EQ(page.find(outside), std::string::npos) << outside;
        // Every @NAME@ was filled.
        for (const char* name : {"@TITLE@", "@SONG@", "@WORKLET@", "@CHANNELS@", "@BASE@"})
            EXPECT_EQ(page.find(name), std::string::npos) << name;
        EXPECT_NE(page.find("<title>Demo " + std::to_string(n) + "</title>"), std::string::npos);

        const QJsonObject song = songData(page);
        const std::array<QString, 4> texts = assembleSong(demo);
        ASSERT_EQ(song["texts"].toArray().size(), 4);
        for (int k = 0; k < 4; ++k)
            EXPECT_EQ(song["texts"].toArray()[k].toString(), texts[static_cast<std::size_t>(k)]);
        EXPECT_EQ(song["copyMml"].toString(), copyMmlText(demo));
        EXPECT_EQ(song["lengthTenths"].toInteger(), songLengthTenths(texts));
    }
}

TEST(WebPage, ChannelsColouredAndNotesPlaced) {
    ProjectModel m = builtIn(BuiltInProject::NewTemplate);  // tempo 12: a whole note is 192 ticks
    m.setText(control::channelEditor(1), "l8 c4 r\ne8. f+16");
    m.setText(control::patternField(1), "1+2");
    m.setText(control::channelEditor(2), "cdef");
    m.setState(control::muteBox(2), 1);
    m.setText(control::channelEditor(3), "o4<c>h\n:");
    m.setText(control::patternField(3), "1+2");
    m.setText(control::verseNameField(1), "Lead & <Bass>");
    m.setText(control::ProjectInfo, "By me\n<3");
    const std::string page = webPageHtml(m, "A & <B>");

    EXPECT_NE(page.find("<title>A &amp; &lt;B&gt;</title>"), std::string::npos);
    EXPECT_NE(page.find("<p class=\"info\">By me\n&lt;3</p>"), std::string::npos);
    EXPECT_NE(page.find(">Lead &amp; &lt;Bass&gt;<span class=\"pattern\">pattern 1+2</span></h2>"), std::string::npos);
    // Verses as the editor colours them: commands (k), modifiers (m),
    // numbers (n), the rest in the base colour; "h" has no use in MML: "?".
    const char* const verses[] = {
        {"<div class=\"verse\"><span class=\"k\">l</span><span class=\"n\">8</span> c<span class=\"n\">4</span> "
         "<span class=\"m\">r</span></div>"},
        {"<div class=\"verse\">e<span class=\"n\">8</span><span class=\"m\">.</span> f<span class=\"m\">+</span>"
         "<span class=\"n\">16</span></div>"},
        {"<div class=\"verse\"><span class=\"k\">o</span><span class=\"n\">4</span><span class=\"m\">&lt;</span>c"
         "<span class=\"m\">&gt;</span>?</div><div class=\"verse\"><span class=\"k\">:</span></div>"},
    };
    for (const char* v : verses) EXPECT_NE(page.find(v), std::string::npos) << v;
    EXPECT_NE(page.find("<section class=\"channel muted\""), std::string::npos);
    EXPECT_NE(page.find(".mml .k { color: #0000c0; }"), std::string::npos);
    EXPECT_NE(page.find("color: #c00000;"), std::string::npos);  // the base colour

    // [start tick, ticks, verse, column, length]: c4 48 ticks, r (L8) 24,
    // e8. 36, f+16 12; each marked with its sign, number and dot.
    const QJsonArray channels = songData(page)["channels"].toArray();
    ASSERT_EQ(channels.size(), 4);
    const QJsonArray expected{0, 48, 1, 3, 2, 48, 24, 1, 6, 1, 72, 36, 2, 0, 3, 108, 12, 2, 4, 4};
    EXPECT_EQ(channels[0].toObject()["notes"].toArray(), expected);
    EXPECT_TRUE(channels[0].toObject()["ends"].toBool());
    EXPECT_TRUE(channels[1].toObject()["notes"].toArray().isEmpty());  // muted: not played
    // Channel 3 loops: its c (a quarter: 48 ticks) after "o4<", again at
    // 48 and 96; at 144 it is the only channel playing, and loops: where the
    // map (and a recording) stops.
    EXPECT_EQ(channels[2].toObject()["notes"].toArray(),
              (QJsonArray{0, 48, 1, 3, 1, 48, 48, 1, 3, 1, 96, 48, 1, 3, 1}));
    EXPECT_FALSE(channels[2].toObject()["ends"].toBool());
}

TEST(WebPage, WritesWholeOrReportsTheFailure) {
    const std::filesystem::path dir = std::filesystem::temp_directory_path() / "bleeptone-web-page-test";
    std::filesystem::create_directories(dir);
    const ProjectModel demo = builtIn(BuiltInProject::Demo2);
    std::string error;
    const std::string path = (dir / "tune.html").string();
    ASSERT_TRUE(writeWebPage(path, demo, "Demo 2", error)) << error;
    std::ifstream in(path, std::ios::binary);
    std::stringstream written;
    written << in.rdbuf();
    EXPECT_EQ(written.str(), webPageHtml(demo, "Demo 2"));

    const std::string missing = (dir / "no-such-folder" / "tune.html").string();
    EXPECT_FALSE(writeWebPage(missing, demo, "Demo 2", error));
    EXPECT_EQ(error.rfind(missing, 0), 0u) << error;
    EXPECT_FALSE(std::filesystem::exists(missing));
    std::filesystem::remove_all(dir);
}

TEST(CliExportHtml, WritesThePageOrSaysWhyNot) {
    const testing::CliRun out = testing::runCli({"export-html", "--demo", "3", "-o", "-"});
    EXPECT_EQ(out.code, kExitOk) << out.err;
    EXPECT_EQ(out.out, webPageHtml(builtIn(BuiltInProject::Demo3), "Demo 3"));

    const struct {
        std::vector<std::string> args;
        int code;
        const char* message;
    } rows[] = {
        {{"export-html", "--demo", "1"}, kExitUsage, "expected -o PAGE.html"},
        {{"export-html", "-o", "x.html"}, kExitUsage, "expected PROJECT.mmlp or --demo N"},
        {{"export-html", "--mml", "cde", "-o", "x.html"}, kExitUsage, "unknown option '--mml'"},
        {{"export-html", "--demo", "5", "-o", "x.html"}, kExitUsage, "--demo takes a demo number"},
        {{"export-html", "/no/such/tune.mmlp", "-o", "x.html"}, kExitIo, "bleeptone export-html: "},
        {{"export-html", "--demo", "1", "-o", "/no/such/folder/x.html"}, kExitIo, "/no/such/folder/x.html: "},
    };
    for (const auto& r : rows) {
        const testing::CliRun run = testing::runCli(r.args);
        EXPECT_EQ(run.code, r.code) << run.err;
        EXPECT_NE(run.err.find(r.message), std::string::npos) << run.err;
    }
    EXPECT_FALSE(std::filesystem::exists("x.html"));
}

}  // namespace
}  // namespace bleeptone
