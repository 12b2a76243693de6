#pragma once
// Application state that several commands read and write, in the pieces
// they use: what a command asks of the end of its iteration, the Play menu's
// options, and what plays.

#include <QString>

namespace bleeptone {

enum class Refresh { None, Enable, Disable };

// What a command asks of the end of the iteration it runs in.
struct LoopRequests {
    bool quit = false;           // the program ends at the end of this iteration
    bool quitAfterSave = false;  // a completed save ends the program
    Refresh refresh = Refresh::None;
};

// The Play menu's check items.
struct PlayOptions {
    bool loopPlayback = false;   // a song or passage that ends starts again
    bool followPlayback = true;  // the editors scroll to what plays
    bool hearNotes = true;       // a note typed in a channel editor sounds
};

struct AppState {
    LoopRequests requests;
    PlayOptions options;
    QString pendingPath;  // documents the desktop asked to open, joined by tabs
};

// What the window plays. SongCommands keeps it; the playing-time display,
// the enable groups, live edits, Loop Playback and the playhead read it.
enum class PlayState {
    Idle,
    Passage,         // a passage selected in an editor: the display and the groups stay as they were
    Song,            // the song: "Playing  " on the display, both groups off
    RecordingArmed,  // Record to Wave has its file; the Play it posted records
    Recording,       // the song into the wave file: "Recording  ", both groups off
};

inline const QString kStatusPlaying = QStringLiteral("Playing  ");
inline const QString kStatusRecording = QStringLiteral("Recording  ");

// The playing-time display's status: "Playing  ", "Recording  " or empty.
inline QString statusText(PlayState state) {
    return state == PlayState::Song ? kStatusPlaying : state == PlayState::Recording ? kStatusRecording : QString();
}

// Something sounds that Stop ends (Stop is shown, unless no channel takes part).
inline bool isPlaying(PlayState state) {
    return state == PlayState::Passage || state == PlayState::Song || state == PlayState::Recording;
}

// Whether a refresh request switches the idle group as well as the content
// group: an enable request unless a recording runs; a disable request while
// the song plays or records, or a recording waits for its Play.
inline bool idleGroupFollows(Refresh request, PlayState state) {
    if (request == Refresh::Enable) return state != PlayState::Recording;
    return state == PlayState::Song || state == PlayState::RecordingArmed || state == PlayState::Recording;
}

}  // namespace bleeptone
