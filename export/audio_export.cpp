#include "export/audio_export.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <chrono>
#include <filesystem>
#include <memory>

#include "engine/constants.h"
#include "engine/events.h"
#include "engine/offline_render.h"
#include "engine/recording_fade.h"
#include "engine/staged_file.h"
#include "export/fade_out.h"

// How an export runs. The song is rendered twice: a first pass only finds
// where it ends (its end, or its passes-th common loop, or the length limit)
// and hands on its events, then each file is rendered again for exactly that
// many samples and streamed to its encoder in 2,048-sample chunks. The render
// costs about 1/8,000 of the song's length (README, Performance), far less
// than any encoder, and knowing the length first means the fade is applied as
// the samples stream past (no buffer of the song's end), the progress total is
// exact, and every stem is exactly as long as the mix. Memory stays a few
// chunks whatever the song's length or the fade's.

namespace bleeptone {

namespace {

constexpr auto kProgressInterval = std::chrono::milliseconds(33);  // about 30 reports a second

bool isCancelled(const std::atomic<bool>* cancel) { return cancel && cancel->load(std::memory_order_relaxed); }

// The texts of file 0 (the mix) or of stem 1..4 (that channel alone).
std::vector<std::u16string> textsOf(const ExportSpec& spec, int file) {
    if (file == 0) return {spec.texts.begin(), spec.texts.end()};
    std::vector<std::u16string> texts(spec.texts.size());
    texts[static_cast<std::size_t>(file - 1)] = spec.texts[static_cast<std::size_t>(file - 1)];
    return texts;
}

// The measuring pass: only the events matter, and the render stops early
// (not as a failure) when the export is cancelled.
class MeasureSink : public RenderSink {
public:
    MeasureSink(const ExportSpec& spec, const std::atomic<bool>* cancel) : spec_(spec), cancel_(cancel) {}
    bool samples(const float*, std::size_t) override { return true; }
    bool event(const EngineEvent& ev) override {
        if (spec_.events) spec_.events(ev);
        return true;
    }
    bool finished() const override { return isCancelled(cancel_); }

private:
    const ExportSpec& spec_;
    const std::atomic<bool>* cancel_;
};

// The samples a fade changes: the last `length` of the file.
struct FadePlan {
    std::uint64_t start = 0;
    std::uint64_t length = 0;
    bool linear = false;  // the export's fade-out; else the recording's own
};

FadePlan fadePlan(const ExportSpec& spec, std::uint64_t frames) {
    if (spec.fadeSeconds) {
        const std::uint64_t n = std::min(framesForSeconds(*spec.fadeSeconds), frames);
        return {frames - n, n, true};
    }
    if (frames < kRecordingFadeSamples) return {frames, 0, false};
    return {frames - kRecordingFadeSamples, kRecordingFadeSamples, false};
}

class ProgressReporter {
public:
    ProgressReporter(const ExportProgressFn& fn, int files, std::uint64_t frames) : fn_(fn) {
        progress_.files = files;
        progress_.framesTotal = frames;
    }
    void startFile(int file) {
        progress_.file = file;
        progress_.framesDone = 0;
        send();
    }
    void advance(std::uint64_t done) {
        progress_.framesDone = done;
        if (std::chrono::steady_clock::now() - last_ >= kProgressInterval) send();
    }
    void endFile() {
        progress_.framesDone = progress_.framesTotal;
        send();
    }

private:
    void send() {
        last_ = std::chrono::steady_clock::now();
        if (fn_) fn_(progress_);
    }
    const ExportProgressFn& fn_;
    ExportProgress progress_;
    std::chrono::steady_clock::time_point last_;
};

// Turns output samples into recording samples, fades the end and hands them
// to the encoder.
class EncodeSink : public RenderSink {
public:
    EncodeSink(Encoder& encoder, FadePlan fade, ProgressReporter& progress, const std::atomic<bool>* cancel)
        : encoder_(encoder), fade_(fade), progress_(progress), cancel_(cancel) {}

    bool samples(const float* data, std::size_t count) override {
        std::array<std::int16_t, kOfflineChunk> pcm;
        while (count > 0) {
            const std::size_t n = std::min(count, pcm.size());
            for (std::size_t i = 0; i < n; ++i) pcm[i] = sample(data[i], done_ + i);
            if (!encoder_.write(pcm.data(), n)) {
                failed_ = true;
                return false;
            }
            done_ += n;
            data += n;
            count -= n;
        }
        progress_.advance(done_);
        return true;
    }
    bool event(const EngineEvent&) override { return true; }
    bool finished() const override { return isCancelled(cancel_); }

    bool failed() const { return failed_; }

private:
    std::int16_t sample(float output, std::uint64_t index) {
        const std::int16_t s = recordingSample(output);
        if (index < fade_.start) return s;
        return fade_.linear ? fadeOutSample(s, index - fade_.start, fade_.length) : recordingFade_.next(s);
    }

    Encoder& encoder_;
    FadePlan fade_;
    RecordingFade recordingFade_;
    ProgressReporter& progress_;
    const std::atomic<bool>* cancel_;
    std::uint64_t done_ = 0;
    bool failed_ = false;
};

std::optional<std::string> checkSpec(const ExportSpec& spec, const std::string& path) {
    if (path.empty()) return "no output file name";
    if (spec.passes < 1 || spec.passes > kMaxExportPasses)
        return "passes must be from 1 to " + std::to_string(kMaxExportPasses) + ", not " + std::to_string(spec.passes);
    if (spec.fadeSeconds && !(*spec.fadeSeconds >= 0 && *spec.fadeSeconds <= 36000))
        return std::string("the fade must be from 0 to 36000 seconds");
    if (spec.maxFrames > kMaxExportFrames || (spec.frames && *spec.frames > kMaxExportFrames))
        return std::string("the length must be at most 36000 seconds");
    if (spec.startFrame > kMaxExportFrames) return std::string("the start must be at most 36000 seconds");
    return std::nullopt;
}

ExportResult failure(ExportStatus status, std::string message) {
    ExportResult result;
    result.status = status;
    result.message = std::move(message);
    return result;
}

ExportResult cancelled() { return failure(ExportStatus::Cancelled, "export cancelled"); }

// Where the files go: a path (stems beside it), or an open stream.
struct Destination {
    std::string path;  // or the stream's name
    std::FILE* stream = nullptr;
};

ExportResult exportTo(const ExportSpec& spec, const Destination& to, const ExportProgressFn& progress,
                      const std::atomic<bool>* cancel) {
    if (auto problem = checkSpec(spec, to.path)) return failure(ExportStatus::Failed, *problem);
    if (to.stream && spec.stems) return failure(ExportStatus::Failed, "one file per channel needs a file name");

    OfflineRenderSpec job;
    job.texts = textsOf(spec, 0);
    job.startFrame = spec.startFrame;
    job.frames = spec.frames;
    job.maxFrames = spec.maxFrames;
    job.passes = spec.passes;
    MeasureSink measure(spec, cancel);
    const OfflineRenderResult measured = renderOffline(job, measure);
    if (isCancelled(cancel)) return cancelled();
    const std::uint64_t frames = measured.frames;

    const int files = spec.stems ? 1 + kVoices : 1;
    std::array<StagedFile, 1 + kVoices> staged;
    std::vector<std::string> paths;
    ProgressReporter reporter(progress, files, frames);
    for (int k = 0; k < files; ++k) {
        paths.push_back(k == 0 ? to.path : stemPath(to.path, k));
        StagedFile& file = staged[static_cast<std::size_t>(k)];
        const bool opened = k == 0 && to.stream ? file.openStream(to.stream, to.path) : file.open(paths.back());
        if (!opened) return failure(ExportStatus::Failed, "cannot create " + file.error());
        std::string why;
        auto encoder = makeEncoder(spec.format, file.stream(), frames, why);
        if (!encoder) return failure(ExportStatus::Failed, "cannot write " + paths.back() + ": " + why);

        reporter.startFile(k);
        EncodeSink sink(*encoder, fadePlan(spec, frames), reporter, cancel);
        job.texts = textsOf(spec, k);
        job.frames = frames;
        const OfflineRenderResult encoded = renderOffline(job, sink);
        if (encoded.stopped) return cancelled();
        if (sink.failed() || !encoder->finish())
            return failure(ExportStatus::Failed, "cannot write " + paths.back() + ": " + encoder->error());
        if (!file.close()) return failure(ExportStatus::Failed, "cannot write " + file.error());
        reporter.endFile();
    }
    if (isCancelled(cancel)) return cancelled();
    for (int k = 0; k < files; ++k) {
        StagedFile& file = staged[static_cast<std::size_t>(k)];
        if (!file.commit()) return failure(ExportStatus::Failed, "cannot write " + file.error());
    }

    ExportResult result;
    result.status = ExportStatus::Done;
    result.frames = frames;
    result.files = std::move(paths);
    result.droppedEvents = measured.droppedEvents;
    return result;
}

}  // namespace

ExportResult exportAudio(const ExportSpec& spec, const std::string& path, const ExportProgressFn& progress,
                         const std::atomic<bool>* cancel) {
    return exportTo(spec, {path, nullptr}, progress, cancel);
}

ExportResult exportAudio(const ExportSpec& spec, std::FILE* out, const std::string& name,
                         const ExportProgressFn& progress, const std::atomic<bool>* cancel) {
    return exportTo(spec, {name, out}, progress, cancel);
}

std::optional<ExportFormat> exportFormatFromExtension(std::string_view path) {
    std::string ext = std::filesystem::path(path).extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (ext == ".wav") return ExportFormat::Wav;
    if (ext == ".flac") return ExportFormat::Flac;
    if (ext == ".ogg") return ExportFormat::Ogg;
    if (ext == ".mp3") return ExportFormat::Mp3;
    return std::nullopt;
}

std::string stemPath(const std::string& path, int channel) {
    const std::filesystem::path p(path);
    const std::string name = p.stem().string() + "-" + std::to_string(channel) + p.extension().string();
    return (p.parent_path() / name).string();
}

}  // namespace bleeptone
