#include "engine/output_watchdog.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <system_error>

#include "engine/constants.h"

namespace bleeptone {

namespace {
using Clock = std::chrono::steady_clock;
}

struct WatchedOutput::State : std::enable_shared_from_this<State> {
    // An output's way through the gate: its number, and its calls counted
    // (whether let through or not): the heartbeat the watchdog watches.
    struct Route {
        State* state = nullptr;
        std::uint32_t id = 0;
        std::atomic<std::uint64_t> calls{0};
    };
    // An output and its route, which lives as long as the output may call.
    struct Held {
        std::unique_ptr<Route> route;
        std::unique_ptr<AudioOutput> output;  // after the route: it goes first
    };

    State(OutputFactory f, WatchdogTiming t) : factory(std::move(f)), timing(t) {}

    static void renderThrough(void* context, float* out, std::size_t frames);
    std::unique_ptr<Route> newRoute();
    void switchGate(std::uint32_t id);
    void watch();
    void loseDevice();
    void tryDevice(std::unique_lock<std::mutex>& lock);
    void release(Held held, bool drain);

    const OutputFactory factory;
    const WatchdogTiming timing;
    RenderFn render = nullptr;  // set before any output starts
    void* context = nullptr;

    // The number of the route whose calls pass, times two, plus one while a call runs.
    std::atomic<std::uint32_t> gate{0};

    // The watchdog thread, the main thread and the helpers; never an audio thread.
    std::mutex mutex;
    std::condition_variable wake;     // the watchdog's sleep
    std::condition_variable changed;  // the watchdog has ended, or a release has
    bool stopping = false;
    bool watching = false;
    int releasing = 0;
    std::uint32_t lastId = 0;
    Held device;  // the sound device while it plays
    Held silent;  // the silent clocked output while the device is lost

    std::atomic<bool> retrySoon{false};
    std::atomic<std::uint64_t> latency{0};
    std::atomic<std::uint32_t> losses{0};
    std::atomic<bool> lost{false};
};

void WatchedOutput::State::renderThrough(void* context, float* out, std::size_t frames) {
    Route& route = *static_cast<Route*>(context);
    route.calls.fetch_add(1, std::memory_order_relaxed);
    State& s = *route.state;
    std::uint32_t open = route.id << 1;
    if (s.gate.compare_exchange_strong(open, open | 1u, std::memory_order_acquire, std::memory_order_relaxed)) {
        s.render(s.context, out, frames);
        s.gate.store(route.id << 1, std::memory_order_release);
    } else {
        std::fill(out, out + frames, 0.0f);
    }
}

std::unique_ptr<WatchedOutput::State::Route> WatchedOutput::State::newRoute() {
    auto route = std::make_unique<Route>();
    route->state = this;
    route->id = ++lastId;
    return route;
}

// Waits out the call under way, if any (the engine's own render, which
// returns), then lets only route id through (0: nobody).
void WatchedOutput::State::switchGate(std::uint32_t id) {
    std::uint32_t now = gate.load(std::memory_order_acquire);
    for (;;) {
        if (now & 1u) {
            std::this_thread::sleep_for(std::chrono::microseconds(100));
            now = gate.load(std::memory_order_acquire);
        } else if (gate.compare_exchange_weak(now, id << 1, std::memory_order_acq_rel, std::memory_order_acquire)) {
            return;
        }
    }
}

void WatchedOutput::State::watch() {
    std::unique_lock<std::mutex> lock(mutex);
    std::uint64_t seen = device.output ? device.route->calls.load() : 0;
    Clock::time_point lastCall = Clock::now();
    Clock::time_point nextTry = lastCall;
    while (!stopping) {
        wake.wait_for(lock, timing.look);
        if (stopping) break;
        const Clock::time_point now = Clock::now();
        if (!lost.load()) {
            retrySoon.store(false);  // a Play while the device plays asks for nothing
            if (!device.output) continue;
            const std::uint64_t calls = device.route->calls.load(std::memory_order_relaxed);
            if (calls != seen) {
                seen = calls;
                lastCall = now;
            }
            if (device.output->faulted() || now - lastCall > timing.stall) {
                loseDevice();
                nextTry = now + timing.retry;
            }
        } else if (retrySoon.exchange(false) || now >= nextTry) {
            tryDevice(lock);
            if (stopping) break;
            nextTry = Clock::now() + timing.retry;
            if (device.output) {
                seen = device.route->calls.load();
                lastCall = Clock::now();
            }
        }
    }
    watching = false;
    changed.notify_all();
}

// Under the lock: the silent output takes over from the next sample; the
// device is given up on a helper.
void WatchedOutput::State::loseDevice() {
    Held quiet{newRoute(), factory(AudioBackend::Null)};
    switchGate(quiet.route->id);  // the device's calls no longer reach the engine
    if (quiet.output && quiet.output->start(renderThrough, quiet.route.get())) {
        latency.store(quiet.output->latencyFrames());
        silent = std::move(quiet);
    } else {
        latency.store(0);
    }
    losses.fetch_add(1);
    lost.store(true);
    release(std::move(device), /*drain=*/false);
    device = {};
}

// Under the lock, which it leaves while the device opens: once it plays, the
// silent output's last call returns and the device's calls go through.
void WatchedOutput::State::tryDevice(std::unique_lock<std::mutex>& lock) {
    Held candidate{newRoute(), nullptr};
    lock.unlock();
    candidate.output = factory(AudioBackend::PortAudio);
    const bool started = candidate.output && candidate.output->start(renderThrough, candidate.route.get());
    lock.lock();
    if (!started || stopping) {
        release(std::move(candidate), /*drain=*/false);
        return;
    }
    if (silent.output) {
        silent.output->stop();
        silent = {};
    }
    switchGate(candidate.route->id);
    latency.store(candidate.output->latencyFrames());
    device = std::move(candidate);
    lost.store(false);
}

// Under the lock: a helper thread stops the output (or aborts it) and frees it.
void WatchedOutput::State::release(Held held, bool drain) {
    if (!held.output) return;
    ++releasing;
    try {
        std::thread([self = shared_from_this(), held = std::move(held), drain]() mutable {
            drain ? held.output->stop() : held.output->abort();
            held = {};
            const std::lock_guard<std::mutex> guard(self->mutex);
            --self->releasing;
            self->changed.notify_all();
        }).detach();
    } catch (const std::system_error&) {
        // No thread to wait on it: leave it be rather than wait for ever.
        --releasing;
        (void)held.output.release();
        (void)held.route.release();
    }
}

WatchedOutput::WatchedOutput(std::unique_ptr<AudioOutput> device, OutputFactory factory, WatchdogTiming timing)
    : device_(std::move(device)), factory_(std::move(factory)), timing_(timing) {}

WatchedOutput::~WatchedOutput() { stop(); }

bool WatchedOutput::start(RenderFn render, void* context) {
    stop();
    if (!device_) device_ = factory_(AudioBackend::PortAudio);
    if (!device_) {
        error_ = "no sound device";
        return false;
    }
    auto state = std::make_shared<State>(factory_, timing_);
    state->render = render;
    state->context = context;
    State::Held held{state->newRoute(), std::move(device_)};
    state->gate.store(held.route->id << 1);
    if (!held.output->start(State::renderThrough, held.route.get())) {
        error_ = held.output->error();
        return false;
    }
    state->latency.store(held.output->latencyFrames());
    state->device = std::move(held);
    state->watching = true;
    state_ = state;
    watchdog_ = std::thread([state] { state->watch(); });
    return true;
}

void WatchedOutput::stop() {
    if (!state_) return;
    State& s = *state_;
    std::unique_lock<std::mutex> lock(s.mutex);
    s.stopping = true;
    s.wake.notify_all();
    // The watchdog ends at once, unless it is opening a device that does not
    // answer: then it releases that one itself, whenever it can.
    s.changed.wait_for(lock, timing_.release, [&s] { return !s.watching; });
    const bool watchdogEnded = !s.watching;
    s.switchGate(0);  // from here on no call reaches the render function
    const auto playing = std::chrono::milliseconds(s.latency.load() * 1000 / kSampleRate);
    if (s.device.output) {
        const bool healthy = !s.device.output->faulted();
        s.release(std::move(s.device), /*drain=*/healthy);
        s.device = {};
    }
    if (s.silent.output) {
        s.silent.output->stop();
        s.silent = {};
    }
    // What the device still holds plays out, then it closes; a device that
    // does not let go is left to its helper.
    s.changed.wait_for(lock, playing + std::chrono::milliseconds(250) + timing_.release,
                       [&s] { return s.releasing == 0; });
    s.latency.store(0);
    lock.unlock();
    if (watchdogEnded)
        watchdog_.join();
    else
        watchdog_.detach();
    state_.reset();
}

std::uint64_t WatchedOutput::latencyFrames() const { return state_ ? state_->latency.load() : 0; }

OutputHealth WatchedOutput::health() const {
    if (!state_) return {};
    return {state_->losses.load(), state_->lost.load()};
}

void WatchedOutput::retryDevice() {
    if (!state_) return;
    state_->retrySoon.store(true);
    state_->wake.notify_all();
}

}  // namespace bleeptone
