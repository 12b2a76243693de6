#include "engine/seek.h"

#include <memory>

#include "engine/stepping.h"

namespace bleeptone {

namespace {

// The silent part of a seek: the voice state advances, nothing is heard.
struct SkipBlocks : StepDefaults {
    static constexpr bool kAdvancesVoices = true;
    Synth& synth;
    void block(std::uint64_t /*frame*/, int n) { synth.skipBlock(n); }
};

}  // namespace

SilentSong::SilentSong() : sequencer_(synth_, nullptr, nullptr, nullptr) {}

void SilentSong::start(const SongTexts& texts, std::uint32_t song, RenderPath path) {
    synth_.PSG_SetDefaults();
    synth_.setPrng(1);
    synth_.setRenderPath(path);
    sequencer_.reset();
    sequencer_.PSG_PlayMML(texts[0], texts[1], texts[2], texts[3], song);
    frame_ = 0;
    startedMask_ = sequencer_.playingMask();
}

void SilentSong::advance(std::uint64_t frames) {
    SkipBlocks skip{{}, synth_};
    stepFrames(synth_, sequencer_, frame_, frames, skip);
}

std::optional<std::uint64_t> firstFrameAt(const SongTexts& texts, int channel, std::int32_t position,
                                          std::uint64_t maxFrames) {
    if (channel < 0 || channel >= kVoices) return std::nullopt;
    // The sequencer alone decides when commands are read.
    auto run = std::make_unique<SequencerRun>(texts[0], texts[1], texts[2], texts[3]);
    if (((run->sequencer().playingMask() >> channel) & 1u) == 0) return std::nullopt;
    while (run->nextFrame() <= maxFrames) {
        const std::uint64_t frame = run->tick();
        const MML_Channel& ch = run->sequencer().channel(channel);
        if (ch.soundingAt >= 0 && ch.soundingAt >= position) return frame;
        if (ch.EvtCnt == -1) return std::nullopt;  // ended
    }
    return std::nullopt;
}

}  // namespace bleeptone
