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

#include "engine/constants.h"
#include "engine/output.h"

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

class PortAudioOutput : public AudioOutput {
public:
    ~PortAudioOutput() override { stop(); }

    bool start(RenderFn render, void* context) override {
        stop();
        render_ = render;
        context_ = context;
#ifdef BLEEPTONE_HAVE_ALSA
        snd_lib_error_set_handler(quietAlsa);
#endif
#ifdef BLEEPTONE_QUIET_JACK
        jack_set_error_function(quietJack);
        jack_set_info_function(quietJack);
#endif
        PaError err = Pa_Initialize();
        if (err != paNoError) return fail(err);
        initialized_ = true;
        err = Pa_OpenDefaultStream(&stream_, 0, 1, paFloat32, kSampleRate, kPreferredBufferFrames, &callback, this);
        if (err != paNoError) return fail(err);
        err = Pa_StartStream(stream_);
        if (err != paNoError) return fail(err);
        const PaStreamInfo* info = Pa_GetStreamInfo(stream_);
        const double deviceFrames = info && info->outputLatency > 0.0 ? info->outputLatency * kSampleRate : 0.0;
        latency_ = static_cast<std::uint64_t>(deviceFrames + 0.5) + kPreferredBufferFrames;
        return true;
    }

    void stop() override {
        if (stream_) {
            Pa_StopStream(stream_);  // returns after the last callback
            Pa_CloseStream(stream_);
            stream_ = nullptr;
        }
        if (initialized_) {
            Pa_Terminate();
            initialized_ = false;
        }
    }

    std::string error() const override { return error_; }
    std::uint64_t latencyFrames() const override { return stream_ ? latency_ : 0; }

private:
    bool fail(PaError err) {
        error_ = Pa_GetErrorText(err);
        stop();
        return false;
    }

    static int callback(const void*, void* output, unsigned long frames, const PaStreamCallbackTimeInfo*,
                        PaStreamCallbackFlags, void* user) {
        auto* self = static_cast<PortAudioOutput*>(user);
        self->render_(self->context_, static_cast<float*>(output), frames);
        return paContinue;
    }

    RenderFn render_ = nullptr;
    void* context_ = nullptr;
    PaStream* stream_ = nullptr;
    bool initialized_ = false;
    std::uint64_t latency_ = 0;
    std::string error_;
};

}  // namespace

std::unique_ptr<AudioOutput> makePortAudioOutput() { return std::make_unique<PortAudioOutput>(); }

}  // namespace bleeptone
