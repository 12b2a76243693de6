#pragma once
// The program's text editors: project info, the four channel editors, and
// the documents of the Help and PSG Module windows.

#include <QPlainTextEdit>
#include <QTextEdit>

class QAction;
class QMenu;

namespace bleeptone {

// A plain-text editor whose context menu starts with the program's shared
// "Play" item and any items added after it (those visible), then a separator.
class TextEditor : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit TextEditor(QAction* playItem, QWidget* parent = nullptr) : QPlainTextEdit(parent), items_{playItem} {}
    void addContextItem(QAction* item) { items_.append(item); }
    // The context menu's Undo and Redo become these (the document's own
    // history rather than the editor's).
    void setUndoItems(QAction* undo, QAction* redo) {
        undo_ = undo;
        redo_ = redo;
    }
    // The menu a right-click at pos (in the viewport) opens; the caller owns it.
    QMenu* contextMenu(QPoint pos);

signals:
    // Around every paste or drop into the editor.
    void pasteStarted();
    void pasteFinished();

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;
    void insertFromMimeData(const QMimeData* source) override;

private:
    QList<QAction*> items_;
    QAction* undo_ = nullptr;
    QAction* redo_ = nullptr;
};

// A read-only rich-text document (Help, PSG Module) whose context menu starts
// with the same "Play" item, shown and hidden with the editors' one.
class DocumentView : public QTextEdit {
    Q_OBJECT
public:
    explicit DocumentView(QAction* playItem, QWidget* parent = nullptr) : QTextEdit(parent), playItem_(playItem) {}
    QMenu* contextMenu(QPoint pos);

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    QAction* playItem_;
};

// A channel editor: what the user types, pastes or drops arrives with every
// character MML has no use for already turned into "?", so the typing and
// the replacement are one undo step.
class MmlEditor : public TextEditor {
    Q_OBJECT
public:
    // Its document is laid out by MmlDocumentLayout.
    explicit MmlEditor(QAction* playItem, QWidget* parent = nullptr);

signals:
    // A key has reached the editor.
    void keyArrived();
    // The editor took a key that types (a character, no Ctrl, Alt or Meta).
    void typed();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;
    void insertFromMimeData(const QMimeData* source) override;
};

}  // namespace bleeptone
