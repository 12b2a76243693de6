#pragma once
// The main thread's loop: every menu command, control event, window close,
// open-documents request and engine event is one iteration: dispatched to
// the command that carries it out, then followed by the end-of-iteration
// work in a fixed order (info bars, enable groups, window closing, the quit
// decision). A command that needs another posts it; it runs in a later
// iteration.

#include <QObject>
#include <QString>

#include <deque>
#include <functional>

#include "app_event.h"
#include "app_state.h"

namespace bleeptone {

class Dialogs;
class MainWindow;

// The commands other parts of the program provide. One that is not set
// does nothing.
struct Commands {
    std::function<void()> about, newProject, open, save, saveAs, recordToWave, help, psgModule;
    std::function<void(int demo)> loadDemo;              // 1..4
    std::function<void(const QString& path)> openPath;   // the pending documents
    std::function<void()> play, stop, copyMml, pasteMml, copyModule;
    std::function<void(int control)> markEdited;         // a user change in the main window
    std::function<void(std::int64_t data)> engineEvent;  // -1, -2 or a "*" number
    std::function<void(const AppEvent& event)> infoBarStep;  // after every event
    std::function<void()> stopClock;
    std::function<void(int window)> closeWindow;         // windows 1..3
    std::function<void(const QString& url)> openUrl;
};

// The tempo box's arrows skip the codes without a tempo of their own:
// they walk 0, 6, 9, 10, ... 15. shown is the value after the step.
int tempoAfterStep(int shown, bool up);

class Dispatcher : public QObject {
    Q_OBJECT
public:
    Dispatcher(MainWindow& window, Dialogs& dialogs, AppState& state);

    // An event from the user, the desktop or the engine: handled at once, or
    // right after the iteration that is running (a modal box may be open).
    void submit(const AppEvent& event);
    // An event the program posts to itself: handled in a later iteration.
    void post(const AppEvent& event);

    Commands& commands() { return commands_; }
    AppState& state() { return state_; }
    // Called when the quit flag ends the loop.
    void setLeaveLoop(std::function<void()> leave) { leaveLoop_ = std::move(leave); }

private:
    void iterate(const AppEvent& event);
    void dispatch(const AppEvent& event);
    void dispatchMenu(int item);
    void dispatchControl(int number, ControlEventType type);
    void refreshEnableGroups();
    void closeWindow(int window);

    MainWindow& window_;
    Dialogs& dialogs_;
    AppState& state_;
    Commands commands_;
    std::function<void()> leaveLoop_;
    std::deque<AppEvent> pending_;
    bool busy_ = false;
};

}  // namespace bleeptone
