#include <bit>
#include <cinttypes>
#include <optional>

#include "cli/cli.h"
#include "cli/cli_project.h"
#include "engine/constants.h"
#include "engine/little_endian.h"
#include "engine/offline_render.h"
#include "engine/staged_file.h"
#include "engine/synth.h"
#include "export/audio_export.h"
#include "export/midi_export.h"
#include "song/note_map.h"
#include "song/song_assembly.h"

// bleeptone render. The audio formats (wav, flac, ogg, mp3) go through the
// export, whose WAV with none of the export options is the very file a
// recording writes; the raw formats (f32, s16) stream the render as it runs;
// mid is the Standard MIDI File of the song's note map. Every file goes
// through a StagedFile.

namespace bleeptone {

namespace {

enum class Format { Wav, Flac, Ogg, Mp3, F32, S16, Mid };

constexpr double kMaxRenderSeconds = 36000.0;  // ten hours: a WAV file's 32-bit sizes still fit

struct RenderArgs {
    SongSource song;
    std::string output = "-";
    std::optional<Format> format;
    std::optional<double> seconds;
    double maxSeconds = 600.0;
    std::string eventsPath;
    std::optional<int> loops;
    std::optional<double> fade;
    bool stems = false;
    double start = 0;
};

// The formats by the names --format takes.
const struct {
    const char* name;
    Format format;
} kFormatNames[] = {{"wav", Format::Wav}, {"flac", Format::Flac}, {"ogg", Format::Ogg}, {"mp3", Format::Mp3},
                    {"f32", Format::F32}, {"s16", Format::S16},   {"mid", Format::Mid}};

std::optional<Format> formatNamed(const std::string& name) {
    for (const auto& n : kFormatNames)
        if (name == n.name) return n.format;
    return std::nullopt;
}

const char* formatName(Format format) {
    for (const auto& n : kFormatNames)
        if (format == n.format) return n.name;
    return "wav";
}

bool isRaw(Format format) { return format == Format::F32 || format == Format::S16; }

ExportFormat exportFormat(Format format) {
    switch (format) {
        case Format::Flac: return ExportFormat::Flac;
        case Format::Ogg: return ExportFormat::Ogg;
        case Format::Mp3: return ExportFormat::Mp3;
        default: return ExportFormat::Wav;
    }
}

bool hasMidiExtension(const std::string& path) {
    const std::size_t dot = path.find_last_of("./");
    if (dot == std::string::npos || path[dot] != '.') return false;
    std::string ext = path.substr(dot + 1);
    for (char& c : ext) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return ext == "mid" || ext == "midi";
}

// The format -o's extension asks for (.wav .flac .ogg .mp3 .mid .midi, any case), else wav.
Format formatOfOutput(const std::string& output) {
    if (output == "-") return Format::Wav;
    if (hasMidiExtension(output)) return Format::Mid;
    switch (exportFormatFromExtension(output).value_or(ExportFormat::Wav)) {
        case ExportFormat::Flac: return Format::Flac;
        case ExportFormat::Ogg: return Format::Ogg;
        case ExportFormat::Mp3: return Format::Mp3;
        case ExportFormat::Wav: break;
    }
    return Format::Wav;
}

std::optional<std::string> secondsOption(const std::string& name, const std::string& value, double& seconds) {
    if (!parseSeconds(value, seconds) || seconds < 0 || seconds > kMaxRenderSeconds)
        return name + " must be a number of seconds from 0 to 36000: '" + value + "'";
    return std::nullopt;
}

std::optional<std::string> parseRenderArgs(const std::vector<std::string>& args, RenderArgs& out) {
    const auto option = [&out](const std::string& name, const std::string& value) -> std::optional<std::string> {
        double s = 0;
        if (name == "-o" || name == "--output") {
            if (value.empty()) return "the output file name is empty";
            out.output = value;
        } else if (name == "--format") {
            out.format = formatNamed(value);
            if (!out.format) return "unknown format '" + value + "' (wav, flac, ogg, mp3, f32, s16 or mid)";
        } else if (name == "--seconds" || name == "--max-seconds" || name == "--fade" || name == "--start") {
            if (auto problem = secondsOption(name, value, s)) return problem;
            if (name == "--seconds")
                out.seconds = s;
            else if (name == "--max-seconds")
                out.maxSeconds = s;
            else if (name == "--fade")
                out.fade = s;
            else
                out.start = s;
        } else if (name == "--loops") {
            long long n = 0;
            if (!parseInt64(value, n) || n < 1 || n > kMaxExportPasses)
                return "--loops must be a whole number from 1 to 16: '" + value + "'";
            out.loops = static_cast<int>(n);
        } else if (name == "--stems") {
            out.stems = true;
        } else {
            if (value.empty()) return "the events file name is empty";
            out.eventsPath = value;
        }
        return std::nullopt;
    };
    if (auto problem = parseSongCommand(
            args, out.song,
            {"-o", "--output", "--format", "--seconds", "--max-seconds", "--events", "--loops", "--fade", "--start"},
            {"--stems"}, option))
        return problem;

    if (!out.format) out.format = formatOfOutput(out.output);
    const std::string format = formatName(*out.format);
    if (*out.format == Format::Mid && (out.fade || out.stems || !out.eventsPath.empty()))
        return std::string(out.fade    ? "--fade"
                           : out.stems ? "--stems"
                                       : "--events") +
               " needs an audio format (wav, flac, ogg, mp3, f32 or s16), not mid";
    if (isRaw(*out.format) && out.fade) return "--fade needs an audio format (wav, flac, ogg or mp3), not " + format;
    if (isRaw(*out.format) && out.stems) return "--stems needs an audio format (wav, flac, ogg or mp3), not " + format;
    if (out.stems && out.output == "-") return "--stems needs an output file (-o FILE), not standard output";
    if (out.loops && out.seconds) return "give --loops or --seconds, not both";
    if (out.eventsPath == "-" && out.output == "-") return "audio and events cannot both go to standard output";
    return std::nullopt;
}

// Writes engine events, one line each; remembers a failed write.
class EventWriter {
public:
    explicit EventWriter(std::FILE* file) : file_(file) {}
    bool write(const EngineEvent& ev) {
        if (file_ && std::fprintf(file_, "%" PRIu64 " %" PRId64 "\n", ev.frame, ev.data) < 0) failed_ = true;
        return !failed_;
    }
    bool failed() const { return failed_; }

private:
    std::FILE* file_;
    bool failed_ = false;
};

// Hands raw samples and events to their files.
class RawSink : public RenderSink {
public:
    RawSink(Format format, std::FILE* data, EventWriter& events) : format_(format), data_(data), events_(events) {}

    bool samples(const float* data, std::size_t count) override {
        std::uint8_t bytes[kOfflineChunk * 4];
        std::size_t size = 0;
        for (std::size_t i = 0; i < count; ++i) {
            if (format_ == Format::F32) {
                putLE32(&bytes[size], std::bit_cast<std::uint32_t>(data[i]));
                size += 4;
            } else {
                putLE16(&bytes[size], static_cast<std::uint16_t>(recordingSample(data[i])));
                size += 2;
            }
        }
        return std::fwrite(bytes, 1, size, data_) == size;
    }
    bool event(const EngineEvent& ev) override { return events_.write(ev); }

private:
    Format format_;
    std::FILE* data_;
    EventWriter& events_;
};

// A project's name for the file's title: its file name without the extension.
std::string songTitle(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const std::size_t dot = name.find_last_of('.');
    return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
}

int ioError(const CliIo& io, const std::string& message) {
    std::fprintf(io.err, "bleeptone render: %s\n", message.c_str());
    return kExitIo;
}

void warnDropped(const CliIo& io, std::uint64_t dropped) {
    if (dropped > 0)
        std::fprintf(io.err,
                     "bleeptone render: warning: %" PRIu64
                     " \"*\" events were dropped (engine event queue full; the end events never are)\n",
                     dropped);
}

// wav, flac, ogg, mp3: the export, into the file or through a temporary file
// copied to standard output.
int renderAudio(const RenderArgs& opts, const std::vector<std::u16string>& texts, EventWriter& events,
                const CliIo& io) {
    ExportSpec spec;
    for (std::size_t k = 0; k < texts.size() && k < spec.texts.size(); ++k) spec.texts[k] = texts[k];
    spec.format = exportFormat(*opts.format);
    spec.startFrame = framesForSeconds(opts.start);
    spec.passes = opts.loops.value_or(1);
    if (opts.seconds) spec.frames = framesForSeconds(*opts.seconds);
    spec.maxFrames = framesForSeconds(opts.maxSeconds);
    spec.fadeSeconds = opts.fade;
    spec.stems = opts.stems;
    spec.events = [&events](const EngineEvent& ev) { events.write(ev); };
    const ExportResult result = opts.output == "-" ? exportAudio(spec, io.out, "standard output", {}, nullptr)
                                                   : exportAudio(spec, opts.output, {}, nullptr);
    if (!result.ok()) return ioError(io, result.message);
    warnDropped(io, result.droppedEvents);
    return kExitOk;
}

// f32, s16: the render streamed into the file (or standard output) as it runs.
int renderRaw(const RenderArgs& opts, const std::vector<std::u16string>& texts, EventWriter& events, const CliIo& io) {
    StagedFile audioFile;
    const bool toStdout = opts.output == "-";
    if (!toStdout && !audioFile.open(opts.output)) return ioError(io, "cannot create " + audioFile.error());

    OfflineRenderSpec spec;
    spec.texts = texts;
    spec.startFrame = framesForSeconds(opts.start);
    if (opts.seconds) spec.frames = framesForSeconds(*opts.seconds);
    spec.maxFrames = framesForSeconds(opts.maxSeconds);
    spec.passes = opts.loops.value_or(1);
    RawSink sink(*opts.format, toStdout ? io.out : audioFile.stream(), events);
    const OfflineRenderResult result = renderOffline(spec, sink);
    if (result.abandoned) {
        if (events.failed())
            return ioError(io,
                           "cannot write " + (opts.eventsPath == "-" ? std::string("the events") : opts.eventsPath));
        return ioError(io, "cannot write " + (toStdout ? std::string("the output") : opts.output));
    }
    if (toStdout) {
        if (std::fflush(io.out) != 0) return ioError(io, "cannot write the output");
    } else if (!audioFile.commit()) {
        return ioError(io, "cannot write " + audioFile.error());
    }
    warnDropped(io, result.droppedEvents);
    return kExitOk;
}

// mid: the note map of the song (a project's verse names name the tracks).
int renderMidi(const RenderArgs& opts, const CliIo& io) {
    MidiExportSpec spec;
    spec.startFrame = framesForSeconds(opts.start);
    if (opts.seconds) spec.frames = framesForSeconds(*opts.seconds);
    spec.maxFrames = framesForSeconds(opts.maxSeconds);
    spec.passes = opts.loops.value_or(1);
    NoteMap map;
    if (opts.song.path.empty() && opts.song.demo == 0) {
        SongTexts texts;
        for (std::size_t k = 0; k < opts.song.texts.size() && k < texts.size(); ++k) texts[k] = opts.song.texts[k];
        map = mapTexts(texts, midiMapLimits(spec));
    } else {
        ProjectModel model;
        if (auto code = loadProject(opts.song, model, io, "render")) return *code;
        spec.names = midiTrackNames(model);
        spec.beatsPerMeasure = beatsPerMeasureOf(model);
        spec.title = opts.song.demo ? "Demo " + std::to_string(opts.song.demo) : songTitle(opts.song.path);
        map = mapSong(assembleSongWithMap(model), midiMapLimits(spec));
    }
    const MidiFile file = midiFileOfMap(map, spec);
    const MidiWriteResult written =
        opts.output == "-" ? writeMidiFile(file, io.out, "standard output") : writeMidiFile(file, opts.output);
    if (!written.ok) return ioError(io, written.message);
    return kExitOk;
}

}  // namespace

int runRender(const std::vector<std::string>& args, const CliIo& io) {
    RenderArgs opts;
    if (auto error = parseRenderArgs(args, opts)) return usageError(io, "render", *error);
    if (opts.output == "-" && io.outIsTerminal)
        return usageError(io, "render", "refusing to write audio to a terminal; give -o FILE");

    // The events file first: when it cannot be created, no audio is written.
    StagedFile eventsFile;
    const bool eventsToFile = !opts.eventsPath.empty() && opts.eventsPath != "-";
    if (eventsToFile && !eventsFile.open(opts.eventsPath)) return ioError(io, "cannot create " + eventsFile.error());
    EventWriter events(opts.eventsPath.empty() ? nullptr : (eventsToFile ? eventsFile.stream() : io.out));

    if (*opts.format == Format::Mid) return renderMidi(opts, io);
    std::vector<std::u16string> texts;
    if (auto code = opts.song.channelTexts(texts, io, "render")) return *code;
    const int code = isRaw(*opts.format) ? renderRaw(opts, texts, events, io) : renderAudio(opts, texts, events, io);
    if (code != kExitOk) return code;

    if (events.failed())
        return ioError(io, "cannot write " + (eventsToFile ? opts.eventsPath : std::string("the events")));
    if (eventsToFile && !eventsFile.commit()) return ioError(io, "cannot write " + eventsFile.error());
    if (opts.eventsPath == "-" && std::fflush(io.out) != 0) return ioError(io, "cannot write the events");
    return kExitOk;
}

}  // namespace bleeptone
