#pragma once
// The sequencer: four channel records, the hand-over of channel texts from
// the main thread (PSG_PlayMML) and the tick (MML_Interrupt) that the render
// loop runs on the audio thread before every block of 459 samples.

#include <array>
#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>

#include "engine/events.h"
#include "engine/mml.h"
#include "engine/playhead.h"
#include "engine/record_ring.h"
#include "engine/stepping.h"
#include "engine/synth.h"

namespace bleeptone {

// A channel text equal to this leaves its channel untouched.
inline constexpr std::u16string_view MML_NoChange = u":";

struct MML_Channel : MML_Info {
    std::int32_t EvtLen = 0;           // length in ticks of the current note or rest
    std::int32_t Volume_ = 0;          // working volume in eighths of a step
    const char16_t* CmdPtr = nullptr;  // where reading resumes; none before the first text
    std::int32_t soundingAt = -1;      // text position of the note or rest counting down; -1 none
};

// Called by the tick before it posts -1 or -2: the recorder's auto-stop.
class TickObserver {
public:
    virtual ~TickObserver() = default;
    // Thread: audio (the tick). Callback: yes; it may wait only as the auto-stop does.
    virtual void beforeEndEvent() = 0;
};

// Hears what the tick reads and plays, for a map of a song (the note map).
// Only a sequencer that ticks without sound has one; on the audio path it
// is null and each hook costs one untaken branch. Its calls come in the
// order the tick makes them, channel by channel.
// Thread: whoever ticks the sequencer. Callback: never installed there.
class NoteObserver {
public:
    virtual ~NoteObserver() = default;
    // Channel k read a note or rest at `position` of its text and started
    // it; ch holds the settings it was read with and its EvtLen. index is
    // the note index, -1 for a rest (outside 0..96 the note is silent);
    // level the VolTable index the voice started at (0 when silent).
    virtual void noteStarted(int k, const MMLCommand& cmd, std::int32_t position, const MML_Channel& ch,
                             std::int64_t index, int level) = 0;
    // Channel k read any other command and applied it (":" after its reset;
    // a second ":" in one tick is left for the next and not reported); ch is
    // its record afterwards. Reading that reaches the end of the text is
    // reported too, with cmd.atEnd() and the terminator's position.
    virtual void commandRead(int k, const MMLCommand& cmd, std::int32_t position, const MML_Channel& ch) = 0;
    // The decay or envelope of channel k's counting note set its voice to
    // VolTable[level].
    virtual void levelChanged(int k, int level) = 0;
    // Channel k ended: its text ran out (or it never had one).
    virtual void channelEnded(int k) = 0;
};

class Sequencer {
public:
    // Without an event queue the tick's events are dropped; without a ring
    // there is no recording to align; without a playhead ring no snapshots
    // are published (a seek's silent part has none of the three).
    // Thread: any, before rendering starts. Callback: no.
    Sequencer(Synth& synth, EventQueue* events, RecordRing* ring, PlayheadRing* playhead = nullptr);

    // Replaces the texts of the channels whose text is not MML_NoChange and
    // restarts them; song is the number the playhead snapshots carry from now
    // on, and the song's clock starts again at the next tick. atOnce: that
    // tick is due before the next block (see takeTickAtOnce) rather than on
    // the beat of 459 samples. Thread: main, one caller at a time.
    // Callback: no (copies the texts, waits while a tick runs).
    void PSG_PlayMML(std::u16string_view channel0, std::u16string_view channel1 = {}, std::u16string_view channel2 = {},
                     std::u16string_view channel3 = {}, std::uint32_t song = 0, bool atOnce = false);

    // One tick. frame is the index of the first sample rendered after it (the
    // time stamp of the events it posts and of its playhead snapshot).
    // Skipped while PSG_PlayMML replaces texts. Thread: audio. Callback: yes
    // (no allocation, lock or wait but the observer's auto-stop).
    void MML_Interrupt(std::uint64_t frame);

    // Back to the state of a new engine: every channel idle without a text,
    // number and envelope lists zero, nothing playing or pending.
    // Thread: the owner, while nothing renders with it. Callback: no.
    void reset();

    // Takes over everything that plays from `from` (channel records, texts,
    // lists, the playing mask, pending phase restarts, the song number), as
    // the state of a song whose clock stood at 0 at engine frame songStart.
    // The texts are swapped, not copied: `from` is left with the old ones.
    // Thread: audio, between blocks, while `from`'s owner leaves it alone.
    // Callback: yes (no allocation: swaps and copies fixed-size state).
    void adopt(Sequencer& from, std::uint64_t songStart);

    // Takes over the state of `from` as adopt does, but copies it and leaves
    // `from` as it is, so that the same state can be taken again and again
    // (a loop's start). Both must hold the same texts (copies of the same
    // channel texts): the read positions are carried over as offsets. False,
    // and nothing changed, when a text's length differs.
    // Thread: audio, between blocks, while `from`'s owner leaves it alone.
    // Callback: yes (no allocation: copies fixed-size state).
    bool restore(const Sequencer& from, std::uint64_t songStart);

    // Channel k's text as handed over. Thread: main (texts change only by
    // PSG_PlayMML and a hand-over, which the main thread settles first).
    // Callback: no.
    std::u16string_view text(int k) const { return MML_Commands[k]; }

    // Engine frame at which the song's clock stood at 0: the first tick after
    // PSG_PlayMML, or what adopt was given. Thread: audio. Callback: yes.
    std::uint64_t songStart() const { return songStart_; }
    // Whether PSG_PlayMML has started a song whose first tick has not run
    // yet. Thread: any. Callback: yes.
    bool songStartPending() const { return songStartPending_.load(); }

    // The snapshot of the last tick: positions of the sounding commands.
    // Thread: audio (or the owner while nothing renders). Callback: yes.
    PlayheadSnapshot snapshot(std::uint64_t frame) const;

    // Voices whose phase PSG_PlayMML restarted since the last call; the
    // render loop applies them before the next block. Thread: audio. Callback: yes.
    std::uint32_t takePhaseRestarts() {
        if (pendingPhaseRestart_.load(std::memory_order_relaxed) == 0) return 0;
        return pendingPhaseRestart_.exchange(0);
    }
    // Whether a song that PSG_PlayMML started with atOnce waits for its first
    // tick with its texts in place: the render loop then runs that tick
    // before its next block. Once true per such song. Thread: audio. Callback: yes.
    bool takeTickAtOnce();

    // Who hears of end events before they are posted (the Engine sets its
    // recorder). Thread: main, before rendering starts. Callback: no.
    void setObserver(TickObserver* observer) { observer_ = observer; }

    // Who hears every note and command the tick reads (none on the audio
    // path). Thread: the owner, while nothing renders. Callback: no.
    void setNoteObserver(NoteObserver* observer) { noteObserver_ = observer; }

    // Returns once no tick is running. Thread: main, never inside a tick.
    // Callback: no (sleeps 1 ms at a time).
    void waitWhileTicking() const;

    // The song number PSG_PlayMML was last given. Thread: main. Callback: no.
    std::uint32_t song() const { return song_; }

    // Bit k set while channel k plays. Thread: any. Callback: yes.
    std::uint32_t playingMask() const { return IsPlayingMML.load(std::memory_order_relaxed); }

    // Channel k's record, for tests. Thread: main, while nothing renders. Callback: no.
    const MML_Channel& channel(int k) const { return channels_[k]; }

private:
    // Observed: a note observer is installed. The audio path runs the
    // instances without it, which have no trace of the hooks.
    template <bool Observed>
    void tickChannel(int k, std::uint32_t& loopMask, std::uint64_t frame);
    template <bool Observed>
    void readUntilNote(int k, std::uint32_t& loopMask, std::uint64_t frame);
    template <bool Observed>
    void startNote(int k, const MMLCommand& cmd, std::int32_t position);
    template <bool Observed>
    void updateVolume(int k);
    void resetChannel(MML_Channel& ch);
    bool allAtTextStart() const;
    void postEndEvent(std::int64_t data, std::uint64_t frame);

    Synth& synth_;
    EventQueue* events_;
    RecordRing* ring_;
    PlayheadRing* playhead_;
    TickObserver* observer_ = nullptr;
    NoteObserver* noteObserver_ = nullptr;

    std::array<MML_Channel, kVoices> channels_{};
    std::array<std::u16string, kVoices> MML_Commands;
    std::array<MMLNumberList, kVoices> MML_Numbers{};
    std::array<MMLNumberList, kVoices> MML_Envelope{};

    std::atomic<bool> IsSettingMML{false};
    std::atomic<bool> IsParsingMML{false};
    std::atomic<std::uint32_t> IsPlayingMML{0};
    std::atomic<std::uint32_t> pendingPhaseRestart_{0};
    std::atomic<bool> tickAtOnce_{false};  // set by PSG_PlayMML(atOnce), taken by the render loop

    std::uint32_t song_ = 0;                     // belongs with the channel records
    std::atomic<bool> songStartPending_{false};  // set by PSG_PlayMML, taken by the next tick
    std::uint64_t songStart_ = 0;                // the audio thread's
};

// A sequencer that ticks on its own, without sound, as the one of a new
// engine handed the texts would: tick n runs at frame 459 x n. The voices it
// writes to are never rendered, so a tick costs a fraction of a microsecond.
// The search for a text position's first frame and the note map step songs
// with it. Thread: its owner. Callback: no.
class SequencerRun {
public:
    // Thread: any. Callback: no (copies the texts).
    SequencerRun(std::u16string_view channel0, std::u16string_view channel1, std::u16string_view channel2,
                 std::u16string_view channel3, NoteObserver* observer = nullptr);
    SequencerRun(const SequencerRun&) = delete;
    SequencerRun& operator=(const SequencerRun&) = delete;

    // Runs the next tick and returns its frame: steps the 459 samples from
    // it through stepFrames (stepping.h), rendering nothing. Thread: the
    // owner. Callback: no.
    std::uint64_t tick() {
        const std::uint64_t frame = next_;
        TicksOnly ticks;
        stepFrames(synth_, sequencer_, next_, kTickSamples, ticks);  // a tick is due at each 459th frame
        return frame;
    }
    // The frame of the tick that runs next. Thread: the owner. Callback: yes.
    std::uint64_t nextFrame() const { return next_; }
    // Thread: the owner. Callback: yes.
    const Sequencer& sequencer() const { return sequencer_; }

private:
    // The walk's policy: the voices the sequencer writes to are never rendered.
    struct TicksOnly : StepDefaults {
        static constexpr bool kAdvancesVoices = false;
        void block(std::uint64_t /*frame*/, int /*n*/) const {}
    };

    Synth synth_;
    Sequencer sequencer_;
    std::uint64_t next_ = 0;
};

}  // namespace bleeptone
