#include "engine/sequencer.h"

#include <chrono>
#include <cmath>
#include <thread>

namespace bleeptone {

namespace {

// Text up to its first NUL code unit: the channel text proper.
std::u16string_view untilNul(std::u16string_view text) {
    const auto nul = text.find(u'\0');
    return nul == std::u16string_view::npos ? text : text.substr(0, nul);
}

// 64-bit product that wraps instead of overflowing.
std::int64_t wrappingMul(std::int64_t a, std::int64_t b) {
    return static_cast<std::int64_t>(static_cast<std::uint64_t>(a) * static_cast<std::uint64_t>(b));
}

std::int64_t clampVolumeIndex(std::int64_t n) { return n < 0 ? 0 : (n > 63 ? 63 : n); }

constexpr std::int32_t kMaxWorkingVolume = 63 * 8;

}  // namespace

Sequencer::Sequencer(Synth& synth, EventQueue* events, RecordRing* ring, PlayheadRing* playhead)
    : synth_(synth), events_(events), ring_(ring), playhead_(playhead) {
    for (auto& ch : channels_) ch.EvtCnt = -1;
}

void Sequencer::reset() {
    for (int k = 0; k < kVoices; ++k) {
        channels_[k] = MML_Channel{};
        channels_[k].EvtCnt = -1;
        MML_Commands[k].clear();
        MML_Numbers[k].fill(0);
        MML_Envelope[k].fill(0);
    }
    IsSettingMML.store(false);
    IsParsingMML.store(false);
    IsPlayingMML.store(0);
    pendingPhaseRestart_.store(0);
    song_ = 0;
    songStartPending_.store(false);
    songStart_ = 0;
}

void Sequencer::adopt(Sequencer& from, std::uint64_t songStart) {
    for (int k = 0; k < kVoices; ++k) {
        const MML_Channel& source = from.channels_[k];
        const std::ptrdiff_t at = source.CmdPtr ? source.CmdPtr - from.MML_Commands[k].c_str() : -1;
        MML_Commands[k].swap(from.MML_Commands[k]);  // no allocation: the buffers change hands
        channels_[k] = source;
        channels_[k].CmdPtr = at >= 0 ? MML_Commands[k].c_str() + at : nullptr;
        from.channels_[k].CmdPtr = nullptr;  // its text is the old one now
    }
    MML_Numbers = from.MML_Numbers;
    MML_Envelope = from.MML_Envelope;
    IsPlayingMML.store(from.IsPlayingMML.load());
    pendingPhaseRestart_.store(from.pendingPhaseRestart_.load());
    song_ = from.song_;
    songStartPending_.store(false);
    songStart_ = songStart;
}

bool Sequencer::restore(const Sequencer& from, std::uint64_t songStart) {
    for (int k = 0; k < kVoices; ++k)
        if (MML_Commands[k].size() != from.MML_Commands[k].size()) return false;
    for (int k = 0; k < kVoices; ++k) {
        const MML_Channel& source = from.channels_[k];
        const std::ptrdiff_t at = source.CmdPtr ? source.CmdPtr - from.MML_Commands[k].c_str() : -1;
        channels_[k] = source;
        channels_[k].CmdPtr = at >= 0 ? MML_Commands[k].c_str() + at : nullptr;
    }
    MML_Numbers = from.MML_Numbers;
    MML_Envelope = from.MML_Envelope;
    IsPlayingMML.store(from.IsPlayingMML.load());
    pendingPhaseRestart_.store(from.pendingPhaseRestart_.load());
    if (song_ != from.song_) song_ = from.song_;  // the same song: the main thread may be reading it
    songStartPending_.store(false);
    songStart_ = songStart;
    return true;
}

PlayheadSnapshot Sequencer::snapshot(std::uint64_t frame) const {
    PlayheadSnapshot s;
    s.frame = frame;
    s.songFrame = frame - songStart_;
    s.song = song_;
    for (int k = 0; k < kVoices; ++k) s.positions[k] = channels_[k].soundingAt;
    return s;
}

void Sequencer::resetChannel(MML_Channel& ch) {
    resetChannelInfo(ch);
    ch.Volume_ = 0;
    ch.soundingAt = -1;
}

void Sequencer::PSG_PlayMML(std::u16string_view channel0, std::u16string_view channel1, std::u16string_view channel2,
                            std::u16string_view channel3, std::uint32_t song, bool atOnce) {
    const std::u16string_view texts[kVoices] = {untilNul(channel0), untilNul(channel1), untilNul(channel2),
                                                untilNul(channel3)};
    // Each side raises its own flag, then looks at the other's (sequentially
    // consistent), so a tick and a replacement never overlap.
    IsSettingMML.store(true);
    while (IsParsingMML.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));

    std::uint32_t restarted = 0;
    for (int k = 0; k < kVoices; ++k) {
        if (texts[k] == MML_NoChange) continue;
        MML_Commands[k].assign(texts[k]);
        MML_Channel& ch = channels_[k];
        resetChannel(ch);
        ch.CmdPtr = MML_Commands[k].c_str();
        restarted |= 1u << k;
    }
    // The render loop owns the phases; it restarts these before its next block.
    pendingPhaseRestart_.fetch_or(restarted);
    IsPlayingMML.fetch_or(restarted, std::memory_order_relaxed);
    song_ = song;
    songStartPending_.store(true);
    tickAtOnce_.store(atOnce);

    IsSettingMML.store(false);
}

void Sequencer::waitWhileTicking() const {
    while (IsParsingMML.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

bool Sequencer::takeTickAtOnce() {
    if (!tickAtOnce_.load(std::memory_order_relaxed) || IsSettingMML.load()) return false;
    return tickAtOnce_.exchange(false) && songStartPending_.load();
}

bool Sequencer::allAtTextStart() const {
    for (int k = 0; k < kVoices; ++k) {
        if (channels_[k].CmdPtr && channels_[k].CmdPtr != MML_Commands[k].c_str()) return false;
    }
    return true;
}

void Sequencer::postEndEvent(std::int64_t data, std::uint64_t frame) {
    if (observer_) observer_->beforeEndEvent();
    if (events_) events_->post({data, frame});
}

void Sequencer::MML_Interrupt(std::uint64_t frame) {
    if (IsSettingMML.load()) return;
    IsParsingMML.store(true);
    if (IsSettingMML.load()) {  // a replacement got in first: skip this tick entirely
        IsParsingMML.store(false);
        return;
    }

    // Keep the recording aligned with the start of the tune (unless a stop is
    // still copying the start of the ring).
    if (ring_ && allAtTextStart() && !ring_->holdAlignment.load() &&
        ring_->record_buffer_idx.load(std::memory_order_relaxed) < RecordRing::kAlignLimit) {
        ring_->record_buffer_idx.store(0, std::memory_order_release);
    }
    if (songStartPending_.load(std::memory_order_relaxed)) {
        songStartPending_.store(false);
        songStart_ = frame;
    }

    std::uint32_t loopMask = 0;
    if (noteObserver_) {
        for (int k = 0; k < kVoices; ++k) tickChannel<true>(k, loopMask, frame);
    } else {
        for (int k = 0; k < kVoices; ++k) tickChannel<false>(k, loopMask, frame);
    }

    if (loopMask != 0 && loopMask == IsPlayingMML.load(std::memory_order_relaxed)) {
        postEndEvent(kEventLooped, frame);
    }
    if (playhead_) playhead_->publish(snapshot(frame));
    IsParsingMML.store(false);
}

template <bool Observed>
void Sequencer::tickChannel(int k, std::uint32_t& loopMask, std::uint64_t frame) {
    MML_Channel& ch = channels_[k];
    if (ch.EvtCnt > 0) {
        updateVolume<Observed>(k);
        --ch.EvtCnt;
    }
    if (ch.EvtCnt != 0) return;

    if (!ch.CmdPtr || mmlClass(*ch.CmdPtr) == mmlClasses::End) {
        synth_.state().vmul[k] = 0.0f;
        ch.EvtCnt = -1;
        ch.soundingAt = -1;
        if constexpr (Observed) noteObserver_->channelEnded(k);
        const std::uint32_t playing = IsPlayingMML.fetch_and(~(1u << k), std::memory_order_relaxed) & ~(1u << k);
        if (playing == 0) postEndEvent(kEventEnded, frame);
        return;
    }
    readUntilNote<Observed>(k, loopMask, frame);
}

// Reads commands until a note or rest has been read or the text ends.
//
// A text that reaches ":" without a note since its start (":", "T12:",
// "*1:") would loop for ever inside one tick. So a channel takes at most one
// ":" per tick: reaching a second one stops reading, with the read position
// left on that ":", and the channel goes on at the next tick (where it loops
// once more). Such a channel keeps playing and counts as looping every tick.
template <bool Observed>
void Sequencer::readUntilNote(int k, std::uint32_t& loopMask, std::uint64_t frame) {
    MML_Channel& ch = channels_[k];
    const char16_t* const start = MML_Commands[k].c_str();
    const char16_t* const end = start + MML_Commands[k].size();
    const char16_t* pos = ch.CmdPtr;
    bool looped = false;
    ch.soundingAt = -1;  // the last note has run out
    for (;;) {
        const MMLCommand cmd = readMMLCommand(pos, end, &MML_Numbers[k]);
        if (cmd.atEnd()) {  // the channel ends at the next tick
            if constexpr (Observed) noteObserver_->commandRead(k, cmd, static_cast<std::int32_t>(pos - start), ch);
            break;
        }
        if (mmlCommands::isNoteOrRest(cmd.code)) {
            const auto position = static_cast<std::int32_t>(cmd.at - start);
            startNote<Observed>(k, cmd, position);
            ch.soundingAt = position;
            break;
        }
        if (cmd.code == mmlCommands::Loop) {
            if (looped) {
                pos = cmd.at;
                break;
            }
            looped = true;
            resetChannel(ch);
            loopMask |= 1u << k;
            pos = start;
        } else if (cmd.code == mmlCommands::Event) {
            // Event numbers are never negative; a digit run that wrapped past
            // 2^63 must not pass for "ended" or "looped".
            if (events_) events_->post({cmd.number & INT64_MAX, frame});
        } else if (cmd.code == mmlCommands::Decay) {
            if (cmd.closed >= 1) {
                ch.Decay = kDecayEnvelope;
                MML_Envelope[k] = MML_Numbers[k];
            } else {
                ch.Decay = low32(cmd.number);
            }
        } else {
            applyMMLSetting(ch, cmd);  // "/" and unknown codes change nothing
        }
        if constexpr (Observed) noteObserver_->commandRead(k, cmd, static_cast<std::int32_t>(cmd.at - start), ch);
    }
    ch.CmdPtr = pos;
}

template <bool Observed>
void Sequencer::startNote(int k, const MMLCommand& cmd, std::int32_t position) {
    MML_Channel& ch = channels_[k];
    const std::int64_t length = mmlNoteLength(cmd, ch);
    const std::int64_t index = cmd.code == mmlCommands::Rest ? -1 : mmlNoteIndex(cmd, ch);
    std::uint8_t volume = 0;
    if (index < 0 || index >= kNoteCount) {  // a rest, or a note out of range: silent
        ch.Volume_ = 0;
        synth_.state().vmul[k] = 0.0f;
    } else {
        ch.Volume_ = ch.Volume * 8;
        volume = static_cast<std::uint8_t>(ch.Decay == kDecayEnvelope ? wrappingMul(ch.Volume_, MML_Envelope[k][0]) / 72
                                                                      : ch.Volume);
        synth_.PSG_Sound(static_cast<std::uint8_t>(k), NoteTable[static_cast<std::size_t>(index)], volume,
                         static_cast<std::uint8_t>(ch.Waveform));
    }
    ch.EvtLen = mmlNoteTicks(ch.Tempo, length, cmd.dot);
    ch.EvtCnt = ch.EvtLen;
    if constexpr (Observed)
        noteObserver_->noteStarted(k, cmd, position, ch, index, volume & 63);  // PSG_Sound's low 6 bits
}

template <bool Observed>
void Sequencer::updateVolume(int k) {
    MML_Channel& ch = channels_[k];
    float& vmul = synth_.state().vmul[k];
    if (ch.EvtLen <= 0) return;  // cannot happen while a note counts down; never divide by it
    if (ch.Decay == kDecayEnvelope) {
        const MMLNumberList& env = MML_Envelope[k];
        const std::int64_t count = env[kListCountSlot];
        const std::int64_t elapsed = ch.EvtLen - ch.EvtCnt;
        std::int64_t n;
        if (env[kListDotSlot] != 0) {  // stepped
            std::int64_t index = count * elapsed / ch.EvtLen;
            index = index < 0 ? 0 : (index > kListSlots - 1 ? kListSlots - 1 : index);
            n = wrappingMul(ch.Volume_, env[static_cast<std::size_t>(index)]) / 72;
        } else {  // interpolated
            float f = static_cast<float>(static_cast<double>((count - 1) * elapsed) / static_cast<double>(ch.EvtLen));
            std::int64_t i = static_cast<std::int64_t>(f);
            f -= static_cast<float>(i);
            i = i < 0 ? 0 : (i > kListSlots - 2 ? kListSlots - 2 : i);
            const double fd = f;
            const double value = (static_cast<double>(env[static_cast<std::size_t>(i)]) * (1.0 - fd) +
                                  static_cast<double>(env[static_cast<std::size_t>(i) + 1]) * fd) *
                                 static_cast<double>(ch.Volume_) / 72.0;
            const double rounded = std::nearbyint(value);  // ties to even
            n = rounded <= 0.0 ? 0 : (rounded >= 63.0 ? 63 : static_cast<std::int64_t>(rounded));
        }
        vmul = VolTable[static_cast<std::size_t>(clampVolumeIndex(n))];
        if constexpr (Observed) noteObserver_->levelChanged(k, static_cast<int>(clampVolumeIndex(n)));
    } else if (ch.Volume_ != 0) {
        // A Decay below zero can only come from a number whose low 32 bits
        // are negative; it swells the note, held at full volume.
        std::int64_t v = static_cast<std::int64_t>(ch.Volume_) - ch.Decay;
        v = v < 0 ? 0 : (v > kMaxWorkingVolume ? kMaxWorkingVolume : v);
        ch.Volume_ = static_cast<std::int32_t>(v);
        vmul = VolTable[static_cast<std::size_t>(ch.Volume_ >> 3)];
        if constexpr (Observed) noteObserver_->levelChanged(k, ch.Volume_ >> 3);
    }
}

SequencerRun::SequencerRun(std::u16string_view channel0, std::u16string_view channel1, std::u16string_view channel2,
                           std::u16string_view channel3, NoteObserver* observer)
    : sequencer_(synth_, nullptr, nullptr, nullptr) {
    sequencer_.setNoteObserver(observer);
    sequencer_.PSG_PlayMML(channel0, channel1, channel2, channel3);
}

}  // namespace bleeptone
