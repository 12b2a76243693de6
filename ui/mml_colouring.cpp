#include "mml_colouring.h"

#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include <algorithm>

namespace bleeptone {

MmlCharClass classifyMmlChar(char16_t unit) {
    char16_t c = unit;
    if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
    if (c == u'\n' || c == u' ' || c == u'?' || (c >= u'A' && c <= u'G')) return MmlCharClass::Kept;
    switch (c) {
        case u'O': case u'K': case u'L': case u'T': case u'V': case u'W': case u'\\': case u'*': case u':':
            return MmlCharClass::Command;
        case u'R': case u'+': case u'-': case u'#': case u'<': case u'>': case u'.':
            return MmlCharClass::Modifier;
        case u',':
            return MmlCharClass::Number;
        default:
            break;
    }
    if (c >= u'0' && c <= u'9') return MmlCharClass::Number;
    return MmlCharClass::Invalid;
}

QColor colourFromPacked(quint32 packed) {
    return QColor::fromRgbF(static_cast<float>(packed & 0xFF) / 255.0f, static_cast<float>((packed >> 8) & 0xFF) / 255.0f,
                            static_cast<float>((packed >> 16) & 0xFF) / 255.0f,
                            static_cast<float>((packed >> 24) & 0xFF) / 255.0f);
}

MmlHighlighter::MmlHighlighter(QTextDocument* document) : QSyntaxHighlighter(document) {}

void MmlHighlighter::highlightBlock(const QString& text) {
    QTextCharFormat format;
    int runStart = 0;
    QColor runColour;
    auto colourOf = [this](QChar ch) -> const QColor& {
        switch (classifyMmlChar(ch.unicode())) {
            case MmlCharClass::Command: return colours_.command;
            case MmlCharClass::Modifier: return colours_.modifier;
            case MmlCharClass::Number: return colours_.number;
            default: return colours_.base;
        }
    };
    // One format call per run of equal colour.
    for (int i = 0; i <= text.size(); ++i) {
        const bool end = i == text.size();
        const QColor colour = end ? QColor() : colourOf(text[i]);
        if (i > runStart && (end || colour != runColour)) {
            format.setForeground(runColour);
            setFormat(runStart, i - runStart, format);
            runStart = i;
        }
        if (i == runStart) runColour = colour;
    }
}

QString sanitizeMml(const QString& text) {
    QString out = text;
    for (QChar& ch : out)
        if (ch != QChar::ParagraphSeparator && classifyMmlChar(ch.unicode()) == MmlCharClass::Invalid) ch = '?';
    return out;
}

bool replaceInvalidMml(QPlainTextEdit* editor, int from, int count, bool joinUndo) {
    QTextDocument* doc = editor->document();
    const int size = doc->characterCount() - 1;
    from = std::clamp(from, 0, size);
    const int to = std::clamp(from + count, from, size);
    QTextCursor cursor(doc);
    bool replaced = false;
    const QTextCursor selection = editor->textCursor();
    const int anchor = selection.anchor(), position = selection.position();
    for (int i = 0; i < to - from; ++i) {
        // Line breaks come back as paragraph separators: they are kept.
        const QChar ch = doc->characterAt(from + i);
        if (ch == QChar::ParagraphSeparator || classifyMmlChar(ch.unicode()) != MmlCharClass::Invalid) continue;
        if (!replaced) {
            if (joinUndo) cursor.joinPreviousEditBlock();
            else cursor.beginEditBlock();
            replaced = true;
        }
        cursor.setPosition(from + i);
        cursor.setPosition(from + i + 1, QTextCursor::KeepAnchor);
        cursor.insertText(QStringLiteral("?"));
    }
    if (replaced) {
        cursor.endEditBlock();
        // Every replacement keeps the length, so the old selection still fits.
        QTextCursor restored(doc);
        restored.setPosition(anchor);
        restored.setPosition(position, QTextCursor::KeepAnchor);
        editor->setTextCursor(restored);
    }
    return replaced;
}

MmlEditorColouring::MmlEditorColouring(QPlainTextEdit* editor) : QObject(editor), editor_(editor) {
    new MmlHighlighter(editor->document());
    connect(editor->document(), &QTextDocument::contentsChange, this, [this](int position, int, int added) {
        changedFrom_ = changedFrom_ < 0 ? position : std::min(changedFrom_, position);
        changedTo_ = std::max(changedTo_, position + added);
    });
}

bool MmlEditorColouring::afterUserEdit() {
    const int from = changedFrom_, to = changedTo_;
    changedFrom_ = changedTo_ = -1;
    if (from < 0 || to <= from) return false;
    const bool replaced = replaceInvalidMml(editor_, from, to - from, true);
    changedFrom_ = changedTo_ = -1;  // the replacement's own change
    return replaced;
}

void MmlEditorColouring::colourAll() {
    changedFrom_ = changedTo_ = -1;
    // The program's text came with a fresh undo history; the replacement must
    // not become a step the user could undo.
    if (replaceInvalidMml(editor_, 0, editor_->document()->characterCount(), false))
        editor_->document()->clearUndoRedoStacks();
    changedFrom_ = changedTo_ = -1;
}

}  // namespace bleeptone
