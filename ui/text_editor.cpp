#include "ui/text_editor.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QTextDocument>

#include "ui/mml_colouring.h"

namespace bleeptone {

namespace {

// The editor's standard context menu with the visible items at its top, then
// a separator. Without a selection the caret goes where the menu was asked
// for, so that "here" is the place clicked.
template <typename Editor>
QMenu* contextMenuWith(Editor* editor, const QList<QAction*>& items, QPoint pos) {
    if (!editor->textCursor().hasSelection()) editor->setTextCursor(editor->cursorForPosition(pos));
    QMenu* menu = editor->createStandardContextMenu(pos);
    QAction* first = menu->actions().isEmpty() ? nullptr : menu->actions().first();
    bool any = false;
    for (QAction* item : items) {
        if (!item || !item->isVisible()) continue;
        menu->insertAction(first, item);
        any = true;
    }
    if (any) menu->insertSeparator(first);
    return menu;
}

// The standard menu's item of that name (Qt names them "edit-undo" ...)
// gives its place to another.
void replaceMenuItem(QMenu* menu, const char* name, QAction* replacement) {
    if (!replacement) return;
    for (QAction* a : menu->actions()) {
        if (a->objectName() != QLatin1String(name)) continue;
        menu->insertAction(a, replacement);
        menu->removeAction(a);
        return;
    }
}

void execAndDelete(QMenu* menu, QPoint globalPos) {
    menu->exec(globalPos);
    delete menu;
}

}  // namespace

QMenu* TextEditor::contextMenu(QPoint pos) {
    QMenu* menu = contextMenuWith(this, items_, pos);
    replaceMenuItem(menu, "edit-undo", undo_);
    replaceMenuItem(menu, "edit-redo", redo_);
    return menu;
}

void TextEditor::insertFromMimeData(const QMimeData* source) {
    emit pasteStarted();
    QPlainTextEdit::insertFromMimeData(source);
    emit pasteFinished();
}
void TextEditor::contextMenuEvent(QContextMenuEvent* event) {
    execAndDelete(contextMenu(event->pos()), event->globalPos());
}

QMenu* DocumentView::contextMenu(QPoint pos) { return contextMenuWith(this, {playItem_}, pos); }
void DocumentView::contextMenuEvent(QContextMenuEvent* event) {
    execAndDelete(contextMenu(event->pos()), event->globalPos());
}

MmlEditor::MmlEditor(QAction* playItem, QWidget* parent) : TextEditor(playItem, parent) {
    auto* doc = new QTextDocument(this);
    doc->setDocumentLayout(new MmlDocumentLayout(doc));
    doc->setDefaultFont(font());
    setDocument(doc);
}

void MmlEditor::keyPressEvent(QKeyEvent* event) {
    emit keyArrived();
    const QString text = event->text();
    const QString clean = sanitizeMml(text);
    // Shortcuts (Ctrl, Alt, Meta) and keys the editor handles itself
    // (Return, Backspace...) pass as they are.
    const bool plain = !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier));
    const bool typing = !text.isEmpty() && text != clean && text[0] != '\r' && text[0] != '\b' && plain;
    if (!typing) {
        TextEditor::keyPressEvent(event);
    } else {
        QKeyEvent replaced(event->type(), event->key() == Qt::Key_Tab ? Qt::Key_Question : event->key(),
                           event->modifiers(), clean, event->isAutoRepeat(), static_cast<ushort>(event->count()));
        TextEditor::keyPressEvent(&replaced);
        event->setAccepted(replaced.isAccepted());
    }
    if (plain && !text.isEmpty() && text[0].isPrint() && event->isAccepted()) emit typed();
}

void MmlEditor::inputMethodEvent(QInputMethodEvent* event) {
    if (event->commitString().isEmpty()) return TextEditor::inputMethodEvent(event);
    QInputMethodEvent replaced(event->preeditString(), event->attributes());
    replaced.setCommitString(sanitizeMml(event->commitString()), event->replacementStart(), event->replacementLength());
    TextEditor::inputMethodEvent(&replaced);
}

void MmlEditor::insertFromMimeData(const QMimeData* source) {
    if (!source->hasText()) return;
    QMimeData clean;
    clean.setText(sanitizeMml(source->text()));
    TextEditor::insertFromMimeData(&clean);
}

}  // namespace bleeptone
