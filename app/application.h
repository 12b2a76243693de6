#pragma once
// Start-up, the wiring of window, loop and engine, and shut-down.

#include <QObject>
#include <QString>

#include <memory>
#include <optional>
#include <vector>

#include "app/app_state.h"
#include "engine/output.h"

namespace bleeptone {

class AppCommands;
class Audition;
class MidiCommands;
class Autosave;
class PlaybackView;
class SongViewLink;
class RecentFiles;
class WindowFields;
class Dialogs;
class Dispatcher;
class Document;
class SongCommands;
class TuneProblems;
class UndoHistory;
class InfoBarUpdater;
class AuxWindows;
class Engine;
class EnginePump;
class MainWindow;

// Where recovery copies of unsaved work live:
// QStandardPaths::AppLocalDataLocation + "/recovery".
QString recoveryFolder();

// The display check: the displays are looked at from the last to the first,
// and the first at least 768 pixels high passes.
bool displayCheckPasses(const std::vector<int>& screenHeights);

class Application : public QObject {
    Q_OBJECT
public:
    struct Options {
        std::vector<int> screenHeights;  // empty: ask Qt for the screens
        AudioBackend audio = AudioBackend::PortAudio;
        OutputFactory outputFactory;  // empty: the program's own
        QString recoveryDir;          // empty: the standard place for recovery copies
        int autosaveDelayMs = 10000;  // how long after a change the recovery copy follows
    };

    // dialogs: where message boxes go (the program's, or a test's).
    explicit Application(Dialogs& dialogs);
    ~Application() override;

    // Start-up in order: display check, engine, state, window. False when
    // the program must end at once (the display check failed).
    bool start(const Options& options);
    // Shut-down: the engine stops (finishing a recording first).
    void shutdown();

    MainWindow& window() { return *window_; }
    Dispatcher& dispatcher() { return *dispatcher_; }
    Engine& engine() { return *engine_; }
    AppState& state() { return state_; }
    Document& document() { return *document_; }
    SongCommands& song() { return *song_; }
    InfoBarUpdater& infoBarUpdater() { return *infoBarUpdater_; }
    AuxWindows& auxWindows() { return *aux_; }
    Autosave& autosave() { return *autosave_; }
    RecentFiles& recentFiles() { return *recent_; }
    PlaybackView& playback() { return *playback_; }
    // The tune checks' findings (with the frames they first play at).
    TuneProblems& problems() { return *problems_; }
    MidiCommands& midi() { return *midi_; }
    SongViewLink& songView() { return *songView_; }
    UndoHistory& history() { return *history_; }
    Audition& audition() { return *audition_; }

    // Documents the desktop asks to open (tab-separated when several).
    void openDocuments(const QString& paths);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    Dialogs& dialogs_;
    AppState state_;
    std::unique_ptr<Engine> engine_;
    std::unique_ptr<MainWindow> window_;
    std::unique_ptr<Dispatcher> dispatcher_;
    std::unique_ptr<Document> document_;
    std::unique_ptr<SongCommands> song_;
    InfoBarUpdater* infoBarUpdater_ = nullptr;  // owned by the window
    PlaybackView* playback_ = nullptr;           // owned by the window
    TuneProblems* problems_ = nullptr;           // owned by the window
    SongViewLink* songView_ = nullptr;           // owned by the window
    UndoHistory* history_ = nullptr;             // owned by the window
    Audition* audition_ = nullptr;               // owned by the window
    std::unique_ptr<AuxWindows> aux_;
    std::unique_ptr<WindowFields> fields_;
    std::unique_ptr<RecentFiles> recent_;
    std::unique_ptr<Autosave> autosave_;
    std::unique_ptr<MidiCommands> midi_;
    std::unique_ptr<AppCommands> commands_;
    std::unique_ptr<EnginePump> pump_;
};

// The program with its window: bleeptone [PROJECT.mmlp] [--audio portaudio|null] [--screenshot FILE.png]
int runWindow(int argc, char** argv);

}  // namespace bleeptone
