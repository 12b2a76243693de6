#pragma once
// The program's commands: what the loop's events ask of the document, the
// song commands, the info bars and the secondary windows.

#include <memory>

#include "app/controls.h"
#include "app/dispatcher.h"

namespace bleeptone {

class AudioExporter;
class Autosave;
class AuxWindows;
class Dialogs;
class Document;
class InfoBarUpdater;
class MainWindow;
class MidiCommands;
class PlaybackView;
class RecentFiles;
class SongCommands;
class SongViewLink;
class TuneProblems;
class UndoHistory;

inline const QString kRecoverQuestion = QStringLiteral(
    "Bleeptone did not close properly last time, and some of your work was not saved. Do you want to restore it?");

// Where a check item of the Play menu is kept between runs.
inline QString optionKey(int item) {
    switch (item) {
        case menu::LoopPlayback: return "loopPlayback";
        case menu::FollowPlayback: return "followPlayback";
        case menu::SongView: return "songView";
        case menu::HearNotes: return "hearNotesWhileTyping";
        default: return "oscilloscope";
    }
}

class AppCommands : public Commands {
public:
    AppCommands(MainWindow& window, Dialogs& dialogs, Document& document, SongCommands& song, InfoBarUpdater& infoBars,
                AuxWindows& aux, Autosave& autosave, RecentFiles& recent, PlaybackView& playback,
                TuneProblems& problems, MidiCommands& midi, SongViewLink& songView, UndoHistory& history);
    ~AppCommands() override;  // cancels a running export
    AppCommands(const AppCommands&) = delete;
    AppCommands& operator=(const AppCommands&) = delete;

    void about() override;
    void newProject() override;
    void open() override;
    void openPath(const QString& paths) override;
    void save() override;
    void saveAs() override;
    void loadDemo(int demo) override;
    void recordToWave() override;
    void exportAudio() override;
    void exportMidi() override;
    void importMidi() override;
    void chooseMidiInput(int port) override;
    void midiNote(int note, int velocity) override;
    void exportWebPage() override;
    void openRecent(int index) override;
    void clearRecent() override;
    void editField(int item) override;
    void nextProblem() override;
    void previousProblem() override;
    void showProblems() override;
    void goToProblem(int index) override;
    void rememberOption(int item, bool on) override;
    void showOscilloscope(bool shown) override;
    void showSongView(bool shown) override;
    void loopPlaybackChanged() override;
    void goToPlace(int channel, int verse, int column) override;
    void playFromMoment(std::uint64_t frame) override;
    void setLoopRange(std::uint64_t start, std::uint64_t end) override;
    void play() override;
    void playFromHere() override;
    void stop() override;
    void copyMml() override;
    void pasteMml() override;
    void help() override;
    void psgModule() override;
    void copyModule() override;
    void openUrl(const QString& url) override;
    void markEdited(int control) override;
    void engineEvent(std::int64_t data) override;
    void infoBarStep(const AppEvent& event) override;
    void stopClock() override;
    void resumeClock() override;
    void closeWindow(int window) override;
    void recoverWork() override;
    PlayState playState() const override;

private:
    MainWindow& window_;
    Dialogs& dialogs_;
    Document& document_;
    SongCommands& song_;
    InfoBarUpdater& infoBars_;
    AuxWindows& aux_;
    Autosave& autosave_;
    RecentFiles& recent_;
    PlaybackView& playback_;
    TuneProblems& problems_;
    MidiCommands& midi_;
    SongViewLink& songView_;
    UndoHistory& history_;
    std::unique_ptr<AudioExporter> exporter_;  // made at the first Export Audio
};

}  // namespace bleeptone
