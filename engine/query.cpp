#include "engine/query.h"

#include "engine/constants.h"

namespace bleeptone {

std::int64_t PSG_GetInfoMML(const char16_t* MMLString, std::int64_t Position, MML_Info* Info) {
    if (!MMLString) return 0;
    return PSG_GetInfoMML(std::u16string_view(MMLString), Position, Info);
}

std::int64_t PSG_GetInfoMML(std::u16string_view MMLString, std::int64_t Position, MML_Info* Info) {
    if (!Info || Position <= 0) return 0;
    const std::uint64_t scanned = static_cast<std::uint64_t>(Position - 1) < MMLString.size()
                                      ? static_cast<std::uint64_t>(Position - 1)
                                      : MMLString.size();
    const char16_t* pos = MMLString.data();
    const char16_t* const end = pos + scanned;

    MML_Info info;
    resetChannelInfo(info);
    std::int64_t in128ths = 0;  // duration in 128ths of a whole note
    std::int64_t ticks = 0;
    for (;;) {
        const MMLCommand cmd = readMMLCommand(pos, end, nullptr);
        if (cmd.atEnd() || cmd.code == mmlCommands::Loop) break;
        if (mmlCommands::isNoteOrRest(cmd.code)) {
            // Every note counts, also one the sequencer plays silent.
            const std::int64_t length = mmlNoteLength(cmd, info);
            const std::int64_t part = (cmd.dot ? 192 : 128) / length;
            if (part > 0) in128ths += part;  // a length that wrapped negative adds nothing
            ticks += mmlNoteTicks(info.Tempo, length, cmd.dot);
        } else if (cmd.code == mmlCommands::Decay) {
            info.Decay = low32(cmd.number);
        } else {
            applyMMLSetting(info, cmd);  // "*" and "/" change nothing
        }
    }
    info.EvtCnt = low32(in128ths >> 2);
    *Info = info;
    return ticks * kTickSamples / (kSampleRate / 10);
}

}  // namespace bleeptone
