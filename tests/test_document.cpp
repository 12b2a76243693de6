// The document's life on the whole program, offscreen, with scripted
// dialogs: titles and the edited mark, the Save item and the enable groups,
// the question before unsaved work is replaced, New, Open (from the panel
// and from the desktop), Save, Save As, the demos, the save that a quit
// waits for, and what failed opens and saves leave behind.

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QMenu>
#include <QMimeData>
#include <QUrl>
#include <QDragEnterEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QWheelEvent>

#include <deque>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "app/app_commands.h"
#include "app/application.h"
#include "app/autosave.h"
#include "app/controls.h"
#include "app/dispatcher.h"
#include "app/document.h"
#include "app/main_window.h"
#include "app/recent_files.h"
#include "app/window_fields.h"
#include "project/project_file.h"
#include "project/project_model.h"
#include "tests/program_test.h"
#include "tests/qt_printers.h"

namespace bleeptone {
namespace {

using testing::runPosted;
using testing::FileSizeLimit;

const QString kUnsavedQuestion = "You haven't saved your project yet. Do you still want to continue?";
const QString kQuitQuestion = "Do you want to save your project before closing Bleeptone?";
const QString kSaved = "Your project has been saved!";

// A project file: the New template's key lines with some values replaced
// (and keys added after key 69).
QByteArray projectFile(const std::map<int, QString>& values, const QStringList& extraLines = {},
                       const QByteArray& version = "1.0.0") {
    const int order[] = {3,  1,  8,  10, 12, 14, 17, 18, 21, 23, 25, 27, 30, 31, 34, 36, 38, 40,
                         43, 44, 47, 49, 51, 53, 56, 57, 60, 61, 62, 63, 64, 65, 66, 67, 69};
    const std::map<int, QString> defaults = {
        {3, "12"}, {1, "2"}, {17, "CH1 Verse(s)"}, {30, "CH2 Verse(s)"}, {43, "CH3 Verse(s)"}, {56, "CH4 Verse(s)"},
        {60, "Channel 1"}, {62, "Channel 2"}, {64, "Channel 3"}, {66, "Channel 4"},
        {8, "0"}, {21, "0"}, {34, "0"}, {47, "0"}, {10, "4"}, {23, "4"}, {36, "4"}, {49, "4"},
        {12, "40"}, {25, "40"}, {38, "40"}, {51, "40"}, {14, "0"}, {27, "0"}, {40, "0"}, {53, "0"}};
    QByteArray bytes = "\xEF\xBB\xBF\n[Version]\nVersionNumber = " + version + "\n[Settings]\n";
    for (int key : order) {
        QString value = values.count(key) ? values.at(key) : defaults.count(key) ? defaults.at(key) : QString();
        bytes += (QString::number(key) + " = " + value + "\n").toUtf8();
    }
    for (const QString& line : extraLines) bytes += line.toUtf8() + "\n";
    return bytes;
}

const std::map<int, QString> kSong = {{3, "9"}, {8, "2"}, {17, "Lead"}, {18, "cdef;gab"}, {31, "l8 e"}};

struct Snapshot {
    ProjectModel fields;
    QString title;
    bool modified = false;
    QString path;
    bool save = false, saveAs = false, play = false, playItem = false;
    bool operator==(const Snapshot& o) const {
        return fields == o.fields && title == o.title && modified == o.modified && path == o.path && save == o.save &&
               saveAs == o.saveAs && play == o.play && playItem == o.playItem;
    }
};

void PrintTo(const Snapshot& s, std::ostream* os) {
    *os << "title \"" << s.title.toStdString() << "\" modified " << s.modified << " path \"" << s.path.toStdString()
        << "\" save " << s.save << " saveAs " << s.saveAs << " play " << s.play << " playItem " << s.playItem
        << " editor18 \"" << s.fields.text(18).toStdString() << "\" mute15 " << s.fields.state(15);
}

class DocumentTest : public testing::ProgramTest {
public:
    void SetUp() override {
        ProgramTest::SetUp();
        dialogs.titleNow = [this] { return app ? window().title() : QString(); };
        startProgram();
    }
    void TearDown() override {
        EXPECT_TRUE(dialogs.answers.empty()) << "unused answers";
        EXPECT_TRUE(dialogs.panelPaths.empty()) << "unused panel answers";
        ProgramTest::TearDown();
    }

    // With recovery copies at once, and the loop's leaving in the dialogs' log.
    void startProgram() {
        dialogs.calls.clear();
        Application::Options options = testing::programOptions();
        options.recoveryDir = recoveryDir();
        options.autosaveDelayMs = 0;  // a copy at the next turn of the event loop
        ProgramTest::startProgram(true, options);
        if (!HasFatalFailure()) app->dispatcher().setLeaveLoop([this] { dialogs.note("leave", {}); });
    }

    // Beside the test's folder, whose files the tests count.
    QString recoveryDir() const { return recovery_.path() + "/recovery"; }
    Document& document() { return app->document(); }
    // Types at the end of a control's text, as the user would.
    void type(int control, const QString& text) {
        QWidget* w = controls().widget(control);
        w->setFocus();
        if (auto* e = qobject_cast<QPlainTextEdit*>(w)) e->moveCursor(QTextCursor::End);
        QTest::keyClicks(w, text);
        runPosted();
    }
    QString write(const std::string& name, const QByteArray& bytes) {
        QFile f(QString::fromStdString(path(name)));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly)) << name;
        f.write(bytes);
        return f.fileName();
    }
    QString file(const std::string& name) const { return QString::fromStdString(path(name)); }
    QByteArray read(const std::string& name) const {
        const testing::Bytes b = testing::readBytes(path(name));
        return QByteArray(reinterpret_cast<const char*>(b.data()), static_cast<qsizetype>(b.size()));
    }
    void open(const QString& path) {
        dialogs.panelPaths.push_back(path);
        menu(menu::Open);
    }

    Snapshot snapshot() {
        Snapshot s;
        copyProject(WindowFields(controls()), s.fields);
        s.title = window().title();
        s.modified = window().isWindowModified();
        s.path = document().currentPath();
        s.save = window().menuItem(menu::Save)->isEnabled();
        s.saveAs = window().menuItem(menu::SaveAs)->isEnabled();
        s.play = controls().isEnabled(control::PlayButton);
        s.playItem = window().playContextItem()->isVisible();
        return s;
    }

    QTemporaryDir recovery_;
};

// ---------------------------------------------------------------------------
// Titles, the edited mark and the enable groups.

// The name exports and recordings propose, as the title shows it.
TEST(ProjectName, OfTheTitle) {
    const struct {
        QString title, name;
    } rows[] = {{"Song - Bleeptone", "Song"},          {"Demo 1 - Bleeptone", "Demo 1"}, {"Song* - Bleeptone", "Song"},
                {"Untitled* - Bleeptone", "Untitled"}, {"Bleeptone", "Untitled"},        {"", "Untitled"}};
    for (const auto& r : rows) EXPECT_EQ(projectNameOf(r.title), r.name) << r.title.toStdString();
}

TEST_F(DocumentTest, FirstEditOfAFreshProgram) {
    const struct {
        const char* what;
        std::function<void(DocumentTest&)> edit;
        bool edits;
    } rows[] = {
        {"typing into a channel editor", [](DocumentTest& t) { t.type(18, "c"); }, true},
        {"typing into a verse name", [](DocumentTest& t) { t.type(30, "x"); }, true},
        {"typing into a pattern", [](DocumentTest& t) { t.type(63, "1"); }, true},
        {"typing into the project info", [](DocumentTest& t) { t.type(69, "T"); }, true},
        {"choosing another measure",
         [](DocumentTest& t) {
             QWidget* box = t.controls().widget(1);
             box->setFocus();
             QTest::keyClick(box, Qt::Key_Up);
         },
         true},
        {"stepping the octave with an arrow key",
         [](DocumentTest& t) {
             QWidget* box = t.controls().widget(control::octaveBox(2));
             box->setFocus();
             QTest::keyClick(box, Qt::Key_Up);
         },
         true},
        {"turning the wheel over the tempo",
         [](DocumentTest& t) {
             QWidget* box = t.controls().widget(control::TempoBox);
             QWheelEvent wheel(QPointF(5, 5), box->mapToGlobal(QPointF(5, 5)), QPoint(), QPoint(0, -120),
                               Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
             QApplication::sendEvent(box, &wheel);
         },
         true},
        {"ticking a mute box",
         [](DocumentTest& t) { QTest::mouseClick(t.controls().widget(15), Qt::LeftButton); }, false},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.what);
        startProgram();
        EXPECT_EQ(window().title(), "Bleeptone");
        EXPECT_FALSE(window().isWindowModified());
        r.edit(*this);
        if (!r.edits) {
            EXPECT_EQ(controls().state(15), 1);
            EXPECT_EQ(window().title(), "Bleeptone");
            EXPECT_FALSE(window().isWindowModified());
            EXPECT_FALSE(window().menuItem(menu::SaveAs)->isEnabled());
            continue;
        }
        EXPECT_EQ(window().title(), "Untitled* - Bleeptone");
        EXPECT_TRUE(window().isWindowModified());
        // Save too: without a file it asks for one, as Save As does.
        for (int m : {menu::Save, menu::SaveAs, menu::CopyMml, menu::RecordToWave})
            EXPECT_TRUE(window().menuItem(m)->isEnabled()) << "menu item " << m;
        EXPECT_TRUE(controls().isEnabled(control::CopyMmlButton));
        EXPECT_TRUE(controls().isEnabled(control::PlayButton));
        EXPECT_TRUE(window().playContextItem()->isVisible());
        // A second edit keeps the title.
        type(69, "u");
        EXPECT_EQ(window().title(), "Untitled* - Bleeptone");
    }
    EXPECT_EQ(dialogs.calls.size(), 0u);
}

TEST_F(DocumentTest, OpenTypeAndSaveASong) {
    const QString song = write("Song.mmlp", projectFile(kSong));
    open(song);
    ASSERT_EQ(dialogs.calls.size(), 1u);
    EXPECT_EQ(dialogs.calls[0].kind, "open panel");
    EXPECT_EQ(dialogs.calls[0].text, "Open MML Project...");
    EXPECT_EQ(dialogs.calls[0].types, "mmlp");
    EXPECT_EQ(dialogs.calls[0].message, "Bleeptone Project");
    EXPECT_EQ(window().title(), "Song - Bleeptone");
    EXPECT_FALSE(window().isWindowModified());
    EXPECT_TRUE(window().menuItem(menu::Save)->isEnabled());
    EXPECT_TRUE(window().menuItem(menu::SaveAs)->isEnabled());
    EXPECT_TRUE(controls().isEnabled(control::PlayButton));
    EXPECT_TRUE(window().playContextItem()->isVisible());
    EXPECT_EQ(document().currentPath(), song);
    EXPECT_EQ(controls().text(18), "cdef\ngab");
    EXPECT_EQ(controls().state(3), 9);
    EXPECT_EQ(controls().state(8), 2);
    EXPECT_EQ(controls().text(17), "Lead");

    type(18, "c");
    EXPECT_EQ(window().title(), "Song* - Bleeptone");
    EXPECT_TRUE(window().isWindowModified());
    EXPECT_TRUE(window().menuItem(menu::Save)->isEnabled());

    dialogs.calls.clear();
    menu(menu::Save);  // no panel: the answer queue is empty
    ASSERT_EQ(dialogs.calls.size(), 1u);
    EXPECT_EQ(dialogs.calls[0].kind, "information");
    EXPECT_EQ(dialogs.calls[0].text, kSaved);
    EXPECT_EQ(dialogs.calls[0].title, "Song - Bleeptone");  // the title is back before the message
    EXPECT_EQ(window().title(), "Song - Bleeptone");
    EXPECT_FALSE(window().isWindowModified());
    EXPECT_TRUE(read("Song.mmlp").contains("\n18 = cdef;gabc\n"));
    EXPECT_EQ(fileCount(), 1u);

    // Save As after a completed save shows the panel again; cancelling it
    // keeps everything.
    const Snapshot before = snapshot();
    dialogs.panelPaths.push_back("");
    menu(menu::SaveAs);
    EXPECT_EQ(dialogs.count("save panel"), 1);
    EXPECT_EQ(dialogs.calls.back().text, "Save MML Project As...");
    EXPECT_EQ(dialogs.calls.back().types, "mmlp");
    EXPECT_EQ(dialogs.calls.back().message, "Bleeptone Project");
    EXPECT_EQ(snapshot(), before);
}

TEST_F(DocumentTest, FirstSaveAsAfterOpenWritesWithoutAPanel) {
    open(write("Song.mmlp", projectFile(kSong)));
    type(31, "g");
    menu(menu::SaveAs);
    EXPECT_EQ(dialogs.count("save panel"), 0);
    EXPECT_EQ(dialogs.count("information"), 1);
    EXPECT_TRUE(read("Song.mmlp").contains("\n31 = l8 eg\n"));
    EXPECT_EQ(window().title(), "Song - Bleeptone");
}

// Whether New, Open, a demo and Paste MML ask before replacing the document.
TEST_F(DocumentTest, UnsavedWorkQuestion) {
    const QString song = write("Song.mmlp", projectFile(kSong));
    const QString star = write("a*b.mmlp", projectFile(kSong));
    struct Setup {
        const char* what;
        std::function<void(DocumentTest&)> run;
        // Asked by New, Open, Demo 2, Paste MML.
        bool asks[4];
    };
    const Setup setups[] = {
        {"fresh program", [](DocumentTest&) {}, {false, false, false, false}},
        {"edited, channel editors empty", [](DocumentTest& t) { t.type(17, "x"); }, {true, false, false, true}},
        {"edited, text in an editor", [](DocumentTest& t) { t.type(57, "c"); }, {true, true, true, true}},
        {"demo, unchanged", [](DocumentTest& t) { t.menu(menu::Demo1); }, {false, false, false, false}},
        {"file opened, unchanged", [song](DocumentTest& t) { t.open(song); }, {false, false, false, false}},
        {"file named a*b opened", [star](DocumentTest& t) { t.open(star); }, {true, true, true, true}},
    };
    const char* const commands[] = {"New", "Open", "Demo 2", "Paste MML"};
    for (const Setup& s : setups) {
        for (int c = 0; c < 4; ++c) {
            SCOPED_TRACE(std::string(s.what) + ", " + commands[c]);
            startProgram();
            s.run(*this);
            const Snapshot before = snapshot();
            dialogs.calls.clear();
            if (s.asks[c]) dialogs.answers.push_back(testing::No);  // No keeps the document
            else if (c == 1) dialogs.panelPaths.push_back("");  // Open: cancel the panel
            switch (c) {
                case 0: menu(menu::New); break;
                case 1: menu(menu::Open); break;
                case 2: menu(menu::Demo1 + 1); break;
                case 3:
                    EXPECT_EQ(document().replaceWithPaste(ProjectModel()), !s.asks[c]);
                    runPosted();
                    break;
            }
            EXPECT_EQ(dialogs.count("question"), s.asks[c] ? 1 : 0);
            if (s.asks[c]) {
                EXPECT_EQ(dialogs.calls.front().text, kUnsavedQuestion);
                EXPECT_EQ(dialogs.calls.size(), 1u);  // and no panel
                EXPECT_EQ(snapshot(), before);
                continue;
            }
            const char* const titles[] = {"Bleeptone", nullptr, "Demo 2 - Bleeptone", "Untitled* - Bleeptone"};
            if (c == 1) EXPECT_EQ(snapshot(), before);  // the panel was cancelled
            else EXPECT_EQ(window().title(), titles[c]);
        }
    }
}

TEST_F(DocumentTest, YesReplacesTheDocument) {
    open(write("Song.mmlp", projectFile(kSong)));
    type(18, "d");
    dialogs.answers.push_back(testing::Yes);
    menu(menu::New);
    EXPECT_EQ(dialogs.count("question"), 1);
    // The New template and the pristine state.
    EXPECT_EQ(window().title(), "Bleeptone");
    EXPECT_FALSE(window().isWindowModified());
    EXPECT_EQ(document().currentPath(), "");
    EXPECT_FALSE(window().menuItem(menu::Save)->isEnabled());
    for (int m : {menu::SaveAs, menu::CopyMml, menu::RecordToWave})
        EXPECT_FALSE(window().menuItem(m)->isEnabled()) << "menu item " << m;
    EXPECT_FALSE(controls().isEnabled(control::PlayButton));
    EXPECT_FALSE(controls().isEnabled(control::CopyMmlButton));
    EXPECT_FALSE(window().playContextItem()->isVisible());
    EXPECT_EQ(controls().text(18), "");
    EXPECT_EQ(controls().state(3), 12);
    EXPECT_EQ(controls().state(8), 0);
    EXPECT_EQ(controls().text(17), "CH1 Verse(s)");
    // New is pristine again: the next edit is "Untitled".
    type(44, "e");
    EXPECT_EQ(window().title(), "Untitled* - Bleeptone");
}

TEST_F(DocumentTest, SaveAsNames) {
    const struct {
        const char* chosen;
        const char* written;
        const char* title;
    } rows[] = {
        {"Tune", "Tune.mmlp", "Tune - Bleeptone"},
        {"Tune.mmlp", "Tune.mmlp", "Tune - Bleeptone"},
        {"Tune.mmlp.bak", "Tune.mmlp.bak", "Tune.mmlp - Bleeptone"},
        {"Tune.txt", "Tune.txt.mmlp", "Tune.txt - Bleeptone"},
        {"Tune.MMLP", "Tune.MMLP.mmlp", "Tune.MMLP - Bleeptone"},
        // The file's name counts, not its folder's.
        {"tunes.mmlp.d/song", "tunes.mmlp.d/song.mmlp", "song - Bleeptone"},
    };
    std::size_t files = 0;
    for (const auto& r : rows) {
        SCOPED_TRACE(r.chosen);
        const std::string written = r.written;
        if (written.find('/') != std::string::npos)  // the folder it goes into (the new entry counted below)
            std::filesystem::create_directory(path(written.substr(0, written.find('/'))));
        type(18, "c");
        dialogs.panelPaths.push_back(file(r.chosen));
        menu(menu::SaveAs);
        EXPECT_TRUE(std::filesystem::exists(path(r.written)));
        if (written != "Tune.mmlp" || files == 0) ++files;
        EXPECT_EQ(fileCount(), files);
        EXPECT_TRUE(read(r.written).startsWith("\xEF\xBB\xBF\n[Version]\n"));
        EXPECT_EQ(window().title(), r.title);
        EXPECT_FALSE(window().isWindowModified());
        EXPECT_EQ(document().currentPath(), file(r.written));
        EXPECT_TRUE(window().menuItem(menu::Save)->isEnabled());
        EXPECT_EQ(dialogs.calls.back().text, kSaved);
    }
}

TEST_F(DocumentTest, DemoThenTyping) {
    menu(menu::Demo1 + 2);
    EXPECT_EQ(window().title(), "Demo 3 - Bleeptone");
    EXPECT_FALSE(window().isWindowModified());
    EXPECT_TRUE(window().menuItem(menu::Save)->isEnabled());
    EXPECT_TRUE(window().menuItem(menu::SaveAs)->isEnabled());
    EXPECT_TRUE(controls().isEnabled(control::PlayButton));
    EXPECT_TRUE(window().playContextItem()->isVisible());
    EXPECT_EQ(document().currentPath(), "");
    EXPECT_TRUE(controls().text(18).startsWith("l8 <dced> dcge4"));
    type(18, "c");
    EXPECT_EQ(window().title(), "Demo 3* - Bleeptone");
    EXPECT_TRUE(window().isWindowModified());
    type(18, "d");
    EXPECT_EQ(window().title(), "Demo 3* - Bleeptone");
    EXPECT_TRUE(dialogs.calls.empty());
}

TEST_F(DocumentTest, StarInAFileName) {
    open(write("a*b.mmlp", projectFile(kSong)));
    EXPECT_EQ(window().title(), "a*b - Bleeptone");
    EXPECT_FALSE(window().isWindowModified());
    const Snapshot before = snapshot();
    dialogs.answers.push_back(testing::No);
    menu(menu::New);  // asks, although nothing changed
    EXPECT_EQ(dialogs.count("question"), 1);
    EXPECT_EQ(snapshot(), before);
    type(18, "e");
    EXPECT_EQ(window().title(), "ab* - Bleeptone");
    // Save writes to the same file and the title comes from its name again.
    menu(menu::Save);
    EXPECT_EQ(window().title(), "a*b - Bleeptone");
    EXPECT_TRUE(read("a*b.mmlp").contains("\n18 = cdef;gabe\n"));
}

TEST_F(DocumentTest, SaveWithoutAFileAsksForOne) {
    // Untitled, and a demo: Save (Ctrl+S) saves through the panel, as Save As does.
    for (const int first : {-1, static_cast<int>(menu::Demo2)}) {
        startProgram();
        if (first >= 0) menu(first);
        type(18, "c");
        dialogs.panelPaths.push_back(file("Saved"));
        menu(menu::Save);
        EXPECT_EQ(dialogs.kinds(), (std::vector<std::string>{"save panel", "information"}));
        EXPECT_EQ(window().title(), "Saved - Bleeptone");
        EXPECT_TRUE(std::filesystem::exists(path("Saved.mmlp")));
        std::filesystem::remove(path("Saved.mmlp"));
    }
}

// ---------------------------------------------------------------------------
// Quitting with unsaved work.

TEST_F(DocumentTest, QuitWaitsForTheSave) {
    type(18, "c");
    dialogs.answers.push_back(testing::Yes);
    dialogs.panelPaths.push_back(file("Quit"));
    menu(menu::Quit);
    EXPECT_EQ(dialogs.kinds(), (std::vector<std::string>{"question", "save panel", "information", "leave"}));
    EXPECT_EQ(dialogs.calls[0].text, kQuitQuestion);
    EXPECT_EQ(dialogs.calls[2].text, kSaved);
    EXPECT_TRUE(app->state().requests.quit);
    EXPECT_TRUE(std::filesystem::exists(path("Quit.mmlp")));
}

TEST_F(DocumentTest, QuitAfterOpenSavesToTheFileWithoutAPanel) {
    open(write("Song.mmlp", projectFile(kSong)));
    type(18, "c");
    dialogs.calls.clear();
    dialogs.answers.push_back(testing::Yes);
    menu(menu::Quit);
    EXPECT_EQ(dialogs.kinds(), (std::vector<std::string>{"question", "information", "leave"}));
    EXPECT_TRUE(read("Song.mmlp").contains("\n18 = cdef;gabc\n"));
}

TEST_F(DocumentTest, QuitWithoutUnsavedWork) {
    const struct {
        const char* what;
        bool edited;
        bool answer;
    } rows[] = {{"nothing to save", false, false}, {"answered No", true, false}};
    for (const auto& r : rows) {
        SCOPED_TRACE(r.what);
        startProgram();
        if (r.edited) {
            type(18, "c");
            dialogs.answers.push_back(r.answer ? testing::Yes : testing::No);
        }
        menu(menu::Quit);
        const std::vector<std::string> expected =
            r.edited ? std::vector<std::string>{"question", "leave"} : std::vector<std::string>{"leave"};
        EXPECT_EQ(dialogs.kinds(), expected);
        EXPECT_EQ(fileCount(), 0u);
    }
}

// A cancelled or failed save disarms the quit: a later save does not end
// the program.
TEST_F(DocumentTest, QuitDisarmedByCancelledOrFailedSave) {
    const struct {
        const char* what;
        QString chosen;
        std::vector<std::string> calls;
    } rows[] = {
        {"panel cancelled", "", {"question", "save panel"}},
        {"save failed", file("missing/Quit"), {"question", "save panel", "error"}},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.what);
        startProgram();
        type(18, "c");
        dialogs.answers.push_back(testing::Yes);
        dialogs.panelPaths.push_back(r.chosen);
        menu(menu::Quit);
        EXPECT_EQ(dialogs.kinds(), r.calls);
        EXPECT_FALSE(app->state().requests.quit);
        EXPECT_EQ(window().title(), "Untitled* - Bleeptone");
        EXPECT_TRUE(window().isWindowModified());
        // Later the user saves: the program goes on.
        dialogs.calls.clear();
        dialogs.panelPaths.push_back(file("Later"));
        menu(menu::SaveAs);
        EXPECT_EQ(dialogs.kinds(), (std::vector<std::string>{"save panel", "information"}));
        EXPECT_FALSE(app->state().requests.quit);
        std::filesystem::remove(path("Later.mmlp"));
    }
}

// ---------------------------------------------------------------------------
// Open: mute boxes, the desktop's request, the fields a file may touch.

TEST_F(DocumentTest, OpenUnticksTheMuteBoxes) {
    const std::pair<const char*, QStringList> files[] = {
        {"Song.mmlp", {}},
        {"Muted.mmlp", {"15 = 1", "28 = 1", "41 = 1", "54 = 1"}},  // mute keys in the file are not read
    };
    for (const auto& [name, extra] : files) {
        SCOPED_TRACE(name);
        for (int c = 1; c <= 4; ++c) {
            QTest::mouseClick(controls().widget(control::channelBase(c) + control::MuteOffset), Qt::LeftButton);
            ASSERT_EQ(controls().state(control::channelBase(c) + control::MuteOffset), 1);
        }
        open(write(name, projectFile(kSong, extra)));
        for (int c = 1; c <= 4; ++c) EXPECT_EQ(controls().state(control::channelBase(c) + control::MuteOffset), 0) << c;
    }
}

TEST_F(DocumentTest, OpenFromTheDesktop) {
    const QString song = write("Song.mmlp", projectFile(kSong));
    window().showMinimized();
    runPosted();
    app->openDocuments(song);
    runPosted();
    EXPECT_TRUE(dialogs.calls.empty());  // no panel
    EXPECT_EQ(window().title(), "Song - Bleeptone");
    EXPECT_EQ(document().currentPath(), song);
    EXPECT_EQ(controls().text(18), "cdef\ngab");
    EXPECT_TRUE(app->state().pendingPath.isEmpty());
    EXPECT_FALSE(window().isMinimized());

    // Kept work: No drops the request.
    type(18, "c");
    const Snapshot before = snapshot();
    dialogs.answers.push_back(testing::No);
    app->openDocuments(write("Other.mmlp", projectFile({{18, "gg"}})));
    runPosted();
    EXPECT_EQ(dialogs.kinds(), (std::vector<std::string>{"question"}));
    EXPECT_EQ(snapshot(), before);
    EXPECT_TRUE(app->state().pendingPath.isEmpty());
    // The next Open asks again and then shows the panel: the request is gone.
    dialogs.answers.push_back(testing::Yes);
    dialogs.panelPaths.push_back("");
    menu(menu::Open);
    EXPECT_EQ(dialogs.count("open panel"), 1);
}

// A file can only set the project's fields: keys naming buttons, labels,
// frames or the playing-time display are ignored.
TEST_F(DocumentTest, FileCannotTouchOtherControls) {
    open(write("Hijack.mmlp", projectFile(kSong, {"4 = Hijack", "5 = Go", "70 = 12:00", "0 = Label", "2 = Speed",
                                                  "7 = Frame", "59 = Box", "68 = Box", "6 = c", "71 = p",
                                                  "19 = bar"})));
    EXPECT_EQ(window().title(), "Hijack - Bleeptone");
    const std::pair<int, const char*> rows[] = {
        {4, "Play"}, {5, "Stop"}, {70, ""}, {0, "Measure:"}, {2, "Tempo:"}, {7, "Channel 1"},
        {59, "Pattern Editor"}, {68, "Project Info"}, {6, ""}, {71, ""},
    };
    for (const auto& [n, text] : rows) EXPECT_EQ(controls().text(n), text) << "control " << n;
    EXPECT_EQ(controls().text(18), "cdef\ngab");
}

// ---------------------------------------------------------------------------
// Failures: an "Error" box naming the file, and nothing else changes.

TEST_F(DocumentTest, FailedOpensChangeNothing) {
    open(write("Song.mmlp", projectFile(kSong)));
    QTest::mouseClick(controls().widget(15), Qt::LeftButton);
    const Snapshot before = snapshot();
    ASSERT_EQ(before.fields.state(15), 1);

    std::filesystem::create_directory(path("Folder.mmlp"));
    QByteArray huge = projectFile({{18, "gg"}});
    huge += ";" + QByteArray(16 * 1024 * 1024 - huge.size() - 1, 'x') + "\n";  // 16 MiB + 1 bytes
    const struct {
        const char* what;
        std::string name;
        QByteArray bytes;  // empty: no file written
        bool fromDesktop;
    } rows[] = {
        {"missing file", "Missing.mmlp", {}, false},
        {"a folder", "Folder.mmlp", {}, false},
        {"wrong extension from the desktop", "Song.MMLP", projectFile({{18, "gg"}}), true},
        {"wrong extension from the panel", "notes.txt", projectFile({{18, "gg"}}), false},
        {"no settings group", "NoSettings.mmlp", projectFile({{18, "gg"}}).replace("[Settings]", ""), false},
        {"other version", "Version.mmlp", projectFile({{18, "gg"}}, {}, "1.0.1"), false},
        {"no version", "NoVersion.mmlp", projectFile({{18, "gg"}}).replace("VersionNumber = 1.0.0\n", ""), false},
        {"too large", "Huge.mmlp", huge, true},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.what);
        const QString target = r.bytes.isEmpty() ? file(r.name) : write(r.name, r.bytes);
        dialogs.calls.clear();
        if (r.fromDesktop) {
            app->openDocuments(target);
            runPosted();
        } else {
            open(target);
        }
        const std::size_t errorAt = r.fromDesktop ? 0 : 1;
        ASSERT_EQ(dialogs.calls.size(), errorAt + 1);
        EXPECT_EQ(dialogs.calls[errorAt].kind, "error");
        EXPECT_TRUE(dialogs.calls[errorAt].text.contains(QString::fromStdString(r.name)))
            << dialogs.calls[errorAt].text.toStdString();
        EXPECT_GT(dialogs.calls[errorAt].text.size(), static_cast<qsizetype>(r.name.size() + 10));  // and why
        EXPECT_EQ(snapshot(), before);
        EXPECT_TRUE(app->state().pendingPath.isEmpty());
    }
}

TEST_F(DocumentTest, FailedSaveAsChangesNothing) {
    std::filesystem::create_directory(path("Folder.mmlp"));
    type(18, "c");
    const Snapshot before = snapshot();
    const std::pair<QString, QString> rows[] = {
        {file("missing/Tune"), "Tune.mmlp"},        // a folder that does not exist
        {file("Folder.mmlp"), "Folder.mmlp"},        // a folder, not a file
    };
    for (const auto& [chosen, name] : rows) {
        SCOPED_TRACE(chosen.toStdString());
        dialogs.calls.clear();
        dialogs.panelPaths.push_back(chosen);
        menu(menu::SaveAs);
        EXPECT_EQ(dialogs.kinds(), (std::vector<std::string>{"save panel", "error"}));
        EXPECT_TRUE(dialogs.calls.back().text.contains(name)) << dialogs.calls.back().text.toStdString();
        EXPECT_EQ(snapshot(), before);
    }
    EXPECT_EQ(fileCount(), 1u);
}

TEST_F(DocumentTest, FailedSaveKeepsTheFileAndItsTitle) {
    std::filesystem::create_directory(path("sub"));
    open(write("sub/Song.mmlp", projectFile(kSong)));
    type(18, "c");
    const Snapshot before = snapshot();
    ASSERT_EQ(before.title, "Song* - Bleeptone");
    std::filesystem::remove_all(path("sub"));
    dialogs.calls.clear();
    menu(menu::Save);
    EXPECT_EQ(dialogs.kinds(), (std::vector<std::string>{"error"}));
    EXPECT_TRUE(dialogs.calls.back().text.contains("Song.mmlp")) << dialogs.calls.back().text.toStdString();
    EXPECT_EQ(snapshot(), before);
    // The failed save used up the write-without-panel: Save As asks again.
    dialogs.panelPaths.push_back("");
    menu(menu::SaveAs);
    EXPECT_EQ(dialogs.count("save panel"), 1);
    EXPECT_EQ(snapshot(), before);
}

TEST_F(DocumentTest, SaveThatCannotBeWrittenInFullKeepsThePreviousFile) {
    const QByteArray previous = projectFile(kSong);
    open(write("Song.mmlp", previous));
    type(18, "c");
    const Snapshot before = snapshot();
    dialogs.calls.clear();
    {
        const FileSizeLimit limit(200);
        ASSERT_TRUE(limit.ok());
        menu(menu::Save);
    }
    EXPECT_EQ(dialogs.kinds(), (std::vector<std::string>{"error"}));
    EXPECT_EQ(read("Song.mmlp"), previous);
    EXPECT_EQ(snapshot(), before);
}

// ---------------------------------------------------------------------------
// Recovery copies of unsaved work.

TEST_F(DocumentTest, RecoveryCopyFollowsUnsavedWork) {
    const QString copy = app->autosave().copyPath();
    auto copied = [&] { return QTest::qWaitFor([&] { return QFile::exists(copy); }, 5000); };
    auto gone = [&] { return !QFile::exists(copy); };
    ASSERT_FALSE(copy.isEmpty());
    EXPECT_TRUE(gone());

    type(18, "cde");
    ASSERT_TRUE(copied());
    ProjectModel saved;
    ASSERT_TRUE(loadProjectFile(copy, saved).ok);
    EXPECT_EQ(saved.text(18), "cde");

    // Saving, and replacing the document, take the copy away; edits bring it back.
    dialogs.panelPaths.push_back(file("Kept"));
    menu(menu::SaveAs);
    EXPECT_TRUE(gone());
    type(18, "f");
    ASSERT_TRUE(copied());
    dialogs.answers.push_back(testing::Yes);
    menu(menu::New);
    EXPECT_TRUE(gone());
    type(18, "g");
    ASSERT_TRUE(copied());
    // Quitting without saving is a clean end too.
    dialogs.answers.push_back(testing::No);
    menu(menu::Quit);
    app->shutdown();
    EXPECT_TRUE(gone());
    EXPECT_TRUE(QDir(recoveryDir()).entryList({"*.mmlp"}).isEmpty());
}

TEST_F(DocumentTest, WorkLeftByACrashIsOfferedBack) {
    const std::map<int, QString> lost = {{18, "cdefg"}, {31, "l8 e"}};
    auto leaveCopy = [&](const QString& document, const QString& title) {
        // What a program that was killed leaves behind: a copy, and no live lock.
        QDir().mkpath(recoveryDir());
        QFile project(recoveryDir() + "/4242-1.mmlp");
        ASSERT_TRUE(project.open(QIODevice::WriteOnly));
        project.write(projectFile(lost));
        project.close();
        QSettings info(recoveryDir() + "/4242-1.info", QSettings::IniFormat);
        info.setValue("document", document);
        info.setValue("title", title);
    };
    const QString song = file("Song.mmlp");
    const struct {
        Dialogs::Answer answer;
        QString document, title;
        const char* expectedTitle;  // nullptr: nothing restored
        bool copyKept;
    } rows[] = {
        {testing::Yes, song, "Song* - Bleeptone", "Song* - Bleeptone", false},
        {testing::Yes, "", "Untitled* - Bleeptone", "Untitled* - Bleeptone", false},
        {testing::No, song, "Song* - Bleeptone", nullptr, false},
        {testing::Cancel, "", "Demo 2* - Bleeptone", nullptr, true},  // asked again next time
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.title.toStdString());
        app.reset();
        QDir(recoveryDir()).removeRecursively();
        leaveCopy(r.document, r.title);
        dialogs.answers.push_back(r.answer);
        startProgram();
        runPosted();
        EXPECT_EQ(dialogs.log(), std::vector<std::string>{"question: " + kRecoverQuestion.toStdString()});
        EXPECT_EQ(QFile::exists(recoveryDir() + "/4242-1.mmlp"), r.copyKept);
        if (!r.expectedTitle) {
            EXPECT_EQ(window().title(), "Bleeptone");
            EXPECT_TRUE(controls().text(18).isEmpty());
            continue;
        }
        EXPECT_EQ(window().title(), r.expectedTitle);
        EXPECT_TRUE(window().isWindowModified());
        EXPECT_EQ(document().currentPath(), r.document);  // Save goes back to the document's own file
        EXPECT_EQ(controls().text(18), "cdefg");
        EXPECT_TRUE(QFile::exists(app->autosave().copyPath()));  // already safe in this program's copy
    }

    // The copy of a program that still runs is not offered.
    app.reset();
    QDir(recoveryDir()).removeRecursively();
    ProjectModel other;
    Autosave running(recoveryDir(), other, 0);
    ASSERT_TRUE(running.start());
    running.changed({}, "Untitled* - Bleeptone");
    ASSERT_TRUE(running.writeNow());
    startProgram();
    runPosted();
    EXPECT_TRUE(dialogs.calls.empty());
    EXPECT_TRUE(QFile::exists(running.copyPath()));
}

// ---------------------------------------------------------------------------
// Open Recent, the panels' folders, drops and the Edit menu.

TEST_F(DocumentTest, OpenRecentListsProjectsOpenedAndSaved) {
    RecentFiles& recent = app->recentFiles();
    recent.clear();
    const QString a = write("A.mmlp", projectFile(kSong)), b = write("B.mmlp", projectFile(kSong));
    open(a);
    open(b);
    menu(menu::New);
    type(18, "c");
    dialogs.panelPaths.push_back(file("C"));
    menu(menu::SaveAs);
    EXPECT_EQ(recent.files(), (QStringList{file("C.mmlp"), b, a}));  // newest first, once each
    open(a);
    EXPECT_EQ(recent.files(), (QStringList{a, file("C.mmlp"), b}));
    // The menu follows the list, and survives the program.
    QMenu* submenu = window().menuItem(menu::OpenRecent)->menu();
    EXPECT_EQ(submenu->actions().first()->text(), "&1 A.mmlp");
    EXPECT_TRUE(window().menuItem(menu::ClearRecent)->isEnabled());
    EXPECT_EQ(RecentFiles().files(), recent.files());

    // Choosing one goes through Open: the unsaved-work question first.
    type(18, "x");
    dialogs.clear();
    dialogs.answers.push_back(testing::Yes);
    AppEvent choose = AppEvent::menu(menu::OpenRecent);
    choose.data = 2;
    submit(choose);
    runPosted();
    EXPECT_EQ(dialogs.kinds(), std::vector<std::string>{"question"});
    EXPECT_EQ(window().title(), "B - Bleeptone");
    EXPECT_EQ(recent.files().first(), b);

    // A file that has gone: a clear error, and the list without it.
    QFile::remove(a);
    dialogs.clear();
    choose.data = recent.files().indexOf(a);
    submit(choose);
    runPosted();
    ASSERT_EQ(dialogs.kinds(), std::vector<std::string>{"error"});
    EXPECT_TRUE(dialogs.calls[0].text.contains("A.mmlp")) << dialogs.calls[0].text.toStdString();
    EXPECT_FALSE(recent.files().contains(a));
    EXPECT_EQ(window().title(), "B - Bleeptone");

    // At most ten, and Clear Menu empties it.
    for (int i = 0; i < 12; ++i) recent.add(file("P" + std::to_string(i) + ".mmlp"));
    EXPECT_EQ(recent.files().size(), RecentFiles::kMaxFiles);
    menu(menu::ClearRecent);
    EXPECT_TRUE(recent.files().isEmpty());
    EXPECT_FALSE(window().menuItem(menu::ClearRecent)->isEnabled());
}

TEST_F(DocumentTest, PanelsStartWhereTheUserWorks) {
    QSettings().remove("lastFolder");
    const QString home = QDir::homePath() + '/';
    // Nothing known yet: the home folder.
    dialogs.panelPaths.push_back("");
    menu(menu::Open);
    EXPECT_EQ(dialogs.calls.back().folder, home);
    // The folder last used, kept across runs.
    std::filesystem::create_directories(path("songs"));
    const QString song = write("songs/Song.mmlp", projectFile(kSong));
    open(song);
    EXPECT_EQ(dialogs.calls.back().folder, home);
    startProgram();
    dialogs.panelPaths.push_back("");
    menu(menu::Open);
    EXPECT_EQ(dialogs.calls.back().folder, file("songs") + '/');
    // The project's own folder, with its name proposed for Save As and for
    // Record to Wave (the first Save As after Open saves without a panel).
    open(song);
    menu(menu::SaveAs);
    dialogs.clear();
    dialogs.panelPaths = {"", ""};
    menu(menu::SaveAs);
    menu(menu::RecordToWave);
    ASSERT_EQ(dialogs.kinds(), (std::vector<std::string>{"save panel", "save panel"}));
    EXPECT_EQ(dialogs.calls[0].folder, file("songs/Song.mmlp"));
    EXPECT_EQ(dialogs.calls[1].folder, file("songs/Song.wav"));
    // A demo proposes its own name.
    menu(menu::Demo2);
    dialogs.clear();
    dialogs.panelPaths = {""};
    menu(menu::RecordToWave);
    EXPECT_TRUE(dialogs.calls[0].folder.endsWith("/Demo 2.wav")) << dialogs.calls[0].folder.toStdString();
}

TEST_F(DocumentTest, DroppedProjectOpensThroughOpen) {
    const QString song = write("Song.mmlp", projectFile(kSong));
    const QString other = write("Song.MMLP", projectFile(kSong));
    auto drop = [&](QWidget* target, const QString& path) {
        QMimeData mime;
        mime.setUrls({QUrl::fromLocalFile(path)});
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &enter);
        if (!enter.isAccepted()) return false;
        QDropEvent dropped(QPointF(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &dropped);
        runPosted();
        return true;
    };
    // Anything but a project is refused, on the window and on an editor.
    EXPECT_FALSE(drop(&window(), other));
    EXPECT_EQ(window().title(), "Bleeptone");
    // A project dropped on an editor opens (after the unsaved-work question).
    type(18, "x");
    dialogs.answers.push_back(testing::Yes);
    auto* editor = static_cast<QPlainTextEdit*>(controls().widget(control::channelEditor(2)));
    EXPECT_TRUE(drop(editor->viewport(), song));
    EXPECT_EQ(dialogs.kinds(), std::vector<std::string>{"question"});
    EXPECT_EQ(window().title(), "Song - Bleeptone");
    EXPECT_FALSE(controls().text(31).contains("file:"));  // not dropped into the editor as text
}

TEST_F(DocumentTest, EditMenuActsOnTheFocusedFieldAndItsChangesCount) {
    open(write("Song.mmlp", projectFile(kSong)));
    auto* verse = static_cast<QLineEdit*>(controls().widget(control::verseNameField(1)));
    type(control::verseNameField(1), "2");
    EXPECT_EQ(verse->text(), "Lead2");
    menu(menu::Save);
    ASSERT_EQ(window().title(), "Song - Bleeptone");
    verse->setFocus();
    menu(menu::Undo);  // an undo is a change like any other
    EXPECT_EQ(verse->text(), "Lead");
    EXPECT_EQ(window().title(), "Song* - Bleeptone");
    menu(menu::SelectAll);
    menu(menu::Cut);
    EXPECT_EQ(verse->text(), "");
    menu(menu::Paste);
    EXPECT_EQ(verse->text(), "Lead");
    // In a channel editor too.
    auto* editor = static_cast<QPlainTextEdit*>(controls().widget(control::channelEditor(1)));
    editor->setFocus();
    menu(menu::SelectAll);
    EXPECT_EQ(editor->textCursor().selectedText().size(), controls().text(18).size());
}

TEST_F(DocumentTest, CaretAndSelectionSurviveAMessageBox) {
    // The loop's end-of-iteration step runs while a box has the focus; the
    // editor the user was in keeps its caret and selection all the same.
    type(18, "cdefr");
    auto* editor = static_cast<QPlainTextEdit*>(controls().widget(18));
    controls().setSelection(18, 1, 2);
    QDialog box(&window());
    auto* button = new QLineEdit(&box);  // a box takes the focus
    box.show();
    QApplication::setActiveWindow(&box);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&box, 10000));
    button->setFocus();
    ASSERT_EQ(QApplication::focusWidget(), button);
    submit(AppEvent::control(control::TempoBox, ControlEventType::Up));  // any event
    box.close();
    EXPECT_EQ(controls().selection(18), std::make_pair(1, 2));
    QApplication::setActiveWindow(&window());
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window(), 10000));
    EXPECT_EQ(QApplication::focusWidget(), editor);
    QTest::keyClicks(editor, "g");
    EXPECT_EQ(controls().text(18), "cgfr");
}

}  // namespace
}  // namespace bleeptone
