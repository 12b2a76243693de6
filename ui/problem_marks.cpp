#include "ui/problem_marks.h"

#include <QHelpEvent>
#include <QPlainTextEdit>
#include <QTextBlock>
#include <QToolTip>

#include <algorithm>

#include "ui/editor_marks.h"

namespace bleeptone {

const QColor ProblemMarks::kUnderlineColour(224, 96, 0);

ProblemMarks::ProblemMarks(QPlainTextEdit* editor, int channel) : QObject(editor), editor_(editor), channel_(channel) {
    editor_->viewport()->installEventFilter(this);
}

QTextCharFormat ProblemMarks::underlineFormat() {
    QTextCharFormat f;
    f.setUnderlineStyle(QTextCharFormat::WaveUnderline);
    f.setUnderlineColor(kUnderlineColour);
    return f;
}

void ProblemMarks::setFindings(const TuneFindings& findings) {
    marks_.clear();
    QList<QTextEdit::ExtraSelection> selections;
    QTextDocument* doc = editor_->document();
    const QTextCharFormat format = underlineFormat();
    for (const TuneFinding& f : findings) {
        if (f.place.channel != channel_ || f.place.verse < 1) continue;
        const QTextBlock line = doc->findBlockByNumber(f.place.verse - 1);
        if (!line.isValid()) continue;
        const int lineLength = line.length() - 1;  // without its line break
        const int column = std::clamp(f.place.column, 0, lineLength);
        const int length = std::clamp(f.length, 0, lineLength - column);
        QTextCursor cursor(doc);
        cursor.setPosition(line.position() + column);
        cursor.setPosition(line.position() + column + length, QTextCursor::KeepAnchor);
        marks_.push_back({f, cursor});
        if (length > 0) selections.append({cursor, format});
    }
    EditorMarks::of(editor_).set(EditorMarks::Problems, selections);
}

const ProblemMarks::Mark* ProblemMarks::markAt(int position) const {
    for (const Mark& m : marks_) {
        const int from = m.cursor.selectionStart(), to = m.cursor.selectionEnd();
        if (from == to ? position == from : position >= from && position < to) return &m;
    }
    return nullptr;
}

QString ProblemMarks::messagesAt(int position) const {
    QStringList messages;
    for (const Mark& m : marks_) {
        const int from = m.cursor.selectionStart(), to = m.cursor.selectionEnd();
        if (from < to && position >= from && position < to) messages << m.finding.message;
    }
    return messages.join('\n');
}

bool ProblemMarks::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::ToolTip || marks_.empty()) return QObject::eventFilter(watched, event);
    auto* help = static_cast<QHelpEvent*>(event);
    // The character under the pointer, not the gap nearest to it.
    const QTextCursor at = editor_->cursorForPosition(help->pos());
    const QRect caret = editor_->cursorRect(at);
    const int position = at.position() - (help->pos().x() < caret.left() ? 1 : 0);
    const QString text = messagesAt(position);
    if (text.isEmpty()) {
        QToolTip::hideText();
        event->ignore();
    } else {
        QToolTip::showText(help->globalPos(), text, editor_->viewport());
    }
    return true;
}

}  // namespace bleeptone
