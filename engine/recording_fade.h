#pragma once
// The fade at the end of every recording: the last 459 samples, the k-th of
// them (from 0) scaled by 0.988^(k + 1), the factor multiplied out in single
// precision one sample at a time; each product rounded to the nearest
// integer, ties to even. The first faded sample keeps 0.988 of its value, the
// last about 0.0039. A recording shorter than 459 samples is not faded.

#include <cmath>
#include <cstddef>
#include <cstdint>

namespace bleeptone {

inline constexpr std::size_t kRecordingFadeSamples = 459;

// Steps through the fade one sample at a time, for writers that see the tail
// in pieces. Any thread; not for the render callback.
class RecordingFade {
public:
    std::int16_t next(std::int16_t sample) {
        factor_ = factor_ * 0.988f;
        // The product of a 16-bit integer and a float is exact in double:
        // the only rounding is nearbyint's, to nearest, ties to even.
        return static_cast<std::int16_t>(std::nearbyint(static_cast<double>(sample) * factor_));
    }

private:
    float factor_ = 1.0f;
};

// Fades the last 459 of count samples in place (none when count < 459).
// Any thread; not for the render callback.
inline void fadeRecordingTail(std::int16_t* samples, std::size_t count) {
    if (count < kRecordingFadeSamples) return;
    RecordingFade fade;
    for (std::size_t i = count - kRecordingFadeSamples; i < count; ++i) samples[i] = fade.next(samples[i]);
}

}  // namespace bleeptone
