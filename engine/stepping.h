#pragma once
// The one walk of the sample stream through ticks and blocks. The live render
// (Engine::PSG_Core), the silent part of a seek (SilentSong::advance) and the
// sequencer that ticks without sound (SequencerRun, which the text-position
// search and the note map use) all step through stepFrames, so a seek
// reaches exactly the state the live render would, and a map of the song
// sees its ticks at the frames where they sound: the same tick before every
// 459th sample, the same phase restarts before the same blocks (where the
// voices are heard).
//
// What differs between them is a policy, whose calls are inlined (no cost
// on the audio path):
//   static constexpr bool kAdvancesVoices
//       the blocks advance the voice state (render or skip them): the walk
//       then runs under flush-to-zero, denormals-are-zero and rounding to
//       nearest (DenormalGuard), so that the live render and the seek reach
//       the same bits, and the voices PSG_PlayMML restarted go back to
//       kStartPhase. A walk that leaves the voices alone does without both:
//       no phase is ever heard there, and the restarts stay requested.
//   std::uint64_t limit(std::uint64_t frame, std::uint64_t left)
//       before each block, at engine frame `frame` with `left` samples to
//       go: does what is due before a block (the live render takes a seek's
//       hand-over, goes back to a seamless loop's start and restarts the
//       recording ring here) and returns the most samples the next block
//       may hold, 1..left.
//   void ticked(std::uint64_t frame)
//       right after the tick that ran before the block starting at `frame`.
//   void block(std::uint64_t frame, int n)
//       the n samples from `frame` on (1..459, never across a tick): render
//       them (PSG_Core), skip them (the seek), or nothing (SequencerRun).
// StepDefaults gives limit and ticked as a walk without limits needs them.

#include <concepts>
#include <cstdint>
#include <type_traits>

#include "engine/constants.h"
#include "engine/synth.h"

namespace bleeptone {

template <typename P>
concept StepPolicy = requires(P& policy, std::uint64_t frame, int n) {
    { P::kAdvancesVoices } -> std::convertible_to<bool>;
    { policy.limit(frame, frame) } -> std::convertible_to<std::uint64_t>;
    policy.ticked(frame);
    policy.block(frame, n);
};

// A policy's base for walks that run to the end and need nothing at a tick.
struct StepDefaults {
    std::uint64_t limit(std::uint64_t /*frame*/, std::uint64_t left) const { return left; }
    void ticked(std::uint64_t /*frame*/) const {}
};

// Steps `frames` samples of synth and sequencer from engine frame `frame`
// (advanced past them): before each block the voices PSG_PlayMML restarted
// go back to kStartPhase (where the policy advances them); when a tick is due (interrupt_cnt 0) the sequencer
// ticks and the next tick is due 459 samples later; each block ends at the
// next tick, the end of `frames` or the policy's limit.
// The sequencer (Sequencer) is a parameter of the template only so that
// sequencer.h can step SequencerRun inline, without a call per tick.
// Thread: the owner of synth and sequencer (audio for the live engine).
// Callback: yes, when the policy's calls are (it allocates nothing itself).
template <typename Ticker, StepPolicy Policy>
inline void stepFrames(Synth& synth, Ticker& sequencer, std::uint64_t& frame, std::uint64_t frames, Policy& policy) {
    struct NoGuard {};
    [[maybe_unused]] std::conditional_t<Policy::kAdvancesVoices, DenormalGuard, NoGuard> floatMode;
    PSGInternal& psg = synth.state();  // the same object after a hand-over, which copies into it
    while (frames > 0) {
        const std::uint64_t limit = policy.limit(frame, frames);
        // Restarts requested by PSG_PlayMML come before the block, and before
        // its tick, whose notes may set the phase again. (A walk without
        // sound leaves the check out: it cost the position search, whose
        // ticks are cheap, a quarter of its time.)
        if constexpr (Policy::kAdvancesVoices) {
            if (const std::uint32_t restarts = sequencer.takePhaseRestarts()) {
                for (int k = 0; k < kVoices; ++k)
                    if (restarts & (1u << k)) psg.phase[k] = kStartPhase;
            }
        }
        auto due = static_cast<std::uint64_t>(psg.interrupt_cnt);
        if (due == 0) {
            sequencer.MML_Interrupt(frame);
            policy.ticked(frame);
            due = kTickSamples;
        }
        const std::uint64_t block = limit < due ? limit : due;
        policy.block(frame, static_cast<int>(block));
        psg.interrupt_cnt = static_cast<std::int32_t>(due - block);
        frame += block;
        frames -= block;
    }
}

}  // namespace bleeptone
