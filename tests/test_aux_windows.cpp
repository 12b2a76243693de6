// The Help, PSG Module and About windows on the whole program, offscreen:
// their controls and sizes, the layout when they are resized, the copy
// link, the document each shows, opening afresh and closing.

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QEnterEvent>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QPointer>
#include <QScrollBar>
#include <QTest>
#include <QTextBlock>
#include <QTextEdit>
#include <QWindow>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/application.h"
#include "app/controls.h"
#include "app/dispatcher.h"
#include "app/main_window.h"
#include "app/song_commands.h"
#include "tests/program_test.h"
#include "tests/qt_printers.h"
#include "ui/aux_windows.h"

namespace bleeptone {
namespace {

using testing::runPosted;

const QColor kPaper(255, 255, 235);

// The text of the module as the program's sources hold it.
QString moduleSource() {
    QFile f(BLEEPTONE_DOCS_DIR "/module.pb");
    EXPECT_TRUE(f.open(QIODevice::ReadOnly)) << f.fileName().toStdString();
    return QString::fromUtf8(f.readAll());
}

template <typename W>
int countOpen() {
    int n = 0;
    for (QWidget* w : QApplication::topLevelWidgets()) n += qobject_cast<W*>(w) != nullptr;
    return n;
}

class AuxWindowsTest : public testing::ProgramTest {
protected:
    void SetUp() override {
        ProgramTest::SetUp();
        startProgram(true);
    }
    void TearDown() override {
        EXPECT_EQ(loopsLeft, 0) << "the program left its loop";
        ProgramTest::TearDown();
    }

    AuxWindows& aux() { return app->auxWindows(); }
    // Resizes a shown window and waits until its layout has followed.
    static bool resized(QWidget* w, int width, int height, const std::function<bool()>& done) {
        w->resize(width, height);
        return QTest::qWaitFor([&] { return w->size() == QSize(width, height) && done(); }, 10000);
    }
};

TEST_F(AuxWindowsTest, HelpWindow) {
    menu(menu::Help);
    DocumentWindow* help = aux().help();
    ASSERT_NE(help, nullptr);
    EXPECT_TRUE(help->isVisible());
    EXPECT_EQ(help->windowTitle(), "Bleeptone Help");
    EXPECT_EQ(help->size(), QSize(1024, 700));
    QTextEdit* editor = help->editor();
    EXPECT_EQ(editor->geometry(), QRect(10, 10, 1004, 680));
    EXPECT_TRUE(editor->isReadOnly());
    EXPECT_EQ(editor->lineWrapMode(), QTextEdit::WidgetWidth);
    EXPECT_EQ(editor->palette().color(QPalette::Base), kPaper);
    EXPECT_EQ(help->link(), nullptr);
    // Centred over the main window.
    const QPoint offset = help->frameGeometry().center() - window().frameGeometry().center();
    EXPECT_LE(offset.manhattanLength(), 2) << offset.x() << "," << offset.y();

    // The document: a centred first line, bold headings, Courier New, no RTF left in the text.
    ASSERT_TRUE(help->documentLoaded());
    const QTextDocument* doc = editor->document();
    const QTextBlock first = doc->firstBlock();
    EXPECT_EQ(first.text(), "Bleeptone - an MML editor for composing \"retro\" style music");
    EXPECT_EQ(first.blockFormat().alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
    ASSERT_NE(first.begin(), first.end());
    EXPECT_EQ(first.begin().fragment().charFormat().fontFamilies().toStringList(), QStringList{"Courier New"});
    QStringList headings;
    bool sawRow = false;
    for (QTextBlock b = first.next(); b.isValid(); b = b.next()) {
        EXPECT_NE(b.blockFormat().alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter) << b.text().toStdString();
        const QTextFragment f = b.begin() != b.end() ? b.begin().fragment() : QTextFragment();
        if (f.isValid() && f.charFormat().fontWeight() == QFont::Bold) headings << b.text();
        sawRow = sawRow || b.text() == "K\ttranspose (-24 - +24)";
    }
    EXPECT_EQ(headings, QStringList({"Overview", "Music Macro Language", "Volume Envelope & Decay", "Tempo = BPM",
                                     "PureBasic PSG Module", "PureBasic Example"}));
    EXPECT_TRUE(sawRow) << "the command list of the MML section";
    const QString text = doc->toPlainText();
    for (const char* rtf : {"\\par", "\\b", "\\tab", "{\\", "fonttbl", "\\'"})
        EXPECT_FALSE(text.contains(rtf)) << rtf;

    // The editor keeps 10 pixels to every edge.
    ASSERT_TRUE(resized(help, 800, 500, [&] { return editor->size() == QSize(780, 480); }))
        << editor->geometry().width() << "x" << editor->geometry().height();
    EXPECT_EQ(editor->pos(), QPoint(10, 10));
    EXPECT_TRUE(dialogs.log().empty());
}

TEST_F(AuxWindowsTest, ModuleWindowAndItsLink) {
    menu(menu::PsgModule);
    DocumentWindow* module = aux().module();
    ASSERT_NE(module, nullptr);
    EXPECT_TRUE(module->isVisible());
    EXPECT_EQ(module->windowTitle(), "Bleeptone - PSG Module");
    EXPECT_EQ(module->size(), QSize(1024, 700));
    QTextEdit* editor = module->editor();
    EXPECT_EQ(editor->geometry(), QRect(10, 35, 1004, 655));
    EXPECT_TRUE(editor->isReadOnly());
    EXPECT_EQ(editor->palette().color(QPalette::Base), kPaper);
    LinkLabel* link = module->link();
    ASSERT_NE(link, nullptr);
    EXPECT_EQ(link->geometry(), QRect(377, 10, 270, 20));
    EXPECT_EQ(link->text(), "Click to copy the PSG Module to the clipboard.");
    EXPECT_TRUE(link->font().underline());
    EXPECT_EQ(link->palette().color(QPalette::WindowText), QColor(0, 0, 255));
    // Red while the pointer is over it.
    QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), link->mapToGlobal(QPointF(5, 5)));
    QCoreApplication::sendEvent(link, &enter);
    EXPECT_EQ(link->palette().color(QPalette::WindowText), QColor(255, 0, 0));
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(link, &leave);
    EXPECT_EQ(link->palette().color(QPalette::WindowText), QColor(0, 0, 255));

    // Resized: the editor keeps its margins, the link stays centred at
    // (width - 270) / 2 and keeps its y.
    const struct {
        int width, height, linkX;
    } sizes[] = {{900, 600, 315}, {1023, 700, 376}, {1500, 800, 615}, {1024, 700, 377}};
    for (const auto& s : sizes) {
        SCOPED_TRACE(std::to_string(s.width) + "x" + std::to_string(s.height));
        ASSERT_TRUE(resized(module, s.width, s.height, [&] {
            return editor->size() == QSize(s.width - 20, s.height - 45) && link->x() == s.linkX;
        })) << "editor " << editor->width() << "x" << editor->height() << ", link at " << link->x();
        EXPECT_EQ(editor->pos(), QPoint(10, 35));
        EXPECT_EQ(link->geometry(), QRect(s.linkX, 10, 270, 20));
    }

    // A click on the link: the module's plain text on the clipboard, then the box.
    QApplication::clipboard()->setText("something else");
    QTest::mouseClick(link, Qt::LeftButton, {}, QPoint(100, 10));
    runPosted();
    const QString copied = QApplication::clipboard()->text();
    EXPECT_TRUE(copied.startsWith(
        "; Bleeptone PSG Module - the Bleeptone sound engine for your own PureBasic programs\n;\n"));
    for (const char* rtf : {"\\par", "\\f0", "\\fs24", "{\\rtf", "\\tab", "\\{", "\\}", "\\\\", "Courier New"})
        EXPECT_FALSE(copied.contains(rtf)) << rtf;
    EXPECT_TRUE(copied == moduleSource()) << "the copy differs from the module's source text; "
                                          << copied.size() << " characters against " << moduleSource().size();
    EXPECT_EQ(dialogs.log(), std::vector<std::string>{"information: The PSG Module has been copied to the clipboard."});
    // Pressed on the link and released elsewhere: no copy.
    dialogs.clear();
    QTest::mousePress(link, Qt::LeftButton, {}, QPoint(100, 10));
    QTest::mouseRelease(link, Qt::LeftButton, {}, QPoint(100, 300));
    runPosted();
    EXPECT_TRUE(dialogs.log().empty());
}

TEST_F(AuxWindowsTest, DocumentThatIsNotRtfLeavesTheEditorEmpty) {
    DocumentWindow module(window::PsgModule, QByteArray("; plain text, not RTF"), nullptr);
    EXPECT_FALSE(module.documentLoaded());
    EXPECT_TRUE(module.editor()->toPlainText().isEmpty());
    ASSERT_NE(module.link(), nullptr);
    EXPECT_EQ(module.editor()->geometry(), QRect(10, 35, 1004, 655));
}

TEST_F(AuxWindowsTest, EveryEditorsContextMenuStartsWithPlay) {
    // The channel and project info editors and the Help and PSG Module
    // documents share one "Play" item: hidden at start, shown once there is
    // something to play, hidden while the song plays.
    menu(menu::Help);
    menu(menu::PsgModule);
    auto startWithPlay = [&](bool shown) {
        const std::vector<std::pair<const char*, QMenu*>> menus = {
            {"channel editor", static_cast<TextEditor*>(controls().widget(control::channelEditor(1)))->contextMenu({})},
            {"project info", static_cast<TextEditor*>(controls().widget(control::ProjectInfo))->contextMenu({})},
            {"Help", aux().help()->editor()->contextMenu({})},
            {"PSG Module", aux().module()->editor()->contextMenu({})},
        };
        for (const auto& [what, m] : menus) {
            const QList<QAction*> items = m->actions();
            ASSERT_GE(items.size(), 2) << what;
            EXPECT_EQ(items[0]->text() == "Play", shown) << what;
            if (shown && what != std::string("channel editor")) {
                EXPECT_TRUE(items[1]->isSeparator()) << what;
            }
            delete m;
        }
    };
    startWithPlay(false);
    menu(menu::Demo1);
    startWithPlay(true);
    menu(menu::PlayOrStop);
    ASSERT_TRUE(isPlaying(app->song().playState()));
    startWithPlay(false);
    menu(menu::PlayOrStop);
    startWithPlay(true);
    // Chosen there, it clicks Play.
    const std::unique_ptr<QMenu> help(aux().help()->editor()->contextMenu({}));
    help->actions().first()->trigger();
    EXPECT_EQ(app->song().playState(), PlayState::Song);
    menu(menu::StopPlaying);
}

TEST_F(AuxWindowsTest, AboutWindow) {
    menu(menu::About);
    AboutWindow* about = aux().about();
    ASSERT_NE(about, nullptr);
    EXPECT_TRUE(about->isVisible());
    EXPECT_EQ(about->windowTitle(), "");
    EXPECT_EQ(about->size(), QSize(360, 170));
    const Qt::WindowFlags flags = about->windowFlags();
    EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(flags & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);

    QLabel* emblem = about->label(control::AboutEmblem);
    ASSERT_NE(emblem, nullptr);
    EXPECT_EQ(emblem->geometry(), QRect(31, 16, 128, 128));
    const QPixmap pixmap = emblem->pixmap();
    EXPECT_EQ(pixmap.size(), QSize(256, 256));
    EXPECT_EQ(pixmap.deviceIndependentSize(), QSizeF(128, 128));
    EXPECT_TRUE(emblemImage().hasAlphaChannel());

    const struct {
        int control;
        QRect geometry;
    } labels[] = {{76, {180, 25, 140, 20}}, {77, {160, 52, 180, 20}}, {78, {180, 72, 140, 20}},
                  {79, {180, 98, 140, 20}}, {80, {180, 125, 140, 20}}};
    for (const auto& l : labels) {
        QLabel* label = about->label(l.control);
        ASSERT_NE(label, nullptr) << l.control;
        EXPECT_EQ(label->geometry(), l.geometry) << l.control;
        EXPECT_EQ(label->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter) << l.control;
        EXPECT_FALSE(label->text().isEmpty()) << l.control;
        EXPECT_FALSE(label->wordWrap()) << l.control;
    }
    // This copy's version, and no address but the one it was built with (the licence otherwise).
    EXPECT_EQ(about->label(76)->text(), QString("Bleeptone ") + BLEEPTONE_VERSION);
    EXPECT_EQ(about->label(79)->text(), MainWindow::websiteUrl().isEmpty() ? "MIT License" : MainWindow::websiteUrl());
}

TEST_F(AuxWindowsTest, EachCommandOpensAFreshWindow) {
    menu(menu::Help);
    menu(menu::PsgModule);
    menu(menu::About);
    QPointer<DocumentWindow> help = aux().help(), module = aux().module();
    QPointer<AboutWindow> about = aux().about();
    ASSERT_TRUE(help && module && about);
    // The user's traces in the open windows: scrolled, resized.
    help->editor()->verticalScrollBar()->setValue(help->editor()->verticalScrollBar()->maximum());
    ASSERT_TRUE(resized(module, 900, 600, [&] { return module->link()->x() == 315; }));

    const struct {
        int item;
        std::function<QWidget*()> current;
    } rows[] = {
        {menu::Help, [&] { return aux().help(); }},
        {menu::PsgModule, [&] { return aux().module(); }},
        {menu::About, [&] { return aux().about(); }},
    };
    for (const auto& r : rows) menu(r.item);
    EXPECT_TRUE(help.isNull() && module.isNull() && about.isNull()) << "the old windows are gone";
    EXPECT_EQ(countOpen<DocumentWindow>(), 2);
    EXPECT_EQ(countOpen<AboutWindow>(), 1);
    for (const auto& r : rows) {
        ASSERT_NE(r.current(), nullptr) << r.item;
        EXPECT_TRUE(r.current()->isVisible()) << r.item;
    }
    // Nothing of the old ones survives.
    EXPECT_EQ(aux().help()->editor()->verticalScrollBar()->value(), 0);
    EXPECT_TRUE(aux().help()->documentLoaded());
    EXPECT_EQ(aux().module()->size(), QSize(1024, 700));
    EXPECT_EQ(aux().module()->link()->x(), 377);
}

TEST_F(AuxWindowsTest, CloseButtonClosesJustThatWindow) {
    menu(menu::Help);
    menu(menu::PsgModule);
    menu(menu::About);
    // The window system's close button, Escape and Ctrl+W.
    const struct {
        std::function<QWidget*()> window;
        std::function<void(QWidget*)> close;
    } order[] = {
        {[&] { return aux().module(); }, [](QWidget* w) { w->windowHandle()->close(); }},
        {[&] { return aux().about(); }, [](QWidget* w) { QTest::keyClick(w->windowHandle(), Qt::Key_Escape); }},
        {[&] { return aux().help(); }, [](QWidget* w) { QTest::keyClick(w->windowHandle(), Qt::Key_W, Qt::ControlModifier); }},
    };
    int open = 3;
    for (const auto& o : order) {
        QPointer<QWidget> w = o.window();
        ASSERT_NE(w, nullptr);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(w, 10000));
        w->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(w, 10000));
        o.close(w);
        runPosted();
        EXPECT_TRUE(w.isNull());
        EXPECT_EQ(o.window(), nullptr);
        EXPECT_EQ(countOpen<DocumentWindow>() + countOpen<AboutWindow>(), --open);
        EXPECT_TRUE(window().isVisible());
        EXPECT_FALSE(app->state().requests.quit);
    }
    // And they open again.
    menu(menu::PsgModule);
    ASSERT_NE(aux().module(), nullptr);
    EXPECT_TRUE(aux().module()->isVisible());
    EXPECT_TRUE(dialogs.log().empty());
}

}  // namespace
}  // namespace bleeptone
