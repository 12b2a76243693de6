#pragma once
// What the window shows of playing, read from the engine on a main-thread
// timer (about 30 times a second, only while something plays): the
// playhead, a coloured background under the note or rest being heard in
// each channel editor (the editors scroll to keep it in view while Follow
// Playback is on), and the oscilloscope window's traces.

#include <QObject>
#include <QPointer>
#include <QTimer>

#include <array>

#include "ui/oscilloscope.h"

namespace bleeptone {

class Engine;
class MainWindow;
class SongCommands;
class SongViewLink;
struct PlayOptions;

class PlaybackView : public QObject {
    Q_OBJECT
public:
    static constexpr int kIntervalMs = 33;

    PlaybackView(MainWindow& window, Engine& engine, SongCommands& song, const PlayOptions& options);
    ~PlaybackView() override;

    // Opens or closes the oscilloscope window (the engine fills its ring
    // only while it is open).
    void showOscilloscope(bool shown);
    OscilloscopeWindow* oscilloscope() const;

    // One look at the engine (what the timer does).
    void refresh();
    // Where the playhead goes too (the song view's side).
    void setSongView(SongViewLink* link) { songView_ = link; }

    // The marked range of channel 1..4's editor (start, length in its text), or {-1, 0}.
    std::pair<int, int> marker(int channel) const { return marked_[static_cast<std::size_t>(channel - 1)]; }

signals:
    void oscilloscopeClosed();  // by the user

private:
    void start();
    void showPlayhead();
    void mark(int channel, int start, int length);
    void showScope();

    MainWindow& window_;
    Engine& engine_;
    SongCommands& song_;
    const PlayOptions& options_;
    QTimer timer_;
    QPointer<OscilloscopeWindow> scope_;
    SongViewLink* songView_ = nullptr;
    std::array<std::pair<int, int>, 4> marked_;
};

}  // namespace bleeptone
