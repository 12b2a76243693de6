#pragma once
// Little-endian integers in byte buffers: the WAV files' fields and samples,
// and the raw sample streams of the command line.

#include <cstdint>

namespace bleeptone {

// Thread: any. Callback: yes.
inline void putLE16(std::uint8_t* p, std::uint16_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}

// Thread: any. Callback: yes.
inline void putLE32(std::uint8_t* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

// Thread: any. Callback: yes.
inline std::uint16_t getLE16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }

}  // namespace bleeptone
