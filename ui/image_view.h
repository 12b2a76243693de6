#pragma once
// Shows one image stretched to fill the view in both directions.

#include <QImage>
#include <QWidget>

namespace bleeptone {

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

}  // namespace bleeptone
