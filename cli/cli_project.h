#pragma once
// Songs on the command line: a .mmlp file, a built-in demo (--demo N) or
// channel texts (--mml), and the two subcommands that turn projects into
// text and back.

#include <optional>
#include <string>
#include <vector>

#include "cli.h"
#include "project_model.h"

namespace bleeptone {

// What a subcommand plays or prints: a .mmlp file, a built-in demo
// (--demo N), or (render and play) up to four channel texts (--mml TEXT).
struct SongSource {
    std::string path;                   // a .mmlp file, or
    int demo = 0;                       // 1..4, or
    std::vector<std::u16string> texts;  // channel texts as the engine takes them
    bool given() const { return !path.empty() || demo != 0 || !texts.empty(); }

    // Takes the current argument when it is "--demo N", "--mml TEXT" (only
    // with allowMml) or a file name; returns whether it did. error is set
    // when the argument is malformed or conflicts with one taken before.
    bool take(ArgReader& arg, bool allowMml, std::string& error);

    // The channel texts: the --mml texts as given, or the project or demo
    // assembled as Play assembles it. On failure prints the reason and
    // returns the exit code to end with.
    std::optional<int> channelTexts(std::vector<std::u16string>& texts, const CliIo& io,
                                    const std::string& command) const;
};

// Loads the project or demo into a model that starts as the New template.
// On failure prints the reason and returns the exit code to end with.
std::optional<int> loadProject(const SongSource& source, ProjectModel& model, const CliIo& io,
                               const std::string& command);

int runExportMml(const std::vector<std::string>& args, const CliIo& io);
int runImportMml(const std::vector<std::string>& args, const CliIo& io);

}  // namespace bleeptone
