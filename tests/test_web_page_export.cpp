// File > Export Web Page... on the whole program, offscreen: the save panel
// proposes the project's name, the page of the window's tune is written under
// the chosen name (".html" added as other exports add theirs), a cancelled
// panel writes nothing, and a page that cannot be written is said so.

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "app/controls.h"
#include "app/window_fields.h"
#include "export/web_page.h"
#include "tests/program_test.h"

namespace bleeptone {
namespace {

class WebPageExportTest : public testing::ProgramTest {
protected:
    void SetUp() override {
        ProgramTest::SetUp();
        startProgram(false);
    }
    std::string read(const std::string& file) {
        std::ifstream in(file, std::ios::binary);
        std::stringstream bytes;
        bytes << in.rdbuf();
        return bytes.str();
    }
};

TEST_F(WebPageExportTest, WritesTheWindowsTuneUnderTheChosenName) {
    menu(menu::Demo2);
    controls().setSelection(control::channelEditor(1), 0, 5);
    const struct {
        std::string chosen, written;
    } rows[] = {
        {"tune", "tune.html"}, {"page.html", "page.html"}, {"old.html.d", "old.html.d"},  // the name has it
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.chosen);
        dialogs.clear();
        dialogs.panelPaths = {QString::fromStdString(path(r.chosen))};
        menu(menu::ExportWebPage);
        const std::string file = path(r.written);
        EXPECT_EQ(dialogs.log(),
                  (std::vector<std::string>{"save panel: Export Web Page... | html | Web Page",
                                            "information: The web page was written to \"" + file + "\"."}));
        EXPECT_TRUE(dialogs.calls[0].folder.endsWith("/Demo 2.html")) << dialogs.calls[0].folder.toStdString();
        EXPECT_EQ(read(file), webPageHtml(WindowFields(controls()), "Demo 2"));
    }
    EXPECT_EQ(fileCount(), 3u);
}

TEST_F(WebPageExportTest, CancelledOrFailedWritesNothing) {
    menu(menu::Demo1);
    menu(menu::ExportWebPage);  // the panel cancelled
    EXPECT_EQ(dialogs.kinds(), std::vector<std::string>{"save panel"});

    dialogs.clear();
    const std::string missing = path("no-such-folder/tune.html");
    dialogs.panelPaths = {QString::fromStdString(missing)};
    menu(menu::ExportWebPage);
    ASSERT_EQ(dialogs.kinds(), (std::vector<std::string>{"save panel", "error"}));
    EXPECT_TRUE(
        dialogs.calls[1].text.startsWith(QString::fromStdString("The web page could not be written: " + missing)))
        << dialogs.calls[1].text.toStdString();
    EXPECT_EQ(fileCount(), 0u);
}

}  // namespace
}  // namespace bleeptone
