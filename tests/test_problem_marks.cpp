// The problems in a channel editor: a wavy underline that leaves the MML
// colours as they are (the text's pixels stay the same, the underline is
// drawn under them), marks that follow edits, the tooltip, and the layers
// that let the playhead and the problems share the editor's extra
// selections.

#include <gtest/gtest.h>

#include <QApplication>
#include <QHelpEvent>
#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextCursor>
#include <QToolTip>

#include <algorithm>

#include "tests/event_loop.h"
#include "tests/qt_printers.h"
#include "ui/editor_marks.h"
#include "ui/mml_colouring.h"
#include "ui/problem_marks.h"
#include "ui/text_editor.h"

namespace bleeptone {
namespace {

TuneFinding finding(int channel, int verse, int column, int length, const char* message) {
    TuneFinding f;
    f.rule = TuneRule::Volume;
    f.place = {channel, verse, column};
    f.length = length;
    f.message = message;
    return f;
}

// A channel editor coloured as the program colours it, shown.
struct Editor {
    Editor() : editor(nullptr) {
        new MmlHighlighter(&editor);
        editor.resize(400, 120);
        editor.show();
        testing::runPosted();
    }
    MmlEditor editor;
};

TEST(ProblemMarks, UnderlineOnlyAndTheColoursStay) {
    Editor e;
    e.editor.setPlainText("c4 v100 c4\nc1");
    testing::runPosted();
    const QImage before = e.editor.viewport()->grab().toImage();

    ProblemMarks marks(&e.editor, 1);
    marks.setFindings(
        {finding(1, 1, 3, 4, "volume"), finding(2, 1, 0, 2, "another channel"), finding(1, 0, 0, 1, "the pattern")});
    const QList<QTextEdit::ExtraSelection> selections = e.editor.extraSelections();
    ASSERT_EQ(selections.size(), 1);
    EXPECT_EQ(selections[0].cursor.selectionStart(), 3);
    EXPECT_EQ(selections[0].cursor.selectionEnd(), 7);
    // The format sets the underline and nothing else: no colour, no background, no font.
    const QTextCharFormat& f = selections[0].format;
    EXPECT_EQ(f.underlineStyle(), QTextCharFormat::WaveUnderline);
    EXPECT_EQ(f.underlineColor(), ProblemMarks::kUnderlineColour);
    QList<int> set = f.properties().keys();
    std::sort(set.begin(), set.end());
    EXPECT_EQ(set, (QList<int>{QTextFormat::FontUnderline,  // the old flag, kept with the style
                               QTextFormat::TextUnderlineColor, QTextFormat::TextUnderlineStyle}));

    testing::runPosted();
    const QImage after = e.editor.viewport()->grab().toImage();
    ASSERT_EQ(before.size(), after.size());
    // Above the baseline of the marked characters nothing changed; below it
    // the underline in its colour.
    QTextCursor at(e.editor.document());
    at.setPosition(3);
    const QRect from = e.editor.cursorRect(at);
    at.setPosition(7);
    const int right = e.editor.cursorRect(at).left();
    const int baseline = from.top() + e.editor.fontMetrics().ascent();
    int changedAbove = 0, underline = 0;
    for (int y = 0; y < after.height(); ++y)
        for (int x = 0; x < after.width(); ++x) {
            if (before.pixel(x, y) == after.pixel(x, y)) continue;
            const bool inside = x >= from.left() && x <= right && y > baseline && y <= from.bottom();
            if (inside)
                ++underline;
            else
                ++changedAbove;
        }
    EXPECT_EQ(changedAbove, 0);
    EXPECT_GT(underline, 10);
}

TEST(ProblemMarks, FollowEditsAndTellTheirMessages) {
    Editor e;
    e.editor.setPlainText("c4 v100 c4\nw9 c1");
    ProblemMarks marks(&e.editor, 1);
    marks.setFindings({finding(1, 1, 3, 4, "the volume"), finding(1, 2, 0, 2, "the waveform"),
                       finding(1, 2, 6, 0, "at the end"), finding(1, 5, 0, 1, "a verse the editor no longer has")});
    ASSERT_EQ(marks.marks().size(), 3u);
    EXPECT_EQ(marks.markAt(2), nullptr);
    EXPECT_EQ(marks.markAt(3)->finding.message, "the volume");
    EXPECT_EQ(marks.markAt(6)->finding.message, "the volume");
    EXPECT_EQ(marks.markAt(7), nullptr);
    EXPECT_EQ(marks.markAt(16)->finding.message, "at the end");  // marks no characters: stands at the end of the line
    EXPECT_EQ(marks.messagesAt(16), "");                         // and has no tooltip

    // Typing before a mark moves it along.
    QTextCursor c(e.editor.document());
    c.insertText("l8 ");
    EXPECT_EQ(marks.markAt(6)->finding.message, "the volume");
    EXPECT_EQ(marks.markAt(14)->finding.message, "the waveform");
    EXPECT_EQ(e.editor.extraSelections()[0].cursor.selectionStart(), 6);

    marks.setFindings({});
    EXPECT_TRUE(marks.marks().empty());
    EXPECT_TRUE(e.editor.extraSelections().isEmpty());
}

TEST(ProblemMarks, TooltipOverTheMarkedCharacters) {
    Editor e;
    e.editor.setPlainText("c4 v100 c4");
    ProblemMarks marks(&e.editor, 1);
    marks.setFindings({finding(1, 1, 3, 4, "\"v100\" sets the volume to 36")});
    const auto tipAt = [&](int position) {
        QTextCursor at(e.editor.document());
        at.setPosition(position);
        const QRect r = e.editor.cursorRect(at);
        const QPoint p(r.left() + 2, r.center().y());  // inside the character after the position
        QHelpEvent help(QEvent::ToolTip, p, e.editor.viewport()->mapToGlobal(p));
        QApplication::sendEvent(e.editor.viewport(), &help);
        return QToolTip::isVisible() ? QToolTip::text() : QString();
    };
    // Before any tip shows (a tip hides only after a moment).
    EXPECT_EQ(tipAt(0), "");
    EXPECT_EQ(tipAt(8), "");
    EXPECT_EQ(tipAt(4), "\"v100\" sets the volume to 36");
}

TEST(EditorMarks, LayersLeaveEachOtherAlone) {
    QPlainTextEdit editor;
    editor.setPlainText("c4 d4 e4");
    const auto selection = [&](int from, int to) {
        QTextEdit::ExtraSelection s;
        s.cursor = QTextCursor(editor.document());
        s.cursor.setPosition(from);
        s.cursor.setPosition(to, QTextCursor::KeepAnchor);
        return s;
    };
    EditorMarks& marks = EditorMarks::of(&editor);
    EXPECT_EQ(&EditorMarks::of(&editor), &marks);
    marks.set(EditorMarks::Problems, {selection(3, 5)});
    marks.set(EditorMarks::Playhead, {selection(0, 2)});
    QList<QTextEdit::ExtraSelection> all = editor.extraSelections();
    ASSERT_EQ(all.size(), 2);
    EXPECT_EQ(all[0].cursor.selectionStart(), 0);  // the playhead first: the problems draw over it
    EXPECT_EQ(all[1].cursor.selectionStart(), 3);
    marks.set(EditorMarks::Playhead, {});
    all = editor.extraSelections();
    ASSERT_EQ(all.size(), 1);
    EXPECT_EQ(all[0].cursor.selectionStart(), 3);
}

}  // namespace
}  // namespace bleeptone
