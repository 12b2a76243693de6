#include "engine_pump.h"

#include "engine.h"

namespace bleeptone {

EnginePump::EnginePump(Engine& engine, std::function<void(std::int64_t)> deliver, QObject* parent)
    : QObject(parent), engine_(engine), deliver_(std::move(deliver)) {
    connect(&timer_, &QTimer::timeout, this, &EnginePump::drain);
    timer_.start(kIntervalMs);
}

void EnginePump::drain() {
    EngineEvent ev;
    while (engine_.pollEvent(ev)) deliver_(ev.data);
}

}  // namespace bleeptone
