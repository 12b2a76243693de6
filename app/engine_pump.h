#pragma once
// Brings engine events to the main thread. The audio thread only pushes them
// into the engine's lock-free queue; a main-thread timer drains that queue
// every few milliseconds and hands each event to the loop. (Posting a Qt
// event from the audio thread would lock and allocate there.)

#include <QObject>
#include <QTimer>

#include <functional>

namespace bleeptone {

class Engine;

class EnginePump : public QObject {
    Q_OBJECT
public:
    static constexpr int kIntervalMs = 5;  // well inside one tick (10.4 ms)

    EnginePump(Engine& engine, std::function<void(std::int64_t)> deliver, QObject* parent = nullptr);
    // Drains the queue now (also what the timer does).
    void drain();

private:
    Engine& engine_;
    std::function<void(std::int64_t)> deliver_;
    QTimer timer_;
};

}  // namespace bleeptone
