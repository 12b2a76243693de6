// Arbitrary bytes as four channel texts: play them, render a bounded number
// of ticks in calls of varying sizes on both render paths, and query the
// texts at many positions. Any crash, hang, sanitizer report, sample out of
// range or difference between the two paths is a finding.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "engine/engine.h"

using namespace bleeptone;

namespace {

// Byte 0x00 separates channels; byte 0x01 takes the next two bytes as one
// 16-bit code unit (so characters above U+00FF occur); others are themselves.
std::vector<std::u16string> splitTexts(const std::uint8_t* data, std::size_t size) {
    std::vector<std::u16string> texts(1);
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == 0x00) {
            if (texts.size() == 4) break;
            texts.emplace_back();
        } else if (data[i] == 0x01 && i + 2 < size) {
            texts.back().push_back(static_cast<char16_t>(data[i + 1] | (data[i + 2] << 8)));
            i += 2;
        } else {
            texts.back().push_back(static_cast<char16_t>(data[i]));
        }
    }
    texts.resize(4);
    return texts;
}

void check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "fuzz_engine: %s\n", what);
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > 4096) return 0;
    const auto texts = splitTexts(data, size);

    auto simd = Engine::create();
    auto scalar = Engine::create();
    scalar->synth().setRenderPath(RenderPath::Scalar);
    simd->PSG_PlayMML(texts[0], texts[1], texts[2], texts[3]);
    scalar->PSG_PlayMML(texts[0], texts[1], texts[2], texts[3]);

    // About 120 ticks, in calls whose sizes come from the input.
    std::vector<float> a(2048), b(2048);
    std::size_t left = 120 * kTickSamples;
    std::size_t step = 0;
    while (left > 0) {
        const std::size_t n = std::min<std::size_t>(left, 1 + (size ? data[step++ % size] * 7 : 2047) % 2048);
        simd->PSG_Core(a.data(), n);
        scalar->PSG_Core(b.data(), n);
        check(std::memcmp(a.data(), b.data(), n * sizeof(float)) == 0, "vector and scalar renders differ");
        for (std::size_t i = 0; i < n; ++i)
            check(std::isfinite(a[i]) && a[i] >= -1.0f && a[i] <= 1.0f, "sample out of range");
        left -= n;
        EngineEvent ea, eb;
        while (simd->pollEvent(ea)) {
            check(scalar->pollEvent(eb) && ea.data == eb.data && ea.frame == eb.frame, "events differ");
            check(ea.data >= -2, "event data below -2");
        }
    }
    check(simd->ring().record_buffer == scalar->ring().record_buffer, "recording rings differ");

    for (const auto& text : texts) {
        MML_Info info;
        for (std::size_t pos = 0; pos <= text.size() + 1; pos += 1 + text.size() / 16) {
            const auto tenths = PSG_GetInfoMML(std::u16string_view(text), static_cast<std::int64_t>(pos), &info);
            check(tenths >= 0, "negative duration");
            check(info.Tempo >= 0 && info.Tempo <= 15, "tempo out of range");
            check(info.Volume >= 0 && info.Volume <= 63, "volume out of range");
        }
    }
    return 0;
}
