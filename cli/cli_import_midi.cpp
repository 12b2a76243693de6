#include <QFileInfo>

#include <cstdio>
#include <vector>

#include "cli/cli.h"
#include "cli/cli_project.h"
#include "export/midi_import.h"
#include "project/project_blocks.h"
#include "project/project_file.h"
#include "project/project_model.h"

// bleeptone import-midi: a MIDI file as a project of tidy MML; what could not
// be kept goes to standard error.

namespace bleeptone {

int runImportMidi(const std::vector<std::string>& args, const CliIo& io) {
    std::string input, output;
    MidiImportOptions options;
    for (ArgReader arg(args); !arg.done(); arg.next()) {
        const std::string name = arg.name();
        std::string value;
        if (name == "-o" || name == "--output") {
            if (!arg.takeValue(output) || output.empty())
                return usageError(io, "import-midi", "option -o needs a file name");
        } else if (name == "--grid") {
            long long grid = 0;
            if (!arg.takeValue(value) || !parseInt64(value, grid) || (grid != 16 && grid != 32 && grid != 64))
                return usageError(io, "import-midi", "--grid takes 16, 32 or 64: '" + value + "'");
            options.grid = static_cast<int>(grid);
        } else if (arg.isOption() && name != "-") {
            return usageError(io, "import-midi", "unknown option '" + name + "'");
        } else if (input.empty()) {
            input = name;
        } else {
            return usageError(io, "import-midi", "one MIDI file at a time");
        }
    }
    if (input.empty()) return usageError(io, "import-midi", "expected FILE.mid");
    if (output.empty()) return usageError(io, "import-midi", "expected -o PROJECT.mmlp");

    // One byte more than a MIDI file may hold tells a file that is too large.
    QByteArray bytes;
    if (const auto failed = readInput(input, static_cast<qint64>(kMaxMidiFileBytes) + 1, bytes, io, "import-midi"))
        return *failed;
    options.fileName =
        input == "-" ? QStringLiteral("standard input") : QFileInfo(QString::fromStdString(input)).fileName();
    const MidiImport import = importMidiBytes(
        {reinterpret_cast<const std::uint8_t*>(bytes.constData()), static_cast<std::size_t>(bytes.size())}, options);
    if (!import.ok) {
        std::fprintf(io.err, "bleeptone import-midi: cannot import %s: %s\n", input.c_str(),
                     import.error.toUtf8().constData());
        return kExitIo;
    }
    ProjectModel model;
    loadBuiltIn(BuiltInProject::NewTemplate, model);
    applyMidiImport(import, model);
    const ProjectIoResult saved = saveProjectFile(QString::fromStdString(output), model);
    if (!saved.ok) {
        std::fprintf(io.err, "bleeptone import-midi: %s\n", saved.error.toUtf8().constData());
        return kExitIo;
    }
    for (const QString& line : import.report)
        std::fprintf(io.err, "bleeptone import-midi: %s\n", line.toUtf8().constData());
    return kExitOk;
}

}  // namespace bleeptone
