#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "app/application.h"
#include "cli/cli.h"

int main(int argc, char** argv) {
    // A subcommand runs without a window (and needs no display); anything
    // else starts the window.
    if (argc > 1 && bleeptone::isCommandLineCommand(argv[1])) {
        const std::vector<std::string> args(argv + 1, argv + argc);
        bleeptone::CliIo io;
        io.outIsTerminal = ::isatty(STDOUT_FILENO) != 0;
        return bleeptone::runCommandLine(args, io);
    }
    return bleeptone::runWindow(argc, argv);
}
