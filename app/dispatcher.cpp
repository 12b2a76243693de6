#include "app/dispatcher.h"

#include <QAction>

#include <algorithm>
#include <utility>

#include "app/controls.h"
#include "app/dialogs.h"
#include "app/main_window.h"

namespace bleeptone {

int tempoAfterStep(int shown, bool up) {
    if (up) {
        if (shown == 1) return 6;
        if (shown == 7) return 9;
    } else {
        if (shown == 8) return 6;
        if (shown == 5) return 0;
    }
    return shown;
}

Dispatcher::Dispatcher(MainWindow& window, Dialogs& dialogs, AppState& state, Commands& commands)
    : window_(window), dialogs_(dialogs), state_(state), commands_(commands) {}

void Dispatcher::submit(const AppEvent& event) {
    pending_.push_back(event);
    if (busy_) return;
    busy_ = true;
    while (!pending_.empty()) {
        const AppEvent next = pending_.front();
        pending_.pop_front();
        iterate(next);
    }
    busy_ = false;
}

void Dispatcher::post(const AppEvent& event) {
    QMetaObject::invokeMethod(
        this, [this, event] { submit(event); }, Qt::QueuedConnection);
}

void Dispatcher::iterate(const AppEvent& event) {
    dispatch(event);
    commands_.infoBarStep(event);
    refreshEnableGroups();
    if (event.kind == AppEvent::Kind::Close) closeWindow(event.number);
    if (state_.requests.quit && window_.isWindowModified()) {
        switch (dialogs_.questionWithCancel("Do you want to save your project before closing Bleeptone?")) {
            case Dialogs::Answer::Yes:
                // Saved where it was opened from or last saved to, else through the panel.
                state_.requests.quit = false;
                state_.requests.quitAfterSave = true;
                post(AppEvent::menu(menu::Save));
                break;
            case Dialogs::Answer::No: break;
            case Dialogs::Answer::Cancel:
                // The program keeps running as if nothing had been asked.
                state_.requests.quit = false;
                commands_.resumeClock();
                break;
        }
    }
    if (state_.requests.quit && leaveLoop_) leaveLoop_();
}

void Dispatcher::dispatch(const AppEvent& event) {
    switch (event.kind) {
        case AppEvent::Kind::Menu: dispatchMenu(event); break;
        case AppEvent::Kind::OpenDocuments: commands_.openPath(std::exchange(state_.pendingPath, {})); break;
        case AppEvent::Kind::Control: dispatchControl(event.number, event.type); break;
        case AppEvent::Kind::Engine: commands_.engineEvent(event.data); break;
        case AppEvent::Kind::RecoverWork: commands_.recoverWork(); break;
        case AppEvent::Kind::MidiNote: commands_.midiNote(event.number, static_cast<int>(event.data)); break;
        case AppEvent::Kind::GoToPlace:
            commands_.goToPlace(event.number, static_cast<int>(event.data), static_cast<int>(event.data2));
            break;
        case AppEvent::Kind::PlayFromMoment:
            // As Play from Here: while something plays, or where Play could be clicked.
            if (isPlaying(commands_.playState()) || window_.controls().isEnabled(control::PlayButton))
                commands_.playFromMoment(static_cast<std::uint64_t>(std::max<std::int64_t>(event.data, 0)));
            break;
        case AppEvent::Kind::LoopRange:
            commands_.setLoopRange(static_cast<std::uint64_t>(std::max<std::int64_t>(event.data, 0)),
                                   static_cast<std::uint64_t>(std::max<std::int64_t>(event.data2, 0)));
            break;
        case AppEvent::Kind::Close: break;  // handled at the end of the iteration
    }
}

void Dispatcher::dispatchMenu(const AppEvent& event) {
    const int item = event.number;
    // Play and Stop from the keyboard act as the buttons would: F5 plays, or
    // stops what plays; Escape stops.
    const bool playing = isPlaying(commands_.playState());
    switch (item) {
        case menu::About: commands_.about(); break;
        case menu::Quit: state_.requests.quit = true; break;
        case menu::New: commands_.newProject(); break;
        case menu::Open: commands_.open(); break;
        case menu::Save: commands_.save(); break;
        case menu::SaveAs: commands_.saveAs(); break;
        case menu::CopyMml: post(AppEvent::control(control::CopyMmlButton)); break;
        case menu::PasteMml: post(AppEvent::control(control::PasteMmlButton)); break;
        case menu::RecordToWave: commands_.recordToWave(); break;
        case menu::ExportAudio: commands_.exportAudio(); break;
        case menu::ExportMidi: commands_.exportMidi(); break;
        case menu::ImportMidi: commands_.importMidi(); break;
        case menu::MidiInput: commands_.chooseMidiInput(static_cast<int>(event.data)); break;
        case menu::ExportWebPage: commands_.exportWebPage(); break;
        case menu::OpenRecent: commands_.openRecent(static_cast<int>(event.data)); break;
        case menu::ClearRecent: commands_.clearRecent(); break;
        case menu::Undo:
        case menu::Redo:
        case menu::Cut:
        case menu::Copy:
        case menu::Paste:
        case menu::SelectAll: commands_.editField(item); break;
        case menu::NextProblem: commands_.nextProblem(); break;
        case menu::PreviousProblem: commands_.previousProblem(); break;
        case menu::Problems:
            if (event.data > 0) commands_.goToProblem(static_cast<int>(event.data - 1));
            else commands_.showProblems();
            break;
        case menu::PlayOrStop:
            if (playing) post(AppEvent::control(control::StopButton));
            else if (window_.controls().isEnabled(control::PlayButton)) post(AppEvent::control(control::PlayButton));
            break;
        case menu::StopPlaying:
            if (playing) post(AppEvent::control(control::StopButton));
            break;
        case menu::PlayFromHere:
            if (playing || window_.controls().isEnabled(control::PlayButton)) commands_.playFromHere();
            break;
        case menu::LoopPlayback:
        case menu::FollowPlayback:
        case menu::HearNotes:
        case menu::Oscilloscope:
        case menu::SongView: {
            const bool on = window_.menuItem(item)->isChecked();
            if (item == menu::LoopPlayback) {
                state_.options.loopPlayback = on;
                commands_.loopPlaybackChanged();
            }
            if (item == menu::FollowPlayback) state_.options.followPlayback = on;
            if (item == menu::HearNotes) state_.options.hearNotes = on;
            if (item == menu::Oscilloscope) commands_.showOscilloscope(on);
            if (item == menu::SongView) commands_.showSongView(on);
            commands_.rememberOption(item, on);
            break;
        }
        case menu::Help: commands_.help(); break;
        case menu::PsgModule: commands_.psgModule(); break;
        case menu::Website: commands_.openUrl(MainWindow::websiteUrl()); break;
        case menu::SupportForum: commands_.openUrl(MainWindow::forumUrl()); break;
        default:
            if (item >= menu::Demo1 && item < menu::Demo1 + 4) commands_.loadDemo(item - menu::Demo1 + 1);
            break;
    }
}

void Dispatcher::dispatchControl(int number, ControlEventType type) {
    const bool click = type == ControlEventType::Click;
    if (number == control::PlayButton && click) return commands_.play();
    if (number == control::StopButton && click) return commands_.stop();
    if (number == control::CopyMmlButton && click) return commands_.copyMml();
    if (number == control::PasteMmlButton && click) return commands_.pasteMml();
    if (number == control::ModuleCopyLink && click) return commands_.copyModule();
    if (number == control::TempoBox && control::inMainWindow(number) &&
        (type == ControlEventType::Up || type == ControlEventType::Down)) {
        ControlTable& c = window_.controls();
        c.setState(number, tempoAfterStep(c.state(number), type == ControlEventType::Up));
        return;
    }
    if (control::inMainWindow(number) && type == ControlEventType::Change) commands_.markEdited(number);
}

void Dispatcher::refreshEnableGroups() {
    const Refresh request = state_.requests.refresh;
    state_.requests.refresh = Refresh::None;
    if (request == Refresh::None) return;
    const bool enable = request == Refresh::Enable;
    ControlTable& c = window_.controls();
    auto apply = [&](const EnableGroup& group) {
        for (int item : group.menuItems) window_.menuItem(item)->setEnabled(enable);
        for (int n : group.controls) c.setEnabled(n, enable);
        if (group.playContextItem) window_.playContextItem()->setVisible(enable);
    };
    apply(contentGroup());
    if (idleGroupFollows(request, commands_.playState())) apply(idleGroup());
}

void Dispatcher::closeWindow(int window) {
    if (window == window::Main) {
        state_.requests.quit = true;
        commands_.stopClock();
    } else {
        commands_.closeWindow(window == window::Help || window == window::PsgModule ? window : window::About);
    }
}

}  // namespace bleeptone
