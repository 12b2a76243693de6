#pragma once
// The position query: the settings in force at a position of an MML text
// and the duration of the music before it, without playing anything.

#include <cstdint>
#include <string_view>

#include "engine/mml.h"

namespace bleeptone {

// Reads the Position - 1 code units of the text before the 1-based Position
// (stopping at the text's end or its first ":") and fills Info with the
// settings in force there; Info.EvtCnt is the duration before the position in
// 32nd notes and Decay the number of the last "\" command. Returns that
// duration in tenths of a second, truncated. A missing text or Info, or a
// Position <= 0, returns 0 and leaves Info untouched.
// Thread: any; touches no engine state, so it is safe while a tune plays.
// Callback: yes (no allocation).
std::int64_t PSG_GetInfoMML(const char16_t* MMLString, std::int64_t Position, MML_Info* Info);
std::int64_t PSG_GetInfoMML(std::u16string_view MMLString, std::int64_t Position, MML_Info* Info);

}  // namespace bleeptone
