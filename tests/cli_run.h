#pragma once
// Runs the command line in-process with standard output and error captured.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "cli/cli.h"

namespace bleeptone::testing {

struct CliRun {
    int code = -1;
    std::string out;
    std::string err;
};

inline CliRun runCli(const std::vector<std::string>& args, bool outIsTerminal = false) {
    char* outBuf = nullptr;
    char* errBuf = nullptr;
    std::size_t outLen = 0, errLen = 0;
    std::FILE* out = open_memstream(&outBuf, &outLen);
    std::FILE* err = open_memstream(&errBuf, &errLen);
    CliRun run;
    run.code = runCommandLine(args, CliIo{out, err, outIsTerminal});
    std::fclose(out);
    std::fclose(err);
    run.out.assign(outBuf, outLen);
    run.err.assign(errBuf, errLen);
    std::free(outBuf);
    std::free(errBuf);
    return run;
}

}  // namespace bleeptone::testing
