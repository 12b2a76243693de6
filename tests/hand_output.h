#pragma once
// An audio output that renders only when the test asks it to, on the test's
// thread, with the latency the test gives it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/constants.h"
#include "engine/output.h"

namespace bleeptone::testing {

class HandOutput : public AudioOutput {
public:
    bool start(RenderFn fn, void* context) override {
        render_ = fn;
        context_ = context;
        return true;
    }
    void stop() override { render_ = nullptr; }
    std::string error() const override { return {}; }
    std::uint64_t latencyFrames() const override { return latency; }

    // Renders frames samples, in calls of at most chunk (0: one call); returns them.
    std::vector<float> render(std::size_t frames, std::size_t chunk = 0) {
        std::vector<float> out(frames);
        EXPECT_NE(render_, nullptr);
        if (!render_) return out;
        for (std::size_t done = 0; done < frames;) {
            const std::size_t n = chunk == 0 ? frames - done : std::min(chunk, frames - done);
            render_(context_, out.data() + done, n);
            done += n;
        }
        return out;
    }
    void renderTicks(int ticks) { render(static_cast<std::size_t>(kTickSamples * ticks)); }

    std::uint64_t latency = 0;

private:
    RenderFn render_ = nullptr;
    void* context_ = nullptr;
};

// An output factory that makes a HandOutput and tells the test where it is.
inline OutputFactory handOutputs(HandOutput*& made, std::uint64_t latency = 0) {
    return [&made, latency](AudioBackend) -> std::unique_ptr<AudioOutput> {
        auto out = std::make_unique<HandOutput>();
        out->latency = latency;
        made = out.get();
        return out;
    };
}

}  // namespace bleeptone::testing
