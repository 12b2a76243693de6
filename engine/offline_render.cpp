#include "engine/offline_render.h"

#include <algorithm>
#include <array>
#include <string_view>

#include "engine/engine.h"

namespace bleeptone {

std::int16_t recordingSample(float output) {
    const float s = output * 0.5f;  // exact: the output is s + s
    return static_cast<std::int16_t>(static_cast<std::int32_t>(s * 65534.0f));
}

namespace {

// One render from a fresh engine: the samples before the start are rendered
// in chunks that end exactly there, so that every later chunk is output.
class Render {
public:
    Render(const OfflineRenderSpec& spec, RenderSink& sink) : spec_(spec), sink_(sink) {}

    OfflineRenderResult run() {
        engine_->recorder().setMode(Recorder::Mode::Synchronous);
        const bool recording = !spec_.wavPath.empty();
        if (recording && spec_.startFrame == 0 && !startRecording()) return result_;

        std::u16string_view texts[kVoices];
        for (std::size_t k = 0; k < spec_.texts.size() && k < kVoices; ++k) texts[k] = spec_.texts[k];
        engine_->PSG_PlayMML(texts[0], texts[1], texts[2], texts[3]);

        while (rendered_ < spec_.startFrame && !end_)
            step(std::min<std::uint64_t>(kOfflineChunk, spec_.startFrame - rendered_));
        if (recording && spec_.startFrame > 0 && !startRecording()) return result_;
        const std::uint64_t length = spec_.frames.value_or(spec_.maxFrames);
        while (result_.frames < length && !end_ && !result_.abandoned && !result_.stopped)
            step(std::min<std::uint64_t>(kOfflineChunk, length - result_.frames));

        result_.ended = end_.has_value();
        if (recording) {
            engine_->PSG_StopWaveRecord();
            result_.wav = engine_->lastRecordOutcome();
        }
        result_.droppedEvents = engine_->droppedEvents();
        return result_;
    }

private:
    bool startRecording() {
        result_.wavCreated = engine_->PSG_StartWaveRecord(spec_.wavPath, !spec_.frames.has_value());
        return result_.wavCreated;
    }

    void step(std::uint64_t n) {
        const std::uint64_t from = rendered_;
        engine_->PSG_Core(buffer_.data(), static_cast<std::size_t>(n));
        engine_->recorder().pump();
        rendered_ += n;

        EngineEvent ev;
        while (engine_->pollEvent(ev)) {
            if (end_) continue;  // later ticks of this chunk are past the end
            if (ev.frame >= spec_.startFrame) {
                EngineEvent shifted = ev;
                shifted.frame -= spec_.startFrame;
                if (!sink_.event(shifted)) result_.abandoned = true;
            }
            if (!spec_.frames && (ev.data == kEventEnded || (ev.data == kEventLooped && ++loops_ >= spec_.passes)))
                end_ = ev.frame;
        }
        if (from < spec_.startFrame) return;  // before the start: nothing is output
        // An event's frame lies within the chunk that ran its tick.
        const std::uint64_t to = end_ ? std::max(*end_, from) : rendered_;
        const auto valid = static_cast<std::size_t>(to - from);
        if (valid > 0 && !sink_.samples(buffer_.data(), valid)) result_.abandoned = true;
        result_.frames += valid;
        if (sink_.finished()) result_.stopped = true;
    }

    const OfflineRenderSpec& spec_;
    RenderSink& sink_;
    std::unique_ptr<Engine> engine_ = Engine::create();
    OfflineRenderResult result_;
    std::array<float, kOfflineChunk> buffer_;
    std::uint64_t rendered_ = 0;  // samples rendered since the engine started
    int loops_ = 0;
    std::optional<std::uint64_t> end_;  // frame of the end, counted from the engine's start
};

}  // namespace

OfflineRenderResult renderOffline(const OfflineRenderSpec& spec, RenderSink& sink) { return Render(spec, sink).run(); }

}  // namespace bleeptone
