#pragma once
// The MML command language: the character class table, the reader of one
// command with its modifiers, the channel defaults and the effect of the
// setting commands. Shared by the sequencer and the position query. Every
// function here works only on what it is given.

#include <array>
#include <cstdint>

namespace bleeptone {

// Class bytes of MMLTable.
namespace mmlClasses {
inline constexpr std::uint8_t End = 0xFF;
inline constexpr std::uint8_t Comma = 0x02;
inline constexpr std::uint8_t Blank = 0x01;
inline constexpr std::uint8_t Dot = 0x10;
inline constexpr std::uint8_t SignMinus = 0x20;
inline constexpr std::uint8_t SignPlus = 0x22;
inline constexpr std::uint8_t Digit0 = 0x40;
}  // namespace mmlClasses

// Command codes (class bytes with bit 7 set).
namespace mmlCommands {
inline constexpr std::uint8_t NoteLength = 0x90;  // L
inline constexpr std::uint8_t Tempo = 0x91;       // T
inline constexpr std::uint8_t Volume = 0x92;      // V
inline constexpr std::uint8_t Waveform = 0x93;    // W
inline constexpr std::uint8_t Attack = 0x94;      // "/" (read and dropped)
inline constexpr std::uint8_t Decay = 0x95;       // "\"
inline constexpr std::uint8_t Event = 0x9E;       // "*"
inline constexpr std::uint8_t Loop = 0x9F;        // ":"
inline constexpr std::uint8_t OctaveDown = 0xA0;  // "<"
inline constexpr std::uint8_t OctaveUp = 0xA2;    // ">"
inline constexpr std::uint8_t Transpose = 0xAE;   // K
inline constexpr std::uint8_t Octave = 0xAF;      // O
inline constexpr std::uint8_t Rest = 0xCF;        // R
// Notes C, D, E, F, G, A, B: 0xC0 + their semitone (0, 2, 4, 5, 7, 9, 11).

// Thread: any. Callback: yes.
constexpr bool isNoteOrRest(std::uint8_t code) { return (code & 0xC0) == 0xC0; }
}  // namespace mmlCommands

// One class byte per low byte of a code unit.
extern const std::array<std::uint8_t, 256> MMLTable;

// Thread: any. Callback: yes.
inline std::uint8_t mmlClass(char16_t unit) { return MMLTable[static_cast<std::uint8_t>(unit)]; }

// Settings of a channel; also the result record of the position query.
struct MML_Info {
    std::int32_t EvtCnt = 0;
    std::int32_t Tempo = 0;
    std::int32_t Octave = 0;
    std::int32_t Transpose = 0;
    std::int32_t NoteLen = 0;
    std::int32_t Volume = 0;
    std::int32_t Waveform = 0;
    std::int32_t Decay = 0;
    friend bool operator==(const MML_Info&, const MML_Info&) = default;
};

inline constexpr std::int32_t kDecayEnvelope = -256;  // Decay value while an envelope is in force

// The defaults every channel starts from (EvtCnt 0, tempo 12, octave 4,
// transpose 0, quarter notes, volume 40, triangle, no decay).
// Thread: any. Callback: yes.
void resetChannelInfo(MML_Info& info);

// Number list of one channel: slots 0..n hold the numbers of the last
// command, slot 253 its dot flag, 254 zero, 255 the count n + 1.
inline constexpr int kListSlots = 256;
inline constexpr int kListDotSlot = 253;
inline constexpr int kListCountSlot = 255;
inline constexpr int kListMaxClosed = 252;  // numbers a comma can close
using MMLNumberList = std::array<std::int64_t, kListSlots>;

// Modifier state of the command just read.
struct MMLCommand {
    std::uint8_t code = 0;         // command code, 0 at the end of the text
    const char16_t* at = nullptr;  // the command's own code unit
    std::int64_t number = 0;       // final number (after the last comma)
    int sign = 0;                  // last sign seen: +1, -1 or 0
    bool dot = false;
    int closed = 0;                // numbers closed by a comma (counted only with a list)
    // The text had ended. Thread: any. Callback: yes.
    bool atEnd() const { return code == 0; }
};

// Reads the next command at pos. The text ends at `end` or at a code unit
// whose class is End, whichever comes first; at the end pos is left on it and
// the returned command has code 0. With a list, commas store numbers in it
// and the slots 253..255 are filled as described above; without one, commas
// only reset the number. Digit runs wrap modulo 2^64.
// Thread: any. Callback: yes.
MMLCommand readMMLCommand(const char16_t*& pos, const char16_t* end, MMLNumberList* list);

// Applies the commands that only change settings: "<", ">", O, K, L, T, V, W.
// Returns false (and changes nothing) for any other command.
// Thread: any. Callback: yes.
bool applyMMLSetting(MML_Info& info, const MMLCommand& cmd);

// Length argument of a note or rest: its number, or NoteLen when it is 0.
// Thread: any. Callback: yes.
inline std::int64_t mmlNoteLength(const MMLCommand& cmd, const MML_Info& info) {
    return cmd.number != 0 ? cmd.number : static_cast<std::int64_t>(info.NoteLen);
}

// Ticks a note or rest of the given length lasts at the tempo code.
// A length that would give a negative count (only reachable through digit
// runs that wrap past 2^63 or NoteLen set from one) counts as 0 ticks.
// Thread: any. Callback: yes.
std::int32_t mmlNoteTicks(std::int32_t tempo, std::int64_t length, bool dotted);

// Note index (semitone + octave x 12 + transpose) of a note command; indices
// 0..96 are playable, anything else is silent.
// Thread: any. Callback: yes.
std::int64_t mmlNoteIndex(const MMLCommand& cmd, const MML_Info& info);

// Low 32 bits of a 64-bit number, as the channel fields store them.
// Thread: any. Callback: yes.
inline std::int32_t low32(std::int64_t v) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(static_cast<std::uint64_t>(v)));
}

}  // namespace bleeptone
