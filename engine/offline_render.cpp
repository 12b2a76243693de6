#include "offline_render.h"

#include <algorithm>
#include <array>
#include <string_view>

#include "engine.h"

namespace bleeptone {

std::int16_t recordingSample(float output) {
    const float s = output * 0.5f;  // exact: the output is s + s
    return static_cast<std::int16_t>(static_cast<std::int32_t>(s * 65534.0f));
}

OfflineRenderResult renderOffline(const OfflineRenderSpec& spec, RenderSink& sink) {
    OfflineRenderResult result;
    auto engine = Engine::create();
    engine->recorder().setMode(Recorder::Mode::Synchronous);
    if (!spec.wavPath.empty()) {
        result.wavCreated = engine->PSG_StartWaveRecord(spec.wavPath, !spec.frames.has_value());
        if (!result.wavCreated) return result;
    }

    std::u16string_view texts[kVoices];
    for (std::size_t k = 0; k < spec.texts.size() && k < kVoices; ++k) texts[k] = spec.texts[k];
    engine->PSG_PlayMML(texts[0], texts[1], texts[2], texts[3]);

    const std::uint64_t limit = spec.frames.value_or(spec.maxFrames);
    std::array<float, kOfflineChunk> buffer;
    std::uint64_t endFrame = 0;
    while (result.frames < limit && !result.ended) {
        const std::uint64_t start = result.frames;
        const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(kOfflineChunk, limit - start));
        engine->PSG_Core(buffer.data(), n);
        engine->recorder().pump();

        EngineEvent ev;
        while (engine->pollEvent(ev)) {
            if (result.ended) continue;  // later ticks of this chunk are past the end
            if (!sink.event(ev)) result.abandoned = true;
            if (!spec.frames && (ev.data == kEventEnded || ev.data == kEventLooped)) {
                result.ended = true;
                endFrame = ev.frame;
            }
        }
        const std::size_t valid = result.ended ? static_cast<std::size_t>(endFrame - start) : n;
        if (!sink.samples(buffer.data(), valid)) result.abandoned = true;
        result.frames += valid;
        if (result.abandoned) break;
    }
    if (!spec.wavPath.empty()) {
        engine->PSG_StopWaveRecord();
        result.wav = engine->lastRecordOutcome();
    }
    result.droppedEvents = engine->droppedEvents();
    return result;
}

}  // namespace bleeptone
