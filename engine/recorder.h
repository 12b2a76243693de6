#pragma once
// The WAV recorder: moves the recording ring into a 16-bit mono WAV file.
// While a recording runs, a writer thread writes each half of the ring once
// the renderer has moved on to the other half; at the stop it writes the
// rest, fades out the last 459 samples and fills in the header's sizes. The
// file is written through a StagedFile: it appears under its name, complete,
// when the recording ends (a FIFO or a device is written into then).

#include <array>
#include <atomic>
#include <cstdint>
#include <semaphore>
#include <string>
#include <thread>

#include "engine/record_ring.h"
#include "engine/sequencer.h"
#include "engine/staged_file.h"

namespace bleeptone {

inline constexpr std::uint32_t kWaveHeaderBytes = 44;

// The 44-byte header of a 16-bit mono 44,100 Hz PCM file with both size fields 0.
// Thread: any. Callback: yes.
std::array<std::uint8_t, kWaveHeaderBytes> WaveHeader();

// How the last recording ended.
enum class RecordOutcome {
    None,         // no recording has finished yet
    Complete,     // the file holds every sample, header sizes filled in
    Damaged,      // the writer fell behind the ring: samples were lost, the file is still well-formed
    WriteFailed,  // the system refused a write; the file may be short
};

class Recorder : public TickObserver {
public:
    enum class Mode {
        Threaded,     // a writer thread polls the ring every 100 ms (real-time playing)
        Synchronous,  // the renderer calls pump() itself (offline rendering)
    };

    // The sequencer (if any) is the one whose tick aligns the ring. The
    // destructor finishes a running recording. Thread: main. Callback: no.
    Recorder(RecordRing& ring, Sequencer* sequencer, Mode mode = Mode::Threaded);
    ~Recorder() override;
    Recorder(const Recorder&) = delete;
    Recorder& operator=(const Recorder&) = delete;

    // Finishes a running recording (waiting until its file is closed), then
    // starts recording for FileName (into a temporary file beside it, put in
    // place at the stop). Returns false, recording nothing, when the file
    // cannot be created. With AutoStop the tick that
    // posts -1 or -2 ends the recording and waits for the file.
    // Thread: main. Callback: no (file I/O, waits for the writer).
    bool PSG_StartWaveRecord(const std::string& FileName, bool AutoStop = false);

    // Ends a running recording and returns once the file is complete and
    // closed; does nothing when none runs. Thread: main, and audio through
    // the auto-stop. Callback: only as the auto-stop (waits for the writer).
    void PSG_StopWaveRecord();

    // The auto-stop, called by the tick before it posts -1 or -2: with
    // AutoStop set, stops the recording and waits until the file is closed.
    // Thread: audio (the tick). Callback: yes (the one wait allowed there).
    void beforeEndEvent() override;

    // Synchronous mode: one step of the writer; call it at least once per
    // 131,072 rendered samples. Thread: the one that renders, between
    // renders. Callback: no (file I/O).
    void pump();

    // True from a successful start until the file is closed. Thread: any. Callback: yes.
    bool recording() const { return state_.load() != State::Idle; }
    // How the last finished recording ended. Thread: any. Callback: yes.
    RecordOutcome lastOutcome() const { return outcome_.load(); }

    // Bytes written to the current (or last) file so far, header included,
    // before the tail fade and the size fields. Thread: any. Callback: yes.
    std::uint64_t bytesWritten() const { return bytesWritten_.load(std::memory_order_acquire); }

    // Thread: main, while no recording runs. Callback: no.
    void setMode(Mode mode) { mode_ = mode; }

private:
    // Capturing: a stop has been claimed and takes its index; Stopping: the
    // writer finishes the file.
    enum class State { Idle, Recording, Capturing, Stopping };

    void requestStopAndWait(bool fromTick);
    bool ringRestarted() const;
    void beginWriting();
    void writerThread();
    void writerStep();
    void finishFile();
    void writeHalfOf(std::uint32_t idx);
    void writeRingSamples(std::uint32_t first, std::uint32_t count);
    void writeBytes(const void* data, std::size_t bytes);      // appends samples
    void overwriteBytes(const void* data, std::size_t bytes);  // fade and sizes in place
    void checkLapped(std::uint64_t stored);
    void fadeTail();
    void joinWriter();

    RecordRing& ring_;
    Sequencer* sequencer_;
    Mode mode_;
    StagedFile wave_file;  // the recording on its way to FileName
    std::atomic<bool> auto_stop{false};
    std::uint32_t stop_record_idx = 0;  // ring index where the file ends: written before Stopping, read after it
    std::uint32_t generation_ = 0;      // this recording's ring restart
    std::atomic<State> state_{State::Idle};
    std::atomic<RecordOutcome> outcome_{RecordOutcome::None};
    std::atomic<std::uint64_t> bytesWritten_{0};
    std::counting_semaphore<> wake_{0};
    std::thread writer_;

    // Writer's own state (writer thread, or the renderer in synchronous mode).
    bool started_ = false;             // the ring restart has taken effect
    std::uint32_t prev_idx = 0;        // a position in the half being filled, not yet written
    std::uint64_t lastPollStored_ = 0;  // samplesStored at the previous poll
    std::uint64_t lastPollOffset_ = 0;  // samples into its half the index then stood
    bool lapped_ = false;
    bool writeFailed_ = false;
    std::array<std::int16_t, RecordRing::kHalfSamples> staging_{};  // a half on its way to the file
};

}  // namespace bleeptone
