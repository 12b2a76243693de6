#pragma once
// Application state that several commands read and write.

#include <QString>

namespace bleeptone {

enum class Refresh { None, Enable, Disable };

inline const QString kStatusPlaying = QStringLiteral("Playing  ");
inline const QString kStatusRecording = QStringLiteral("Recording  ");

struct AppState {
    bool quit = false;           // the program ends at the end of this iteration
    bool quitAfterSave = false;  // a completed save ends the program
    Refresh refresh = Refresh::None;
    int RecordFlag = 0;          // the next Play records
    QString StatusText;          // "Playing  ", "Recording  " or empty
    QString pendingPath;         // documents the desktop asked to open, joined by tabs
    bool loopPlayback = false;   // Play > Loop Playback: a song or passage that ends starts again
    bool followPlayback = true;  // Play > Follow Playback: the editors scroll to what plays
};

}  // namespace bleeptone
