#include <chrono>
#include <csignal>
#include <optional>
#include <thread>

#include "cli/cli.h"
#include "cli/cli_project.h"
#include "engine/constants.h"
#include "engine/engine.h"

namespace bleeptone {

namespace {

volatile std::sig_atomic_t stopRequested = 0;

void onStopSignal(int) { stopRequested = 1; }

// Ctrl+C and SIGTERM end the play cleanly for the life of this object.
class StopSignals {
public:
    StopSignals() {
        stopRequested = 0;
        struct sigaction action {};
        action.sa_handler = onStopSignal;
        sigemptyset(&action.sa_mask);
        sigaction(SIGINT, &action, &oldInt_);
        sigaction(SIGTERM, &action, &oldTerm_);
    }
    ~StopSignals() {
        sigaction(SIGINT, &oldInt_, nullptr);
        sigaction(SIGTERM, &oldTerm_, nullptr);
    }

private:
    struct sigaction oldInt_ {};
    struct sigaction oldTerm_ {};
};

// A voice silenced at full volume is below a 16-bit step 840 samples later.
constexpr std::uint64_t kFadeOutFrames = 1024;

// Until the engine has rendered sample `frame`; an output that stalls is
// replaced by the watchdog within a second, so a few seconds bound the wait.
void awaitFrame(const Engine& engine, std::uint64_t frame) {
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    while (engine.framesRendered() < frame && std::chrono::steady_clock::now() < giveUp)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
}

// The latest --start: as far as render goes (a seek of ten hours takes seconds).
constexpr double kMaxStartSeconds = 36000.0;

struct PlayArgs {
    SongSource song;
    std::optional<AudioBackend> audio;
    std::string recordPath;
    std::uint64_t startFrame = 0;
};

std::optional<std::string> parsePlayArgs(const std::vector<std::string>& args, PlayArgs& out) {
    const auto option = [&out](const std::string& name, const std::string& value) -> std::optional<std::string> {
        if (name == "--audio") {
            out.audio = parseAudioBackend(value);
            if (!out.audio) return "unknown audio output '" + value + "' (portaudio or null)";
        } else if (name == "--start") {
            double seconds = 0;
            if (!parseSeconds(value, seconds) || seconds < 0 || seconds > kMaxStartSeconds)
                return "--start must be a number of seconds from 0 to 36000: '" + value + "'";
            out.startFrame = framesForSeconds(seconds);
        } else {
            if (value.empty()) return "the recording file name is empty";
            out.recordPath = value;
        }
        return std::nullopt;
    };
    return parseSongCommand(args, out.song, {"--audio", "--record", "--start"}, {}, option);
}

}  // namespace

int runPlay(const std::vector<std::string>& args, const CliIo& io) {
    PlayArgs opts;
    if (auto error = parsePlayArgs(args, opts)) return usageError(io, "play", *error);

    std::vector<std::u16string> channelTexts;
    if (auto code = opts.song.channelTexts(channelTexts, io, "play")) return *code;

    const StopSignals stopSignals;
    auto engine = Engine::create();
    const InitOutcome init = engine->PSG_Init(opts.audio.value_or(audioBackendFromEnvironment()));
    if (init.result == InitResult::SilentFallback) {
        std::fprintf(io.err, "bleeptone play: Unable to initialize PSG (%s); playing silently\n", init.error.c_str());
    } else if (init.result == InitResult::NoOutput) {
        std::fprintf(io.err, "bleeptone play: Unable to initialize PSG (%s)\n", init.error.c_str());
        return kExitIo;
    }

    const bool recording = !opts.recordPath.empty();
    if (recording && !engine->PSG_StartWaveRecord(opts.recordPath, /*AutoStop=*/true)) {
        std::fprintf(io.err, "bleeptone play: cannot create %s\n", opts.recordPath.c_str());
        return kExitIo;
    }
    // From the start, or from --start exactly as if it had played until then
    // (a tune that has ended by then ends at once).
    SongTexts texts;
    for (std::size_t k = 0; k < channelTexts.size() && k < kVoices; ++k) texts[k] = channelTexts[k];
    engine->PSG_PlayMMLFrom(texts, opts.startFrame);

    // Until the tune ends, or loops while recording (the recording has
    // stopped itself by then), or a stop signal comes.
    // A sound device lost on the way is told once; the tune plays on silently.
    bool done = false;
    std::uint64_t endFrame = 0;
    std::uint32_t lossesTold = 0;
    while (!done && !stopRequested) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (const OutputHealth health = engine->outputHealth(); health.losses > lossesTold) {
            if (lossesTold == 0)
                std::fprintf(io.err, "bleeptone play: the sound device stopped; playing on silently\n");
            lossesTold = health.losses;
        }
        EngineEvent ev;
        while (engine->pollEvent(ev)) {
            if (ev.data == kEventEnded || (ev.data == kEventLooped && recording)) {
                done = true;
                endFrame = ev.frame;
            }
        }
    }
    // The voices fade out just after the end (a file fades its last tick
    // instead): that fade is rendered before the output stops, and the output
    // plays everything rendered before it stops.
    if (done) awaitFrame(*engine, endFrame + kFadeOutFrames);
    engine->PSG_Terminate();  // completes a recording still running

    if (recording) {
        switch (engine->lastRecordOutcome()) {
            case RecordOutcome::Complete: break;
            case RecordOutcome::Damaged:
                std::fprintf(io.err,
                             "bleeptone play: warning: %s is damaged: the recorder fell behind and samples were lost\n",
                             opts.recordPath.c_str());
                return kExitIo;
            default:
                std::fprintf(io.err, "bleeptone play: writing %s failed\n", opts.recordPath.c_str());
                return kExitIo;
        }
    }
    return kExitOk;
}

}  // namespace bleeptone
