#include "app/app_commands.h"

#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QSettings>
#include <QTextEdit>
#include <QUrl>

#include "app/autosave.h"
#include "app/dialogs.h"
#include "app/document.h"
#include "app/export_command.h"
#include "app/info_bar_updater.h"
#include "app/main_window.h"
#include "app/midi_commands.h"
#include "app/playback_view.h"
#include "app/recent_files.h"
#include "app/song_commands.h"
#include "app/song_view_link.h"
#include "app/tune_problems.h"
#include "app/undo_history.h"
#include "app/web_page_export.h"
#include "ui/aux_windows.h"

namespace bleeptone {

AppCommands::AppCommands(MainWindow& window, Dialogs& dialogs, Document& document, SongCommands& song,
                         InfoBarUpdater& infoBars, AuxWindows& aux, Autosave& autosave, RecentFiles& recent,
                         PlaybackView& playback, TuneProblems& problems, MidiCommands& midi, SongViewLink& songView,
                         UndoHistory& history)
    : window_(window),
      dialogs_(dialogs),
      document_(document),
      song_(song),
      infoBars_(infoBars),
      aux_(aux),
      autosave_(autosave),
      recent_(recent),
      playback_(playback),
      problems_(problems),
      midi_(midi),
      songView_(songView),
      history_(history) {}

AppCommands::~AppCommands() = default;

void AppCommands::about() { aux_.openAbout(&window_); }
void AppCommands::newProject() { document_.newProject(); }
void AppCommands::open() { document_.open(); }
void AppCommands::openPath(const QString& paths) { document_.openPath(paths); }
void AppCommands::save() { document_.save(); }
void AppCommands::saveAs() { document_.saveAs(); }
void AppCommands::loadDemo(int demo) { document_.loadDemo(demo); }
void AppCommands::recordToWave() { song_.recordToWave(); }
void AppCommands::exportAudio() {
    if (!exporter_) exporter_ = std::make_unique<AudioExporter>(window_, dialogs_, document_);
    exporter_->exportAudio();
}

void AppCommands::exportMidi() { midi_.exportMidi(); }
void AppCommands::importMidi() { midi_.importMidi(); }
void AppCommands::chooseMidiInput(int port) { midi_.chooseInput(port); }
void AppCommands::midiNote(int note, int velocity) { midi_.notePlayed(note, velocity); }
void AppCommands::exportWebPage() { bleeptone::exportWebPage(window_, dialogs_, document_); }

void AppCommands::openRecent(int index) {
    if (index < 0 || index >= recent_.files().size()) return;
    // As a file the desktop asks to open (the question first).
    document_.openPath(recent_.files()[index]);
}

void AppCommands::clearRecent() { recent_.clear(); }

void AppCommands::editField(int item) {
    // Undo and Redo act on the whole document; the others on the focused field.
    if (item == menu::Undo) return history_.undo();
    if (item == menu::Redo) return history_.redo();
    if (item == menu::Cut) history_.nameNextStep("Cut");
    window_.editFocusedField(item);
}
void AppCommands::nextProblem() { problems_.next(); }
void AppCommands::previousProblem() { problems_.previous(); }
void AppCommands::showProblems() { problems_.showWindow(); }
void AppCommands::goToProblem(int index) {
    if (index >= 0) problems_.goTo(static_cast<std::size_t>(index));
}

void AppCommands::rememberOption(int item, bool on) { QSettings().setValue(optionKey(item), on); }
void AppCommands::play() { song_.play(); }
void AppCommands::playFromHere() { song_.playFromHere(); }
void AppCommands::showOscilloscope(bool shown) { playback_.showOscilloscope(shown); }
void AppCommands::showSongView(bool shown) { songView_.show(shown); }
void AppCommands::loopPlaybackChanged() { song_.loopPlaybackChanged(); }
void AppCommands::goToPlace(int channel, int verse, int column) { songView_.goTo(channel, verse, column); }
void AppCommands::playFromMoment(std::uint64_t frame) { song_.playFromMoment(frame); }
void AppCommands::setLoopRange(std::uint64_t start, std::uint64_t end) { song_.setLoopRange(start, end); }
void AppCommands::stop() { song_.stop(); }
void AppCommands::copyMml() { song_.copyMml(); }
void AppCommands::pasteMml() { song_.pasteMml(); }
void AppCommands::help() { aux_.openHelp(&window_); }
void AppCommands::psgModule() { aux_.openModule(&window_); }

void AppCommands::copyModule() {
    const DocumentWindow* module = aux_.module();
    QApplication::clipboard()->setText(module ? module->editor()->toPlainText() : QString());
    dialogs_.information("The PSG Module has been copied to the clipboard.");
}

void AppCommands::openUrl(const QString& url) {
    if (!url.isEmpty()) QDesktopServices::openUrl(QUrl(url));
}

void AppCommands::markEdited(int control) {
    history_.noteChange(control);
    document_.followHistory(history_.documentEdited());
    song_.documentChanged();
}
void AppCommands::engineEvent(std::int64_t data) { song_.engineEvent(data); }

void AppCommands::infoBarStep(const AppEvent& event) {
    infoBars_.step(event.kind == AppEvent::Kind::Control && event.type == ControlEventType::Focus);
}

void AppCommands::stopClock() { song_.stopClock(); }
void AppCommands::resumeClock() { song_.resumeClock(); }
void AppCommands::closeWindow(int window) { aux_.close(window); }
PlayState AppCommands::playState() const { return song_.playState(); }

void AppCommands::recoverWork() {
    const auto copy = autosave_.claimOrphan();
    if (!copy) return;
    switch (dialogs_.questionWithCancel(kRecoverQuestion)) {
        case Dialogs::Answer::Yes:
            if (!document_.restore(copy->projectPath, copy->documentPath, copy->title)) return autosave_.releaseClaimed();
            // The work is safe in this program's own copy before the old one goes.
            autosave_.writeNow();
            autosave_.removeClaimed();
            break;
        case Dialogs::Answer::No: autosave_.removeClaimed(); break;
        case Dialogs::Answer::Cancel: autosave_.releaseClaimed(); break;  // asked again at the next start
    }
}

}  // namespace bleeptone
