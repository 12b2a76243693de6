#pragma once
// Play, Stop, the engine's end and loop events, the playing-time display,
// Record to Wave, Copy MML and Paste MML; Loop Playback's seamless loops (of
// the song, of a passage, of the loop range set in the song view).

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <array>
#include <cstdint>
#include <functional>
#include <optional>

#include "app/app_event.h"
#include "app/app_state.h"
#include "engine/seek.h"
#include "song/song_assembly.h"

namespace bleeptone {

class Dialogs;
class Document;
class Engine;
class MainWindow;

// What plays now, for the playhead: the engine's song number and where its
// texts come from (the song's channels, or one passage).
struct NowPlaying {
    std::uint32_t song = 0;  // 0: nothing has played yet
    std::array<ChannelAssembly, 4> channels;
    std::optional<Passage> passage;
    int passageChannel = 0;  // 1..4
};

class SongCommands : public QObject {
    Q_OBJECT
public:
    static constexpr int kClockPeriodMs = 100;
    static constexpr int kLiveEditDelayMs = 300;  // after the last key

    // refresh: where the enable groups' requests go; options: the Play menu's.
    SongCommands(MainWindow& window, Dialogs& dialogs, Refresh& refresh, const PlayOptions& options, Engine& engine,
                 Document& document, std::function<void(const AppEvent&)> post);

    void play();
    // The song from the caret of the channel editor the user is in: from the
    // moment its channel's pattern first reaches that place, every channel
    // exactly where it would be had the song played from the start.
    void playFromHere();
    // The song from song frame `frame` (a click on the song view's ruler).
    void playFromMoment(std::uint64_t frame);
    // The loop range, song frames [start, end); end <= start: none. With
    // Loop Playback on, the song plays it again and again without a gap.
    void setLoopRange(std::uint64_t start, std::uint64_t end);
    std::optional<std::pair<std::uint64_t, std::uint64_t>> loopRange() const { return loopRange_; }
    // Play > Loop Playback was switched: what plays now loops, or no longer does.
    void loopPlaybackChanged();
    // A change of the document (or a Mute box) while the song plays: soon the
    // song goes on from the same moment with the new texts.
    void documentChanged();
    void stop();
    void engineEvent(std::int64_t data);
    void recordToWave();
    void copyMml();
    void pasteMml();
    void stopClock();
    // Starts the clock again while something plays (a quit was cancelled).
    void resumeClock();

    // An audition went to the engine: its end event (-1) is on its way, and
    // may come after a song has started.
    void auditionSounded() { auditionEndToCome_ = true; }

    PlayState playState() const { return playState_; }
    const std::array<QString, 4>& channelTexts() const { return channelText_; }
    const NowPlaying& nowPlaying() const { return now_; }
    // The song with this number is heard now: a passage that was queued to
    // follow at its loop's end becomes what plays. Called by the playhead's timer.
    void heard(std::uint32_t song);
    qint64 songLength() const { return songLength_; }
    const QString& wavePath() const { return wavePath_; }

signals:
    // Something starts to play (the engine's events and the playhead are due).
    void started();
    void loopRangeChanged();

private:
    bool playSelection(const std::array<QString, 4>& prefixes);
    // The song (from sample startFrame on), recording it when asked.
    void startSong(const std::array<ChannelAssembly, 4>& song, std::uint64_t startFrame);
    void applyLiveEdit();
    void applyPassageEdit();
    // What Loop Playback loops for texts played from startFrame: the loop
    // range (its end held within the song), else the whole song if it ends.
    // None when Loop Playback is off, for a recording, or when nothing ends.
    std::optional<LoopRange> loopFor(const SongTexts& texts, std::uint64_t startFrame, bool passage) const;
    // A passage whose selection changed while it loops: the next time round.
    void passageSelectionChanged();
    void showStopButton(bool stopShown);
    bool anythingToPlay() const;
    void updateClock();
    void returnToIdle();
    void reportRecording();

    MainWindow& window_;
    Dialogs& dialogs_;
    Refresh& refresh_;
    const PlayOptions& options_;
    Engine& engine_;
    Document& document_;
    std::function<void(const AppEvent&)> post_;
    std::array<QString, 4> channelText_;
    NowPlaying now_;
    qint64 songLength_ = 0;
    QString wavePath_;
    PlayState playState_ = PlayState::Idle;
    QTimer clock_;
    QElapsedTimer clockStart_;
    qint64 clockOffsetMs_ = 0;  // the song time at clockStart_ (a song played from the middle)
    QTimer liveEdit_;
    std::optional<std::pair<std::uint64_t, std::uint64_t>> loopRange_;
    std::optional<LoopRange> looping_;  // what the engine loops now
    std::uint64_t restartsSeen_ = 0;    // the engine's loop restarts the clock has followed
    std::optional<NowPlaying> next_;    // a passage queued for the loop's end
    bool auditionEndToCome_ = false;
};

}  // namespace bleeptone
