#include "ui/editor_marks.h"

#include <QPlainTextEdit>

namespace bleeptone {

EditorMarks& EditorMarks::of(QPlainTextEdit* editor) {
    if (auto* marks = editor->findChild<EditorMarks*>(QString(), Qt::FindDirectChildrenOnly)) return *marks;
    return *new EditorMarks(editor);
}

EditorMarks::EditorMarks(QPlainTextEdit* editor) : QObject(editor), editor_(editor) {}

void EditorMarks::set(Layer layer, const QList<QTextEdit::ExtraSelection>& marks) {
    if (marks.isEmpty() && layers_[layer].isEmpty()) return;
    layers_[layer] = marks;
    QList<QTextEdit::ExtraSelection> all;
    for (const auto& l : layers_) all += l;
    editor_->setExtraSelections(all);
}

}  // namespace bleeptone
