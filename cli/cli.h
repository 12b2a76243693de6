#pragma once
// The command line: bleeptone render | play | notes | check | query |
// export-mml | export-html | import-mml | import-midi, and --help / --version. Subcommands never need a display or a
// sound card.

#include <cstdio>
#include <initializer_list>
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

// True for the words that start a command-line run instead of the window:
// the subcommands, help, --help, -h, --version, -v.
bool isCommandLineCommand(const std::string& word);

// Runs the command line (args without the program name); returns the exit code.
int runCommandLine(const std::vector<std::string>& args, const CliIo& io);

int runRender(const std::vector<std::string>& args, const CliIo& io);
int runQuery(const std::vector<std::string>& args, const CliIo& io);
int runPlay(const std::vector<std::string>& args, const CliIo& io);
int runNotes(const std::vector<std::string>& args, const CliIo& io);
int runCheck(const std::vector<std::string>& args, const CliIo& io);
int runImportMidi(const std::vector<std::string>& args, const CliIo& io);

// Prints "bleeptone <command>: <message>" and returns kExitUsage.
int usageError(const CliIo& io, const std::string& command, const std::string& message);

// Walks a subcommand's arguments: "--name value", "--name=value", "-o value".
class ArgReader {
public:
    explicit ArgReader(const std::vector<std::string>& args) : args_(args) { load(); }
    bool done() const { return index_ >= args_.size(); }
    // The current argument, or its option name before "=".
    const std::string& name() const { return name_; }
    bool isOption() const { return name_.size() > 1 && name_[0] == '-'; }
    // Takes the current option's value (inline, or the next argument);
    // false when there is none.
    bool takeValue(std::string& value);
    void next() {
        ++index_;
        load();
    }

private:
    void load();
    const std::vector<std::string>& args_;
    std::size_t index_ = 0;
    std::string name_;
    std::string inlineValue_;
    bool hasInline_ = false;
};

inline bool isOneOf(const std::string& name, std::initializer_list<const char*> names) {
    for (const char* n : names)
        if (name == n) return true;
    return false;
}

// Strict number readers for option values: the whole text must be the number.
bool parseSeconds(const std::string& text, double& seconds);
bool parseInt64(const std::string& text, long long& value);

}  // namespace bleeptone
