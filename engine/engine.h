#pragma once
// The Engine owns every piece of engine state as fixed-size members, created
// once. The program has one; tests and the offline renderer make their own.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "events.h"
#include "output.h"
#include "query.h"
#include "record_ring.h"
#include "recorder.h"
#include "sequencer.h"
#include "synth.h"

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
    Engine();
    ~Engine();
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;

    // Engine state is large (the recording ring alone is 512 KiB): keep it on the heap.
    static std::unique_ptr<Engine> create() { return std::make_unique<Engine>(); }

    // Stops any output (PSG_Terminate), silences every voice and starts the
    // chosen output. When the device cannot start, the engine still runs on
    // the silent clocked output, so playing, its events and recording keep
    // working; the outcome says which happened. Main thread.
    InitOutcome PSG_Init(AudioBackend backend = AudioBackend::PortAudio);

    // Finishes a running recording (the file is complete when it returns),
    // then stops and releases the output; does nothing more without one.
    // Main thread.
    void PSG_Terminate();

    // Where PSG_Init gets its outputs (tests substitute their own). Main thread.
    void setOutputFactory(OutputFactory factory) { outputFactory_ = std::move(factory); }
    bool hasOutput() const { return output_ != nullptr; }

    // Hands up to four channel texts to the sequencer (MML_NoChange keeps a
    // channel as it is). Main thread; waits while a tick runs. Not for the
    // render callback.
    void PSG_PlayMML(std::u16string_view channel0, std::u16string_view channel1 = {},
                     std::u16string_view channel2 = {}, std::u16string_view channel3 = {}) {
        sequencer_.PSG_PlayMML(channel0, channel1, channel2, channel3);
    }

    // The render callback: fills frames samples, running a sequencer tick
    // before every 459th sample of the stream. 0 frames returns at once.
    // Audio thread only (one at a time); real-time safe.
    void PSG_Core(float* out, std::size_t frames);

    // Next engine event, if any. One consumer thread (the main thread).
    bool pollEvent(EngineEvent& event) { return events_.poll(event); }
    // Events lost to a full queue. Any thread.
    std::uint64_t droppedEvents() const { return events_.dropped(); }

    // Samples rendered since the engine was created. Any thread.
    std::uint64_t framesRendered() const { return ring_.samplesStored.load(std::memory_order_relaxed); }

    // Recording: see Recorder. Main thread.
    bool PSG_StartWaveRecord(const std::string& FileName, bool AutoStop = false) {
        return recorder_.PSG_StartWaveRecord(FileName, AutoStop);
    }
    void PSG_StopWaveRecord() { recorder_.PSG_StopWaveRecord(); }
    RecordOutcome lastRecordOutcome() const { return recorder_.lastOutcome(); }

    Synth& synth() { return synth_; }
    Sequencer& sequencer() { return sequencer_; }
    RecordRing& ring() { return ring_; }
    Recorder& recorder() { return recorder_; }

private:
    Synth synth_;
    RecordRing ring_;
    EventQueue events_;
    Sequencer sequencer_;
    Recorder recorder_;  // after the ring and the sequencer: it finishes its file first
    OutputFactory outputFactory_ = makeAudioOutput;
    std::unique_ptr<AudioOutput> output_;
};

}  // namespace bleeptone
