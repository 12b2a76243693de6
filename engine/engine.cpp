#include "engine.h"

namespace bleeptone {

namespace {

void renderThunk(void* context, float* out, std::size_t frames) {
    static_cast<Engine*>(context)->PSG_Core(out, frames);
}

}  // namespace

Engine::Engine() : sequencer_(synth_, events_, ring_), recorder_(ring_, &sequencer_) {
    sequencer_.setObserver(&recorder_);
}

Engine::~Engine() { PSG_Terminate(); }

InitOutcome Engine::PSG_Init(AudioBackend backend) {
    PSG_Terminate();
    synth_.PSG_SetDefaults();
    InitOutcome outcome;
    output_ = outputFactory_(backend);
    if (output_ && output_->start(renderThunk, this)) {
        outcome.result = backend == AudioBackend::Null ? InitResult::Silent : InitResult::Device;
        return outcome;
    }
    outcome.error = output_ ? output_->error() : "no output";
    output_.reset();
    if (backend != AudioBackend::Null) {
        // Keep the engine running without sound: the sequencer still ticks,
        // so events arrive and playing ends as it should.
        output_ = outputFactory_(AudioBackend::Null);
        if (output_ && output_->start(renderThunk, this)) {
            outcome.result = InitResult::SilentFallback;
            return outcome;
        }
        output_.reset();
    }
    outcome.result = InitResult::NoOutput;
    return outcome;
}

void Engine::PSG_Terminate() {
    recorder_.PSG_StopWaveRecord();
    if (output_) {
        output_->stop();
        output_.reset();
    }
}

void Engine::PSG_Core(float* out, std::size_t frames) {
    if (frames == 0) return;
    const DenormalGuard denormals;
    PSGInternal& psg = synth_.state();
    while (frames > 0) {
        // Phase restarts requested by PSG_PlayMML take effect before the next
        // block (and before its tick, whose notes may set the phase again).
        if (const std::uint32_t restarts = sequencer_.takePhaseRestarts()) {
            for (int k = 0; k < kVoices; ++k)
                if (restarts & (1u << k)) psg.phase[k] = 0.75f;
        }
        const std::uint32_t restart = ring_.restartRequested.load(std::memory_order_acquire);
        if (restart != ring_.restartApplied.load(std::memory_order_relaxed)) {
            ring_.restartStored.store(ring_.samplesStored.load(std::memory_order_relaxed), std::memory_order_relaxed);
            ring_.record_buffer_idx.store(0, std::memory_order_relaxed);
            ring_.restartApplied.store(restart, std::memory_order_release);
        }
        std::size_t due = static_cast<std::size_t>(psg.interrupt_cnt);
        if (due == 0) {
            sequencer_.MML_Interrupt(ring_.samplesStored.load(std::memory_order_relaxed));
            due = kTickSamples;
        }
        const std::size_t block = frames < due ? frames : due;
        RingCursor cursor{ring_.record_buffer.data(), RecordRing::kSamples - 1,
                          ring_.record_buffer_idx.load(std::memory_order_relaxed)};
        synth_.renderBlock(out, static_cast<int>(block), cursor);
        ring_.samplesStored.store(ring_.samplesStored.load(std::memory_order_relaxed) + block,
                                  std::memory_order_relaxed);
        ring_.record_buffer_idx.store(cursor.index, std::memory_order_release);
        psg.interrupt_cnt = static_cast<std::int32_t>(due - block);
        out += block;
        frames -= block;
    }
}

}  // namespace bleeptone
