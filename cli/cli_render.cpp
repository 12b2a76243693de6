#include <cinttypes>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <optional>

#include "cli.h"
#include "cli_project.h"
#include "offline_render.h"
#include "output_file.h"
#include "synth.h"

namespace bleeptone {

namespace {

enum class Format { Wav, F32, S16 };

constexpr double kMaxRenderSeconds = 36000.0;  // ten hours: a WAV file's 32-bit sizes still fit

struct RenderArgs {
    SongSource song;
    std::string output = "-";
    Format format = Format::Wav;
    std::optional<double> seconds;
    double maxSeconds = 600.0;
    std::string eventsPath;
};

std::optional<std::string> parseRenderArgs(const std::vector<std::string>& args, RenderArgs& out) {
    const auto option = [&out](const std::string& name, const std::string& value) -> std::optional<std::string> {
        if (name == "-o" || name == "--output") {
            if (value.empty()) return "the output file name is empty";
            out.output = value;
        } else if (name == "--format") {
            if (value == "wav") out.format = Format::Wav;
            else if (value == "f32") out.format = Format::F32;
            else if (value == "s16") out.format = Format::S16;
            else return "unknown format '" + value + "' (wav, f32 or s16)";
        } else if (name == "--seconds" || name == "--max-seconds") {
            double s = 0;
            if (!parseSeconds(value, s) || s < 0 || s > kMaxRenderSeconds)
                return name + " must be a number of seconds from 0 to 36000: '" + value + "'";
            if (name == "--seconds") out.seconds = s;
            else out.maxSeconds = s;
        } else {
            if (value.empty()) return "the events file name is empty";
            out.eventsPath = value;
        }
        return std::nullopt;
    };
    return parseSongCommand(args, out.song, {"-o", "--output", "--format", "--seconds", "--max-seconds", "--events"},
                            {}, option);
}

std::uint64_t toFrames(double seconds) { return static_cast<std::uint64_t>(std::llround(seconds * kSampleRate)); }

// Hands samples and events to their files.
class FileSink : public RenderSink {
public:
    FileSink(Format format, std::FILE* data, std::FILE* events) : format_(format), data_(data), events_(events) {}

    bool samples(const float* data, std::size_t count) override {
        if (!data_ || count == 0) return true;
        std::uint8_t bytes[kOfflineChunk * 4];
        std::size_t size = 0;
        for (std::size_t i = 0; i < count; ++i) {
            if (format_ == Format::F32) {
                std::uint32_t bits;
                std::memcpy(&bits, &data[i], 4);
                for (int b = 0; b < 4; ++b) bytes[size++] = static_cast<std::uint8_t>(bits >> (8 * b));
            } else {
                const auto v = static_cast<std::uint16_t>(recordingSample(data[i]));
                bytes[size++] = static_cast<std::uint8_t>(v);
                bytes[size++] = static_cast<std::uint8_t>(v >> 8);
            }
        }
        return std::fwrite(bytes, 1, size, data_) == size;
    }

    bool event(const EngineEvent& ev) override {
        if (!events_) return true;
        return std::fprintf(events_, "%" PRIu64 " %" PRId64 "\n", ev.frame, ev.data) > 0;
    }

private:
    Format format_;
    std::FILE* data_;
    std::FILE* events_;
};

bool copyFile(const std::string& path, std::FILE* to) {
    std::FILE* from = std::fopen(path.c_str(), "rb");
    if (!from) return false;
    char buffer[65536];
    bool ok = true;
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, from)) > 0) {
        if (std::fwrite(buffer, 1, n, to) != n) {
            ok = false;
            break;
        }
    }
    ok = ok && !std::ferror(from) && std::fflush(to) == 0;
    std::fclose(from);
    return ok;
}

int ioError(const CliIo& io, const std::string& message) {
    std::fprintf(io.err, "bleeptone render: %s\n", message.c_str());
    return kExitIo;
}

std::string tempDirectory() {
    const char* dir = std::getenv("TMPDIR");
    return dir && *dir ? dir : "/tmp";
}

}  // namespace

int runRender(const std::vector<std::string>& args, const CliIo& io) {
    RenderArgs opts;
    if (auto error = parseRenderArgs(args, opts)) return usageError(io, "render", *error);
    const bool toStdout = opts.output == "-";
    if (toStdout && io.outIsTerminal)
        return usageError(io, "render", "refusing to write audio to a terminal; give -o FILE");
    if (opts.eventsPath == "-" && toStdout)
        return usageError(io, "render", "audio and events cannot both go to standard output");

    OutputFile audioFile;
    OutputFile eventsFile;
    if (opts.format == Format::Wav || !toStdout) {
        // A WAV file is written through a temporary file even for standard
        // output: the recorder fills in the sizes at the end.
        const std::string path = toStdout ? tempDirectory() + "/bleeptone-render.wav" : opts.output;
        if (!audioFile.open(path)) return ioError(io, "cannot create " + audioFile.error());
    }
    if (!opts.eventsPath.empty() && opts.eventsPath != "-" && !eventsFile.open(opts.eventsPath))
        return ioError(io, "cannot create " + eventsFile.error());

    OfflineRenderSpec spec;
    if (auto code = opts.song.channelTexts(spec.texts, io, "render")) return *code;
    if (opts.seconds) spec.frames = toFrames(*opts.seconds);
    spec.maxFrames = toFrames(opts.maxSeconds);
    std::FILE* data = nullptr;
    if (opts.format == Format::Wav) {
        audioFile.closeStream();  // the recorder creates the file anew by name
        spec.wavPath = audioFile.tempPath();
    } else {
        data = toStdout ? io.out : audioFile.stream();
    }
    std::FILE* events = opts.eventsPath.empty() ? nullptr : (opts.eventsPath == "-" ? io.out : eventsFile.stream());

    FileSink sink(opts.format, data, events);
    const OfflineRenderResult result = renderOffline(spec, sink);

    if (!spec.wavPath.empty() && !result.wavCreated) return ioError(io, "cannot create " + opts.output);
    if (result.abandoned) return ioError(io, "cannot write the output");
    if (!spec.wavPath.empty() && result.wav != RecordOutcome::Complete)
        return ioError(io, "writing " + opts.output + " failed");
    if (result.droppedEvents > 0)
        std::fprintf(io.err, "bleeptone render: warning: %" PRIu64 " engine events were dropped (queue full)\n",
                     result.droppedEvents);

    if (toStdout && opts.format == Format::Wav) {
        if (!copyFile(audioFile.tempPath(), io.out)) return ioError(io, "cannot write the output");
        audioFile.abandon();
    } else if (toStdout) {
        if (std::fflush(io.out) != 0) return ioError(io, "cannot write the output");
    } else if (!audioFile.commit()) {
        return ioError(io, "cannot write " + audioFile.error());
    }
    if (!opts.eventsPath.empty() && opts.eventsPath != "-" && !eventsFile.commit())
        return ioError(io, "cannot write " + eventsFile.error());
    return kExitOk;
}

}  // namespace bleeptone
