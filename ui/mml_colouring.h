#pragma once
// MML colouring of the channel editors: command letters and symbols blue,
// modifiers black, numbers grey, notes and the rest dark red; every
// character MML has no use for becomes "?".

#include <QColor>
#include <QSyntaxHighlighter>

class QPlainTextEdit;
class QTextDocument;

namespace bleeptone {

enum class MmlCharClass { Kept, Command, Modifier, Number, Invalid };

// Classifies one UTF-16 unit ("a".."z" count as "A".."Z").
MmlCharClass classifyMmlChar(char16_t unit);

// A colour from its packed value: red in bits 0..7, green 8..15, blue 16..23, alpha 24..31.
QColor colourFromPacked(quint32 packed);

struct MmlColours {
    QColor base = colourFromPacked(0xFF0000C0);      // (192, 0, 0): notes, blanks, "?"
    QColor command = colourFromPacked(0xFFC00000);   // (0, 0, 192)
    QColor modifier = colourFromPacked(0xFF000000);  // black
    QColor number = colourFromPacked(0xFF808080);    // grey
};

// Colours a document; only changed blocks are recoloured, and colours never
// enter the undo history.
class MmlHighlighter : public QSyntaxHighlighter {
    Q_OBJECT
public:
    explicit MmlHighlighter(QTextDocument* document);

protected:
    void highlightBlock(const QString& text) override;

private:
    MmlColours colours_;
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
