#pragma once
// The fade-out an export asks for (--fade S): a straight line from full
// volume to silence over the last n samples. The j-th of them (from 0) is
// scaled by the gain (n - 1 - j) / n, rounded to single precision, and the
// product is rounded to the nearest integer, ties to even (as the
// recording's own fade rounds). The last sample is always 0.

#include <cmath>
#include <cstdint>

namespace bleeptone {

inline std::int16_t fadeOutSample(std::int16_t sample, std::uint64_t j, std::uint64_t n) {
    const auto gain = static_cast<float>(static_cast<double>(n - 1 - j) / static_cast<double>(n));
    return static_cast<std::int16_t>(std::nearbyint(static_cast<double>(sample) * gain));
}

}  // namespace bleeptone
