#include "engine/seek.h"

#include <memory>

namespace bleeptone {

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
    const DenormalGuard denormals;  // as in PSG_Core: the gains must reach the same bits
    PSGInternal& psg = synth_.state();
    while (frames > 0) {
        if (const std::uint32_t restarts = sequencer_.takePhaseRestarts()) {
            for (int k = 0; k < kVoices; ++k)
                if (restarts & (1u << k)) psg.phase[k] = 0.75f;
        }
        std::uint64_t due = static_cast<std::uint64_t>(psg.interrupt_cnt);
        if (due == 0) {
            sequencer_.MML_Interrupt(frame_);
            due = kTickSamples;
        }
        const std::uint64_t block = frames < due ? frames : due;
        synth_.skipBlock(static_cast<int>(block));
        frame_ += block;
        frames -= block;
        psg.interrupt_cnt = static_cast<std::int32_t>(due - block);
    }
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
