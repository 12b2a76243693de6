#pragma once
// Brings engine events to the main thread. The audio thread only pushes them
// into the engine's lock-free queue; a main-thread timer drains that queue
// and hands each event to the loop. (Posting a Qt event from the audio
// thread would lock and allocate there.)
//
// The timer runs fast only while it matters: while a tune plays or records,
// and until the event that ends it has been delivered. Otherwise it looks
// four times a second (which also notices a tune starting), so that an idle
// window hardly ever wakes up. It also notices the sound device going away
// and coming back.

#include <QObject>
#include <QTimer>

#include <cstdint>
#include <functional>

namespace bleeptone {

class Engine;

class EnginePump : public QObject {
    Q_OBJECT
public:
    static constexpr int kIntervalMs = 5;        // while playing: well inside one tick (10.4 ms)
    static constexpr int kIdleIntervalMs = 250;  // otherwise

    EnginePump(Engine& engine, std::function<void(std::int64_t)> deliver, QObject* parent = nullptr);
    // Delivers every queued event, then sets the pace: fast while the engine
    // plays or records or an end event (-1) is still to come, slow otherwise.
    // What the timer does.
    void poll();
    // The timer's interval now.
    int interval() const { return timer_.interval(); }
    // Told on the poll that first sees the sound device lost (true: the
    // silent output plays on), and again when it is back (false).
    void setOutputListener(std::function<void(bool silent)> listener) { outputListener_ = std::move(listener); }

private:
    Engine& engine_;
    std::function<void(std::int64_t)> deliver_;
    QTimer timer_;
    // The engine was seen playing; its end event has not been delivered yet.
    // (The last channel to end clears its playing bit just before it posts
    // the event, so the bits alone could go quiet with the event in flight.)
    bool endToCome_ = false;
    std::function<void(bool)> outputListener_;
    bool silent_ = false;  // as last told
};

}  // namespace bleeptone
