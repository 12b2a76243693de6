#pragma once
// Play, Stop, the engine's end and loop events, the playing-time display,
// Record to Wave, Copy MML and Paste MML.

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <array>
#include <functional>

#include "app_event.h"
#include "app_state.h"

namespace bleeptone {

class Dialogs;
class Document;
class Engine;
class MainWindow;

class SongCommands : public QObject {
    Q_OBJECT
public:
    static constexpr int kClockPeriodMs = 100;

    SongCommands(MainWindow& window, Dialogs& dialogs, AppState& state, Engine& engine, Document& document,
                 std::function<void(const AppEvent&)> post);

    void play();
    // Told each time something starts to play (the engine's events are then due).
    void setStartedListener(std::function<void()> started) { started_ = std::move(started); }
    void stop();
    void engineEvent(std::int64_t data);
    void recordToWave();
    void copyMml();
    void pasteMml();
    void stopClock();
    // Starts the clock again while something plays (a quit was cancelled).
    void resumeClock();

    const std::array<QString, 4>& channelTexts() const { return channelText_; }
    qint64 songLength() const { return songLength_; }
    const QString& wavePath() const { return wavePath_; }

private:
    bool playSelection(const std::array<QString, 4>& prefixes);
    void showStopButton(bool stopShown);
    bool anythingToPlay() const;
    void updateClock();
    void returnToIdle();
    void reportRecording();

    MainWindow& window_;
    Dialogs& dialogs_;
    AppState& state_;
    Engine& engine_;
    Document& document_;
    std::function<void(const AppEvent&)> post_;
    std::function<void()> started_;
    std::array<QString, 4> channelText_;
    qint64 songLength_ = 0;
    QString wavePath_;
    bool recording_ = false;
    QTimer clock_;
    QElapsedTimer clockStart_;
};

}  // namespace bleeptone
