// File > Export Audio... on the whole program, offscreen: the choices box,
// the save panel, the export on its worker thread behind a progress dialog,
// Cancel, failures, and the choices remembered for next time.

#include <gtest/gtest.h>
#include <sndfile.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QElapsedTimer>
#include <QPointer>
#include <QProgressDialog>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <QThread>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/application.h"
#include "app/controls.h"
#include "app/dispatcher.h"
#include "app/export_command.h"
#include "app/export_dialog.h"
#include "app/main_window.h"
#include "app/window_fields.h"
#include "export/audio_export.h"
#include "project/project_blocks.h"
#include "project/project_file.h"
#include "project/project_model.h"
#include "song/song_assembly.h"
#include "tests/program_test.h"

namespace bleeptone {

void PrintTo(const ExportChoices& c, std::ostream* os) {
    *os << "{" << formatExtension(c.format) << ", " << c.passes << " passes, fade " << c.fadeSeconds << ", stems "
        << c.stems << "}";
}

namespace {

using testing::serveUntil;
using Samples = std::vector<std::int16_t>;

Samples decode(const std::string& path) {
    SF_INFO info{};
    SNDFILE* sf = sf_open(path.c_str(), SFM_READ, &info);
    if (!sf) return {};
    Samples s(static_cast<std::size_t>(info.frames));
    s.resize(static_cast<std::size_t>(sf_read_short(sf, s.data(), info.frames)));
    sf_close(sf);
    return s;
}

class ExportDialogTest : public testing::ProgramTest {
protected:
    void SetUp() override {
        ProgramTest::SetUp();
        saveExportChoices({});
        startProgram(false);
    }

    // Runs Export Audio until its worker is done (no progress dialog left).
    void runExport() {
        submit(AppEvent::menu(menu::ExportAudio));
        ASSERT_TRUE(serveUntil([&] { return window().findChild<QProgressDialog*>() == nullptr; }));
    }
    std::array<std::u16string, 4> windowSong() {
        const auto song = assembleSong(WindowFields(controls()));
        return {song[0].toStdU16String(), song[1].toStdU16String(), song[2].toStdU16String(), song[3].toStdU16String()};
    }
};

// The box shows the remembered choices (brought into range) and returns what
// the user set; the passes box is for songs that loop.
TEST(ExportChoicesBoxTest, ShowsAndReturnsTheChoices) {
    const struct {
        ExportChoices remembered;
        bool loops;
        int formatIndex, passes;
        double fade;
    } rows[] = {
        {{ExportFormat::Flac, 5, 2.5, true}, true, 1, 5, 2.5},
        {{ExportFormat::Mp3, 99, -3, false}, false, 3, 16, 0},
    };
    for (const auto& r : rows) {
        ExportChoicesBox box(r.remembered, r.loops);
        EXPECT_EQ(box.formatBox()->currentIndex(), r.formatIndex);
        EXPECT_EQ(box.formatBox()->currentText(),
                  QStringList({"WAV (16-bit mono 44,100 Hz)", "FLAC", "Ogg Vorbis", "MP3"})[r.formatIndex]);
        EXPECT_EQ(box.passesBox()->value(), r.passes);
        EXPECT_EQ(box.passesBox()->isEnabled(), r.loops);
        EXPECT_EQ(box.fadeBox()->value(), r.fade);
        EXPECT_EQ(box.stemsBox()->isChecked(), r.remembered.stems);
        box.formatBox()->setCurrentIndex(2);
        box.passesBox()->setValue(3);
        box.fadeBox()->setValue(4);
        box.stemsBox()->setChecked(!r.remembered.stems);
        EXPECT_EQ(box.choices(), (ExportChoices{ExportFormat::Ogg, 3, 4, !r.remembered.stems}));
    }
}

// A demo to FLAC: the whole song (a selection does not matter), exactly the
// samples of a WAV export; the panel proposes the demo's name in the home
// folder; the box then remembers FLAC.
TEST_F(ExportDialogTest, ExportsADemoToFlac) {
    submit(AppEvent::menu(menu::Demo1));
    controls().setSelection(control::channelEditor(1), 0, 5);
    const ExportChoices flac{ExportFormat::Flac, 1, 0, false};
    dialogs.choiceAnswers = {flac};
    dialogs.panelPaths = {QString::fromStdString(path("song"))};
    runExport();
    const std::string file = path("song.flac");
    EXPECT_EQ(dialogs.log(),
              (std::vector<std::string>{"export choices: ", "save panel: Export Audio... | flac | FLAC File",
                                        "information: The song was exported to \"" + file + "\"."}));
    ASSERT_EQ(dialogs.calls.size(), 3u);
    EXPECT_EQ(dialogs.calls[0].remembered, ExportChoices{});
    EXPECT_FALSE(dialogs.calls[0].songLoops);
    EXPECT_TRUE(dialogs.calls[1].folder.endsWith("/Demo 1.flac")) << dialogs.calls[1].folder.toStdString();

    ExportSpec wav;
    wav.texts = windowSong();
    ASSERT_TRUE(exportAudio(wav, path("reference.wav"), {}, nullptr).ok());
    const Samples expected = decode(path("reference.wav"));
    EXPECT_EQ(expected.size(), 3585u * 459);  // Demo 1 to its end
    EXPECT_TRUE(decode(file) == expected);

    dialogs.clear();
    runExport();  // cancelled in the box
    ASSERT_EQ(dialogs.kinds(), std::vector<std::string>{"export choices"});
    EXPECT_EQ(dialogs.calls[0].remembered, flac);
}

// Cancel, pressed while a long song exports, leaves no file and says
// nothing. The song's channels loop every 192 and 579 ticks, together every
// 37,056 (6 min 26 s): 16 passes last 1 h 43 min, five files of them.
TEST_F(ExportDialogTest, CancelLeavesNoFile) {
    controls().setText(control::channelEditor(1), "C1:");
    controls().setText(control::channelEditor(2), "C1C1C1R64:");
    for (const bool escape : {false, true}) {
        SCOPED_TRACE(escape ? "Escape" : "Cancel");
        dialogs.clear();
        dialogs.choiceAnswers = {ExportChoices{ExportFormat::Wav, 16, 0, true}};
        dialogs.panelPaths = {QString::fromStdString(path("long.wav"))};
        submit(AppEvent::menu(menu::ExportAudio));
        const QPointer<QProgressDialog> progress = window().findChild<QProgressDialog*>();
        ASSERT_NE(progress, nullptr);
        EXPECT_EQ(progress->windowTitle(), "Export Audio");
        EXPECT_EQ(progress->labelText(), "Exporting \"long.wav\"...");
        QPushButton* cancel = progress->findChild<QPushButton*>();
        ASSERT_NE(cancel, nullptr);
        EXPECT_EQ(cancel->text(), "Cancel");
        if (escape) QTest::keyClick(progress, Qt::Key_Escape);
        else cancel->click();
        ASSERT_TRUE(serveUntil([&] { return progress.isNull(); }));
        EXPECT_EQ(dialogs.kinds(), (std::vector<std::string>{"export choices", "save panel"}));
        EXPECT_TRUE(dialogs.calls[0].songLoops);
        EXPECT_EQ(fileCount(), 0u);
    }
}

// A file that cannot be written is an "Error" box with the export's reason;
// the panel opens in the project's folder with its name; the choices made
// are remembered in the settings for the next start.
TEST_F(ExportDialogTest, FailureInTheProjectsFolderAndRememberedChoices) {
    ProjectModel model;
    loadBuiltIn(BuiltInProject::Demo2, model);
    ASSERT_TRUE(saveProjectFile(QString::fromStdString(path("tune.mmlp")), model).ok);
    app->openDocuments(QString::fromStdString(path("tune.mmlp")));
    ASSERT_EQ(window().title(), "tune - Bleeptone");

    const ExportChoices ogg{ExportFormat::Ogg, 3, 1.5, true};
    dialogs.choiceAnswers = {ogg};
    dialogs.panelPaths = {QString::fromStdString(path("missing/x"))};
    runExport();
    ASSERT_EQ(dialogs.kinds(), (std::vector<std::string>{"export choices", "save panel", "error"}));
    EXPECT_EQ(dialogs.calls[1].folder.toStdString(), dir_.string() + "/tune.ogg");
    EXPECT_EQ(dialogs.calls[2].text.toStdString(), "The song could not be exported: cannot create " +
                                                       path("missing/x.ogg") + ": No such file or directory.");
    EXPECT_EQ(loadExportChoices(), ogg);
    EXPECT_EQ(fileCount(), 1u);  // tune.mmlp
}

}  // namespace
}  // namespace bleeptone
