// The main window, offscreen: every control's place, caption, items, range
// and initial state; the menus; the layout rule as a pure function and on a
// real resized window; the tempo box's arrows; and which user actions raise
// which events (and that the program's own changes raise none).

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QSpinBox>
#include <QTest>
#include <QWheelEvent>

#include <functional>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "app/controls.h"
#include "app/dispatcher.h"
#include "app/main_window.h"
#include "app/window_layout.h"
#include "tests/recording_commands.h"
#include "tests/scripted_dialogs.h"

namespace bleeptone {
namespace {

using K = ControlKind;

std::string describe(const AppEvent& e) {
    switch (e.kind) {
        case AppEvent::Kind::Menu: return "menu " + std::to_string(e.number);
        case AppEvent::Kind::Close: return "close " + std::to_string(e.number);
        case AppEvent::Kind::OpenDocuments: return "open documents";
        case AppEvent::Kind::Engine: return "engine " + std::to_string(e.data);
        case AppEvent::Kind::RecoverWork: return "recover work";
        case AppEvent::Kind::MidiNote: return "midi note " + std::to_string(e.number);
        case AppEvent::Kind::GoToPlace:
            return "go to " + std::to_string(e.number) + " " + std::to_string(e.data) + " " + std::to_string(e.data2);
        case AppEvent::Kind::PlayFromMoment: return "play from " + std::to_string(e.data);
        case AppEvent::Kind::LoopRange: return "loop range " + std::to_string(e.data) + " " + std::to_string(e.data2);
        case AppEvent::Kind::Control: break;
    }
    const char* type = "?";
    switch (e.type) {
        case ControlEventType::Click: type = "click"; break;
        case ControlEventType::Up: type = "up"; break;
        case ControlEventType::Down: type = "down"; break;
        case ControlEventType::Focus: type = "focus"; break;
        case ControlEventType::Change: type = "change"; break;
    }
    return "control " + std::to_string(e.number) + " " + type;
}

std::string rectText(const QRect& r) {
    return std::to_string(r.x()) + "," + std::to_string(r.y()) + " " + std::to_string(r.width()) + "x" +
           std::to_string(r.height());
}

// A shown main window whose events are recorded as text.
class WindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        window.setEventSink([this](const AppEvent& e) { events.push_back(describe(e)); });
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window, 10000));
        events.clear();
    }

    template <typename W>
    W* widget(int n) {
        auto* w = qobject_cast<W*>(window.controls().widget(n));
        EXPECT_NE(w, nullptr) << "control " << n;
        return w;
    }

    // Resizes the window so that its client area becomes W x H.
    bool resizeClient(int W, int H) {
        QWidget* client = window.clientArea();
        const int extraW = window.width() - client->width();
        const int extraH = window.height() - client->height();
        window.resize(W + extraW, H + extraH);
        return QTest::qWaitFor([&] { return client->size() == QSize(W, H); }, 10000);
    }

    MainWindow window;
    std::vector<std::string> events;
};

// ---------------------------------------------------------------------------
// Controls at creation.

TEST_F(WindowTest, EveryControlAsBuilt) {
    ControlTable& t = window.controls();
    // Each control as its table entry describes it.
    for (const ControlSpec& x : mainWindowControls()) {
        SCOPED_TRACE("control " + std::to_string(x.number));
        QWidget* w = t.widget(x.number);
        ASSERT_NE(w, nullptr);
        EXPECT_EQ(w->parentWidget(), window.clientArea());
        EXPECT_EQ(t.kind(x.number), x.kind);
        EXPECT_EQ(t.geometry(x.number), x.geometry) << rectText(t.geometry(x.number));
        switch (x.kind) {
            case K::ListBox: {
                auto* box = qobject_cast<QComboBox*>(w);
                ASSERT_NE(box, nullptr);
                QStringList items;
                for (int i = 0; i < box->count(); ++i) items << box->itemText(i);
                EXPECT_EQ(items, x.items);
                EXPECT_EQ(t.state(x.number), x.state);
                EXPECT_EQ(t.text(x.number), x.items.value(x.state));
                break;
            }
            case K::SpinBox: {
                auto* box = qobject_cast<QSpinBox*>(w);
                ASSERT_NE(box, nullptr);
                EXPECT_EQ(box->minimum(), x.minimum);
                EXPECT_EQ(box->maximum(), x.maximum);
                EXPECT_FALSE(box->wrapping());
                EXPECT_EQ(t.state(x.number), x.state);
                EXPECT_EQ(t.text(x.number), QString::number(x.state));
                break;
            }
            case K::CheckBox:
                EXPECT_EQ(t.text(x.number), x.caption);
                EXPECT_EQ(t.state(x.number), 0);
                break;
            case K::IconButton: EXPECT_EQ(w->toolTip(), x.tooltip); break;
            case K::ImageView: break;
            default: EXPECT_EQ(t.text(x.number), x.caption); break;
        }
    }
}

TEST_F(WindowTest, InitialEnablingAndVisibility) {
    ControlTable& t = window.controls();
    EXPECT_TRUE(t.isVisible(control::PlayButton));
    EXPECT_FALSE(t.isEnabled(control::PlayButton));
    EXPECT_FALSE(t.isVisible(control::StopButton));
    EXPECT_FALSE(t.isEnabled(control::CopyMmlButton));
    EXPECT_TRUE(t.isEnabled(control::PasteMmlButton));
    EXPECT_TRUE(t.text(control::PlayingTime).isEmpty());
    for (int n = 0; n < control::Count; ++n) {
        if (n == control::PlayButton || n == control::CopyMmlButton) continue;
        EXPECT_TRUE(t.isEnabled(n)) << "control " << n;
        if (n != control::StopButton) {
            EXPECT_TRUE(t.isVisible(n)) << "control " << n;
        }
    }
    for (int n : {18, 31, 44, 57, 69}) {
        EXPECT_TRUE(t.text(n).isEmpty()) << "editor " << n;
        EXPECT_EQ(t.lineCount(n), 1) << "editor " << n;
    }
}

TEST_F(WindowTest, TitleClientSizeAndPlayContextItem) {
    EXPECT_EQ(window.title(), "Bleeptone");
    EXPECT_FALSE(window.isWindowModified());
    EXPECT_EQ(window.clientArea()->size(), QSize(1024, 710));
    EXPECT_EQ(window.clientArea()->minimumSize(), QSize(1024, 710));
    EXPECT_EQ(window.clientArea()->maximumSize(), QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX));

    QAction* play = window.playContextItem();
    ASSERT_NE(play, nullptr);
    EXPECT_EQ(play->text(), "Play");
    EXPECT_TRUE(play->shortcut().isEmpty());
    EXPECT_FALSE(play->isVisible());
    // Choosing it clicks the Play button.
    play->setVisible(true);
    play->trigger();
    EXPECT_EQ(events, std::vector<std::string>{"control 4 click"});
}

TEST_F(WindowTest, EditorsAppearance) {
    const QColor mml(230, 235, 245), info(255, 255, 235);
    for (int n : {18, 31, 44, 57}) {
        auto* editor = widget<QPlainTextEdit>(n);
        ASSERT_NE(editor, nullptr);
        EXPECT_EQ(editor->lineWrapMode(), QPlainTextEdit::NoWrap) << "editor " << n;
        EXPECT_EQ(editor->palette().color(QPalette::Base), mml) << "editor " << n;
    }
    auto* projectInfo = widget<QPlainTextEdit>(control::ProjectInfo);
    ASSERT_NE(projectInfo, nullptr);
    EXPECT_EQ(projectInfo->lineWrapMode(), QPlainTextEdit::WidgetWidth);
    EXPECT_EQ(projectInfo->palette().color(QPalette::Base), info);
    for (int n : {61, 63, 65, 67}) {
        auto* field = widget<QLineEdit>(n);
        ASSERT_NE(field, nullptr);
        EXPECT_EQ(field->palette().color(QPalette::Base), mml) << "pattern field " << n;
    }
}

TEST_F(WindowTest, OnlyChannelOneOffersNoise) {
    for (int c = 1; c <= 4; ++c) {
        auto* box = widget<QComboBox>(control::channelBase(c) + control::WaveformOffset);
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(box->count(), c == 1 ? 6 : 5) << "channel " << c;
        EXPECT_EQ(box->findText("Noise"), c == 1 ? 5 : -1) << "channel " << c;
    }
}

// ---------------------------------------------------------------------------
// Menus.

TEST_F(WindowTest, MenuItemsLabelsShortcutsAndEnabling) {
    const struct {
        int n;
        const char* label;  // with its mnemonic
        const char* keys;
        bool enabled;
    } rows[] = {
        {menu::New, "&New", "Ctrl+N", true},
        {menu::Open, "&Open", "Ctrl+O", true},
        {menu::OpenRecent, "Open &Recent", "", true},
        {menu::ClearRecent, "Clear Menu", "", false},  // nothing to clear yet
        {menu::Save, "&Save", "Ctrl+S", false},
        {menu::SaveAs, "Save &As...", "Shift+Ctrl+S", false},
        {menu::CopyMml, "&Copy MML", "Shift+Ctrl+C", false},
        {menu::PasteMml, "&Paste MML", "Shift+Ctrl+V", true},
        {menu::RecordToWave, "Record to &Wave", "Shift+Ctrl+W", false},
        {menu::ExportAudio, "&Export Audio...", "Ctrl+E", false},
        {menu::ExportWebPage, "Export We&b Page...", "", false},
        {menu::Undo, "&Undo", "Ctrl+Z", true},
        {menu::Redo, "&Redo", nullptr, true},  // the platform's: Ctrl+Y or Shift+Ctrl+Z
        {menu::Cut, "Cu&t", "Ctrl+X", true},
        {menu::Copy, "&Copy", "Ctrl+C", true},
        {menu::Paste, "&Paste", "Ctrl+V", true},
        {menu::SelectAll, "Select &All", "Ctrl+A", true},
        {menu::NextProblem, "&Next Problem", "F8", true},
        {menu::PreviousProblem, "Pre&vious Problem", "Shift+F8", true},
        {menu::Problems, "Pro&blems", "", true},
        {menu::PlayOrStop, "&Play", "F5", true},
        {menu::StopPlaying, "&Stop", "Esc", true},
        {menu::PlayFromHere, "Play from &Here", "Shift+F5", true},
        {menu::Oscilloscope, "&Oscilloscope", "", true},
        {menu::SongView, "Song &View", "F6", true},
        {menu::LoopPlayback, "&Loop Playback", "", true},
        {menu::FollowPlayback, "&Follow Playback", "", true},
        {menu::HearNotes, "Hear &Notes While Typing", "", true},
        {menu::Demo1, "Demo &1", "", true},
        {menu::Demo4, "Demo &4", "", true},
        {menu::Help, "&Help", "F1", true},
        {menu::PsgModule, "&PSG Module", "", true},
        {menu::SupportForum, "Support &Forum", "", true},
        {menu::Quit, "&Quit", "Ctrl+Q", true},
        {menu::About, "&About Bleeptone", "", true},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE("menu item " + std::to_string(r.n));
        QAction* a = window.menuItem(r.n);
        ASSERT_NE(a, nullptr);
        EXPECT_EQ(a->text(), r.label);
        const QKeySequence keys = r.keys ? QKeySequence(r.keys) : QKeySequence(QKeySequence::Redo);
        EXPECT_EQ(a->shortcut().toString(QKeySequence::PortableText).toStdString(),
                  keys.toString(QKeySequence::PortableText).toStdString());
        // The two web items work only with an address to open.
        const bool web = r.n == menu::SupportForum;
        EXPECT_EQ(a->isEnabled(), web ? !MainWindow::forumUrl().isEmpty() : r.enabled);
    }
    QAction* site = window.menuItem(menu::Website);
    ASSERT_NE(site, nullptr);
    EXPECT_TRUE(site->text().endsWith(" &Website")) << site->text().toStdString();
    EXPECT_TRUE(site->shortcut().isEmpty());
    EXPECT_EQ(site->isEnabled(), !MainWindow::websiteUrl().isEmpty());
}

std::vector<int> numbersOf(const MainWindow& window, const QMenu* m) {
    std::vector<int> out;  // -100 stands for a separator
    for (QAction* a : m->actions()) {
        if (a->isSeparator()) {
            out.push_back(-100);
            continue;
        }
        int found = -99;
        for (int n = -3; n < menu::Count; ++n)
            if (window.menuItem(n) == a) found = n;
        out.push_back(found);
    }
    return out;
}

TEST_F(WindowTest, MenusInOrder) {
    const QList<QAction*> bar = window.menuBar()->actions();
    std::vector<std::string> titles;
    for (QAction* a : bar) titles.push_back(a->text().toStdString());
    EXPECT_EQ(titles, (std::vector<std::string>{"&File", "&Edit", "&Play", "&Tunes", "&Help"}));
    ASSERT_EQ(bar.size(), 5);
    const int sep = -100;
    using namespace menu;
    const std::vector<int> file{New,         Open,       OpenRecent,    Save,       SaveAs, sep, CopyMml, PasteMml, sep,
                                RecordToWave, ExportAudio, ExportMidi, ExportWebPage, ImportMidi, sep,    Quit};
    const std::vector<int> edit{Undo, Redo, sep, Cut, Copy, Paste, sep, SelectAll, sep, NextProblem, PreviousProblem,
                                Problems};
    const std::vector<int> play{PlayOrStop, PlayFromHere, StopPlaying,  sep,      LoopPlayback, FollowPlayback,
                                HearNotes,  sep,          Oscilloscope, SongView, sep,          MidiInput};
    const std::vector<int> tunes{Demo1, Demo2, Demo3, Demo4};
    const std::vector<int> help{Help, sep, PsgModule, sep, Website, SupportForum, sep, About};
    EXPECT_EQ(numbersOf(window, bar[0]->menu()), file);
    EXPECT_EQ(numbersOf(window, bar[1]->menu()), edit);
    EXPECT_EQ(numbersOf(window, bar[2]->menu()), play);
    EXPECT_EQ(numbersOf(window, bar[3]->menu()), tunes);
    EXPECT_EQ(numbersOf(window, bar[4]->menu()), help);
}

TEST_F(WindowTest, ChoosingAMenuItemRaisesItsNumber) {
    for (int n = -3; n < menu::Count; ++n) {
        // -2 is no item; Open Recent and MIDI Input are submenus
        if (n == -2 || n == menu::OpenRecent || n == menu::MidiInput) continue;
        QAction* a = window.menuItem(n);
        ASSERT_NE(a, nullptr) << "menu item " << n;
        a->setEnabled(true);
        events.clear();
        a->trigger();
        EXPECT_EQ(events, std::vector<std::string>{"menu " + std::to_string(n)});
    }
}

// ---------------------------------------------------------------------------
// Layout rule.

// How the rule moves things relative to the creation layout, worked out by
// hand for each size: dGroup is how far the measure-to-display group moves,
// dW the extra width, dF the extra channel frame height, dS the extra row
// spacing inside a panel.
struct LayoutCase {
    int W, H;
    int dGroup, dW, dF, dS;
};

const LayoutCase kLayoutCases[] = {
    {1024, 710, 0, 0, 0, 0},       // the start size reproduces the creation layout
    {1024, 711, 0, 0, 0, 0},       // F = 531/4 + 3 = 135: nothing moves
    {1024, 712, 0, 0, 1, 0},       // F = 532/4 + 3 = 136, S = 126/4 + 15 = 46
    {1024, 726, 0, 0, 4, 1},       // F = 546/4 + 3 = 139, S = 129/4 + 15 = 47
    {1124, 710, 50, 100, 0, 0},    // group at 776/2 = 388
    {1025, 710, 0, 1, 0, 0},       // 677/2 = 338: the group stays
    {1324, 900, 150, 300, 48, 12}, // group 976/2 = 488; F = 720/4 + 3 = 183; S = 173/4 + 15 = 58
};

ControlGeometry expectedLayout(const LayoutCase& k) {
    ControlGeometry g = creationGeometry();
    auto at = [&g](int n) -> QRect& { return g[static_cast<std::size_t>(n)]; };
    auto down = [&](int n, int dy) { at(n).translate(0, dy); };

    for (int n : {0, 1, 2, 3, 4, 5, 70}) at(n).translate(k.dGroup, 0);
    for (int n : {6, 71, 68, 69}) at(n).translate(k.dW, 0);
    for (int c = 1; c <= 4; ++c) {
        const int b = control::channelBase(c);
        const int dY = k.dF * (c - 1);
        down(b, dY);
        at(b).setHeight(at(b).height() + k.dF);
        at(b).setWidth(at(b).width() + k.dW);
        down(b + 1, dY);                                               // waveform
        for (int o : {2, 3, 4, 5}) down(b + o, dY + k.dS);             // octave, volume
        for (int o : {6, 7, 8}) down(b + o, dY + 2 * k.dS);            // decay, mute
        down(b + 11, dY);                                              // editor
        at(b + 11).setSize(at(b + 11).size() + QSize(k.dW, k.dF));
        for (int o : {9, 10, 12}) down(b + o, dY + k.dF);              // verse name, info bar
        at(b + 12).setWidth(at(b + 12).width() + k.dW);
    }
    for (int n = 59; n <= 69; ++n) down(n, 4 * k.dF);
    at(59).setWidth(at(59).width() + k.dW);
    for (int n : {61, 63, 65, 67}) at(n).setWidth(at(n).width() + k.dW);
    return g;
}

void expectGeometry(const ControlGeometry& got, const ControlGeometry& want) {
    for (int n = 0; n < control::Count; ++n) {
        const auto i = static_cast<std::size_t>(n);
        EXPECT_EQ(got[i], want[i]) << "control " << n << ": " << rectText(got[i]) << " expected " << rectText(want[i]);
    }
}

TEST(LayoutRule, FromCreationAndFromAnotherSize) {
    for (const LayoutCase& k : kLayoutCases) {
        SCOPED_TRACE(std::to_string(k.W) + "x" + std::to_string(k.H));
        ControlGeometry g = creationGeometry();
        applyLayoutRule(g, k.W, k.H);
        expectGeometry(g, expectedLayout(k));
        // The result depends only on the size, not on the layout before.
        ControlGeometry again = creationGeometry();
        applyLayoutRule(again, 1500, 1000);
        applyLayoutRule(again, k.W, k.H);
        expectGeometry(again, expectedLayout(k));
    }
}

TEST_F(WindowTest, ResizedWindowFollowsTheRule) {
    // Larger sizes first, then back down: the controls must come back.
    const int order[] = {6, 3, 4, 5, 2, 1, 0};
    for (int i : order) {
        const LayoutCase& k = kLayoutCases[i];
        SCOPED_TRACE(std::to_string(k.W) + "x" + std::to_string(k.H));
        ASSERT_TRUE(resizeClient(k.W, k.H)) << "client area is " << window.clientArea()->width() << "x"
                                            << window.clientArea()->height();
        ControlGeometry got{};
        for (int n = 0; n < control::Count; ++n) got[static_cast<std::size_t>(n)] = window.controls().geometry(n);
        expectGeometry(got, expectedLayout(k));
    }
    EXPECT_TRUE(events.empty());
}

// ---------------------------------------------------------------------------
// Tempo box stepping.

TEST(TempoStepping, ShownValueAfterOneStep) {
    const struct {
        int shown;
        bool up;
        int expected;
    } rows[] = {
        {8, false, 6},   // 9 down
        {5, false, 0},   // 6 down
        {1, true, 6},    // 0 up
        {7, true, 9},    // 6 up
        {0, false, 0},   // at the minimum
        {9, false, 9},   // 10 down
        {13, true, 13},  // 12 up
        {15, true, 15},  // 14 up
        {14, false, 14}, // 15 down
    };
    for (const auto& r : rows)
        EXPECT_EQ(tempoAfterStep(r.shown, r.up), r.expected) << r.shown << (r.up ? " up" : " down");
}

TEST_F(WindowTest, TempoArrowsWalkTheTempoCodes) {
    testing::ScriptedDialogs dialogs{"error", "information", "question"};
    AppState state;
    std::vector<std::string> commandLog;
    testing::RecordingCommands commands(commandLog);
    Dispatcher dispatcher(window, dialogs, state, commands);
    window.setEventSink([&](const AppEvent& e) {
        events.push_back(describe(e));
        dispatcher.submit(e);
    });
    auto* box = widget<QSpinBox>(control::TempoBox);
    ASSERT_NE(box, nullptr);
    ControlTable& t = window.controls();

    t.setState(control::TempoBox, 9);
    const struct {
        Qt::Key key;
        int shown;
    } steps[] = {
        {Qt::Key_Down, 6}, {Qt::Key_Down, 0}, {Qt::Key_Down, 0}, {Qt::Key_Up, 6},  {Qt::Key_Up, 9},
        {Qt::Key_Up, 10},  {Qt::Key_Up, 11},  {Qt::Key_Up, 12},  {Qt::Key_Up, 13}, {Qt::Key_Up, 14},
        {Qt::Key_Up, 15},  {Qt::Key_Up, 15},  {Qt::Key_Down, 14}, {Qt::Key_Down, 13},
    };
    for (const auto& s : steps) {
        QTest::keyClick(box, s.key);
        EXPECT_EQ(t.state(control::TempoBox), s.shown) << "after " << (s.key == Qt::Key_Up ? "up" : "down");
        EXPECT_EQ(t.text(control::TempoBox), QString::number(s.shown));
    }

    // Typed values stay as typed, even the skipped codes.
    for (int typed : {7, 3, 1, 8}) {
        box->selectAll();
        QTest::keyClicks(box, QString::number(typed));
        EXPECT_EQ(t.state(control::TempoBox), typed);
    }
}

// ---------------------------------------------------------------------------
// Events from the user, and none from the program.

TEST_F(WindowTest, TypingRaisesChangeEvents) {
    const int targets[] = {18, 31, 44, 57, 69, 17, 30, 60, 61, 67};
    for (int n : targets) {
        SCOPED_TRACE("control " + std::to_string(n));
        events.clear();
        QWidget* w = window.controls().widget(n);
        ASSERT_NE(w, nullptr);
        QTest::keyClicks(w, "o4c");
        ASSERT_FALSE(events.empty());
        for (const std::string& e : events) EXPECT_EQ(e, "control " + std::to_string(n) + " change");
        EXPECT_TRUE(window.controls().text(n).endsWith("o4c"));
    }
}

TEST_F(WindowTest, ChoosingAListItemOrTypingANumberRaisesChange) {
    ControlTable& t = window.controls();
    auto* measure = widget<QComboBox>(control::MeasureBox);
    ASSERT_NE(measure, nullptr);
    QTest::keyClick(measure, Qt::Key_Up);
    EXPECT_EQ(t.state(control::MeasureBox), 1);
    EXPECT_EQ(events, std::vector<std::string>{"control 1 change"});

    events.clear();
    auto* wave = widget<QComboBox>(33 + control::WaveformOffset);
    ASSERT_NE(wave, nullptr);
    QTest::keyClick(wave, Qt::Key_Down);
    EXPECT_EQ(t.state(34), 1);
    EXPECT_EQ(events, std::vector<std::string>{"control 34 change"});

    events.clear();
    auto* octave = widget<QSpinBox>(10);
    ASSERT_NE(octave, nullptr);
    octave->selectAll();
    QTest::keyClicks(octave, "6");
    EXPECT_EQ(t.state(10), 6);
    EXPECT_EQ(events, std::vector<std::string>{"control 10 change"});
}

TEST_F(WindowTest, SpinBoxArrowsRaiseUpAndDownAndAChange) {
    // A step that changes the value is the user's change, like typing; one
    // that stops at the end of the range changes nothing.
    ControlTable& t = window.controls();
    const struct {
        int n;
        Qt::Key key;
        int value;
        std::vector<std::string> events;
    } rows[] = {
        {10, Qt::Key_Up, 5, {"control 10 change", "control 10 up"}},      // channel 1 octave 4 -> 5
        {12, Qt::Key_Down, 39, {"control 12 change", "control 12 down"}}, // channel 1 volume 40 -> 39
        {53, Qt::Key_Up, 1, {"control 53 change", "control 53 up"}},      // channel 4 decay 0 -> 1
        {53, Qt::Key_Down, 0, {"control 53 change", "control 53 down"}},  // and back
        {53, Qt::Key_Down, 0, {}},                                        // at the minimum: no step
        {3, Qt::Key_Down, 11, {"control 3 change", "control 3 down"}},    // tempo (no dispatcher here)
    };
    for (const auto& r : rows) {
        events.clear();
        auto* box = widget<QSpinBox>(r.n);
        ASSERT_NE(box, nullptr);
        QTest::keyClick(box, r.key);
        EXPECT_EQ(t.state(r.n), r.value) << "control " << r.n;
        EXPECT_EQ(events, r.events);
    }
    // The wheel steps as the arrows do.
    events.clear();
    QWheelEvent wheel(QPointF(5, 5), widget<QSpinBox>(10)->mapToGlobal(QPointF(5, 5)), QPoint(), QPoint(0, 120), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(widget<QSpinBox>(10), &wheel);
    EXPECT_EQ(t.state(10), 6);
    EXPECT_EQ(events, (std::vector<std::string>{"control 10 change", "control 10 up"}));
}

TEST_F(WindowTest, MuteBoxRaisesNoEvent) {
    ControlTable& t = window.controls();
    for (int c = 1; c <= 4; ++c) {
        const int n = control::channelBase(c) + control::MuteOffset;
        auto* box = widget<QCheckBox>(n);
        ASSERT_NE(box, nullptr);
        QTest::keyClick(box, Qt::Key_Space);
        EXPECT_EQ(t.state(n), 1) << "mute box " << n;
        QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(8, box->height() / 2));
        EXPECT_EQ(t.state(n), 0) << "mute box " << n;
    }
    EXPECT_TRUE(events.empty());
}

TEST_F(WindowTest, CtrlClickOnAMuteBoxSolos) {
    ControlTable& t = window.controls();
    auto mutes = [&] {
        std::string m;
        for (int c = 1; c <= 4; ++c) m += t.state(control::muteBox(c)) ? 'M' : '-';
        return m;
    };
    auto ctrlClick = [&](int c) {
        QWidget* box = t.widget(control::muteBox(c));
        QTest::mouseClick(box, Qt::LeftButton, Qt::ControlModifier, QPoint(8, box->height() / 2));
    };
    t.setState(control::muteBox(4), 1);
    ctrlClick(2);
    EXPECT_EQ(mutes(), "M-MM");  // channel 2 alone
    ctrlClick(3);
    EXPECT_EQ(mutes(), "MM-M");  // now channel 3 alone
    ctrlClick(3);
    EXPECT_EQ(mutes(), "---M");  // the mutes from before the solo
    ctrlClick(1);
    QTest::mouseClick(t.widget(control::muteBox(2)), Qt::LeftButton, {}, QPoint(8, 5));  // a plain click
    EXPECT_EQ(mutes(), "--MM");  // plain clicks still toggle
    EXPECT_TRUE(events.empty());
}

TEST_F(WindowTest, ButtonClicksRaiseClicks) {
    ControlTable& t = window.controls();
    t.setEnabled(control::PlayButton, true);
    t.setEnabled(control::CopyMmlButton, true);
    for (int n : {control::PlayButton, control::CopyMmlButton, control::PasteMmlButton}) {
        events.clear();
        QTest::mouseClick(t.widget(n), Qt::LeftButton);
        EXPECT_EQ(events, std::vector<std::string>{"control " + std::to_string(n) + " click"});
    }
    // A disabled button raises nothing.
    t.setEnabled(control::PlayButton, false);
    events.clear();
    QTest::mouseClick(t.widget(control::PlayButton), Qt::LeftButton);
    EXPECT_TRUE(events.empty());
}

TEST_F(WindowTest, ProgramChangesRaiseNoEvents) {
    ControlTable& t = window.controls();
    for (int n = 0; n < control::Count; ++n) {
        switch (t.kind(n)) {
            case K::Editor:
                t.setText(n, "o5 cde\nl8 fga");
                EXPECT_EQ(t.lineCount(n), 2);
                EXPECT_EQ(t.line(n, 1), "l8 fga");
                t.setSelection(n, 3, 4);
                EXPECT_EQ(t.selection(n), std::make_pair(3, 4));
                break;
            case K::ListBox: t.setState(n, 1); EXPECT_EQ(t.state(n), 1) << n; break;
            case K::SpinBox:
                t.setState(n, 2);
                EXPECT_EQ(t.state(n), 2) << n;
                t.setText(n, "7");
                EXPECT_EQ(t.state(n), 7) << n;
                break;
            case K::CheckBox: t.setState(n, 1); EXPECT_EQ(t.state(n), 1) << n; break;
            case K::TextField:
            case K::Label:
                t.setText(n, "set by the program");
                EXPECT_EQ(t.text(n), "set by the program");
                break;
            default: break;
        }
    }
    EXPECT_TRUE(events.empty()) << events.front();
}

TEST_F(WindowTest, EditorFocusRaisesFocus) {
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window, 10000));
    for (int n : {31, 69, 18}) {
        events.clear();
        window.controls().widget(n)->setFocus(Qt::OtherFocusReason);
        const std::string want = "control " + std::to_string(n) + " focus";
        EXPECT_TRUE(QTest::qWaitFor([&] { return !events.empty(); }, 10000)) << "no event for " << n;
        EXPECT_EQ(events, std::vector<std::string>{want});
        EXPECT_EQ(window.controls().focused(), n);
    }
}

TEST_F(WindowTest, CloseIsARequest) {
    EXPECT_FALSE(window.close());
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(events, std::vector<std::string>{"close 0"});
}

}  // namespace
}  // namespace bleeptone
