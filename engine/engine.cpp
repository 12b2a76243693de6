#include "engine/engine.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "engine/stepping.h"

namespace bleeptone {

namespace {

void renderThunk(void* context, float* out, std::size_t frames) {
    static_cast<Engine*>(context)->PSG_Core(out, frames);
}

}  // namespace

Engine::Engine() : sequencer_(synth_, &events_, &ring_, &playhead_), recorder_(ring_, &sequencer_) {
    sequencer_.setObserver(&recorder_);
}

Engine::~Engine() { PSG_Terminate(); }

InitOutcome Engine::PSG_Init(AudioBackend backend) {
    PSG_Terminate();
    synth_.PSG_SetDefaults();
    InitOutcome outcome;
    output_ = outputFactory_(backend);
    if (output_ && output_->watched())
        output_ = std::make_unique<WatchedOutput>(std::move(output_), outputFactory_, watchdogTiming_);
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
    // A song posted but never taken is taken now: nothing renders any more.
    if ((handover_.load() & kStateMask) == kHandoverPosted) takeHandover(framesRendered());
}

std::uint32_t Engine::PSG_PlayMML(std::u16string_view channel0, std::u16string_view channel1,
                                  std::u16string_view channel2, std::u16string_view channel3) {
    return playTexts({channel0, channel1, channel2, channel3}, false);
}

std::uint32_t Engine::playMMLAtOnce(std::u16string_view channel0, std::u16string_view channel1,
                                    std::u16string_view channel2, std::u16string_view channel3) {
    return playTexts({channel0, channel1, channel2, channel3}, true);
}

std::uint32_t Engine::playTexts(const std::array<std::u16string_view, kVoices>& texts, bool atOnce) {
    settleHandover();
    if (output_) output_->retryDevice();
    exchangeLoop(kLoopOff);  // the texts change under it
    sequencer_.PSG_PlayMML(texts[0], texts[1], texts[2], texts[3], ++songCount_, atOnce);
    return songCount_;
}

std::uint32_t Engine::PSG_PlayMMLFrom(const SongTexts& texts, std::uint64_t startFrame, std::optional<LoopRange> loop) {
    settleHandover();
    if (output_) output_->retryDevice();
    silent_.start(texts, ++songCount_, synth_.renderPath());
    silent_.advance(startFrame);
    handoverLoop_.store(prepareLoop(texts, loop, songCount_), std::memory_order_relaxed);
    postHandover(0, /*alignRecording=*/true);
    awaitHandover();
    return songCount_;
}

std::uint32_t Engine::continueMML(const SongTexts& texts, std::optional<LoopRange> loop) {
    settleHandover();
    if (!output_ || sequencer_.songStartPending()) {
        // Nothing renders on its own, or the song has not started yet: the
        // same moment is the song frame as it stands.
        return PSG_PlayMMLFrom(texts, sequencer_.songStartPending() ? 0 : songFrame(), loop);
    }
    // Aim past what the output may render before the post lands: its largest
    // call twice over, plus the silent render's own time (measured, then
    // caught up with).
    const std::uint64_t lead = 2 * std::max<std::uint64_t>(kPreferredBufferFrames, largestCall_.load()) + kTickSamples;
    const std::optional<LoopRange> playing = this->loop();
    // A loop that goes back to its start before the take-over could land:
    // the new texts come in where it ends.
    const auto pastLoopEnd = [&](std::uint64_t frame) { return playing && frame >= playing->end; };
    if (pastLoopEnd(songFrame() + lead)) {
        if (loop && loop->end > loop->start) return continueAtLoopEnd(texts, *loop);
        exchangeLoop(kLoopOff);
    }
    const std::uint64_t songStart = songStart_.load(std::memory_order_acquire);
    silent_.start(texts, ++songCount_, synth_.renderPath());
    silent_.advance(songFrame() + lead);
    for (int round = 0; round < 8; ++round) {
        const std::uint64_t now = songFrame();
        if (now + lead / 2 <= silent_.frame() || pastLoopEnd(now + lead)) break;
        silent_.advance(now + lead - silent_.frame());
    }
    if (pastLoopEnd(silent_.frame()) || songStart != songStart_.load(std::memory_order_acquire)) {
        // The loop went round meanwhile (or is about to).
        if (loop && loop->end > loop->start) return continueAtLoopEnd(texts, *loop);
        exchangeLoop(kLoopOff);
        return continueMML(texts, loop);  // again, with nothing going round
    }
    handoverLoop_.store(prepareLoop(texts, loop, songCount_), std::memory_order_relaxed);
    postHandover(songStart + silent_.frame(), /*alignRecording=*/false);
    return songCount_;
}

std::uint32_t Engine::continueAtLoopEnd(const SongTexts& texts, LoopRange loop) {
    settleHandover();
    if (loop.end <= loop.start || !this->loop()) return continueMML(texts, loop);
    silent_.start(texts, ++songCount_, synth_.renderPath());
    silent_.advance(loop.start);
    handoverLoop_.store(prepareLoop(texts, loop, songCount_), std::memory_order_relaxed);
    postHandover(kAtLoopEnd, /*alignRecording=*/false);
    return songCount_;
}

void Engine::setLoop(std::optional<LoopRange> loop) {
    settleHandover();
    if (!loop || loop->end <= loop->start) return exchangeLoop(kLoopOff);
    // The texts that play now (a hand-over being settled, only PSG_PlayMML
    // changes them, and on this thread).
    const std::array<std::u16string, kVoices> texts = {
        std::u16string(sequencer_.text(0)), std::u16string(sequencer_.text(1)), std::u16string(sequencer_.text(2)),
        std::u16string(sequencer_.text(3))};
    exchangeLoop(prepareLoop({texts[0], texts[1], texts[2], texts[3]}, loop, sequencer_.song()));
    // Without an output the caller renders: nothing more to do.
}

std::optional<LoopRange> Engine::loop() const {
    const std::uint32_t word = loop_.load(std::memory_order_acquire);
    if ((word & kLoopArmed) == 0) return std::nullopt;
    return loops_[(word & kLoopSlot) ? 1 : 0].range;
}

std::uint32_t Engine::prepareLoop(const SongTexts& texts, std::optional<LoopRange> loop, std::uint32_t song) {
    if (!loop || loop->end <= loop->start) return kLoopOff;
    // The slot not armed: the audio thread reads only the armed one.
    const std::uint32_t armed = loop_.load(std::memory_order_acquire);
    const std::uint32_t slot = (armed & kLoopArmed) && (armed & kLoopSlot) == 0 ? 1 : 0;
    LoopSlot& s = loops_[slot];
    s.start.start(texts, song, synth_.renderPath());
    s.start.advance(loop->start);
    s.range = *loop;
    return kLoopArmed | (slot ? kLoopSlot : 0);
}

void Engine::exchangeLoop(std::uint32_t word) {
    std::uint32_t now = loop_.load(std::memory_order_acquire);
    for (;;) {
        if (now & kLoopInUse) {  // the audio thread is reading or copying the slot: microseconds
            std::this_thread::yield();
            now = loop_.load(std::memory_order_acquire);
            continue;
        }
        if (loop_.compare_exchange_weak(now, word, std::memory_order_acq_rel)) return;
    }
}

std::uint64_t Engine::loopLimit(std::uint64_t frame, std::uint64_t left) {
    std::uint32_t word = loop_.load(std::memory_order_acquire);
    // A song whose first tick is still to come has no clock yet (its block ends at that tick).
    if ((word & kLoopArmed) == 0 || sequencer_.songStartPending()) return left;
    // The slot is read only while it is marked in use, so that the main
    // thread, which may prepare it once it is no longer armed, never meets
    // the audio thread in it. Should the main thread have changed the loop
    // meanwhile, the next block looks again.
    if (!loop_.compare_exchange_strong(word, word | kLoopInUse, std::memory_order_acq_rel)) return left;
    const LoopSlot& slot = loops_[(word & kLoopSlot) ? 1 : 0];
    const std::uint64_t songFrame = frame - songStart_.load(std::memory_order_relaxed);
    if (songFrame < slot.range.end) {
        const std::uint64_t limit = std::min(left, slot.range.end - songFrame);
        loop_.store(word, std::memory_order_release);
        return limit;
    }
    // The loop's end: new texts posted for it, else its start again.
    if ((handover_.load(std::memory_order_acquire) & kStateMask) == kHandoverPosted &&
        handoverAt_.load(std::memory_order_relaxed) == kAtLoopEnd) {
        loop_.store(word, std::memory_order_release);
        takeHandover(frame);            // arms the loop posted with it
        return loopLimit(frame, left);  // which starts there
    }
    synth_.adoptState(slot.start.synth());
    const std::uint64_t start = frame - slot.range.start;
    if (!sequencer_.restore(slot.start.sequencer(), start)) {
        loop_.store(kLoopOff, std::memory_order_release);  // texts that are not the loop's: never again
        return left;
    }
    songStart_.store(start, std::memory_order_release);
    playhead_.publish(sequencer_.snapshot(frame));
    loopRestarts_.fetch_add(1, std::memory_order_relaxed);
    const std::uint64_t limit = std::min(left, slot.range.end - slot.range.start);
    loop_.store(word, std::memory_order_release);
    return limit;
}

void Engine::postHandover(std::uint64_t atFrame, bool alignRecording) {
    handoverAt_.store(atFrame, std::memory_order_relaxed);
    handoverAligns_.store(alignRecording, std::memory_order_relaxed);
    handover_.store((++handoverTicket_ << 2) | kHandoverPosted, std::memory_order_release);
    // Without an output the caller renders: take it over here and now (or,
    // for a loop's end, when the caller's render gets there).
    if (!output_ && atFrame != kAtLoopEnd) takeHandover(framesRendered());
}

void Engine::awaitHandover() {
    using Clock = std::chrono::steady_clock;
    std::uint64_t rendered = framesRendered();
    Clock::time_point progress = Clock::now();
    while ((handover_.load(std::memory_order_acquire) & kStateMask) != kHandoverIdle) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        const std::uint64_t now = framesRendered();
        if (now != rendered) {
            rendered = now;
            progress = Clock::now();
        } else if (Clock::now() - progress > std::chrono::milliseconds(250)) {
            return;  // the output has stalled: leave the song posted
        }
    }
}

void Engine::settleHandover() {
    std::uint64_t word = handover_.load(std::memory_order_acquire);
    if ((word & kStateMask) == kHandoverPosted &&
        handover_.compare_exchange_strong(word, word & ~kStateMask, std::memory_order_acq_rel)) {
        return;  // withdrawn before the audio thread claimed it
    }
    while ((handover_.load(std::memory_order_acquire) & kStateMask) == kHandoverTaking) std::this_thread::yield();
}

void Engine::takeHandover(std::uint64_t frame) {
    std::uint64_t word = handover_.load(std::memory_order_acquire);
    if ((word & kStateMask) != kHandoverPosted) return;
    const std::uint64_t ticket = word & ~kStateMask;
    if (!handover_.compare_exchange_strong(word, ticket | kHandoverTaking, std::memory_order_acq_rel)) return;

    synth_.adoptState(silent_.synth());
    const std::uint64_t songStart = frame - silent_.frame();
    sequencer_.adopt(silent_.sequencer(), songStart);
    songStart_.store(songStart, std::memory_order_release);
    // Like a song's first tick, a song that starts keeps a recording started
    // just before it aligned with its first sample.
    if (handoverAligns_.load(std::memory_order_relaxed) && !ring_.holdAlignment.load() &&
        ring_.record_buffer_idx.load(std::memory_order_relaxed) < RecordRing::kAlignLimit) {
        ring_.record_buffer_idx.store(0, std::memory_order_release);
    }
    playhead_.publish(sequencer_.snapshot(frame));
    if (silent_.endedSilently()) events_.post({kEventEnded, frame});
    // The loop posted with it, if any, from now on.
    loop_.store(handoverLoop_.load(std::memory_order_relaxed), std::memory_order_release);
    handover_.store(ticket | kHandoverIdle, std::memory_order_release);
}

bool Engine::playheadNow(PlayheadSnapshot& out) const {
    const std::uint64_t rendered = framesRendered();
    const std::uint64_t latency = outputLatencyFrames();
    if (rendered == 0 || rendered <= latency) return false;
    return playhead_.at(rendered - latency - 1, out);
}

// The live render's part of the walk through ticks and blocks (stepping.h).
struct Engine::LiveBlocks {
    static constexpr bool kAdvancesVoices = true;
    Engine& engine;
    float* out;

    std::uint64_t limit(std::uint64_t frame, std::uint64_t left) {
        Engine& e = engine;
        // A seeked song waiting to be taken over: at its frame, splitting
        // the block to land on it.
        if ((e.handover_.load(std::memory_order_acquire) & kStateMask) == kHandoverPosted) {
            const std::uint64_t at = e.handoverAt_.load(std::memory_order_relaxed);
            if (at == kAtLoopEnd)
                ;  // taken by loopLimit
            else if (frame >= at)
                e.takeHandover(frame);
            else if (at - frame < left)
                left = at - frame;
        }
        // A seamless loop: back to its start at its end.
        left = e.loopLimit(frame, left);
        const std::uint32_t restart = e.ring_.restartRequested.load(std::memory_order_acquire);
        if (restart != e.ring_.restartApplied.load(std::memory_order_relaxed)) {
            e.ring_.restartStored.store(frame, std::memory_order_relaxed);
            e.ring_.record_buffer_idx.store(0, std::memory_order_relaxed);
            e.ring_.restartApplied.store(restart, std::memory_order_release);
        }
        // A song wanted at once (playMMLAtOnce): its first tick now, and the beat on from there.
        if (e.sequencer_.takeTickAtOnce()) e.synth_.state().interrupt_cnt = 0;
        return left;
    }

    void ticked(std::uint64_t /*frame*/) {
        const std::uint64_t songStart = engine.sequencer_.songStart();
        if (songStart != engine.songStart_.load(std::memory_order_relaxed))
            engine.songStart_.store(songStart, std::memory_order_release);
    }

    void block(std::uint64_t frame, int n) {
        Engine& e = engine;
        RingCursor cursor{e.ring_.record_buffer.data(), RecordRing::kSamples - 1,
                          e.ring_.record_buffer_idx.load(std::memory_order_relaxed)};
        if (e.scope_.enabled()) {
            ScopeCursor scope;
            const bool writes = e.scope_.beginBlock(frame, static_cast<std::uint32_t>(n), scope);
            e.synth_.renderBlock(out, n, cursor, writes ? &scope : nullptr);
            if (writes) e.scope_.endBlock(frame + static_cast<std::uint64_t>(n));
        } else {
            e.synth_.renderBlock(out, n, cursor);
        }
        e.ring_.samplesStored.store(frame + static_cast<std::uint64_t>(n), std::memory_order_relaxed);
        e.ring_.record_buffer_idx.store(cursor.index, std::memory_order_release);
        out += n;
    }
};

void Engine::PSG_Core(float* out, std::size_t frames) {
    if (frames == 0) return;
    if (frames > largestCall_.load(std::memory_order_relaxed)) largestCall_.store(frames, std::memory_order_relaxed);
    // stepFrames renders with flush-to-zero and denormals-are-zero, restored on return.
    std::uint64_t stored = ring_.samplesStored.load(std::memory_order_relaxed);
    LiveBlocks live{*this, out};
    stepFrames(synth_, sequencer_, stored, frames, live);
}

}  // namespace bleeptone
