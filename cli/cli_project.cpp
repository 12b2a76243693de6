#include "cli/cli_project.h"

#include <QFile>
#include <QString>

#include <cstdio>

#include "cli/utf8.h"
#include "export/json_text.h"
#include "project/project_blocks.h"
#include "project/project_file.h"
#include "song/mml_text.h"
#include "song/song_assembly.h"

namespace bleeptone {

bool SongSource::take(ArgReader& arg, bool allowMml, std::string& error) {
    const std::string name = arg.name();
    std::string value;
    if (name == "--demo") {
        long long n = 0;
        if (!arg.takeValue(value))
            error = "option --demo needs a value";
        else if (!parseInt64(value, n) || n < 1 || n > 4)
            error = "--demo takes a demo number from 1 to 4: '" + value + "'";
        else
            demo = static_cast<int>(n);
    } else if (name == "--mml" && allowMml) {
        if (!arg.takeValue(value))
            error = "option --mml needs a value";
        else if (texts.size() == 4)
            error = "at most four --mml texts (one per channel)";
        else
            texts.push_back(utf8ToUtf16(value));
    } else if (!arg.isOption()) {
        if (!path.empty())
            error = "one project at a time";
        else
            path = name;
    } else {
        return false;
    }
    if (error.empty() && (!path.empty() || demo != 0) && !texts.empty())
        error = "give a project or --mml texts, not both";
    if (error.empty() && !path.empty() && demo != 0) error = "give a project or --demo N, not both";
    return true;
}

std::optional<std::string> parseSongCommand(const std::vector<std::string>& args, SongSource& song,
                                            std::initializer_list<const char*> options,
                                            std::initializer_list<const char*> flags, const OptionHandler& handle) {
    for (ArgReader arg(args); !arg.done(); arg.next()) {
        std::string error;
        if (song.take(arg, /*allowMml=*/true, error)) {
            if (!error.empty()) return error;
            continue;
        }
        const std::string name = arg.name();
        std::string value;
        if (isOneOf(name, options)) {
            if (!arg.takeValue(value)) return "option " + name + " needs a value";
        } else if (!isOneOf(name, flags)) {
            return "unknown option '" + name + "'";
        }
        if (auto problem = handle(name, value)) return problem;
    }
    return std::nullopt;
}

std::optional<int> SongSource::channelTexts(std::vector<std::u16string>& out, const CliIo& io,
                                            const std::string& command) const {
    if (path.empty() && demo == 0) {
        out = texts;
        return std::nullopt;
    }
    ProjectModel model;
    if (auto code = loadProject(*this, model, io, command)) return code;
    out.clear();
    for (const QString& t : assembleSong(model)) out.push_back(t.toStdU16String());
    return std::nullopt;
}

std::optional<int> loadProject(const SongSource& source, ProjectModel& model, const CliIo& io,
                               const std::string& command) {
    loadBuiltIn(BuiltInProject::NewTemplate, model);
    if (source.demo) {
        loadBuiltIn(static_cast<BuiltInProject>(static_cast<int>(BuiltInProject::Demo1) + source.demo - 1), model);
        return std::nullopt;
    }
    const ProjectIoResult result = loadProjectFile(QString::fromStdString(source.path), model);
    if (!result.ok) {
        std::fprintf(io.err, "bleeptone %s: %s\n", command.c_str(), result.error.toUtf8().constData());
        return kExitIo;
    }
    return std::nullopt;
}

int runExportMml(const std::vector<std::string>& args, const CliIo& io) {
    SongSource source;
    bool channelTexts = false;
    for (ArgReader arg(args); !arg.done(); arg.next()) {
        if (arg.name() == "--channel-texts") {
            channelTexts = true;
            continue;
        }
        std::string error;
        if (!source.take(arg, /*allowMml=*/false, error))
            return usageError(io, "export-mml", "unknown option '" + arg.name() + "'");
        if (!error.empty()) return usageError(io, "export-mml", error);
    }
    if (!source.given()) return usageError(io, "export-mml", "expected PROJECT.mmlp or --demo N");
    std::string text;
    if (channelTexts) {
        // The four texts as Play hands them to the engine, for programs
        // (the web build's tests, scripts) that play them elsewhere.
        std::vector<std::u16string> texts;
        if (auto code = source.channelTexts(texts, io, "export-mml")) return *code;
        text = jsonStringArray(texts) + "\n";
    } else {
        ProjectModel model;
        if (auto code = loadProject(source, model, io, "export-mml")) return *code;
        text = copyMmlText(model).toUtf8().toStdString();
    }
    if (std::fwrite(text.data(), 1, text.size(), io.out) != text.size() || std::fflush(io.out) != 0) {
        std::fprintf(io.err, "bleeptone export-mml: cannot write the output\n");
        return kExitIo;
    }
    return kExitOk;
}

std::optional<int> readInput(const std::string& input, qint64 maxBytes, QByteArray& bytes, const CliIo& io,
                             const std::string& command) {
    QFile file;
    const bool opened = input == "-"
                            ? file.open(stdin, QIODevice::ReadOnly)
                            : (file.setFileName(QString::fromStdString(input)), file.open(QIODevice::ReadOnly));
    if (!opened) {
        std::fprintf(io.err, "bleeptone %s: cannot read %s: %s\n", command.c_str(), input.c_str(),
                     file.errorString().toUtf8().constData());
        return kExitIo;
    }
    bytes = file.read(maxBytes);
    return std::nullopt;
}

int runImportMml(const std::vector<std::string>& args, const CliIo& io) {
    std::string input = "-", output;
    bool inputGiven = false;
    for (ArgReader arg(args); !arg.done(); arg.next()) {
        const std::string name = arg.name();
        if (name == "-o" || name == "--output") {
            if (!arg.takeValue(output) || output.empty())
                return usageError(io, "import-mml", "option -o needs a file name");
        } else if (arg.isOption()) {
            return usageError(io, "import-mml", "unknown option '" + name + "'");
        } else if (!inputGiven) {
            input = name;
            inputGiven = true;
        } else {
            return usageError(io, "import-mml", "one text file at a time");
        }
    }
    if (output.empty()) return usageError(io, "import-mml", "expected -o PROJECT.mmlp");

    // Read at most a little more than the longest text a paste accepts.
    QByteArray bytes;
    if (const auto failed = readInput(input, kMaxPasteChars * 4 + 1, bytes, io, "import-mml")) return *failed;
    ProjectModel model;
    loadBuiltIn(BuiltInProject::NewTemplate, model);
    const PasteResult result = pasteMmlText(QString::fromUtf8(bytes), model);
    if (result != PasteResult::Ok) {
        std::fprintf(io.err, "bleeptone import-mml: Unable to parse the MML data%s.\n",
                     result == PasteResult::TooLong ? " (the text is too long)" : "");
        return kExitIo;
    }
    const ProjectIoResult saved = saveProjectFile(QString::fromStdString(output), model);
    if (!saved.ok) {
        std::fprintf(io.err, "bleeptone import-mml: %s\n", saved.error.toUtf8().constData());
        return kExitIo;
    }
    return kExitOk;
}

}  // namespace bleeptone
