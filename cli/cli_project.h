#pragma once
// Songs on the command line: a .mmlp file, a built-in demo (--demo N) or
// channel texts (--mml), and the two subcommands that turn projects into
// text and back.

#include <QByteArray>

#include <functional>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "project/project_model.h"

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

// Handles one option of a subcommand (value empty for a flag); returns an
// error message, or nothing.
using OptionHandler = std::function<std::optional<std::string>(const std::string& name, const std::string& value)>;

// Walks the arguments of render or play: the song's own (a project, --demo,
// --mml) go to song; every other one must be one of options (each takes a
// value) or flags (none), and goes to handle. Returns the first error.
std::optional<std::string> parseSongCommand(const std::vector<std::string>& args, SongSource& song,
                                            std::initializer_list<const char*> options,
                                            std::initializer_list<const char*> flags, const OptionHandler& handle);

// Loads the project or demo into a model that starts as the New template.
// On failure prints the reason and returns the exit code to end with.
std::optional<int> loadProject(const SongSource& source, ProjectModel& model, const CliIo& io,
                               const std::string& command);

// Reads at most maxBytes of the file input ("-": standard input) into bytes.
// On failure prints the reason and returns the exit code to end with.
std::optional<int> readInput(const std::string& input, qint64 maxBytes, QByteArray& bytes, const CliIo& io,
                             const std::string& command);

int runExportMml(const std::vector<std::string>& args, const CliIo& io);
int runImportMml(const std::vector<std::string>& args, const CliIo& io);
// export-html (cli_html.cpp): the tune as one web page that plays it.
int runExportHtml(const std::vector<std::string>& args, const CliIo& io);

}  // namespace bleeptone
