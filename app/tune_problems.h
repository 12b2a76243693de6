#pragma once
// The tune checks in the window: they run again once the user pauses after
// an edit (as a live edit does, never on the keystroke itself) and after the
// program has put a song into the window; their findings are marked in the
// channel editors, listed in the Problems window, told in the info bar at
// the caret, and walked with Next Problem (F8) and Previous Problem
// (Shift+F8). The findings carry the frames they first play at, for the
// song view.

#include <QObject>
#include <QStringList>
#include <QTimer>

#include <array>
#include <functional>

#include "app/app_event.h"
#include "song/tune_checks.h"

namespace bleeptone {

class MainWindow;
class ProblemMarks;
class ProblemsWindow;

class TuneProblems : public QObject {
    Q_OBJECT
public:
    // post: where a choice in the Problems window goes, as a command
    // (menu::Problems with the finding's index + 1 as its data).
    TuneProblems(MainWindow& window, std::function<void(const AppEvent&)> post);
    ~TuneProblems() override;

    const TuneFindings& findings() const { return findings_; }
    // The checks run when the timer fires (a change is waiting), or now.
    bool pending() const { return timer_.isActive(); }
    void runNow();

    // The messages of the findings at a position of channel's editor (the
    // caret), one a line; empty when there is none.
    QString messageAt(int channel, int position) const;

    // From the caret of the editor or pattern field the user is in (or from
    // the start), to the next or previous finding in order of place,
    // round the end.
    void next();
    void previous();
    // Focus, and the caret at the finding (the start of what it marks), with
    // the main window in front.
    void goTo(const TuneFinding& finding);
    void goTo(std::size_t index);

    // Edit > Problems: the window, shown and in front.
    void showWindow();
    ProblemsWindow* problemsWindow() const { return problemsWindow_; }

signals:
    // New findings (after a run that changed them).
    void changed();

private:
    void schedule() { timer_.start(); }
    void step(int direction);
    // Where finding f stands now: its channel's mark follows edits made since.
    int editorPosition(const TuneFinding& f) const;

    MainWindow& window_;
    std::function<void(const AppEvent&)> post_;
    QTimer timer_;
    TuneFindings findings_;
    QStringList checked_;  // what the last run looked at: it runs again only when that changed
    std::array<ProblemMarks*, 4> marks_{};
    ProblemsWindow* problemsWindow_ = nullptr;  // made at the first Edit > Problems, owned here
};

}  // namespace bleeptone
