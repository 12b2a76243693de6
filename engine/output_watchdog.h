#pragma once
// The watchdog on the sound device. A device can go away while it plays (a
// USB or Bluetooth device unplugged, the audio server restarted); its calls
// then stop coming, or it reports a fault. WatchedOutput wraps the device:
// its own thread (the watchdog) notices either, gives the device up with a
// bounded wait, and lets the silent clocked output render on from the next
// sample, so that the tune, its clock, the playhead and a recording go on.
// While silent it tries the default device again every few seconds (and
// soon after a Play), and goes back to it between two render calls once it
// plays.
//
// Only one output's calls reach the render function at a time: a gate holds
// the number of the output whose calls pass, and a flag while one runs. An
// output that is not let through renders zeros; switching waits for the
// call under way (if any) to return. Outputs given up are stopped on helper
// threads that own them, so a device that never lets go holds up nobody.

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "engine/output.h"

namespace bleeptone {

struct WatchdogTiming {
    // No call for this long while the device plays: it is lost (several buffers).
    std::chrono::milliseconds stall{500};
    // While lost: how often the default device is tried again.
    std::chrono::milliseconds retry{3000};
    // How often the watchdog looks.
    std::chrono::milliseconds look{20};
    // The longest wait for a device being stopped, beyond the wait for what
    // it still has to play.
    std::chrono::milliseconds release{1000};
};

class WatchedOutput : public AudioOutput {
public:
    // device: the sound device, not yet started; factory: where the silent
    // output and later devices come from. Thread: main. Callback: no.
    WatchedOutput(std::unique_ptr<AudioOutput> device, OutputFactory factory, WatchdogTiming timing = {});
    ~WatchedOutput() override;

    // Starts the device and the watchdog. Thread: main. Callback: no.
    bool start(RenderFn render, void* context) override;
    // Ends the watchdog, lets the device play what it has (bounded) and
    // releases it; waits at most a few seconds in all, whatever the device
    // does. No call reaches the render function once it returns.
    // Thread: main. Callback: no.
    void stop() override;
    std::string error() const override { return error_; }
    // The latency of the output that plays now. Thread: any. Callback: yes.
    std::uint64_t latencyFrames() const override;
    OutputHealth health() const override;
    void retryDevice() override;

private:
    struct State;

    std::unique_ptr<AudioOutput> device_;  // until start() hands it to the state
    OutputFactory factory_;
    WatchdogTiming timing_;
    std::shared_ptr<State> state_;  // while started; helpers and the watchdog share it
    std::thread watchdog_;
    std::string error_;
};

}  // namespace bleeptone
