#pragma once
// The colour rule of MML text, as the channel editors show it and the web
// page repeats it: each UTF-16 unit falls into a class ("a".."z" count as
// "A".."Z"), and each class but Invalid has its colour. Invalid units are
// shown as "?". Pure code: the editors' highlighter (ui/) and the page
// writer (export/) both read it here.

#include <cstdint>

namespace bleeptone {

enum class MmlCharClass { Kept, Command, Modifier, Number, Invalid };

// Classifies one UTF-16 unit.
MmlCharClass classifyMmlChar(char16_t unit);

// The colours as packed values: red in bits 0..7, green 8..15, blue 16..23,
// alpha 24..31.
inline constexpr std::uint32_t kMmlBaseColour = 0xFF0000C0;      // (192, 0, 0): notes, blanks, "?"
inline constexpr std::uint32_t kMmlCommandColour = 0xFFC00000;   // (0, 0, 192)
inline constexpr std::uint32_t kMmlModifierColour = 0xFF000000;  // black
inline constexpr std::uint32_t kMmlNumberColour = 0xFF808080;    // grey

// The packed colour a class is shown in (Kept and Invalid: the base colour).
std::uint32_t mmlClassColour(MmlCharClass c);

}  // namespace bleeptone
