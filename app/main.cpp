#include <unistd.h>

#include <string>
#include <vector>

#include "cli.h"

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    bleeptone::CliIo io;
    io.outIsTerminal = ::isatty(STDOUT_FILENO) != 0;
    return bleeptone::runCommandLine(args, io);
}
