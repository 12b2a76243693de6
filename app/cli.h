#pragma once
// The command line: bleeptone render | play | query. Subcommands never need
// a display or a sound card.

#include <cstdio>
#include <string>
#include <vector>

namespace bleeptone {

inline constexpr int kExitOk = 0;
inline constexpr int kExitIo = 1;     // a file could not be read or written
inline constexpr int kExitUsage = 2;  // bad arguments

struct CliIo {
    std::FILE* out = stdout;
    std::FILE* err = stderr;
    bool outIsTerminal = false;  // refuse to write binary audio there
};

// Runs the command line (args without the program name); returns the exit code.
int runCommandLine(const std::vector<std::string>& args, const CliIo& io);

int runRender(const std::vector<std::string>& args, const CliIo& io);
int runQuery(const std::vector<std::string>& args, const CliIo& io);
int runPlay(const std::vector<std::string>& args, const CliIo& io);

// Prints "bleeptone <command>: <message>" and returns kExitUsage.
int usageError(const CliIo& io, const std::string& command, const std::string& message);

// Strict number readers for option values: the whole text must be the number.
bool parseSeconds(const std::string& text, double& seconds);
bool parseInt64(const std::string& text, long long& value);

}  // namespace bleeptone
