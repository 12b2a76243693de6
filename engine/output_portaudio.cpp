// The sound device through PortAudio: the default output, 44,100 Hz, one
// channel of 32-bit floats, 2,048 frames per buffer preferred.
#include <portaudio.h>

#if __has_include(<jack/jack.h>) && defined(BLEEPTONE_HAVE_JACK)
#include <jack/jack.h>
#define BLEEPTONE_QUIET_JACK 1
#endif
#if __has_include(<alsa/asoundlib.h>)
#include <alsa/asoundlib.h>
#define BLEEPTONE_HAVE_ALSA 1
#endif

#include <chrono>
#include <cmath>
#include <mutex>
#include <thread>

#include "engine/constants.h"
#include "engine/output.h"
#include "engine/output_portaudio_messages.h"

namespace bleeptone {

namespace {

// ALSA and JACK report every missing device and server on standard error
// while PortAudio probes; the outcome reaches the user through start()'s
// result instead.
#ifdef BLEEPTONE_HAVE_ALSA
void quietAlsa(const char*, int, const char*, int, const char*, ...) {}
#endif
#ifdef BLEEPTONE_QUIET_JACK
void quietJack(const char*) {}
#endif

// PortAudio's library-wide calls (Pa_Initialize, Pa_Terminate, opening and
// closing streams) are not safe from two threads at once, and the watchdog
// opens devices while helpers close others. A close that never returns
// keeps it: whoever then waits for it gives up after a while.
std::timed_mutex& libraryLock() {
    static std::timed_mutex lock;
    return lock;
}
constexpr auto kLibraryWait = std::chrono::seconds(2);

// A sample this loud or louder is sound (one step of a 16-bit file).
constexpr float kAudible = 1.0f / 32768.0f;
constexpr double kBufferSeconds = static_cast<double>(kPreferredBufferFrames) / kSampleRate;

class PortAudioOutput : public AudioOutput {
public:
    ~PortAudioOutput() override { finish(/*drain=*/false); }

    bool start(RenderFn render, void* context) override {
        finish(/*drain=*/false);
        render_ = render;
        context_ = context;
        ended_.store(false);
        stopping_.store(false);
        soundUntil_.store(0.0);
        thread_.ended.store(false);
        std::unique_lock<std::timed_mutex> lock(libraryLock(), kLibraryWait);
        if (!lock) {
            error_ = "the sound device does not answer";
            return false;
        }
#ifdef BLEEPTONE_HAVE_ALSA
        snd_lib_error_set_handler(quietAlsa);
#endif
#ifdef BLEEPTONE_QUIET_JACK
        jack_set_error_function(quietJack);
        jack_set_info_function(quietJack);
#endif
        portaudio_messages::watch();
        PaError err = Pa_Initialize();
        if (err != paNoError) return fail(err, lock);
        initialized_ = true;
        err = Pa_OpenDefaultStream(&stream_, 0, 1, paFloat32, kSampleRate, kPreferredBufferFrames, &callback, this);
        if (err != paNoError) return fail(err, lock);
        Pa_SetStreamFinishedCallback(stream_, &finished);
        err = Pa_StartStream(stream_);
        if (err != paNoError) return fail(err, lock);
        const PaStreamInfo* info = Pa_GetStreamInfo(stream_);
        outputLatency_ = info && info->outputLatency > 0.0 ? info->outputLatency : 0.0;
        latency_ = framesForSeconds(outputLatency_) + kPreferredBufferFrames;
        portaudio_messages::allowSome();
        return true;
    }

    // Waits until the last sample with sound has been played (PortAudio's
    // stream time passes the moment the callback was told it would reach
    // the speaker), at most the latency and a margin; then stops. Debian's
    // PortAudio stops an ALSA stream by dropping what is queued, so without
    // the wait the end of a tune is never heard.
    void stop() override { finish(/*drain=*/true); }
    void abort() override { finish(/*drain=*/false); }

    std::string error() const override { return error_; }
    std::uint64_t latencyFrames() const override { return stream_ ? latency_ : 0; }
    bool watched() const override { return true; }
    bool faulted() const override { return (ended_.load() && !stopping_.load()) || thread_.ended.load(); }

private:
    bool fail(PaError err, std::unique_lock<std::timed_mutex>& lock) {
        error_ = Pa_GetErrorText(err);
        lock.unlock();
        finish(/*drain=*/false);
        return false;
    }

    void finish(bool drain) {
        if (stream_) {
            if (drain) awaitPlayed();
            stopping_.store(true);
            // Both return after the last callback. A device given up is
            // aborted: its callback thread is cancelled where it waits, if
            // it has not ended already.
            drain ? Pa_StopStream(stream_) : Pa_AbortStream(stream_);
        }
        if (!stream_ && !initialized_) return;
        const std::unique_lock<std::timed_mutex> lock(libraryLock(), kLibraryWait);
        if (!lock) return;  // someone's close hangs: leave this one open rather than hang too
        if (stream_) {
            Pa_CloseStream(stream_);
            stream_ = nullptr;
        }
        if (initialized_) {
            Pa_Terminate();
            initialized_ = false;
        }
    }

    void awaitPlayed() {
        using Clock = std::chrono::steady_clock;
        if (soundUntil_.load() <= 0.0) return;  // no sound yet
        // An audio server may still hold a period's worth when ALSA counts
        // it played (PipeWire dropped up to 20 ms of it): a buffer more.
        const PaTime until = soundUntil_.load() + kBufferSeconds;
        const auto giveUp = Clock::now() + std::chrono::duration<double>(outputLatency_ + 3 * kBufferSeconds) +
                            std::chrono::milliseconds(100);
        while (Clock::now() < giveUp && !faulted()) {
            const PaTime now = Pa_GetStreamTime(stream_);
            if (now >= until) return;  // (0 when it cannot tell: then the bound decides)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }

    static int callback(const void*, void* output, unsigned long frames, const PaStreamCallbackTimeInfo* time,
                        PaStreamCallbackFlags, void* user) {
        auto* self = static_cast<PortAudioOutput*>(user);
        portaudio_messages::onCallback(self->thread_);
        auto* out = static_cast<float*>(output);
        self->render_(self->context_, out, frames);
        // When the last sample with sound in this buffer reaches the speaker.
        if (time && time->outputBufferDacTime > 0.0) {
            for (unsigned long i = frames; i-- > 0;) {
                if (std::fabs(out[i]) >= kAudible) {
                    self->soundUntil_.store(time->outputBufferDacTime + static_cast<double>(i + 1) / kSampleRate,
                                            std::memory_order_relaxed);
                    break;
                }
            }
        }
        return paContinue;
    }

    // The stream has ended: our own abort, or the device failed.
    static void finished(void* user) { static_cast<PortAudioOutput*>(user)->ended_.store(true); }

    RenderFn render_ = nullptr;
    void* context_ = nullptr;
    PaStream* stream_ = nullptr;
    bool initialized_ = false;
    double outputLatency_ = 0.0;  // seconds
    std::uint64_t latency_ = 0;
    std::string error_;
    std::atomic<PaTime> soundUntil_{0.0};  // stream time when the last sound is heard
    std::atomic<bool> ended_{false};
    std::atomic<bool> stopping_{false};
    portaudio_messages::CallbackThread thread_;
};

}  // namespace

std::unique_ptr<AudioOutput> makePortAudioOutput() { return std::make_unique<PortAudioOutput>(); }

}  // namespace bleeptone
