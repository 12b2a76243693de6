#pragma once
// The Engine owns every piece of engine state as fixed-size members, created
// once. The program has one; tests and the offline renderer make their own.
//
// Threads
// -------
// main        The thread that owns the Engine: the GUI thread, the command
//             line's thread, or the thread of an offline render. It makes
//             every call but PSG_Core, and it is the one reader of events.
// audio       The output's thread, the only caller of PSG_Core: the PortAudio
//             callback, or the silent clocked backend's thread (an offline
//             render calls PSG_Core on its own thread). Inside PSG_Core run
//             the tick (MML_Interrupt), PSG_Sound, the block render, the
//             writes to the recording ring and the posting of events. When
//             the device is lost the silent backend's thread takes over from
//             the next sample, and the device's again once it is back: one
//             at a time, through the watchdog's gate (output_watchdog.h).
// watchdog    One while the sound device plays: watches its callbacks, gives
//             a lost device up, tries the device again; releases of devices
//             run on short-lived helper threads that own them. Never touches
//             engine state: it only starts, stops and switches outputs.
// WAV writer  One per recording: copies each finished half of the ring to the
//             file and finishes the file at the stop (an offline render steps
//             it on its own thread instead, through Recorder::pump).
//
// Who owns what:
// - main: the channel texts (MML_Commands), the output, the recording's start
//   and stop, the consumer side of the event queue, the reading side of the
//   playhead and oscilloscope rings, the SilentSong of a seek (but while its
//   hand-over is posted), the song numbers.
// - audio: the voice state (PSGInternal, prng), the ring's samples and
//   record_buffer_idx, the producer side of the event queue, the writing
//   side of the playhead and oscilloscope rings, the song's start frame. The
//   channel records (MML_Channel) belong to whichever of PSG_PlayMML and the
//   tick holds its flag (IsSettingMML, IsParsingMML); the two never overlap,
//   and a hand-over's take happens only while the main thread keeps off them.
// - WAV writer: the file (wave_file), prev_idx and its staging buffer.
// - shared through atomics only: the flags above, IsPlayingMML, pending phase
//   restarts, the first tick wanted at once, the ring restart request and
//   samplesStored, the recorder's state, the hand-over word, the loop word
//   and its restart count, the oscilloscope switch, the published song start.
//
// Data paths out of (and into) the audio thread, all lock-free and
// allocation-free on the audio side:
// - events: the tick posts (audio), the main thread polls; EventQueue, a
//   bounded single-producer single-consumer queue (events.h).
// - playhead: at the end of every tick that runs, the sequencer publishes a
//   PlayheadSnapshot {frame, songFrame, song, positions} (audio) into a ring
//   of 256 seqlock slots; any thread reads, the main thread through
//   playheadNow() on its timer, which picks the snapshot of the sample being
//   heard (framesRendered minus the output's latency). playhead.h.
// - oscilloscope: while setScopeEnabled(true) (main; the render checks the
//   flag once per block), each block's voices and mix go into ScopeRing's
//   five traces (audio, plain stores); the main thread copies the newest
//   frames out with copyScope(). The reader announces what it copies and the
//   writer leaves out (never waits for) a block that would overwrite it.
//   scope_ring.h.
// - seek hand-over: the main thread renders the new song's state silently in
//   its own SilentSong (seek.h), then posts it with the engine frame at which
//   to take it (handover_: ticket, posted / taking / idle). At a block
//   boundary (splitting a block to land on that frame) the audio thread
//   claims it (CAS), copies the voice state, swaps the texts in (no
//   allocation), publishes a snapshot and marks it idle. Before touching the
//   SilentSong or the live sequencer again the main thread settles the
//   hand-over: it withdraws a post not yet claimed (CAS) or waits the few
//   microseconds of a claim. PSG_PlayMMLFrom also waits (briefly) until it
//   has been taken; continueMML does not.
// - seamless loops: the main thread prepares the state at a loop's start in
//   one of two LoopSlots (a SilentSong run silently up to it, the texts
//   copies of those that play) and arms it through loop_ (off, or armed with
//   its slot), either at once (setLoop) or with a hand-over, whose take arms
//   the loop posted with it. Before each block the audio thread marks the
//   armed slot in use (CAS: armed -> in use; a failed CAS leaves it for the
//   next block) and reads its range; at the block boundary where the song
//   reaches the loop's end (splitting a block to land on it) it copies the
//   slot's state into the live synthesiser and sequencer (no allocation, the
//   slot left as it is) and moves the song's start so that the song frame is
//   the loop's start; then it marks it armed again. A hand-over posted for
//   the loop's end is taken there instead. The main thread prepares only the
//   slot not armed, and disarms (CAS armed -> off, waiting out a use) before
//   it replaces texts.
// - song clock: the audio thread keeps the song's start (the engine frame of
//   its sample 0) and publishes it (atomic); songFrame() = framesRendered()
//   minus it.
// - recording ring: render (audio) to the WAV writer, see Recorder.
//
// Inside the render callback nothing allocates, locks, logs, does I/O or
// waits, with one exception: the auto-stop of a recording started with
// AutoStop. The tick that posts -1 or -2 then stops the recording and waits
// until the writer, woken at once, has written the rest and closed the file;
// no audio is rendered meanwhile.
//
// Calls that block: PSG_PlayMML waits while a tick runs (1 ms sleeps) and,
// like every call that starts a song, withdraws or waits out a hand-over;
// PSG_PlayMMLFrom renders the silent part and waits until the audio thread
// has taken the new song (about one output buffer); continueMML renders;
// PSG_StartWaveRecord (which finishes a running recording first),
// PSG_StopWaveRecord and PSG_Terminate wait until the file is closed;
// PSG_Init and PSG_Terminate wait for the output's last callback;
// PSG_Terminate first lets the device play what it holds (about its latency),
// and waits at most a few seconds for a device that does not answer.
//
// Every public engine function carries a note "Thread: who may call it.
// Callback: whether it may run inside the render callback (why)".
//
// Inherited names (they keep their spelling)
// ------------------------------------------
// PSG_Init, PSG_Terminate   start the output (after silencing the voices); stop it
// PSG_PlayMML               hand up to four channel texts to the sequencer
// PSG_Core                  the render callback: n samples, a tick before every 459th
//                           (it steps them through stepFrames, as a seek does)
// PSG_Sound                 start a note on one voice: frequency, volume, waveform
// PSG_SetDefaults           silence every voice and make a tick due
// PSG_GetInfoMML            the settings and the duration at a text position
// PSG_StartWaveRecord, PSG_StopWaveRecord   record the output into a WAV file
// MML_Interrupt             the sequencer tick: counts notes down, reads the next ones
// MML_Info                  a channel's settings (EvtCnt, Tempo, Octave, Transpose,
//                           NoteLen, Volume, Waveform, Decay); also the query's result
// MML_Channel               a channel's record: MML_Info plus EvtLen, Volume_, CmdPtr
// MML_NoChange              ":" as a channel text: leave that channel as it is
// MML_Event                 the application event kind, "MML " as a big-endian code
// MML_Commands, MML_Numbers, MML_Envelope   per channel: its text, the numbers of
//                           its last command, its decay envelope
// EvtCnt                    ticks left of the current note or rest (-1: ended);
//                           in the query's result, the duration in 32nd notes
// EvtLen                    length in ticks of the current note or rest
// CmdPtr                    where reading of the channel's text resumes
// Volume, Volume_           the V setting (0..63); the working volume in eighths
//                           of a step, lowered by the decay (VolTable index Volume_ >> 3)
// Decay                     volume eighths lost per tick; kDecayEnvelope with an envelope
// PSGInternal               voice state, one vector lane per voice
// phase, phase_add          position in the wave cycle (0..1); its step per sample,
//                           frequency x rcp44100
// wave_mask                 the voice's WaveMask entry
// vmul                      the voice's target gain, a VolTable entry
// tmp, vol_change_speed     the smoothed gain, which moves towards vmul x 0.75 by
//                           the factor vol_change_speed (0.988) per sample
// mastervolume              gain applied to every voice's target (1.0)
// interrupt_cnt             samples still to render before the next tick
// prng                      the noise generator's shift register
// rcp44100                  1 / 44,100 in single precision
// IsSettingMML, IsParsingMML   raised while PSG_PlayMML replaces texts / a tick runs
// IsPlayingMML              bit k set while channel k plays
// record_buffer             the recording ring: 262,144 16-bit samples in two halves
// record_buffer_idx         index of the next sample in the ring (counted in samples here)
// stop_record_idx           the ring index a stop captured: where the file ends
// prev_idx                  the writer's position in the half being filled, not yet written
// auto_stop                 the recording stops itself at the tune's end or common loop
// wave_file                 the file being recorded
// WaveHeader                the 44-byte header of a 16-bit mono 44,100 Hz WAV file
// VolTable                  64 gains 0.75 dB apart, entry 0 silent
// NoteTable                 97 frequencies, C0..C8
// WaveMask                  the bit masks of waveforms W0..W7
// MMLTable                  the class byte of each low byte of a code unit
//
// Our own terms
// -------------
// frame                     a sample's index on the engine's counter (framesRendered)
// song frame                a sample's index counted from the song's start
// song number               which PSG_PlayMML / PSG_PlayMMLFrom / continueMML a
//                           playhead snapshot's positions belong to
// position                  an index in UTF-16 units into a channel text as handed over
// seek                      a new engine's silent render of the first N samples of a song
// stepFrames                the one walk through ticks and blocks (stepping.h): phase
//                           restarts, the tick when due, a block up to the next tick;
//                           a policy renders the block (PSG_Core), skips it (the seek)
//                           or leaves it (SequencerRun: the position search, the note map)
// block                     the samples between two ticks, or part of them where a
//                           render call, a hand-over or a policy's limit splits them
// start phase               kStartPhase (0.75), where a restarted voice's cycle begins
// hand-over                 the audio thread taking a seeked song over, between blocks

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "engine/events.h"
#include "engine/output.h"
#include "engine/output_watchdog.h"
#include "engine/playhead.h"
#include "engine/query.h"
#include "engine/record_ring.h"
#include "engine/recorder.h"
#include "engine/scope_ring.h"
#include "engine/seek.h"
#include "engine/sequencer.h"
#include "engine/synth.h"

namespace bleeptone {

// What PSG_Init achieved.
enum class InitResult {
    Device,          // the sound device plays
    Silent,          // the silent clocked output runs, as asked
    SilentFallback,  // the sound device failed to start; the silent output runs instead
    NoOutput,        // not even the silent output started: nothing renders
};

struct InitOutcome {
    InitResult result = InitResult::NoOutput;
    std::string error;  // why the device failed, when it did
};

class Engine {
public:
    // Thread: main. Callback: no (allocates, starts or stops threads).
    Engine();
    ~Engine();
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;

    // Engine state is large (the recording ring alone is 512 KiB): keep it on
    // the heap. Thread: any. Callback: no (allocates).
    static std::unique_ptr<Engine> create() { return std::make_unique<Engine>(); }

    // Stops any output (PSG_Terminate), silences every voice and starts the
    // chosen output. When the device cannot start, the engine still runs on
    // the silent clocked output, so playing, its events and recording keep
    // working; the outcome says which happened.
    // Thread: main. Callback: no (opens the device, waits for the old output).
    InitOutcome PSG_Init(AudioBackend backend = AudioBackend::PortAudio);

    // Finishes a running recording (the file is complete when it returns),
    // then stops and releases the output; does nothing more without one.
    // Thread: main. Callback: no (waits for the file and the last callback).
    void PSG_Terminate();

    // Where PSG_Init gets its outputs (tests substitute their own). The
    // watchdog calls it too, on its own thread, for the silent output and
    // for another try of the device. Thread: main, while no output runs. Callback: no.
    void setOutputFactory(OutputFactory factory) { outputFactory_ = std::move(factory); }
    // How the watchdog on the sound device is paced (tests shorten it).
    // Thread: main, while no output runs. Callback: no.
    void setWatchdogTiming(const WatchdogTiming& timing) { watchdogTiming_ = timing; }
    // An output runs (PSG_Init started one). Thread: main. Callback: no.
    bool hasOutput() const { return output_ != nullptr; }
    // Whether the sound device was lost since PSG_Init, and whether the
    // silent output plays on in its place now. Thread: main. Callback: no.
    OutputHealth outputHealth() const { return output_ ? output_->health() : OutputHealth{}; }

    // Hands up to four channel texts to the sequencer (MML_NoChange keeps a
    // channel as it is). Returns the song number that playhead snapshots of
    // these texts carry; the song's clock starts at the next tick.
    // A loop that plays (setLoop) ends.
    // Thread: main. Callback: no (copies the texts, waits while a tick runs).
    std::uint32_t PSG_PlayMML(std::u16string_view channel0, std::u16string_view channel1 = {},
                              std::u16string_view channel2 = {}, std::u16string_view channel3 = {});
    // As PSG_PlayMML, but the first tick of these texts runs before the next
    // block rendered (the next output buffer's first sample, or sooner within
    // a buffer being rendered) instead of on the next beat of 459 samples;
    // the beat goes on from that tick. For a note heard as it is written.
    // Thread: main. Callback: no (as PSG_PlayMML).
    std::uint32_t playMMLAtOnce(std::u16string_view channel0, std::u16string_view channel1 = {},
                                std::u16string_view channel2 = {}, std::u16string_view channel3 = {});

    // Plays the texts from sample startFrame of the song on, exactly as if a
    // new engine had played them from their start (Play from Here, --start,
    // loop restarts): renders startFrame samples silently on this thread
    // (events of that part are dropped), then the audio thread takes the new
    // state over at its next block boundary; the engine's sample counter and
    // event queue carry on. A song that ended within the silent part posts
    // -1 when it is taken over. Returns the song number (see PSG_PlayMML)
    // once the audio thread has taken it (without an output: at once, the
    // caller being the one that renders). Should the output stall, it stops
    // waiting after 250 ms without a rendered sample; the next call then
    // withdraws the song if it was still not taken.
    // Thread: main. Callback: no (renders, about 8,000 times real time; waits).
    std::uint32_t PSG_PlayMMLFrom(const SongTexts& texts, std::uint64_t startFrame,
                                  std::optional<LoopRange> loop = std::nullopt);

    // Live edit: the playing song goes on from the same moment with new
    // texts. The new song is rendered silently up to a sample a little ahead
    // of the one being rendered now and taken over exactly there, so the
    // song's clock runs on without a jump (the new texts sound within about
    // two output buffers plus the silent render). Does not wait; a later
    // call withdraws a take-over still pending. Returns the song number.
    // Thread: main. Callback: no (renders, allocates).
    //
    // With a loop (PSG_PlayMMLFrom too), the song plays it again and again
    // without a gap (see setLoop) from the moment it is taken over; a loop
    // already playing goes on until then. When the take-over would come at or
    // after the end of the loop that plays, the new texts come in at that
    // end instead, from the new loop's start (continueAtLoopEnd).
    std::uint32_t continueMML(const SongTexts& texts, std::optional<LoopRange> loop = std::nullopt);

    // Seamless loop of the song that plays now (none: it plays on): once the
    // song reaches loop.end (at once, if it is there already), its next
    // sample is its sample loop.start, exactly as a new engine renders it,
    // and so on each time round. The state at loop.start is rendered
    // silently here, ahead of time. A loop whose end is not after its start
    // is none. Right after PSG_PlayMML the song's clock starts at its first
    // tick, and so does the loop. Thread: main. Callback: no (renders, allocates).
    void setLoop(std::optional<LoopRange> loop);
    // Next time the loop that plays reaches its end, the texts go on from
    // there, from loop.start, and loop that; until then the old song plays
    // (a passage looped by Loop Playback whose selection changed). Does not
    // wait; a later call withdraws it. Returns the song number.
    // Thread: main. Callback: no (renders, allocates).
    std::uint32_t continueAtLoopEnd(const SongTexts& texts, LoopRange loop);
    // The loop that plays (as last armed by the main thread or a take-over).
    // Thread: main. Callback: no.
    std::optional<LoopRange> loop() const;
    // How many times a loop has gone back to its start. Thread: any. Callback: yes.
    std::uint64_t loopRestarts() const { return loopRestarts_.load(std::memory_order_relaxed); }

    // Samples of the song rendered so far: since its first tick (PSG_PlayMML)
    // or its sample 0 (PSG_PlayMMLFrom, continueMML). Thread: any. Callback: yes.
    std::uint64_t songFrame() const {
        const std::uint64_t start = songStart_.load(std::memory_order_acquire);
        return framesRendered() - start;
    }

    // The playhead for the sample being heard now (frames rendered minus the
    // output's latency): the snapshot of the last tick at or before it.
    // False when there is none (nothing rendered yet, or only newer ones).
    // The heard sample is h = framesRendered() - outputLatencyFrames() - 1;
    // its place on the song's clock is out.songFrame + (h - out.frame).
    // Snapshots of an earlier song (out.song) are what is still being heard.
    // Thread: main (any thread may read; the latency is the main thread's).
    // Callback: no.
    bool playheadNow(PlayheadSnapshot& out) const;
    // The snapshot of the last tick at or before engine frame `frame`.
    // Thread: any. Callback: yes (wait-free).
    bool playheadAt(std::uint64_t frame, PlayheadSnapshot& out) const { return playhead_.at(frame, out); }
    // Samples between rendering and hearing (0 without an output).
    // Thread: main. Callback: no.
    std::uint64_t outputLatencyFrames() const { return output_ ? output_->latencyFrames() : 0; }

    // The oscilloscope ring: while enabled, every rendered block also writes
    // each voice's part and the mix (see ScopeRing). Thread: main. Callback: yes.
    void setScopeEnabled(bool on) { scope_.setEnabled(on); }
    bool scopeEnabled() const { return scope_.enabled(); }
    // Copies the newest frames (at most `frames`, at most 4,096) of the five
    // traces (voices 0..3, then the mix) into out[t][0..]; returns how many.
    // Thread: main (the one reader). Callback: no.
    std::size_t copyScope(std::size_t frames, float* const out[kScopeTraces], std::uint64_t* firstFrame = nullptr) {
        return scope_.copyNewest(frames, out, firstFrame);
    }

    // The render callback: fills frames samples, running a sequencer tick
    // before every 459th sample of the stream. 0 frames returns at once.
    // Thread: audio, one call at a time. Callback: it is the callback
    // (real-time safe but for the auto-stop's wait).
    void PSG_Core(float* out, std::size_t frames);

    // Next engine event, if any. Thread: main (the one reader). Callback: yes (wait-free).
    bool pollEvent(EngineEvent& event) { return events_.poll(event); }
    // "*" events lost to a full queue (-1 and -2 never are). Thread: any. Callback: yes.
    std::uint64_t droppedEvents() const { return events_.dropped(); }

    // Samples rendered since the engine was created. Thread: any. Callback: yes.
    std::uint64_t framesRendered() const { return ring_.samplesStored.load(std::memory_order_relaxed); }

    // Recording: see Recorder. Starting finishes a running recording first
    // and waits until its file is closed; with AutoStop the recording ends by
    // itself at the tick that posts -1 or -2, and that tick waits for the file.
    // Thread: main. Callback: no (creates the file, waits for the writer).
    bool PSG_StartWaveRecord(const std::string& FileName, bool AutoStop = false) {
        return recorder_.PSG_StartWaveRecord(FileName, AutoStop);
    }
    // Thread: main. Callback: no (waits until the file is closed).
    void PSG_StopWaveRecord() { recorder_.PSG_StopWaveRecord(); }
    // How the last finished recording ended. Thread: any. Callback: yes.
    RecordOutcome lastRecordOutcome() const { return recorder_.lastOutcome(); }

    // The parts themselves: for tests and the offline renderer only (which
    // sets its recorder to synchronous mode and steps it between renders).
    // Thread: main, while no output runs and no PSG_Core call is under way. Callback: no.
    Synth& synth() { return synth_; }
    Sequencer& sequencer() { return sequencer_; }
    RecordRing& ring() { return ring_; }
    Recorder& recorder() { return recorder_; }

private:
    // The hand-over word: a ticket (which post) times 4 plus its state.
    static constexpr std::uint64_t kHandoverIdle = 0, kHandoverPosted = 1, kHandoverTaking = 2, kStateMask = 3;
    // handoverAt_ for a hand-over taken where the playing loop ends.
    static constexpr std::uint64_t kAtLoopEnd = UINT64_MAX;
    // The loop word: off, or armed with slot 0 or 1 (bit 1), and in use while the audio thread reads the slot.
    static constexpr std::uint32_t kLoopOff = 0, kLoopArmed = 1, kLoopSlot = 2, kLoopInUse = 4;

    // A seamless loop's start, ready to be taken again and again.
    struct LoopSlot {
        SilentSong start;
        LoopRange range;
    };

    // PSG_PlayMML, its first tick on the beat or at once.
    std::uint32_t playTexts(const std::array<std::u16string_view, kVoices>& texts, bool atOnce);
    void postHandover(std::uint64_t atFrame, bool alignRecording);
    void awaitHandover();
    void settleHandover();
    void takeHandover(std::uint64_t frame);  // audio thread (or the renderer without an output)
    // Main thread: the loop word for `loop` of texts, prepared in the slot not armed (kLoopOff for none).
    std::uint32_t prepareLoop(const SongTexts& texts, std::optional<LoopRange> loop, std::uint32_t song);
    void exchangeLoop(std::uint32_t word);  // main thread: arms or disarms, waiting out a restore
    // Audio thread, before a block at engine frame `frame`: goes back to the
    // loop's start where the song has reached its end; the most samples the
    // next block may hold.
    std::uint64_t loopLimit(std::uint64_t frame, std::uint64_t left);
    struct LiveBlocks;  // PSG_Core's policy for stepFrames (stepping.h)

    Synth synth_;
    RecordRing ring_;
    EventQueue events_;
    PlayheadRing playhead_;
    ScopeRing scope_;
    Sequencer sequencer_;
    Recorder recorder_;  // after the ring and the sequencer: it finishes its file first
    OutputFactory outputFactory_ = makeAudioOutput;
    WatchdogTiming watchdogTiming_;
    std::unique_ptr<AudioOutput> output_;

    // Seeking: the silent song (main thread's, except while posted) and the hand-over.
    SilentSong silent_;
    std::atomic<std::uint64_t> handover_{kHandoverIdle};
    std::atomic<std::uint64_t> handoverAt_{0};  // engine frame at which to take it
    std::atomic<bool> handoverAligns_{false};   // align a recording as at a song's first tick
    std::uint64_t handoverTicket_ = 0;          // main thread's
    std::uint32_t songCount_ = 0;               // main thread's: the last song number given
    std::atomic<std::uint64_t> songStart_{0};   // engine frame of the song's sample 0 (audio writes)
    std::atomic<std::size_t> largestCall_{0};   // largest frame count PSG_Core was asked for

    // Seamless loops: the slots (main thread's, but the armed one while it is
    // armed), the loop word, the loop a posted hand-over arms, the restarts.
    std::array<LoopSlot, 2> loops_;
    std::atomic<std::uint32_t> loop_{kLoopOff};
    std::atomic<std::uint32_t> handoverLoop_{kLoopOff};
    std::atomic<std::uint64_t> loopRestarts_{0};
};

}  // namespace bleeptone
