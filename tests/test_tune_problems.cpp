// The tune checks in the whole program (offscreen): they wait for the
// typing to pause, mark the editors, tell the info bar the problem at the
// caret, walk the findings with Next and Previous Problem, and the Problems
// window's choice puts the caret there with the main window in front.

#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTest>
#include <QTreeWidget>

#include "app/controls.h"
#include "app/info_bar_updater.h"
#include "app/tune_problems.h"
#include "tests/program_test.h"
#include "tests/qt_printers.h"
#include "ui/image_view.h"
#include "ui/info_bar.h"
#include "ui/problems_window.h"

namespace bleeptone {
namespace {

using testing::runPosted;

class TuneProblemsProgram : public testing::ProgramTest {
protected:
    void SetUp() override {
        ProgramTest::SetUp();
        dialogs.forbidden = {"error"};
        startProgram(true);
    }
    TuneProblems& problems() { return app->problems(); }
    QPlainTextEdit* editor(int channel) {
        return static_cast<QPlainTextEdit*>(controls().widget(control::channelEditor(channel)));
    }
    QLineEdit* pattern(int channel) {
        return static_cast<QLineEdit*>(controls().widget(control::patternField(channel)));
    }
    // A song whose findings are, in order of place: channel 1's pattern
    // entry 2 (verse 3 of 2), "v100" in channel 1's verse 1, "w9" in
    // channel 2's verse 1.
    void faultySong() {
        controls().setText(control::channelEditor(1), "c4 v100 c4 c2\nc1");
        controls().setText(control::patternField(1), "1+3");
        controls().setText(control::channelEditor(2), "w9 c1");
        problems().runNow();
        ASSERT_EQ(problems().findings().size(), 3u);
        EXPECT_EQ(pattern(1)->toolTip(), "pattern entry 2 names verse 3, but channel 1 has 2 verses: it plays nothing");
        EXPECT_EQ(pattern(2)->toolTip(), "");
    }
    void focus(QWidget* w) {
        w->setFocus(Qt::OtherFocusReason);
        ASSERT_TRUE(QTest::qWaitFor([&] { return QApplication::focusWidget() == w; }, 10000));
        runPosted();
    }
    // Where the caret is: channel 1..4 and offset in its editor, or
    // -(channel) for a pattern field with the column as the offset.
    std::pair<int, int> caret() {
        const int f = controls().focused();
        if (const int c = control::channelOfEditor(f)) return {c, controls().selection(f).first};
        if (const int r = control::rowOfPatternField(f)) return {-r, pattern(r)->cursorPosition()};
        return {0, -1};
    }
};

TEST_F(TuneProblemsProgram, WaitForTheTypingToPause) {
    controls().setText(control::channelEditor(1), "c4 c4 c4 c4");
    problems().runNow();
    EXPECT_TRUE(problems().findings().empty());
    EXPECT_TRUE(editor(1)->extraSelections().isEmpty());

    // A keystroke leaves the findings as they were; the checks wait.
    focus(editor(1));
    controls().setSelection(control::channelEditor(1), 0, 0);
    QTest::keyClicks(editor(1), "v99 ");
    runPosted();
    EXPECT_TRUE(problems().pending());
    EXPECT_TRUE(problems().findings().empty());

    // Once the typing has paused, the finding and its mark.
    ASSERT_TRUE(testing::serveUntil([&] { return !problems().pending(); }));
    ASSERT_EQ(problems().findings().size(), 1u);
    EXPECT_EQ(problems().findings()[0].place, (EditorPlace{1, 1, 0}));
    EXPECT_EQ(problems().findings()[0].rule, TuneRule::Volume);
    ASSERT_EQ(editor(1)->extraSelections().size(), 1);
    EXPECT_EQ(editor(1)->extraSelections()[0].format.underlineStyle(), QTextCharFormat::WaveUnderline);

    // A demo (text the program puts there) is checked too: it has none.
    dialogs.answers.push_back(Dialogs::Answer::Yes);  // leave the unsaved typing
    menu(menu::Demo1);
    problems().runNow();
    EXPECT_TRUE(problems().findings().empty());
    EXPECT_TRUE(editor(1)->extraSelections().isEmpty());
}

TEST_F(TuneProblemsProgram, TheInfoBarTellsTheProblemAtTheCaret) {
    faultySong();
    focus(editor(1));
    const auto barAt = [&](int position) {
        controls().setSelection(control::channelEditor(1), position, 0);
        submit(AppEvent::control(control::channelEditor(1), ControlEventType::Focus));
        runPosted();
        return static_cast<ImageView*>(controls().widget(control::infoBar(1)))->image();
    };
    const auto hasSign = [](const QImage& bar) {
        const QImage logical = bar.scaled(bar.deviceIndependentSize().toSize());
        return (logical.pixel(6, 5) & 0xFFFFFF) == (kInfoWarning.rgb() & 0xFFFFFF);
    };
    EXPECT_TRUE(hasSign(barAt(4)));   // inside "v100"
    EXPECT_TRUE(hasSign(barAt(7)));   // just after it
    EXPECT_FALSE(hasSign(barAt(0)));  // before it: the settings
    EXPECT_FALSE(hasSign(barAt(9)));
}

TEST_F(TuneProblemsProgram, NextAndPreviousProblem) {
    faultySong();
    focus(editor(3));  // nowhere near: from the start
    const std::vector<std::pair<int, int>> forward = {{-1, 2}, {1, 3}, {2, 0}, {-1, 2}};
    for (const auto& want : forward) {
        menu(menu::NextProblem);
        EXPECT_EQ(caret(), want);
    }
    const std::vector<std::pair<int, int>> back = {{2, 0}, {1, 3}, {-1, 2}, {2, 0}};
    for (const auto& want : back) {
        menu(menu::PreviousProblem);
        EXPECT_EQ(caret(), want);
    }
    // The marks follow an edit made since the last run: the caret goes
    // where "v100" stands now.
    controls().setSelection(control::channelEditor(1), 0, 0);
    editor(1)->textCursor().insertText("l4 ");
    focus(editor(1));
    controls().setSelection(control::channelEditor(1), 0, 0);
    menu(menu::NextProblem);
    EXPECT_EQ(caret(), (std::pair{1, 6}));
}

TEST_F(TuneProblemsProgram, TheProblemsWindowGoesThere) {
    faultySong();
    menu(menu::Problems);
    ProblemsWindow* w = problems().problemsWindow();
    ASSERT_NE(w, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowActive(w, 10000));
    ASSERT_EQ(w->list()->topLevelItemCount(), 3);
    EXPECT_EQ(w->list()->topLevelItem(1)->text(0), "Channel 1, verse 1, column 4");

    w->list()->setCurrentItem(w->list()->topLevelItem(2));
    QTest::keyClick(w->list(), Qt::Key_Return);
    runPosted();
    EXPECT_EQ(caret(), (std::pair{2, 0}));
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window(), 10000));
    EXPECT_EQ(QApplication::focusWidget(), editor(2));

    // New findings reach the open window.
    controls().setText(control::patternField(1), "1");
    problems().runNow();
    EXPECT_EQ(w->list()->topLevelItemCount(), 2);
}

}  // namespace
}  // namespace bleeptone
