#include "cli_project.h"

#include <QFile>
#include <QString>

#include <cstdio>

#include "mml_text.h"
#include "project_blocks.h"
#include "project_file.h"
#include "song_assembly.h"

namespace bleeptone {

bool takeDemoOption(ArgReader& arg, ProjectSource& source, std::string& error) {
    if (arg.name() != "--demo") return false;
    std::string value;
    long long n = 0;
    if (!arg.takeValue(value)) error = "option --demo needs a value";
    else if (!parseInt64(value, n) || n < 1 || n > 4) error = "--demo takes a demo number from 1 to 4: '" + value + "'";
    else source.demo = static_cast<int>(n);
    return true;
}

std::optional<int> loadProject(const ProjectSource& source, ProjectModel& model, const CliIo& io,
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

std::vector<std::u16string> songTexts(const ProjectModel& model) {
    std::vector<std::u16string> texts;
    for (const QString& t : assembleSong(model)) texts.push_back(t.toStdU16String());
    return texts;
}

int runExportMml(const std::vector<std::string>& args, const CliIo& io) {
    ProjectSource source;
    for (ArgReader arg(args); !arg.done(); arg.next()) {
        std::string error;
        if (takeDemoOption(arg, source, error)) {
            if (!error.empty()) return usageError(io, "export-mml", error);
        } else if (arg.isOption()) {
            return usageError(io, "export-mml", "unknown option '" + arg.name() + "'");
        } else if (source.path.empty()) {
            source.path = arg.name();
        } else {
            return usageError(io, "export-mml", "one project at a time");
        }
    }
    if (!source.given()) return usageError(io, "export-mml", "expected PROJECT.mmlp or --demo N");
    if (!source.path.empty() && source.demo) return usageError(io, "export-mml", "give a project or --demo N, not both");
    ProjectModel model;
    if (auto code = loadProject(source, model, io, "export-mml")) return *code;
    const QByteArray text = copyMmlText(model).toUtf8();
    if (std::fwrite(text.constData(), 1, static_cast<std::size_t>(text.size()), io.out) != static_cast<std::size_t>(text.size()) ||
        std::fflush(io.out) != 0) {
        std::fprintf(io.err, "bleeptone export-mml: cannot write the output\n");
        return kExitIo;
    }
    return kExitOk;
}

int runImportMml(const std::vector<std::string>& args, const CliIo& io) {
    std::string input = "-", output;
    bool inputGiven = false;
    for (ArgReader arg(args); !arg.done(); arg.next()) {
        const std::string name = arg.name();
        if (name == "-o" || name == "--output") {
            if (!arg.takeValue(output) || output.empty()) return usageError(io, "import-mml", "option -o needs a file name");
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
    QFile file;
    const bool opened = input == "-" ? file.open(stdin, QIODevice::ReadOnly)
                                     : (file.setFileName(QString::fromStdString(input)), file.open(QIODevice::ReadOnly));
    if (!opened) {
        std::fprintf(io.err, "bleeptone import-mml: cannot read %s: %s\n", input.c_str(),
                     file.errorString().toUtf8().constData());
        return kExitIo;
    }
    const QByteArray bytes = file.read(kMaxPasteChars * 4 + 1);
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
