#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cinttypes>
#include <cstdio>
#include <optional>

#include "cli/cli.h"
#include "cli/cli_project.h"
#include "engine/constants.h"
#include "engine/seek.h"
#include "song/note_map.h"
#include "song/song_assembly.h"

// bleeptone notes: the note map of a song, one line per note or rest as the
// engine plays it, or one JSON object.

namespace bleeptone {

namespace {

constexpr double kMaxNotesSeconds = 600.0;

const char* const kHeader = "channel\tstart\tframes\tnote\tverse\tcolumn\tpass\n";

// The note column: the MIDI number, "r" for a rest, "-" for a silent note.
QJsonValue noteValue(const MappedNote& n) {
    switch (n.kind) {
        case NoteKind::Note: return n.midiNote();
        case NoteKind::Rest: return QStringLiteral("r");
        case NoteKind::Silent: break;
    }
    return QStringLiteral("-");
}

std::string noteText(const MappedNote& n) {
    const QJsonValue v = noteValue(n);
    return v.isString() ? v.toString().toStdString() : std::to_string(v.toInt());
}

bool writeLines(const NoteMap& map, std::FILE* out) {
    if (std::fputs(kHeader, out) < 0) return false;
    for (int k = 0; k < kVoices; ++k) {
        for (const MappedNote& n : map.channels[k].notes) {
            const std::string verse = n.place ? std::to_string(n.place->verse) : "-";
            const std::string column = n.place ? std::to_string(n.place->column + 1) : "-";
            if (std::fprintf(out, "%d\t%" PRIu64 "\t%" PRIu64 "\t%s\t%s\t%s\t%d\n", k + 1, n.start, n.frames(),
                             noteText(n).c_str(), verse.c_str(), column.c_str(), n.pass) < 0)
                return false;
        }
    }
    return true;
}

QJsonValue frameValue(const std::optional<std::uint64_t>& frame) {
    return frame ? QJsonValue(static_cast<qint64>(*frame)) : QJsonValue();
}

QByteArray json(const NoteMap& map) {
    QJsonArray notes;
    QJsonArray channels;
    for (int k = 0; k < kVoices; ++k) {
        const MappedChannel& ch = map.channels[k];
        QJsonObject c{{"channel", k + 1}};
        if (!ch.hasText) c["empty"] = true;
        if (ch.endFrame) c["end"] = frameValue(ch.endFrame);
        if (ch.loopFrame) c["loop"] = frameValue(ch.loopFrame);
        channels.append(c);
        for (const MappedNote& n : ch.notes) {
            notes.append(QJsonObject{
                {"channel", k + 1},
                {"start", static_cast<qint64>(n.start)},
                {"frames", static_cast<qint64>(n.frames())},
                {"note", noteValue(n)},
                {"verse", n.place ? QJsonValue(n.place->verse) : QJsonValue()},
                {"column", n.place ? QJsonValue(n.place->column + 1) : QJsonValue()},
                {"pass", n.pass},
                {"volume", n.settings.Volume},
                {"waveform", n.settings.Waveform},
            });
        }
    }
    const char* stop = map.stop == NoteMapStop::Ended ? "end" : map.stop == NoteMapStop::Looped ? "loop" : "time";
    const QJsonObject root{
        {"sample_rate", kSampleRate},
        {"tick_frames", kTickSamples},
        {"length", frameValue(map.songLength)},
        {"frames", static_cast<qint64>(map.frames)},
        {"stop", stop},
        {"channels", channels},
        {"notes", notes},
    };
    return QJsonDocument(root).toJson(QJsonDocument::Compact) + '\n';
}

}  // namespace

int runNotes(const std::vector<std::string>& args, const CliIo& io) {
    SongSource song;
    std::optional<double> seconds;
    bool asJson = false;
    const auto option = [&](const std::string& name, const std::string& value) -> std::optional<std::string> {
        if (name == "--json") {
            asJson = true;
            return std::nullopt;
        }
        double s = 0;
        if (!parseSeconds(value, s) || s < 0 || s > kMaxNotesSeconds)
            return "--seconds must be a number of seconds from 0 to 600: '" + value + "'";
        seconds = s;
        return std::nullopt;
    };
    if (auto problem = parseSongCommand(args, song, {"--seconds"}, {"--json"}, option))
        return usageError(io, "notes", *problem);
    if (!song.given()) return usageError(io, "notes", "expected PROJECT.mmlp, --demo N or --mml TEXT");

    // Without --seconds: where a render stops. With it: on to that time, loops and all.
    NoteMapLimits limits;
    limits.maxFrames = framesForSeconds(seconds.value_or(kMaxNotesSeconds));
    limits.passes = seconds ? 0 : 1;
    NoteMap map;
    if (!song.texts.empty()) {
        SongTexts texts;
        for (std::size_t k = 0; k < song.texts.size(); ++k) texts[k] = song.texts[k];
        map = mapTexts(texts, limits);
    } else {
        ProjectModel model;
        if (auto code = loadProject(song, model, io, "notes")) return *code;
        map = mapSong(assembleSongWithMap(model), limits);
    }

    bool written = true;
    if (asJson) {
        const QByteArray text = json(map);
        written = std::fwrite(text.constData(), 1, static_cast<std::size_t>(text.size()), io.out) ==
                  static_cast<std::size_t>(text.size());
    } else {
        written = writeLines(map, io.out);
    }
    if (!written || std::fflush(io.out) != 0) {
        std::fprintf(io.err, "bleeptone notes: cannot write the output\n");
        return kExitIo;
    }
    return kExitOk;
}

}  // namespace bleeptone
