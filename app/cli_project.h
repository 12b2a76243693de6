#pragma once
// Projects on the command line: a .mmlp file or a built-in demo (--demo N),
// assembled into channel texts as Play assembles them.

#include <optional>
#include <string>
#include <vector>

#include "cli.h"
#include "project_model.h"

namespace bleeptone {

struct ProjectSource {
    std::string path;  // a .mmlp file, or
    int demo = 0;      // 1..4
    bool given() const { return !path.empty() || demo != 0; }
};

// Takes "--demo N" (returns true when arg was it); error set on a bad N.
bool takeDemoOption(ArgReader& arg, ProjectSource& source, std::string& error);

// Loads the project into a model that starts as the New template. On
// failure prints the reason and returns the exit code to end with.
std::optional<int> loadProject(const ProjectSource& source, ProjectModel& model, const CliIo& io,
                               const std::string& command);

// The four channel texts Play would give the engine.
std::vector<std::u16string> songTexts(const ProjectModel& model);

int runExportMml(const std::vector<std::string>& args, const CliIo& io);
int runImportMml(const std::vector<std::string>& args, const CliIo& io);

}  // namespace bleeptone
