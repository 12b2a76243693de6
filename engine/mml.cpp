#include "engine/mml.h"

namespace bleeptone {

namespace {

constexpr std::array<std::uint8_t, 256> makeTable() {
    std::array<std::uint8_t, 256> t{};
    t[0x00] = mmlClasses::End;
    t[' '] = mmlClasses::Blank;
    t['#'] = mmlClasses::SignPlus;
    t['+'] = mmlClasses::SignPlus;
    t['-'] = mmlClasses::SignMinus;
    t[','] = mmlClasses::Comma;
    t['.'] = mmlClasses::Dot;
    for (int d = 0; d <= 9; ++d) t['0' + d] = static_cast<std::uint8_t>(mmlClasses::Digit0 + d);
    t['*'] = mmlCommands::Event;
    t['/'] = mmlCommands::Attack;
    t[':'] = mmlCommands::Loop;
    t['<'] = mmlCommands::OctaveDown;
    t['>'] = mmlCommands::OctaveUp;
    t['\\'] = mmlCommands::Decay;
    const struct {
        char letter;
        std::uint8_t code;
    } letters[] = {
        {'C', 0xC0}, {'D', 0xC2}, {'E', 0xC4}, {'F', 0xC5}, {'G', 0xC7},
        {'A', 0xC9}, {'B', 0xCB}, {'R', mmlCommands::Rest}, {'K', mmlCommands::Transpose},
        {'O', mmlCommands::Octave}, {'L', mmlCommands::NoteLength}, {'T', mmlCommands::Tempo},
        {'V', mmlCommands::Volume}, {'W', mmlCommands::Waveform},
    };
    for (const auto& l : letters) {
        t[static_cast<std::uint8_t>(l.letter)] = l.code;
        t[static_cast<std::uint8_t>(l.letter + ('a' - 'A'))] = l.code;
    }
    return t;
}

// Tempo code for T with the given number, or -1 when T leaves it unchanged.
std::int32_t mmlTempoCode(std::int64_t number) {
    if (number < 40) return static_cast<std::int32_t>(number & 15);
    if (number <= 240) return static_cast<std::int32_t>(18 - ((1440 / number + 1) / 2));
    return -1;
}

}  // namespace

const std::array<std::uint8_t, 256> MMLTable = makeTable();

void resetChannelInfo(MML_Info& info) {
    info.EvtCnt = 0;
    info.Tempo = 12;
    info.Octave = 4;
    info.Transpose = 0;
    info.NoteLen = 4;
    info.Volume = 40;
    info.Waveform = 0;
    info.Decay = 0;
}

MMLCommand readMMLCommand(const char16_t*& pos, const char16_t* end, MMLNumberList* list) {
    MMLCommand cmd;
    // Skip everything up to the next command code (or the end).
    std::uint8_t cls = mmlClasses::End;
    while (pos != end) {
        cls = mmlClass(*pos);
        if (cls & 0x80) break;
        ++pos;
    }
    if (pos == end || cls == mmlClasses::End) return cmd;  // pos rests on the terminator
    cmd.code = cls;
    cmd.at = pos;
    ++pos;

    // Digit runs wrap modulo 2^64, so the number is built unsigned.
    std::uint64_t number = 0;
    int closed = 0;
    while (pos != end) {
        cls = mmlClass(*pos);
        if (cls & 0x80) break;
        if (cls & 0x40) {
            number = number * 10u + (cls & 0x0F);
        } else if (cls & 0x20) {
            cmd.sign = (cls & 0x0F) - 1;
        } else if (cls & 0x10) {
            cmd.dot = true;
        } else if (cls == mmlClasses::Comma) {
            if (list && closed < kListMaxClosed) (*list)[closed++] = static_cast<std::int64_t>(number);
            number = 0;
        } else if (cls == 0) {
            number = 0;
        }
        ++pos;
    }
    cmd.number = static_cast<std::int64_t>(number);
    cmd.closed = closed;
    if (list) {
        (*list)[closed] = cmd.number;
        (*list)[kListDotSlot] = cmd.dot ? 1 : 0;
        (*list)[254] = 0;
        (*list)[kListCountSlot] = closed + 1;
    }
    return cmd;
}

bool applyMMLSetting(MML_Info& info, const MMLCommand& cmd) {
    // Octave is unbounded; wrap like the 32-bit field it is instead of overflowing.
    auto addOctave = [&](std::int32_t delta) {
        info.Octave = static_cast<std::int32_t>(static_cast<std::uint32_t>(info.Octave) +
                                                static_cast<std::uint32_t>(delta));
    };
    switch (cmd.code) {
        case mmlCommands::OctaveDown:
        case mmlCommands::OctaveUp:
            addOctave((cmd.code & 0x0F) - 1);
            return true;
        case mmlCommands::Octave:
            info.Octave = low32(cmd.number);
            return true;
        case mmlCommands::Transpose:
            if (cmd.number <= 24) {
                std::uint64_t v = static_cast<std::uint64_t>(cmd.number);
                if (cmd.sign == -1) v = 0u - v;
                info.Transpose = low32(static_cast<std::int64_t>(v));
            }
            return true;
        case mmlCommands::NoteLength:
            // A number whose low 32 bits are all zero would store a length of 0
            // and later divide by it; such a number changes nothing, like "L0".
            if (low32(cmd.number) != 0) info.NoteLen = low32(cmd.number);
            return true;
        case mmlCommands::Tempo: {
            const std::int32_t t = mmlTempoCode(cmd.number);
            if (t >= 0) info.Tempo = t;
            return true;
        }
        case mmlCommands::Volume:
            if (cmd.number != 0) {
                info.Volume = static_cast<std::int32_t>(cmd.number & 63);
            } else if (cmd.sign != 0) {
                const std::int32_t v = info.Volume + 4 * cmd.sign;
                info.Volume = v < 0 ? 0 : (v > 63 ? 63 : v);
            } else {
                info.Volume = 0;
            }
            return true;
        case mmlCommands::Waveform:
            info.Waveform = low32(cmd.number);
            return true;
        default:
            return false;
    }
}

std::int32_t mmlNoteTicks(std::int32_t tempo, std::int64_t length, bool dotted) {
    // length is never 0 here: a note's own number is used only when it is not
    // 0, and NoteLen is never set to 0.
    if (length == 0) return 0;
    std::int64_t base = (static_cast<std::int64_t>(18 - tempo) * 32) / length;
    if (dotted) base = (base * 2 + base) >> 1;
    return base < 0 ? 0 : static_cast<std::int32_t>(base);
}

std::int64_t mmlNoteIndex(const MMLCommand& cmd, const MML_Info& info) {
    int semitone = (cmd.code & 0x0F) + cmd.sign;
    if (semitone < 0) semitone = 11;
    if (semitone > 11) semitone = 0;
    return semitone + static_cast<std::int64_t>(info.Octave) * 12 + info.Transpose;
}

}  // namespace bleeptone
