#include "app/song_commands.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>

#include "app/controls.h"
#include "app/dialogs.h"
#include "app/document.h"
#include "app/main_window.h"
#include "app/window_fields.h"
#include "engine/engine.h"
#include "engine/seek.h"
#include "project/project_blocks.h"
#include "project/project_model.h"
#include "project/u16_view.h"
#include "song/mml_text.h"
#include "song/song_assembly.h"
#include "song/song_positions.h"

namespace bleeptone {

SongCommands::SongCommands(MainWindow& window, Dialogs& dialogs, Refresh& refresh, const PlayOptions& options,
                           Engine& engine, Document& document, std::function<void(const AppEvent&)> post)
    : window_(window),
      dialogs_(dialogs),
      refresh_(refresh),
      options_(options),
      engine_(engine),
      document_(document),
      post_(std::move(post)) {
    clock_.setInterval(kClockPeriodMs);
    connect(&clock_, &QTimer::timeout, this, &SongCommands::updateClock);
    liveEdit_.setSingleShot(true);
    liveEdit_.setInterval(kLiveEditDelayMs);
    connect(&liveEdit_, &QTimer::timeout, this, &SongCommands::applyLiveEdit);
    // The Mute boxes raise no events of their own, but what plays follows them.
    for (int ch = 1; ch <= 4; ++ch) {
        auto* box = qobject_cast<QCheckBox*>(window_.controls().widget(control::muteBox(ch)));
        connect(box, &QCheckBox::toggled, this, [this] {
            if (!window_.controls().settingByProgram()) documentChanged();
        });
    }
}

namespace {

SongTexts textsOf(const std::array<ChannelAssembly, 4>& song) {
    return {u16view(song[0].text), u16view(song[1].text), u16view(song[2].text), u16view(song[3].text)};
}

}  // namespace

void SongCommands::showStopButton(bool stopShown) {
    ControlTable& c = window_.controls();
    const bool hadFocus = c.focused() == (stopShown ? control::PlayButton : control::StopButton);
    c.setVisible(control::PlayButton, !stopShown);
    c.setVisible(control::StopButton, stopShown);
    // A keyboard user who pressed one finds the focus on the other, in its place.
    if (hadFocus) c.widget(stopShown ? control::StopButton : control::PlayButton)->setFocus();
}

// A passage selected in one channel editor plays with the settings in force
// at its start: channel 1's on the first voice, the others on the second.
bool SongCommands::playSelection(const std::array<QString, 4>& prefixes) {
    ControlTable& c = window_.controls();
    for (int ch = 1; ch <= 4; ++ch) {
        const int editor = control::channelEditor(ch);
        const auto [start, length] = c.selection(editor);
        const auto passage = selectedPassage(prefixes[static_cast<std::size_t>(ch - 1)], c.text(editor), start, length);
        if (!passage) continue;
        if (passage->selectionLength != length) c.setSelection(editor, passage->selectionStart, passage->selectionLength);
        if (passage->text.isEmpty()) continue;
        // After the song (Loop Playback found a selection): its display and clock go.
        if (playState_ == PlayState::Song) returnToIdle();
        showStopButton(true);
        now_.song = ch == 1 ? engine_.PSG_PlayMML(u16view(passage->text), u"", u"", u"")
                            : engine_.PSG_PlayMML(u"", u16view(passage->text), u"", u"");
        now_.channels = {};
        now_.passage = passage;
        now_.passageChannel = ch;
        playState_ = PlayState::Passage;
        emit started();
        return true;
    }
    return false;
}

void SongCommands::play() {
    const WindowFields fields(window_.controls());
    std::array<QString, 4> prefixes;
    for (int ch = 1; ch <= 4; ++ch) prefixes[static_cast<std::size_t>(ch - 1)] = channelPrefix(fields, ch);
    // A recording is of the whole song.
    if (playState_ != PlayState::RecordingArmed && playSelection(prefixes)) return;

    startSong(assembleSongWithMap(fields), 0);
}

void SongCommands::startSong(const std::array<ChannelAssembly, 4>& song, std::uint64_t startFrame) {
    const WindowFields fields(window_.controls());
    for (int ch = 1; ch <= 4; ++ch) {
        channelText_[static_cast<std::size_t>(ch - 1)] = song[static_cast<std::size_t>(ch - 1)].text;
        if (channelSounds(fields, ch)) showStopButton(true);
    }
    if (playState_ == PlayState::RecordingArmed) {
        if (!engine_.PSG_StartWaveRecord(wavePath_.toStdString(), /*AutoStop=*/true)) {
            dialogs_.error(QString("The wave file \"%1\" could not be created, so nothing was recorded.").arg(wavePath_));
            playState_ = PlayState::Idle;
            refresh_ = Refresh::Enable;
            showStopButton(false);
            return;
        }
        playState_ = PlayState::Recording;
    } else {
        playState_ = PlayState::Song;
    }
    liveEdit_.stop();
    now_.song = startFrame == 0 ? engine_.PSG_PlayMML(u16view(channelText_[0]), u16view(channelText_[1]),
                                                      u16view(channelText_[2]), u16view(channelText_[3]))
                                : engine_.PSG_PlayMMLFrom(textsOf(song), startFrame);
    now_.channels = song;
    now_.passage.reset();
    emit started();
    songLength_ = songLengthTenths(channelText_);
    clockOffsetMs_ = static_cast<qint64>(startFrame * 1000 / kSampleRate);
    clockStart_.start();
    clock_.start();
    updateClock();
    refresh_ = Refresh::Disable;
}

void SongCommands::playFromHere() {
    ControlTable& c = window_.controls();
    const int editor = c.focused();
    const int channel = control::channelOfEditor(editor);
    if (channel == 0) return play();  // no caret in a channel editor: from the start
    const WindowFields fields(c);
    const auto song = assembleSongWithMap(fields);
    const EditorPlace place = editorPlaceAt(c.text(editor), channel, c.selection(editor).first);
    const auto position = songPositionOf(song[static_cast<std::size_t>(channel - 1)], place.verse, place.column);
    const auto frame = position ? firstFrameAt(textsOf(song), channel - 1, *position) : std::nullopt;
    // A place the song never plays (a verse outside the pattern, a muted
    // channel): the whole song, from its start.
    startSong(song, frame.value_or(0));
}

void SongCommands::documentChanged() {
    // Only a song that plays (not a passage, not a recording) follows edits.
    if (playState_ != PlayState::Song) return;
    liveEdit_.start();
}

void SongCommands::applyLiveEdit() {
    if (playState_ != PlayState::Song) return;
    const auto song = assembleSongWithMap(WindowFields(window_.controls()));
    bool same = true;
    for (std::size_t k = 0; k < 4; ++k) same = same && song[k].text == channelText_[k];
    if (same) return;
    for (std::size_t k = 0; k < 4; ++k) channelText_[k] = song[k].text;
    // The song goes on from the same moment; the playing time carries on.
    now_.song = engine_.continueMML(textsOf(song));
    now_.channels = song;
    songLength_ = songLengthTenths(channelText_);
    updateClock();
}

void SongCommands::updateClock() {
    window_.controls().setText(
        control::PlayingTime,
        playingTimeText(statusText(playState_), clockOffsetMs_ + clockStart_.elapsed(), songLength_));
}

void SongCommands::stopClock() { clock_.stop(); }

void SongCommands::resumeClock() {
    if (statusText(playState_).isEmpty()) return;  // the clock runs for a song or a recording only
    clock_.start();
    updateClock();
}

void SongCommands::returnToIdle() {
    liveEdit_.stop();
    engine_.PSG_StopWaveRecord();
    if (playState_ == PlayState::Recording) reportRecording();
    stopClock();  // before the display is emptied: it is never written again
    window_.controls().setText(control::PlayingTime, QString());
    showStopButton(false);
    playState_ = PlayState::Idle;
    refresh_ = Refresh::Enable;
}

// Tells the user when a recording that just ended lost samples or could not be written.
void SongCommands::reportRecording() {
    const RecordOutcome outcome = engine_.lastRecordOutcome();
    if (outcome == RecordOutcome::Damaged)
        dialogs_.error(QString("The recording \"%1\" is damaged: the computer could not write it fast enough, "
                               "and some of the sound was lost.")
                           .arg(wavePath_));
    else if (outcome == RecordOutcome::WriteFailed)
        dialogs_.error(QString("The recording \"%1\" could not be written completely.").arg(wavePath_));
}

void SongCommands::stop() {
    returnToIdle();
    engine_.PSG_PlayMML(u"", u"", u"", u"");
}

void SongCommands::engineEvent(std::int64_t data) {
    if (data == kEventLooped) {
        if (playState_ == PlayState::Recording) {
            post_(AppEvent::control(control::StopButton));
        } else {
            clockStart_.start();
            clockOffsetMs_ = 0;
        }
    } else if (data == kEventEnded) {
        // The end of what played before: after a Stop (the window is idle
        // already), or before the Play that starts a recording.
        if (playState_ == PlayState::Idle || playState_ == PlayState::RecordingArmed) return;
        // Loop Playback: again at once, from the editors as they are now
        // (so edits are heard); a recording ends all the same.
        const bool again = playState_ == PlayState::Song || playState_ == PlayState::Passage;
        if (options_.loopPlayback && again && anythingToPlay()) return play();
        returnToIdle();
    }
}

bool SongCommands::anythingToPlay() const {
    const WindowFields fields(window_.controls());
    for (int ch = 1; ch <= 4; ++ch)
        if (channelSounds(fields, ch) || window_.controls().selection(control::channelEditor(ch)).second > 0) return true;
    return false;
}

void SongCommands::recordToWave() {
    QString path = dialogs_.filePanel(Dialogs::PanelMode::Save, "Save Wave As...", "wav", "Wave File",
                                      document_.panelStart(document_.projectName() + ".wav"));
    if (path.isEmpty()) return;
    Document::rememberFolder(path);
    path = withNameExtension(path, ".wav");
    wavePath_ = path;
    post_(AppEvent::control(control::PlayButton));
    playState_ = PlayState::RecordingArmed;
    refresh_ = Refresh::Disable;
}

void SongCommands::copyMml() {
    QApplication::clipboard()->setText(copyMmlText(WindowFields(window_.controls())));
    dialogs_.information("Your MML data was copied to the clipboard.");
}

void SongCommands::pasteMml() {
    // The text is read first: only a tune that can be read replaces the document.
    ProjectModel pasted;
    loadBuiltIn(BuiltInProject::NewTemplate, pasted);
    const PasteResult result = pasteMmlText(QApplication::clipboard()->text(), pasted);
    if (result == PasteResult::TooLong)
        dialogs_.error("Unable to parse the MML data: the clipboard text is too long.");
    else if (result != PasteResult::Ok)
        dialogs_.error("Unable to parse the MML data.");
    else
        document_.replaceWithPaste(pasted);
}

}  // namespace bleeptone
