#pragma once
// The window's text editors: project info and the four channel editors.

#include <QPlainTextEdit>

class QAction;

namespace bleeptone {

// A plain-text editor whose context menu starts with the program's shared
// "Play" item and any items added after it (those visible), then a separator.
class TextEditor : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit TextEditor(QAction* playItem, QWidget* parent = nullptr) : QPlainTextEdit(parent), items_{playItem} {}
    void addContextItem(QAction* item) { items_.append(item); }

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    QList<QAction*> items_;
};

// A channel editor: what the user types, pastes or drops arrives with every
// character MML has no use for already turned into "?", so the typing and
// the replacement are one undo step.
class MmlEditor : public TextEditor {
    Q_OBJECT
public:
    // Its document is laid out by MmlDocumentLayout.
    explicit MmlEditor(QAction* playItem, QWidget* parent = nullptr);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;
    void insertFromMimeData(const QMimeData* source) override;
};

}  // namespace bleeptone
