#include "ui/image_view.h"

#include <QPainter>

namespace bleeptone {

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

}  // namespace bleeptone
