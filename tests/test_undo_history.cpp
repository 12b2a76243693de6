// The document's one undo history on the whole program (offscreen): every
// kind of control, how changes merge into steps, where undo puts the focus
// and the caret, the edited mark following the saved state, the commands
// that start a new history, and undo while the song plays.

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QSpinBox>
#include <QTest>
#include <QWheelEvent>

#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "app/controls.h"
#include "app/document.h"
#include "app/song_commands.h"
#include "app/undo_history.h"
#include "app/window_fields.h"
#include "export/midi_file.h"
#include "project/project_file.h"
#include "song/mml_text.h"
#include "song/song_assembly.h"
#include "tests/program_test.h"
#include "tests/qt_printers.h"
#include "ui/text_editor.h"

namespace bleeptone {
namespace {

using testing::runPosted;

class UndoTest : public testing::ProgramTest {
public:
    void SetUp() override {
        ProgramTest::SetUp();
        dialogs.forbidden = {"error"};
        startProgram(true);
    }

    UndoHistory& history() { return app->history(); }
    QWidget* widget(int n) { return controls().widget(n); }
    QPlainTextEdit* editor(int n) { return static_cast<QPlainTextEdit*>(widget(n)); }
    QLineEdit* field(int n) { return static_cast<QLineEdit*>(widget(n)); }
    QWidget* focus(int n) {
        widget(n)->setFocus();
        QCoreApplication::processEvents();
        return widget(n);
    }
    // Keys as a person presses them, in the widget that has the focus.
    void keys(Qt::Key key, Qt::KeyboardModifiers modifiers = {}) {
        QTest::keyClick(QApplication::focusWidget(), key, modifiers);
        runPosted();
    }
    void type(int n, const QString& text) {
        focus(n);
        QTest::keyClicks(QApplication::focusWidget(), text);
        runPosted();
    }
    void undoKey() { keys(Qt::Key_Z, Qt::ControlModifier); }
    void redoKey() { keys(Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier); }
    QString undoLabel() { return window().menuItem(menu::Undo)->text(); }
    QString redoLabel() { return window().menuItem(menu::Redo)->text(); }
    QString mutes() {
        QString m;
        for (int c = 1; c <= 4; ++c) m += controls().state(control::muteBox(c)) ? 'M' : '-';
        return m;
    }
    // What control n holds, as text.
    QString value(int n) {
        const ControlKind k = controls().kind(n);
        return k == ControlKind::Editor || k == ControlKind::TextField ? controls().text(n)
                                                                       : QString::number(controls().state(n));
    }
    int focused() { return controls().numberOf(QApplication::focusWidget()); }
    // A New document (yes to the unsaved-work question).
    void fresh() {
        if (window().title().contains('*')) dialogs.answers = {testing::Yes};
        menu(menu::New);
        dialogs.answers.clear();
    }
    int steps() { return history().stack().count(); }
    std::string file(const std::string& name) const { return path(name); }
};

// ---------------------------------------------------------------------------
// Every kind of control: its change is one step, named in the Edit menu;
// Ctrl+Z in that very control takes it back (the field's own undo never
// gets the key) and puts the focus there; Ctrl+Shift+Z and Ctrl+Y redo it.

TEST_F(UndoTest, EveryKindOfControlIsOneStepOfTheDocument) {
    const struct {
        const char* what;
        int control;
        std::function<void(UndoTest&)> change;
        QString step;
        bool edits = true;  // Mute boxes and solo are no part of the document
    } rows[] = {
        {"typing in a channel editor", 31, [](UndoTest& t) { t.type(31, "cde"); }, "Typing"},
        {"typing in the project info", control::ProjectInfo, [](UndoTest& t) { t.type(control::ProjectInfo, "Tune"); },
         "Typing"},
        {"typing a verse name", control::verseNameField(2),
         [](UndoTest& t) {
             t.focus(control::verseNameField(2));
             t.keys(Qt::Key_End);
             QTest::keyClicks(t.field(control::verseNameField(2)), " x");
         },
         "Typing"},
        {"typing a pattern", control::patternField(2), [](UndoTest& t) { t.type(control::patternField(2), "1+2"); },
         "Typing"},
        {"typing a pattern name", control::patternNameField(3),
         [](UndoTest& t) {
             t.focus(control::patternNameField(3));
             t.keys(Qt::Key_End);
             QTest::keyClicks(t.field(control::patternNameField(3)), "b");
         },
         "Typing"},
        {"the octave, an arrow key", control::octaveBox(2),
         [](UndoTest& t) {
             t.focus(control::octaveBox(2));
             t.keys(Qt::Key_Up);
         },
         "Octave"},
        {"the volume, typed", control::volumeBox(1),
         [](UndoTest& t) {
             t.focus(control::volumeBox(1));
             static_cast<QSpinBox*>(t.widget(control::volumeBox(1)))->selectAll();
             QTest::keyClicks(t.widget(control::volumeBox(1)), "52");
         },
         "Volume"},
        {"the decay, the wheel", control::decayBox(3),
         [](UndoTest& t) {
             QWidget* box = t.focus(control::decayBox(3));
             QWheelEvent wheel(QPointF(5, 5), box->mapToGlobal(QPointF(5, 5)), QPoint(), QPoint(0, 120), Qt::NoButton,
                               Qt::NoModifier, Qt::NoScrollPhase, false);
             QApplication::sendEvent(box, &wheel);
         },
         "Decay"},
        {"the waveform, a key", control::waveformBox(4),
         [](UndoTest& t) {
             t.focus(control::waveformBox(4));
             t.keys(Qt::Key_Down);
         },
         "Waveform"},
        {"the measure, a key", control::MeasureBox,
         [](UndoTest& t) {
             t.focus(control::MeasureBox);
             t.keys(Qt::Key_Up);
         },
         "Measure"},
        {"a Mute box", control::muteBox(2),
         [](UndoTest& t) { QTest::mouseClick(t.widget(control::muteBox(2)), Qt::LeftButton, {}, QPoint(8, 8)); },
         "Mute", false},
        {"a MIDI keyboard's note", 44,
         [](UndoTest& t) {
             t.focus(44);
             t.submit(AppEvent::midiNote(72, 100));
         },
         "Typing"},
        {"a paste into an editor", 44,
         [](UndoTest& t) {
             QApplication::clipboard()->setText("l8 c d e");
             t.focus(44);
             t.keys(Qt::Key_V, Qt::ControlModifier);
         },
         "Paste"},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.what);
        fresh();
        const QString before = value(r.control);
        r.change(*this);
        runPosted();
        const QString after = value(r.control);
        ASSERT_NE(before, after);
        EXPECT_EQ(steps(), 1);
        EXPECT_EQ(undoLabel(), "&Undo " + r.step);
        EXPECT_EQ(window().isWindowModified(), r.edits);
        EXPECT_EQ(focused(), r.control);  // the key goes to the control itself

        undoKey();
        EXPECT_EQ(value(r.control), before);
        EXPECT_EQ(focused(), r.control);
        EXPECT_EQ(redoLabel(), "&Redo " + r.step);
        EXPECT_FALSE(window().isWindowModified());
        EXPECT_EQ(window().title(), "Bleeptone");
        redoKey();
        EXPECT_EQ(value(r.control), after);
        EXPECT_EQ(window().isWindowModified(), r.edits);
        undoKey();
        keys(Qt::Key_Y, Qt::ControlModifier);
        EXPECT_EQ(value(r.control), after);
        // Nothing more to undo: the key changes nothing, not even through the field's own history.
        undoKey();
        undoKey();
        EXPECT_EQ(value(r.control), before);
        EXPECT_FALSE(window().menuItem(menu::Undo)->isEnabled());
        EXPECT_EQ(undoLabel(), "&Undo");
    }
}

TEST_F(UndoTest, TheTempoArrowsSkipWithinTheUsersStep) {
    controls().setState(control::TempoBox, 9);  // the program's: no step
    EXPECT_EQ(steps(), 0);
    focus(control::TempoBox);
    keys(Qt::Key_Down);  // 9, 8, and the skip to 6
    ASSERT_EQ(controls().state(control::TempoBox), 6);
    EXPECT_EQ(steps(), 1);
    undoKey();
    EXPECT_EQ(controls().state(control::TempoBox), 9);
    redoKey();
    EXPECT_EQ(controls().state(control::TempoBox), 6);
}

TEST_F(UndoTest, ASoloIsOneStepAndNoEdit) {
    controls().setState(control::muteBox(4), 1);
    QWidget* box = widget(control::muteBox(2));
    QTest::mouseClick(box, Qt::LeftButton, Qt::ControlModifier, QPoint(8, box->height() / 2));
    runPosted();
    ASSERT_EQ(mutes(), "M-MM");
    EXPECT_EQ(steps(), 1);
    EXPECT_EQ(undoLabel(), "&Undo Solo");
    EXPECT_FALSE(window().isWindowModified());
    undoKey();
    EXPECT_EQ(mutes(), "---M");
    redoKey();
    EXPECT_EQ(mutes(), "M-MM");
}

// The Qt widgets' own undo is not reached by other ways either: the
// editors' context menu offers the document's Undo and Redo.
TEST_F(UndoTest, TheEditorsContextMenuUndoesTheDocument) {
    for (int n : {18, control::ProjectInfo}) {
        std::unique_ptr<QMenu> m(static_cast<TextEditor*>(widget(n))->contextMenu(QPoint(2, 2)));
        EXPECT_TRUE(m->actions().contains(window().menuItem(menu::Undo))) << n;
        EXPECT_TRUE(m->actions().contains(window().menuItem(menu::Redo))) << n;
        for (QAction* a : m->actions()) EXPECT_NE(a->objectName(), "edit-undo") << n;
    }
}

// ---------------------------------------------------------------------------
// Merging.

TEST_F(UndoTest, RunsOfChangesMergeUntilSomethingElseComesBetween) {
    const struct {
        const char* what;
        std::function<void(UndoTest&)> changes;
        int steps;
    } rows[] = {
        {"a run of typing", [](UndoTest& t) { t.type(18, "cdefg"); }, 1},
        {"typing, another control, typing",
         [](UndoTest& t) {
             t.type(18, "cd");
             t.focus(control::octaveBox(1));
             t.keys(Qt::Key_Up);
             t.type(18, "e");
         },
         3},
        {"typing, a solo (the caret stays), typing",
         [](UndoTest& t) {
             t.type(18, "cd");
             QWidget* box = t.widget(control::muteBox(3));
             QTest::mouseClick(box, Qt::LeftButton, Qt::ControlModifier, QPoint(8, box->height() / 2));
             QTest::keyClicks(t.widget(18), "e");
         },
         3},
        {"typing in two editors by turns",
         [](UndoTest& t) {
             t.type(18, "c");
             t.type(31, "d");
             t.type(18, "e");
         },
         3},
        {"three arrow steps",
         [](UndoTest& t) {
             t.focus(control::octaveBox(1));
             for (int i = 0; i < 3; ++i) t.keys(Qt::Key_Up);
         },
         1},
        {"arrow steps, the focus away and back, a step",
         [](UndoTest& t) {
             t.focus(control::octaveBox(1));
             t.keys(Qt::Key_Up);
             t.focus(18);
             t.focus(control::octaveBox(1));
             t.keys(Qt::Key_Up);
         },
         2},
        {"up and down again: no step",
         [](UndoTest& t) {
             t.focus(control::volumeBox(2));
             t.keys(Qt::Key_Up);
             t.keys(Qt::Key_Down);
         },
         0},
        {"a paste, then typing",
         [](UndoTest& t) {
             QApplication::clipboard()->setText("cde");
             t.focus(18);
             t.keys(Qt::Key_V, Qt::ControlModifier);
             QTest::keyClicks(t.widget(18), "fg");
         },
         2},
        {"typing, undo, typing",
         [](UndoTest& t) {
             t.type(18, "cd");
             t.undoKey();
             t.type(18, "e");
         },
         1},
        {"typing, a save, typing",
         [](UndoTest& t) {
             t.type(18, "cd");
             t.dialogs.panelPaths = {QString::fromStdString(t.file("merge"))};
             t.menu(menu::SaveAs);
             t.type(18, "e");
         },
         2},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.what);
        fresh();
        dialogs.clear();
        r.changes(*this);
        EXPECT_EQ(steps(), r.steps);
        // Undone step by step, it all goes, back to the New template.
        for (int i = 0; i < r.steps; ++i) undoKey();
        EXPECT_EQ(controls().text(18), "");
        EXPECT_EQ(controls().state(control::octaveBox(1)), 4);
    }
}

TEST_F(UndoTest, TheHistoryKeepsTheLastThousandSteps) {
    // Two boxes by turns: no step merges with the one before.
    auto* a = static_cast<QSpinBox*>(widget(control::volumeBox(1)));
    auto* b = static_cast<QSpinBox*>(widget(control::volumeBox(2)));
    for (int i = 0; i < UndoHistory::kLimit + 1; ++i) {
        QSpinBox* box = i % 2 ? b : a;
        box->setValue(box->value() == 30 ? 31 : 30);
    }
    EXPECT_EQ(steps(), UndoHistory::kLimit);
    EXPECT_TRUE(window().isWindowModified());
}

// ---------------------------------------------------------------------------
// Where undo lands.

TEST_F(UndoTest, UndoPutsTheFocusAndTheCaretWhereTheChangeWas) {
    type(18, "cdefg");
    type(31, "a");
    focus(control::volumeBox(3));
    undoKey();
    EXPECT_EQ(focused(), 31);
    EXPECT_EQ(editor(31)->textCursor().position(), 0);
    undoKey();
    EXPECT_EQ(focused(), 18);
    EXPECT_EQ(controls().text(18), "");
    redoKey();
    EXPECT_EQ(editor(18)->textCursor().position(), 5);

    // A selection deleted comes back with the caret after it.
    controls().setSelection(18, 1, 2);  // "de"
    focus(18);
    keys(Qt::Key_Delete);
    ASSERT_EQ(controls().text(18), "cfg");
    focus(control::TempoBox);
    undoKey();
    EXPECT_EQ(controls().text(18), "cdefg");
    EXPECT_EQ(focused(), 18);
    EXPECT_EQ(editor(18)->textCursor().position(), 3);

    // A field: the caret after what the step changed, both ways.
    const int pattern = control::patternField(1);
    controls().setText(pattern, "1+2");
    focus(pattern);
    field(pattern)->setCursorPosition(1);
    QTest::keyClicks(field(pattern), "3");
    ASSERT_EQ(controls().text(pattern), "13+2");
    focus(18);
    undoKey();
    EXPECT_EQ(focused(), pattern);
    EXPECT_EQ(controls().text(pattern), "1+2");
    EXPECT_EQ(field(pattern)->cursorPosition(), 1);
    redoKey();
    EXPECT_EQ(field(pattern)->cursorPosition(), 2);
}

// ---------------------------------------------------------------------------
// The edited mark follows the saved state.

TEST_F(UndoTest, TheEditedMarkGoesWhenUndoReachesTheSavedState) {
    // A fresh program: back to it is pristine again, with nothing to play.
    type(18, "c");
    EXPECT_EQ(window().title(), "Untitled* - Bleeptone");
    EXPECT_TRUE(controls().isEnabled(control::PlayButton));
    undoKey();
    EXPECT_EQ(window().title(), "Bleeptone");
    EXPECT_FALSE(window().isWindowModified());
    EXPECT_FALSE(controls().isEnabled(control::PlayButton));
    EXPECT_FALSE(window().menuItem(menu::SaveAs)->isEnabled());
    redoKey();
    EXPECT_EQ(window().title(), "Untitled* - Bleeptone");
    EXPECT_TRUE(controls().isEnabled(control::PlayButton));

    // A saved file: the mark comes and goes around the save.
    dialogs.panelPaths = {QString::fromStdString(path("tune"))};
    menu(menu::SaveAs);
    ASSERT_EQ(window().title(), "tune - Bleeptone");
    type(18, "d");
    EXPECT_EQ(window().title(), "tune* - Bleeptone");
    undoKey();
    EXPECT_EQ(window().title(), "tune - Bleeptone");
    EXPECT_FALSE(window().isWindowModified());
    undoKey();  // before the save
    EXPECT_EQ(window().title(), "tune* - Bleeptone");
    EXPECT_TRUE(window().isWindowModified());
    redoKey();
    EXPECT_EQ(window().title(), "tune - Bleeptone");
    // A Mute box between changes nothing of it.
    QTest::mouseClick(widget(control::muteBox(1)), Qt::LeftButton, {}, QPoint(8, 8));
    EXPECT_FALSE(window().isWindowModified());
    type(18, "e");
    undoKey();
    EXPECT_EQ(window().title(), "tune - Bleeptone");

    // A demo: its title again.
    menu(menu::Demo3);
    focus(control::octaveBox(1));
    keys(Qt::Key_Up);
    EXPECT_EQ(window().title(), "Demo 3* - Bleeptone");
    undoKey();
    EXPECT_EQ(window().title(), "Demo 3 - Bleeptone");
    EXPECT_FALSE(window().isWindowModified());
}

TEST_F(UndoTest, APastedTuneStaysEditedUntilSaved) {
    controls().setText(18, "cde");
    QApplication::clipboard()->setText(copyMmlText(WindowFields(controls())));
    menu(menu::PasteMml);
    ASSERT_EQ(window().title(), "Untitled* - Bleeptone");
    type(18, "c");
    undoKey();
    EXPECT_EQ(window().title(), "Untitled* - Bleeptone");
    EXPECT_TRUE(window().isWindowModified());
}

// ---------------------------------------------------------------------------
// New, Open, a demo, Paste MML, Import MIDI and a restored recovery copy
// start anew.

TEST_F(UndoTest, CommandsThatReplaceTheDocumentStartANewHistory) {
    const std::string file = path("song.mmlp");
    ASSERT_TRUE(saveProjectFile(QString::fromStdString(file), WindowFields(controls())).ok);
    MidiFile tune;  // one quarter note
    tune.division = 96;
    tune.tracks.push_back({{channelEvent(0, midi::NoteOn, 0, 60, 100), channelEvent(96, midi::NoteOff, 0, 60)}});
    const std::vector<std::uint8_t> bytes = midiFileBytes(tune);
    const std::string midiPath = path("tune.mid");
    std::ofstream(midiPath, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    const struct {
        const char* what;
        std::function<void(UndoTest&)> replace;
    } rows[] = {
        {"New", [](UndoTest& t) { t.menu(menu::New); }},
        {"Open",
         [&](UndoTest& t) {
             t.dialogs.panelPaths = {QString::fromStdString(file)};
             t.menu(menu::Open);
         }},
        {"a demo", [](UndoTest& t) { t.menu(menu::Demo2); }},
        {"Paste MML",
         [](UndoTest& t) {
             QApplication::clipboard()->setText(copyMmlText(WindowFields(t.controls())));
             t.menu(menu::PasteMml);
         }},
        {"Import MIDI",
         [&](UndoTest& t) {
             t.dialogs.clear();
             t.dialogs.answers = {testing::Yes};
             t.dialogs.panelPaths = {QString::fromStdString(midiPath)};
             t.dialogs.choiceIndexes = {0};  // the grid
             t.menu(menu::ImportMidi);
             ASSERT_EQ(t.dialogs.kinds(), (std::vector<std::string>{"question", "open panel", "choice"}));
         }},
        {"a restored copy",
         [&](UndoTest& t) { t.app->document().restore(QString::fromStdString(file), {}, "Untitled* - Bleeptone"); }},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.what);
        type(18, "cd");
        focus(control::octaveBox(1));
        keys(Qt::Key_Up);
        ASSERT_EQ(steps(), 2);
        dialogs.answers = {testing::Yes};  // the unsaved-work question
        r.replace(*this);
        EXPECT_EQ(steps(), 0);
        EXPECT_FALSE(window().menuItem(menu::Undo)->isEnabled());
        EXPECT_FALSE(window().menuItem(menu::Redo)->isEnabled());
        const QString shown = controls().text(18);
        const QString title = window().title();
        focus(18);
        undoKey();
        EXPECT_EQ(controls().text(18), shown);
        EXPECT_EQ(window().title(), title);
        dialogs.answers.clear();
    }
}

// ---------------------------------------------------------------------------
// While the song plays, undo works and what plays follows it.

TEST_F(UndoTest, UndoWhilePlayingIsHeard) {
    menu(menu::Demo1);
    submit(AppEvent::control(control::PlayButton));
    ASSERT_EQ(app->song().playState(), PlayState::Song);
    const QString played = app->song().channelTexts()[1];
    focus(control::octaveBox(2));
    keys(Qt::Key_Up);
    ASSERT_TRUE(testing::serveUntil([&] { return app->song().channelTexts()[1] != played; }));
    undoKey();
    EXPECT_TRUE(testing::serveUntil([&] { return app->song().channelTexts()[1] == played; }));
    EXPECT_EQ(app->song().playState(), PlayState::Song);
    submit(AppEvent::control(control::StopButton));
}

}  // namespace
}  // namespace bleeptone
