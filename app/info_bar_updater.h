#pragma once
// The info-bar step after every handled event: bars under editors without
// the focus go blank and those editors drop their selections (unless the
// Play button has the focus); the bar under the focused editor is redrawn
// when the focus arrives, and after each key press and left mouse release
// in it.

#include <QImage>
#include <QObject>

namespace bleeptone {

class MainWindow;

inline constexpr int kInfoBarWidth = 714;

class InfoBarUpdater : public QObject {
    Q_OBJECT
public:
    explicit InfoBarUpdater(MainWindow& window);
    void step(bool redrawFocused);
    const QImage& image() const { return image_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void redraw(int channel);

    MainWindow& window_;
    QImage image_;
    QImage strip_;
};

}  // namespace bleeptone
