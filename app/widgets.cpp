#include "widgets.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QMenu>
#include <QPainter>

namespace bleeptone {

void ArrowSpinBox::stepBy(int steps) {
    QSpinBox::stepBy(steps);
    if (steps != 0) emit arrowStepped(steps > 0);
}

void ImageView::setImage(const QImage& image) {
    image_ = image;
    update();
}

void ImageView::clearImage() {
    image_ = QImage();
    update();
}

void ImageView::paintEvent(QPaintEvent*) {
    if (image_.isNull()) return;
    QPainter painter(this);
    painter.drawImage(rect(), image_);
}

void TextEditor::contextMenuEvent(QContextMenuEvent* event) {
    QMenu* menu = createStandardContextMenu(event->pos());
    if (playItem_ && playItem_->isVisible()) {
        QAction* first = menu->actions().isEmpty() ? nullptr : menu->actions().first();
        menu->insertAction(first, playItem_);
        menu->insertSeparator(first);
    }
    menu->exec(event->globalPos());
    delete menu;
}

}  // namespace bleeptone
