// bleeptone export-html: the tune as one web page that plays it.

#include <QFileInfo>
#include <QString>

#include <cstdio>

#include "cli/cli_project.h"
#include "export/web_page.h"
#include "project/project_model.h"

namespace bleeptone {

namespace {

// The tune's name, as the window's title gives it: the file's name without
// its extension, or "Demo N".
QString tuneTitle(const SongSource& source) {
    if (source.demo) return QString("Demo %1").arg(source.demo);
    QString name = QFileInfo(QString::fromStdString(source.path)).fileName();
    const qsizetype dot = name.lastIndexOf('.');
    if (dot >= 0) name.truncate(dot);
    return name.isEmpty() ? QStringLiteral("Untitled") : name;
}

}  // namespace

int runExportHtml(const std::vector<std::string>& args, const CliIo& io) {
    const std::string command = "export-html";
    SongSource source;
    std::string output;
    for (ArgReader arg(args); !arg.done(); arg.next()) {
        if (arg.name() == "-o" || arg.name() == "--output") {
            if (!arg.takeValue(output) || output.empty()) return usageError(io, command, "option -o needs a file name");
            continue;
        }
        std::string error;
        if (!source.take(arg, /*allowMml=*/false, error))
            return usageError(io, command, "unknown option '" + arg.name() + "'");
        if (!error.empty()) return usageError(io, command, error);
    }
    if (!source.given()) return usageError(io, command, "expected PROJECT.mmlp or --demo N");
    if (output.empty()) return usageError(io, command, "expected -o PAGE.html");

    ProjectModel model;
    if (auto code = loadProject(source, model, io, command)) return *code;
    if (output == "-") {
        const std::string html = webPageHtml(model, tuneTitle(source));
        if (std::fwrite(html.data(), 1, html.size(), io.out) != html.size() || std::fflush(io.out) != 0) {
            std::fprintf(io.err, "bleeptone %s: cannot write the output\n", command.c_str());
            return kExitIo;
        }
        return kExitOk;
    }
    std::string error;
    if (!writeWebPage(output, model, tuneTitle(source), error)) {
        std::fprintf(io.err, "bleeptone %s: %s\n", command.c_str(), error.c_str());
        return kExitIo;
    }
    return kExitOk;
}

}  // namespace bleeptone
