#include "app/song_commands.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QPlainTextEdit>

#include <utility>

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
#include "song/note_map.h"
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
        // A passage that loops plays the selection as it is the next time round.
        auto* editor = qobject_cast<QPlainTextEdit*>(window_.controls().widget(control::channelEditor(ch)));
        connect(editor, &QPlainTextEdit::selectionChanged, this, &SongCommands::passageSelectionChanged);
    }
}

namespace {

SongTexts textsOf(const std::array<ChannelAssembly, 4>& song) {
    return {u16view(song[0].text), u16view(song[1].text), u16view(song[2].text), u16view(song[3].text)};
}

// A passage plays on voice 0 (channel 1) or 1, the others silent.
SongTexts passageTexts(const Passage& passage, int channel) {
    if (channel == 1) return {u16view(passage.text), u"", u"", u""};
    return {u"", u16view(passage.text), u"", u""};
}

// Where texts end (the tick of their -1), if they do within ten minutes.
std::optional<std::uint64_t> endOf(const SongTexts& texts) {
    const NoteMap map = mapTexts(texts);
    if (map.stop != NoteMapStop::Ended || map.frames == 0) return std::nullopt;
    return map.frames;
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
        const SongTexts texts = passageTexts(*passage, ch);
        looping_ = loopFor(texts, 0, /*passage=*/true);
        next_.reset();
        now_.song = engine_.PSG_PlayMML(texts[0], texts[1], texts[2], texts[3]);
        engine_.setLoop(looping_);
        restartsSeen_ = engine_.loopRestarts();
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

    // With Loop Playback, a loop range plays from its start.
    const bool range = options_.loopPlayback && loopRange_ && playState_ != PlayState::RecordingArmed;
    startSong(assembleSongWithMap(fields), range ? loopRange_->first : 0);
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
    looping_ = loopFor(textsOf(song), startFrame, /*passage=*/false);
    next_.reset();
    if (startFrame == 0) {
        now_.song = engine_.PSG_PlayMML(u16view(channelText_[0]), u16view(channelText_[1]), u16view(channelText_[2]),
                                        u16view(channelText_[3]));
        engine_.setLoop(looping_);  // from the song's first tick
    } else {
        now_.song = engine_.PSG_PlayMMLFrom(textsOf(song), startFrame, looping_);
    }
    restartsSeen_ = engine_.loopRestarts();
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
    // A recording is of the whole song, from its start.
    if (playState_ == PlayState::Recording || playState_ == PlayState::RecordingArmed) return;
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

void SongCommands::playFromMoment(std::uint64_t frame) {
    if (playState_ == PlayState::Recording || playState_ == PlayState::RecordingArmed) return;
    if (playState_ == PlayState::Passage) returnToIdle();
    startSong(assembleSongWithMap(WindowFields(window_.controls())), frame);
}

void SongCommands::setLoopRange(std::uint64_t start, std::uint64_t end) {
    const auto range = end > start ? std::optional(std::make_pair(start, end)) : std::nullopt;
    if (range == loopRange_) return;
    loopRange_ = range;
    emit loopRangeChanged();
    if (playState_ == PlayState::Song) loopPlaybackChanged();  // the song loops the new range
}

void SongCommands::loopPlaybackChanged() {
    if (playState_ != PlayState::Song && playState_ != PlayState::Passage) return;
    const bool passage = playState_ == PlayState::Passage;
    const SongTexts texts = passage ? passageTexts(*now_.passage, now_.passageChannel) : textsOf(now_.channels);
    looping_ = loopFor(texts, passage ? 0 : engine_.songFrame(), passage);
    engine_.setLoop(looping_);
    next_.reset();  // a passage queued for the loop's end is withdrawn with it
}

std::optional<LoopRange> SongCommands::loopFor(const SongTexts& texts, std::uint64_t startFrame, bool passage) const {
    if (!options_.loopPlayback || playState_ == PlayState::Recording || playState_ == PlayState::RecordingArmed)
        return std::nullopt;
    const std::optional<std::uint64_t> end = endOf(texts);
    // The loop range, while the song has not passed it; held within the song.
    if (!passage && loopRange_ && startFrame < loopRange_->second) {
        const std::uint64_t rangeEnd = end ? std::min(*end, loopRange_->second) : loopRange_->second;
        if (rangeEnd > loopRange_->first) return LoopRange{loopRange_->first, rangeEnd};
    }
    // Past the range, the song plays to its end, and Play starts the range again.
    if (!passage && loopRange_) return std::nullopt;
    // A song that never ends loops by itself, or not at all; one played
    // from past its end ends at once, and Loop Playback plays it again.
    if (!end || startFrame >= *end) return std::nullopt;
    return LoopRange{0, *end};
}

void SongCommands::documentChanged() {
    // A song that plays follows edits at once, a passage that loops the next
    // time round; a recording does not follow them.
    if (playState_ == PlayState::Song || (playState_ == PlayState::Passage && looping_)) liveEdit_.start();
}

void SongCommands::passageSelectionChanged() {
    if (playState_ == PlayState::Passage && looping_ && !window_.controls().settingByProgram()) liveEdit_.start();
}

void SongCommands::applyLiveEdit() {
    if (playState_ == PlayState::Passage) return applyPassageEdit();
    if (playState_ != PlayState::Song) return;
    const auto song = assembleSongWithMap(WindowFields(window_.controls()));
    bool same = true;
    for (std::size_t k = 0; k < 4; ++k) same = same && song[k].text == channelText_[k];
    if (same) return;
    for (std::size_t k = 0; k < 4; ++k) channelText_[k] = song[k].text;
    // The song goes on from the same moment, with its loop; the playing time carries on.
    looping_ = loopFor(textsOf(song), engine_.songFrame(), /*passage=*/false);
    now_.song = engine_.continueMML(textsOf(song), looping_);
    now_.channels = song;
    songLength_ = songLengthTenths(channelText_);
    updateClock();
}

// The passage that Play would play now follows the looping one at its end.
// A selection that is gone (or holds nothing to play) leaves the passage
// looping as it is.
void SongCommands::applyPassageEdit() {
    if (!looping_) return;
    const WindowFields fields(window_.controls());
    ControlTable& c = window_.controls();
    for (int ch = 1; ch <= 4; ++ch) {
        const int editor = control::channelEditor(ch);
        const auto [start, length] = c.selection(editor);
        auto passage = selectedPassage(channelPrefix(fields, ch), c.text(editor), start, length);
        if (!passage || passage->text.isEmpty()) continue;
        const NowPlaying& current = next_ ? *next_ : now_;
        if (ch == current.passageChannel && current.passage && passage->text == current.passage->text) return;
        const SongTexts texts = passageTexts(*passage, ch);
        const auto loop = loopFor(texts, 0, /*passage=*/true);
        if (!loop) return;
        NowPlaying next;
        next.song = engine_.continueAtLoopEnd(texts, *loop);
        next.passage = std::move(passage);
        next.passageChannel = ch;
        next_ = std::move(next);
        return;
    }
}

void SongCommands::heard(std::uint32_t song) {
    if (!next_ || next_->song != song) return;
    now_ = std::move(*next_);
    next_.reset();
    looping_ = engine_.loop();
}

void SongCommands::updateClock() {
    // A loop that went back to its start: the clock too.
    if (const std::uint64_t restarts = engine_.loopRestarts(); restarts != restartsSeen_ && looping_) {
        restartsSeen_ = restarts;
        clockOffsetMs_ = static_cast<qint64>(engine_.songFrame() * 1000 / kSampleRate);
        clockStart_.start();
    }
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
    looping_.reset();
    next_.reset();
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
        // An audition's end is one too: while the window is idle, or late,
        // after something else has started (which plays on).
        const bool enginePlays = engine_.sequencer().playingMask() != 0;
        if (playState_ == PlayState::Idle || playState_ == PlayState::RecordingArmed) {
            if (!enginePlays) auditionEndToCome_ = false;
            return;
        }
        if (std::exchange(auditionEndToCome_, false) && enginePlays) return;
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
