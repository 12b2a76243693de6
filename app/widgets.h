#pragma once
// The few widgets the window needs beyond Qt's own.

#include <QImage>
#include <QPlainTextEdit>
#include <QSpinBox>
#include <QWidget>

class QAction;

namespace bleeptone {

// A spin box that tells arrow steps (buttons, arrow keys, wheel) apart from typing.
class ArrowSpinBox : public QSpinBox {
    Q_OBJECT
public:
    using QSpinBox::QSpinBox;
    void stepBy(int steps) override;

signals:
    void arrowStepped(bool up);
};

// Shows one image stretched to fill the view in both directions.
class ImageView : public QWidget {
    Q_OBJECT
public:
    using QWidget::QWidget;
    void setImage(const QImage& image);
    void clearImage();
    const QImage& image() const { return image_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage image_;
};

// A plain-text editor whose context menu starts with the program's shared
// "Play" item (when that item is visible) and a separator.
class TextEditor : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit TextEditor(QAction* playItem, QWidget* parent = nullptr) : QPlainTextEdit(parent), playItem_(playItem) {}

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
    using TextEditor::TextEditor;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;
    void insertFromMimeData(const QMimeData* source) override;
};

}  // namespace bleeptone
