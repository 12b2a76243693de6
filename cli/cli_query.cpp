#include <cinttypes>

#include "cli/cli.h"
#include "cli/utf8.h"
#include "engine/query.h"

namespace bleeptone {

int runQuery(const std::vector<std::string>& args, const CliIo& io) {
    if (args.size() != 2) return usageError(io, "query", "expected TEXT and POSITION");
    long long position = 0;
    if (!parseInt64(args[1], position))
        return usageError(io, "query", "POSITION must be an integer: '" + args[1] + "'");
    const std::u16string text = utf8ToUtf16(args[0]);
    MML_Info info;  // all zero: a position <= 0 leaves it so
    const std::int64_t tenths = PSG_GetInfoMML(std::u16string_view(text), position, &info);
    std::fprintf(io.out, "%d %d %d %d %d %d %d %d %" PRId64 "\n", info.EvtCnt, info.Tempo, info.Octave, info.Transpose,
                 info.NoteLen, info.Volume, info.Waveform, info.Decay, tenths);
    return kExitOk;
}

}  // namespace bleeptone
