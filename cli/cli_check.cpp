#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdio>
#include <string>

#include "cli/cli.h"
#include "cli/cli_project.h"
#include "song/tune_checks.h"

// bleeptone check: the tune checks of a song, one line per finding as a
// compiler writes its warnings, or one JSON object.

namespace bleeptone {

namespace {

constexpr int kExitFindings = 1;

std::string sourceName(const SongSource& song) {
    if (!song.path.empty()) return song.path;
    if (song.demo != 0) return "demo" + std::to_string(song.demo);
    return "mml";
}

std::string lines(const std::string& name, const TuneFindings& findings) {
    std::string out;
    for (const TuneFinding& f : findings) {
        out += name + ':' + std::to_string(f.place.channel) + ':' + std::to_string(f.place.verse) + ':' +
               std::to_string(f.place.column + 1) + ": warning: " + f.message.toStdString() + '\n';
    }
    return out;
}

std::string json(const std::string& name, const TuneFindings& findings) {
    QJsonArray list;
    for (const TuneFinding& f : findings) {
        list.append(QJsonObject{
            {"channel", f.place.channel},
            {"verse", f.place.verse},
            {"column", f.place.column + 1},
            {"length", f.length},
            {"rule", tuneRuleInfo(f.rule).id},
            {"message", f.message},
            {"frame", f.frame ? QJsonValue(static_cast<qint64>(*f.frame)) : QJsonValue()},
        });
    }
    const QJsonObject root{{"name", QString::fromStdString(name)}, {"findings", list}};
    return QJsonDocument(root).toJson(QJsonDocument::Compact).toStdString() + '\n';
}

}  // namespace

int runCheck(const std::vector<std::string>& args, const CliIo& io) {
    SongSource song;
    bool asJson = false;
    const auto flag = [&](const std::string&, const std::string&) -> std::optional<std::string> {
        asJson = true;
        return std::nullopt;
    };
    if (auto problem = parseSongCommand(args, song, {}, {"--json"}, flag)) return usageError(io, "check", *problem);
    if (!song.given()) return usageError(io, "check", "expected PROJECT.mmlp, --demo N or --mml TEXT");

    TuneFindings findings;
    if (!song.texts.empty()) {
        SongTexts texts;
        for (std::size_t k = 0; k < song.texts.size(); ++k) texts[k] = song.texts[k];
        findings = checkTexts(texts);
    } else {
        ProjectModel model;
        // A project that cannot be read is a bad argument here: 1 means findings.
        if (loadProject(song, model, io, "check")) return kExitUsage;
        findings = checkTune(model);
    }

    const std::string name = sourceName(song);
    const std::string text = asJson ? json(name, findings) : lines(name, findings);
    if (std::fwrite(text.data(), 1, text.size(), io.out) != text.size() || std::fflush(io.out) != 0) {
        std::fprintf(io.err, "bleeptone check: cannot write the output\n");
        return kExitUsage;
    }
    return findings.empty() ? kExitOk : kExitFindings;
}

}  // namespace bleeptone
