// MML colouring of the channel editors: the character classes, the four
// colours, the colours an editor shows, and the "?" that replaces what MML
// has no use for, both when the user types and when the program loads text
// (which must not become an undo step or an edit).

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextLayout>

#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "app/application.h"
#include "app/controls.h"
#include "app/dispatcher.h"
#include "app/main_window.h"
#include "app/undo_history.h"
#include "tests/program_test.h"
#include "tests/qt_printers.h"
#include "ui/mml_colouring.h"

// Readable failure messages.

namespace bleeptone {
namespace {

using testing::runPosted;
using C = MmlCharClass;

// ---------------------------------------------------------------------------
// Classes and colours.

C expectedClass(char16_t u) {
    const std::u16string kept = u"\n ?ABCDEFGabcdefg";
    const std::u16string command = u"OKLTVW\\*:oklvtw";
    const std::u16string modifier = u"R+-#<>.r";
    const std::u16string number = u"0123456789,";
    if (kept.find(u) != std::u16string::npos) return C::Kept;
    if (command.find(u) != std::u16string::npos) return C::Command;
    if (modifier.find(u) != std::u16string::npos) return C::Modifier;
    if (number.find(u) != std::u16string::npos) return C::Number;
    return C::Invalid;
}

TEST(MmlCharClasses, EveryAsciiCharacter) {
    int counts[5] = {};
    for (char16_t u = 0; u < 128; ++u) {
        EXPECT_EQ(classifyMmlChar(u), expectedClass(u)) << "character " << static_cast<int>(u);
        ++counts[static_cast<int>(classifyMmlChar(u))];
    }
    // 3 + 14 kept, 9 + 6 command, 7 + 1 modifier, 11 number.
    EXPECT_EQ(counts[static_cast<int>(C::Kept)], 17);
    EXPECT_EQ(counts[static_cast<int>(C::Command)], 15);
    EXPECT_EQ(counts[static_cast<int>(C::Modifier)], 8);
    EXPECT_EQ(counts[static_cast<int>(C::Number)], 11);
    EXPECT_EQ(counts[static_cast<int>(C::Invalid)], 128 - 17 - 15 - 8 - 11);
}

TEST(MmlCharClasses, NonAsciiIsInvalidWhateverItsLowByte) {
    const char16_t rows[] = {
        0x00A0,  // no-break space
        0x00E9,  // é
        0x0141,  // low byte 0x41 "A"
        0x014C,  // low byte 0x4C "L"
        0x0130,  // low byte 0x30 "0"
        0x010A,  // low byte 0x0A line feed
        0x0120,  // low byte 0x20 space
        0x2028,  // line separator
        0x3000,  // ideographic space
        0xFF21,  // fullwidth "A"
        0xFF4C,  // fullwidth "l"
        0xD83C, 0xDFB5,  // the two halves of a pair outside the BMP
        0xFEFF,
    };
    for (char16_t u : rows) EXPECT_EQ(classifyMmlChar(u), C::Invalid) << std::hex << static_cast<int>(u);
}

TEST(MmlColours, PackedValues) {
    const struct {
        quint32 packed;
        int r, g, b, a;
    } rows[] = {
        {0xFF0000C0, 192, 0, 0, 255},    // base
        {0xFFC00000, 0, 0, 192, 255},    // command
        {0xFF000000, 0, 0, 0, 255},      // modifier
        {0xFF808080, 128, 128, 128, 255},  // number
        {0x80332211, 0x11, 0x22, 0x33, 0x80},
        {0x00FFFFFF, 255, 255, 255, 0},
    };
    for (const auto& r : rows) {
        const QColor c = colourFromPacked(r.packed);
        EXPECT_EQ(c.red(), r.r) << std::hex << r.packed;
        EXPECT_EQ(c.green(), r.g) << std::hex << r.packed;
        EXPECT_EQ(c.blue(), r.b) << std::hex << r.packed;
        EXPECT_EQ(c.alpha(), r.a) << std::hex << r.packed;
    }
    const MmlColours colours;
    EXPECT_EQ(colours.base, QColor(192, 0, 0));
    EXPECT_EQ(colours.command, QColor(0, 0, 192));
    EXPECT_EQ(colours.modifier, QColor(0, 0, 0));
    EXPECT_EQ(colours.number, QColor(128, 128, 128));
}

// The colour the editor shows for the character at a position.
QColor colourAt(const QPlainTextEdit* editor, int position) {
    const QTextBlock block = editor->document()->findBlock(position);
    const int inBlock = position - block.position();
    for (const QTextLayout::FormatRange& r : block.layout()->formats())
        if (inBlock >= r.start && inBlock < r.start + r.length) return r.format.foreground().color();
    return QColor();  // not coloured
}

const QColor kRed(192, 0, 0), kBlue(0, 0, 192), kBlack(0, 0, 0), kGrey(128, 128, 128);

TEST(MmlHighlighting, ColoursOfEachCharacter) {
    const struct {
        QString text;
        std::vector<QColor> colours;  // one per character, line feeds included
    } rows[] = {
        {"l8 v+cv-ceeg4",
         {kBlue, kGrey, kRed, kBlue, kBlack, kRed, kBlue, kBlack, kRed, kRed, kRed, kRed, kGrey}},
        {"L8 V+CV-CEEG4",
         {kBlue, kGrey, kRed, kBlue, kBlack, kRed, kBlue, kBlack, kRed, kRed, kRed, kRed, kGrey}},
        {"o4 c.r\\1,2:*3\nt120 k-2 w5 #",
         {kBlue, kGrey, kRed, kRed, kBlack, kBlack, kBlue, kGrey, kGrey, kGrey, kBlue, kBlue, kGrey, kRed,
          kBlue, kGrey, kGrey, kGrey, kRed, kBlue, kBlack, kGrey, kRed, kBlue, kGrey, kRed, kBlack}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text.toStdString());
        ASSERT_EQ(static_cast<std::size_t>(row.text.size()), row.colours.size());
        QPlainTextEdit editor;
        new MmlHighlighter(editor.document());
        editor.setPlainText(row.text);
        QCoreApplication::processEvents();
        for (int i = 0; i < row.text.size(); ++i) {
            if (row.text[i] == '\n') continue;  // the line break belongs to no block's text
            EXPECT_EQ(colourAt(&editor, i), row.colours[static_cast<std::size_t>(i)])
                << "at " << i << " '" << QString(row.text[i]).toStdString() << "'";
        }
        EXPECT_EQ(editor.toPlainText(), row.text);  // colouring alone changes no text
    }
}

// ---------------------------------------------------------------------------
// The channel editors of the real window.

// Key presses carrying these characters (QTest::keyClicks knows only ASCII).
void typeText(QWidget* w, const QString& text) {
    for (QChar c : text) {
        if (c.unicode() < 128) QTest::keyClick(w, c.toLatin1());
        else QTest::sendKeyEvent(QTest::Click, w, Qt::Key_unknown, QString(c), Qt::NoModifier);
    }
}

class EditorColouring : public testing::ProgramTest {
protected:
    void SetUp() override {
        ProgramTest::SetUp();
        dialogs.forbidden = {"error"};
        startProgram(true);
    }

    QPlainTextEdit* editor(int number) { return static_cast<QPlainTextEdit*>(controls().widget(number)); }
    QPlainTextEdit* focusedEditor(int number) {
        QPlainTextEdit* e = editor(number);
        e->setFocus();
        QCoreApplication::processEvents();
        return e;
    }
};

TEST_F(EditorColouring, TypedCharactersMmlHasNoUseForBecomeQuestionMarks) {
    const struct {
        int editor;
        QString typed;
        QString shown;
    } rows[] = {
        {18, "h", "?"},
        {31, ";", "?"},
        {44, "cdv", "cdv"},            // lower case stays lower case
        {57, "l8 C#4.r", "l8 C#4.r"},
        {18, "c h;e", "c ??e"},
        {31, "=![]", "????"},
        {44, QString::fromUtf8("\xC3\xA9"), "?"},  // é
        {57, "xyz", "???"},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.typed.toStdString());
        controls().setText(r.editor, "");
        QPlainTextEdit* e = focusedEditor(r.editor);
        typeText(e, r.typed);
        EXPECT_EQ(e->toPlainText(), r.shown);
    }
    // Tab leaves the editor (MML has no use for a tab); a pasted one becomes "?".
    controls().setText(18, "cd");
    QPlainTextEdit* e = focusedEditor(18);
    e->moveCursor(QTextCursor::End);
    QTest::keyClick(e, Qt::Key_Tab);
    EXPECT_FALSE(e->hasFocus());
    EXPECT_EQ(e->toPlainText(), "cd");
    e->setFocus();
    e->insertPlainText("\te");
    EXPECT_EQ(e->toPlainText(), "cd?e");
    // The question mark stays in the base colour like the notes.
    EXPECT_EQ(colourAt(e, 2), kRed);
}

TEST_F(EditorColouring, OtherFieldsKeepWhatIsTyped) {
    QTest::keyClicks(focusedEditor(69), "Title; h");
    EXPECT_EQ(controls().text(69), "Title; h");
    auto* verse = static_cast<QLineEdit*>(controls().widget(17));
    verse->setFocus();
    verse->clear();
    QTest::keyClicks(verse, "A;b");
    EXPECT_EQ(verse->text(), "A;b");
}

TEST_F(EditorColouring, CharacterOutsideTheBmpBecomesTwoQuestionMarks) {
    QPlainTextEdit* e = focusedEditor(31);
    QTextCursor cursor = e->textCursor();
    cursor.insertText(QString::fromUtf8("c\xF0\x9F\x8E\xB5" "d"));  // c, U+1F3B5, d
    EXPECT_EQ(e->toPlainText(), "c??d");
}

TEST_F(EditorColouring, UndoTakesTheTypingAndTheReplacementTogether) {
    controls().setText(44, "cde");
    QPlainTextEdit* e = focusedEditor(44);
    e->moveCursor(QTextCursor::End);
    QTest::keyClicks(e, "h");
    ASSERT_EQ(e->toPlainText(), "cde?");
    // One step of the document's history, not two.
    EXPECT_EQ(app->history().stack().count(), 1);
    EXPECT_EQ(window().menuItem(menu::Undo)->text(), "&Undo Typing");
    QTest::keyClick(e, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(e->toPlainText(), "cde");  // never "cdeh"
    EXPECT_FALSE(app->history().stack().canUndo());
    QTest::keyClick(e, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(e->toPlainText(), "cde?");
}

TEST_F(EditorColouring, CaretAndSelectionStayAfterAReplacement) {
    controls().setText(18, "cdefg");
    QPlainTextEdit* e = focusedEditor(18);
    QTextCursor caret = e->textCursor();
    caret.setPosition(2);
    e->setTextCursor(caret);
    QTest::keyClicks(e, "h");
    EXPECT_EQ(e->toPlainText(), "cd?efg");
    EXPECT_EQ(e->textCursor().position(), 3);
    EXPECT_FALSE(e->textCursor().hasSelection());

    // A backwards selection, and an insertion after it by another cursor.
    QTextCursor selection = e->textCursor();
    selection.setPosition(4);
    selection.setPosition(1, QTextCursor::KeepAnchor);
    e->setTextCursor(selection);
    QTextCursor other(e->document());
    other.movePosition(QTextCursor::End);
    other.insertText("x;");
    EXPECT_EQ(e->toPlainText(), "cd?efg??");
    EXPECT_EQ(e->textCursor().anchor(), 4);
    EXPECT_EQ(e->textCursor().position(), 1);
}

// A long verse carries its colours around what the editor shows (the rest
// stays in the base colour), wherever the view goes.
TEST_F(EditorColouring, LongVerseIsColouredWhereTheViewIs) {
    auto expected = [](QChar ch) {
        switch (classifyMmlChar(ch.unicode())) {
            case C::Command: return kBlue;
            case C::Modifier: return kBlack;
            case C::Number: return kGrey;
            default: return kRed;
        }
    };
    const QString verse = QString("T120O4L8V40 CDEF GAB>C <B-AGF# EDC4. R8 \\3W2 ").repeated(130);
    controls().setText(18, verse);
    window().colourAllEditors();
    QPlainTextEdit* e = focusedEditor(18);
    const struct {
        Qt::Key key;
        int from, to;  // characters that must show their own colours
    } rows[] = {
        {Qt::Key_End, static_cast<int>(verse.size()) - 60, static_cast<int>(verse.size())},
        {Qt::Key_Home, 0, 60},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.from);
        QTest::keyClick(e, r.key);
        runPosted();
        const auto [first, last] = MmlHighlighter::colouredColumns(e->document()->firstBlock());
        EXPECT_LT(last - first, 1000) << "only a window of the verse is coloured";
        ASSERT_LE(first, r.from);
        ASSERT_GE(last, r.to);
        for (int i = r.from; i < r.to; ++i) ASSERT_EQ(colourAt(e, i), expected(verse[i])) << i;
        for (int i : {first - 1, last}) {
            if (i >= 0 && i < verse.size()) {
                EXPECT_EQ(colourAt(e, i), kRed) << i;
            }
        }
    }
    // Typing keeps the window and the colours.
    QTest::keyClicks(e, "v1");
    EXPECT_EQ(colourAt(e, 0), kBlue);
    EXPECT_EQ(colourAt(e, 1), kGrey);
    EXPECT_EQ(colourAt(e, 2), kBlue);
    EXPECT_EQ(e->toPlainText(), "v1" + verse);
}

// Text the program puts into the editors is coloured and cleaned at once,
// without an undo step and without marking the document edited.
TEST_F(EditorColouring, DemoLoadColoursAllEditors) {
    menu(menu::Demo1);
    EXPECT_EQ(window().title(), "Demo 1 - Bleeptone");
    EXPECT_FALSE(window().isWindowModified());
    for (int n : {18, 31, 44, 57}) {
        SCOPED_TRACE(n);
        EXPECT_FALSE(editor(n)->document()->isUndoAvailable());
    }
    // "L4 GG2..." in channel 3: L blue, 4 grey, G dark red.
    EXPECT_EQ(colourAt(editor(44), 0), kBlue);
    EXPECT_EQ(colourAt(editor(44), 1), kGrey);
    EXPECT_EQ(colourAt(editor(44), 3), kRed);
    // Second verse starts "B-B-2": the minus is black.
    const int verse2 = editor(44)->document()->findBlockByNumber(1).position();
    EXPECT_EQ(colourAt(editor(44), verse2 + 1), kBlack);
    EXPECT_EQ(colourAt(editor(18), 0), kBlue);
}

TEST_F(EditorColouring, OpenedFileIsCleanedWithoutUndoStepOrEditMark) {
    QFile f(QString::fromStdString(path("Tab.mmlp")));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("\xEF\xBB\xBF\n[Version]\nVersionNumber = 1.0.0\n[Settings]\n3 = 12\n1 = 2\n"
            "8 = 0\n10 = 4\n12 = 40\n14 = 0\n17 = A\n18 = c\td;e\xC3\xA9" "f\n"
            "21 = 0\n23 = 4\n25 = 40\n27 = 0\n30 = B\n31 = l8 cd\n");
    f.close();
    dialogs.panelPaths.push_back(f.fileName());
    menu(menu::Open);
    EXPECT_EQ(window().title(), "Tab - Bleeptone");
    EXPECT_FALSE(window().isWindowModified());
    EXPECT_EQ(editor(18)->toPlainText(), "c?d\ne?f");
    EXPECT_EQ(editor(31)->toPlainText(), "l8 cd");
    EXPECT_FALSE(editor(18)->document()->isUndoAvailable());
    EXPECT_FALSE(app->history().stack().canUndo());
    EXPECT_EQ(colourAt(editor(31), 0), kBlue);
    // Undo in that editor has nothing to take back.
    QPlainTextEdit* e = focusedEditor(18);
    QTest::keyClick(e, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(e->toPlainText(), "c?d\ne?f");
    EXPECT_EQ(window().title(), "Tab - Bleeptone");
    EXPECT_FALSE(window().isWindowModified());
}

}  // namespace
}  // namespace bleeptone
