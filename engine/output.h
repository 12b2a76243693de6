#pragma once
// Audio output: something that calls the engine's render function on its
// own thread, 44,100 frames a second, one channel of 32-bit floats.
// Two backends: the sound device through PortAudio, and a silent clocked
// thread that renders at the real rate and throws the samples away.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

namespace bleeptone {

// What an output calls on its own thread (the audio thread) for every buffer.
using RenderFn = void (*)(void* context, float* out, std::size_t frames);

inline constexpr std::size_t kPreferredBufferFrames = 2048;

// How the sound device fares, as the watchdog sees it.
struct OutputHealth {
    std::uint32_t losses = 0;  // times the device stopped since the output started
    bool silent = false;       // lost, and not back yet: the silent clocked output plays on
};

class AudioOutput {
public:
    virtual ~AudioOutput() = default;
    // Opens the output and starts calling render(context, ...) on the
    // output's thread (the audio thread). False (see error()) when it cannot
    // start; nothing is called then. Thread: main. Callback: no.
    virtual bool start(RenderFn render, void* context) = 0;
    // Stops the calls (the last one has returned when this returns) and
    // releases the device; harmless when not started. Thread: main.
    // Callback: no (waits for the last callback).
    virtual void stop() = 0;
    // Why start() failed. Thread: main. Callback: no.
    virtual std::string error() const = 0;
    // Samples between the render and the ear while started: the device's
    // output latency plus the buffer being filled. Thread: main. Callback: no.
    virtual std::uint64_t latencyFrames() const { return 0; }

    // What the watchdog (WatchedOutput) needs of a sound device.
    // This output is a device worth watching: its calls may stop coming.
    // Thread: any. Callback: yes.
    virtual bool watched() const { return false; }
    // The device has reported a fault it will not recover from (its stream
    // ended by itself, or its thread kept failing). Thread: any. Callback: yes.
    virtual bool faulted() const { return false; }
    // Like stop(), but at once: what is queued is not waited for (the
    // device is gone). Thread: main or the watchdog. Callback: no (may wait
    // for a device that does not answer; the watchdog bounds that wait).
    virtual void abort() { stop(); }

    // What the watchdog reports (an output without one: the device, never lost).
    // Thread: any. Callback: yes.
    virtual OutputHealth health() const { return {}; }
    // Play was asked for: a device lost earlier is tried again soon.
    // Thread: main. Callback: no (never waits).
    virtual void retryDevice() {}
};

enum class AudioBackend { PortAudio, Null };

// "portaudio" or "null". Thread: any. Callback: yes.
std::optional<AudioBackend> parseAudioBackend(std::string_view name);
// BLEEPTONE_AUDIO=null chooses the silent backend; otherwise PortAudio.
// Thread: main. Callback: no (reads the environment).
AudioBackend audioBackendFromEnvironment();

// The sound device's output, not yet started. Thread: main. Callback: no.
std::unique_ptr<AudioOutput> makePortAudioOutput();

// Renders kPreferredBufferFrames at a time on its own thread, paced by a
// monotonic clock at the real sample rate, and discards the samples. Its
// calls are AudioOutput's, with the same notes.
class ClockedSilentOutput : public AudioOutput {
public:
    ~ClockedSilentOutput() override { stop(); }
    bool start(RenderFn render, void* context) override;
    void stop() override;
    std::string error() const override { return {}; }
    // The buffer it renders ahead of its clock.
    std::uint64_t latencyFrames() const override { return kPreferredBufferFrames; }

private:
    std::atomic<bool> running_{false};
    std::thread thread_;
};

using OutputFactory = std::function<std::unique_ptr<AudioOutput>(AudioBackend)>;

// The factory the program uses: PortAudio or the silent clocked thread.
// Thread: main. Callback: no (allocates).
std::unique_ptr<AudioOutput> makeAudioOutput(AudioBackend backend);

}  // namespace bleeptone
