#pragma once
// The 16-bit samples a recording would hold of an offline render, before
// the recording's tail fade.
#include <cstdint>
#include <vector>

#include "engine/offline_render.h"

namespace bleeptone::testing {

inline std::vector<std::int16_t> recordingSamples(const OfflineRenderSpec& job) {
    struct Sink : RenderSink {
        std::vector<std::int16_t> s;
        bool samples(const float* data, std::size_t count) override {
            for (std::size_t i = 0; i < count; ++i) s.push_back(recordingSample(data[i]));
            return true;
        }
        bool event(const EngineEvent&) override { return true; }
    } sink;
    renderOffline(job, sink);
    return sink.s;
}

}  // namespace bleeptone::testing
