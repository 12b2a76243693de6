#pragma once
// MML colouring of the channel editors: command letters and symbols blue,
// modifiers black, numbers grey, notes and the rest dark red; every
// character MML has no use for becomes "?". The rule itself (classes and
// colours) is song/mml_colours.h.

#include <QColor>
#include <QPlainTextDocumentLayout>
#include <QSyntaxHighlighter>
#include <QTextCharFormat>

#include <array>
#include <optional>
#include <utility>

#include "song/mml_colours.h"

class QPlainTextEdit;
class QTextBlock;
class QTextDocument;

namespace bleeptone {

// A colour from its packed value: red in bits 0..7, green 8..15, blue 16..23, alpha 24..31.
QColor colourFromPacked(quint32 packed);

struct MmlColours {
    QColor base = colourFromPacked(kMmlBaseColour);
    QColor command = colourFromPacked(kMmlCommandColour);
    QColor modifier = colourFromPacked(kMmlModifierColour);
    QColor number = colourFromPacked(kMmlNumberColour);
};

// Colours a document; only changed blocks are recoloured, and colours never
// enter the undo history.
//
// Given the editor that shows the document (which does not wrap, in a font
// whose characters are all equally wide), a verse longer than
// kWholeVerseLimit is coloured only in a window of columns around those the
// editor shows, and in the base colour outside it; the window follows the
// view whenever it scrolls or grows. What the editor shows is the same, but
// a keystroke in a verse of 20,000 characters does not hand the editor
// thousands of colour runs to lay out and draw (each run is a separate piece
// of text for Qt's layout, and every keystroke lays out the whole verse).
class MmlHighlighter : public QSyntaxHighlighter {
    Q_OBJECT
public:
    // Colours every verse whole.
    explicit MmlHighlighter(QTextDocument* document);
    explicit MmlHighlighter(QPlainTextEdit* editor);

    static constexpr int kWholeVerseLimit = 512;
    // Windows start and end on multiples of kWindowGrid columns and reach at
    // least kWindowMargin columns beyond those shown.
    static constexpr int kWindowGrid = 32;
    static constexpr int kWindowMargin = 16;

    // The columns [first, last) of the block's verse that carry their colours.
    static std::pair<int, int> colouredColumns(const QTextBlock& block);

protected:
    void highlightBlock(const QString& text) override;
    bool eventFilter(QObject* watched, QEvent* event) override;  // the editor's view grows

private:
    // The columns the editor shows, or none when it cannot tell.
    std::optional<std::pair<int, int>> shownColumns() const;
    // Recolours the shown verses whose windows do not cover what is shown.
    void followView();

    QPlainTextEdit* editor_ = nullptr;
    MmlColours colours_;
    std::array<QTextCharFormat, 4> formats_;  // base, command, modifier, number
    bool following_ = false;
};

// The document layout of the channel editors. New colours of a verse report
// the whole verse as changed (a format change counts its length as removed
// and as added), and Qt's plain-text layout takes such a change for one
// that reaches into the verses below: it drops their layouts and repaints
// the whole view, on every keystroke. Here a change within one verse that
// leaves the number of verses as it was lays out and repaints that verse
// alone.
class MmlDocumentLayout : public QPlainTextDocumentLayout {
    Q_OBJECT
public:
    using QPlainTextDocumentLayout::QPlainTextDocumentLayout;

protected:
    void documentChanged(int from, int removed, int added) override;

private:
    int blockCount_ = -1;
};

// The text with every character MML has no use for turned into "?" (each
// UTF-16 unit: a character outside the Basic Multilingual Plane gives "??").
QString sanitizeMml(const QString& text);

// Replaces every invalid character in [from, from + count) of the editor's
// text by "?", keeping the editor's selection. With joinUndo the
// replacement joins the previous undo step (the user's own edit). Returns
// whether anything was replaced.
bool replaceInvalidMml(QPlainTextEdit* editor, int from, int count, bool joinUndo);

// Colouring for one channel editor: the highlighter, and the "?" replacement
// after each user edit (of just the characters the edit inserted).
class MmlEditorColouring : public QObject {
    Q_OBJECT
public:
    explicit MmlEditorColouring(QPlainTextEdit* editor);
    // After a user edit: replace what it inserted. Returns whether anything was replaced.
    bool afterUserEdit();
    // After the program set the text: forget the edit ranges and replace
    // throughout (not an undo step of the user's).
    void colourAll();

private:
    QPlainTextEdit* editor_;
    int changedFrom_ = -1;
    int changedTo_ = -1;
};

}  // namespace bleeptone
