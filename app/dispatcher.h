#pragma once
// The main thread's loop: every menu command, control event, window close,
// open-documents request and engine event is one iteration: dispatched to
// the command that carries it out, then followed by the end-of-iteration
// work in a fixed order (info bars, enable groups, window closing, the quit
// decision). A command that needs another posts it; it runs in a later
// iteration.

#include <QObject>
#include <QString>

#include <cstdint>
#include <deque>
#include <functional>

#include "app/app_event.h"
#include "app/app_state.h"

namespace bleeptone {

class Dialogs;
class MainWindow;

// What the loop hands its events to: the commands the rest of the program
// carries out. The program's own set is AppCommands; tests record them.
class Commands {
public:
    virtual ~Commands() = default;
    virtual void about() = 0;
    virtual void newProject() = 0;
    virtual void open() = 0;
    virtual void openPath(const QString& paths) = 0;  // the documents the desktop asked to open (tab-separated)
    virtual void save() = 0;
    virtual void saveAs() = 0;
    virtual void loadDemo(int demo) = 0;  // 1..4
    virtual void recordToWave() = 0;
    virtual void exportAudio() = 0;
    virtual void exportMidi() = 0;
    virtual void importMidi() = 0;
    virtual void chooseMidiInput(int port) = 0;         // Play > MIDI Input: the port shown at index port, -1 none
    virtual void midiNote(int note, int velocity) = 0;  // a note played on the MIDI keyboard
    virtual void exportWebPage() = 0;
    virtual void openRecent(int index) = 0;  // File > Open Recent, the index-th file (newest 0)
    virtual void clearRecent() = 0;
    virtual void editField(int item) = 0;  // menu::Undo .. menu::SelectAll on the focused field
    // The tune checks' findings: the caret to the next or previous one, the
    // Problems window, the caret to finding `index` (chosen there).
    virtual void nextProblem() = 0;
    virtual void previousProblem() = 0;
    virtual void showProblems() = 0;
    virtual void goToProblem(int index) = 0;
    // A check item of the Play menu changed (menu::LoopPlayback ...): keep it for later runs.
    virtual void rememberOption(int item, bool on) = 0;
    virtual void showOscilloscope(bool shown) = 0;
    virtual void showSongView(bool shown) = 0;
    virtual void loopPlaybackChanged() = 0;  // Play > Loop Playback was switched
    virtual void play() = 0;
    virtual void playFromHere() = 0;
    // The song view's requests: the caret before a note (channel, verse,
    // column, all from 1 but the column); the song from a song frame; a loop
    // range [start, end) of song frames (end <= start: none).
    virtual void goToPlace(int channel, int verse, int column) = 0;
    virtual void playFromMoment(std::uint64_t frame) = 0;
    virtual void setLoopRange(std::uint64_t start, std::uint64_t end) = 0;
    virtual void stop() = 0;
    virtual void copyMml() = 0;
    virtual void pasteMml() = 0;
    virtual void help() = 0;
    virtual void psgModule() = 0;
    virtual void copyModule() = 0;
    virtual void openUrl(const QString& url) = 0;
    virtual void markEdited(int control) = 0;             // a user change in the main window
    virtual void engineEvent(std::int64_t data) = 0;      // -1, -2 or a "*" number
    virtual void infoBarStep(const AppEvent& event) = 0;  // after every event
    virtual void stopClock() = 0;
    virtual void resumeClock() = 0;  // after a quit was cancelled
    virtual void closeWindow(int window) = 0;  // windows 1..3
    virtual void recoverWork() = 0;            // offers back what a program that did not end properly left unsaved
    virtual PlayState playState() const = 0;   // what plays now
};

// The tempo box's arrows skip the codes without a tempo of their own:
// they walk 0, 6, 9, 10, ... 15. shown is the value after the step.
int tempoAfterStep(int shown, bool up);

class Dispatcher : public QObject {
    Q_OBJECT
public:
    Dispatcher(MainWindow& window, Dialogs& dialogs, AppState& state, Commands& commands);

    // An event from the user, the desktop or the engine: handled at once, or
    // right after the iteration that is running (a modal box may be open).
    void submit(const AppEvent& event);
    // An event the program posts to itself: handled in a later iteration.
    void post(const AppEvent& event);

    AppState& state() { return state_; }
    // Called when the quit flag ends the loop.
    void setLeaveLoop(std::function<void()> leave) { leaveLoop_ = std::move(leave); }

private:
    void iterate(const AppEvent& event);
    void dispatch(const AppEvent& event);
    void dispatchMenu(const AppEvent& event);
    void dispatchControl(int number, ControlEventType type);
    void refreshEnableGroups();
    void closeWindow(int window);

    MainWindow& window_;
    Dialogs& dialogs_;
    AppState& state_;
    Commands& commands_;
    std::function<void()> leaveLoop_;
    std::deque<AppEvent> pending_;
    bool busy_ = false;
};

}  // namespace bleeptone
