#pragma once
// The info-bar step after every handled event: bars under editors without
// the focus go blank and those editors drop their selections (unless the
// Play button has the focus); the bar under the focused editor is drawn when
// the focus arrives, and after each key press and left mouse release in it.
// It is drawn again whenever what it shows may have changed: the editor's
// text (typed, or put there by New, Open, a demo or Paste MML), its caret,
// the channel's settings, the measure, the bar's size or the screen's pixel
// ratio. Only the caret's verse is read, never the whole editor.

#include <QFont>
#include <QImage>
#include <QObject>

#include <array>

#include "ui/info_bar.h"

namespace bleeptone {

class MainWindow;
class TuneProblems;

inline constexpr int kInfoBarWidth = 714;

class InfoBarUpdater : public QObject {
    Q_OBJECT
public:
    explicit InfoBarUpdater(MainWindow& window);
    // The end-of-iteration work; focusArrived: the iteration's event is an
    // editor getting the focus (its bar is drawn in any case).
    void step(bool focusArrived);
    // The shared image, as last drawn (at the screen's pixel ratio).
    const QImage& image() const { return image_; }
    // Where the problem at the caret comes from; the bar follows its findings.
    void setProblems(const TuneProblems* problems);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void redraw(int channel);
    // A step soon after the event being handled (coalesced).
    void scheduleStep();
    void markStale() { stale_ = true; }

    MainWindow& window_;
    const TuneProblems* problems_ = nullptr;
    QImage image_;
    QImage strip_;
    QFont font_;
    std::array<bool, 5> shown_{};  // by channel 1..4: the bar shows a picture
    InfoBarContent drawn_;         // what the shared image shows
    bool stale_ = true;            // something the focused bar shows may have changed
    bool stepScheduled_ = false;
};

}  // namespace bleeptone
