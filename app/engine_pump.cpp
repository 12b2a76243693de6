#include "app/engine_pump.h"

#include "engine/engine.h"

namespace bleeptone {

EnginePump::EnginePump(Engine& engine, std::function<void(std::int64_t)> deliver, QObject* parent)
    : QObject(parent), engine_(engine), deliver_(std::move(deliver)) {
    connect(&timer_, &QTimer::timeout, this, &EnginePump::poll);
    timer_.start(kIdleIntervalMs);
}

void EnginePump::poll() {
    // Looked at before draining: the end of what plays now is drained below,
    // or awaited at the fast pace.
    const bool busy = engine_.hasOutput() &&
                      (engine_.sequencer().playingMask() != 0 || engine_.recorder().recording());
    if (busy) endToCome_ = true;
    EngineEvent ev;
    while (engine_.pollEvent(ev)) {
        if (ev.data == kEventEnded) endToCome_ = false;
        deliver_(ev.data);
    }
    if (const bool silent = engine_.outputHealth().silent; silent != silent_) {
        silent_ = silent;
        if (outputListener_) outputListener_(silent);
    }
    const int interval = busy || endToCome_ ? kIntervalMs : kIdleIntervalMs;
    if (timer_.interval() != interval) timer_.start(interval);
}

}  // namespace bleeptone
