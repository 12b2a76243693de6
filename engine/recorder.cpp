#include "engine/recorder.h"

#include <chrono>
#include <cstdio>
#include <cstring>

#include "engine/constants.h"
#include "engine/little_endian.h"
#include "engine/recording_fade.h"

namespace bleeptone {

std::array<std::uint8_t, kWaveHeaderBytes> WaveHeader() {
    std::array<std::uint8_t, kWaveHeaderBytes> h{};
    std::memcpy(&h[0], "RIFF", 4);
    std::memcpy(&h[8], "WAVE", 4);
    std::memcpy(&h[12], "fmt ", 4);
    putLE32(&h[16], 16);
    putLE16(&h[20], 1);                // PCM
    putLE16(&h[22], 1);                // mono
    putLE32(&h[24], kSampleRate);      // samples per second
    putLE32(&h[28], kSampleRate * 2);  // bytes per second
    putLE16(&h[32], 2);                // bytes per frame
    putLE16(&h[34], 16);               // bits per sample
    std::memcpy(&h[36], "data", 4);
    return h;
}

Recorder::Recorder(RecordRing& ring, Sequencer* sequencer, Mode mode)
    : ring_(ring), sequencer_(sequencer), mode_(mode) {}

Recorder::~Recorder() { PSG_StopWaveRecord(); }

bool Recorder::PSG_StartWaveRecord(const std::string& FileName, bool AutoStop) {
    PSG_StopWaveRecord();
    auto_stop.store(AutoStop);
    if (!wave_file.open(FileName)) return false;
    const auto header = WaveHeader();
    if (std::fwrite(header.data(), 1, header.size(), wave_file.stream()) != header.size()) {
        wave_file.abandon();
        return false;
    }
    bytesWritten_.store(header.size(), std::memory_order_relaxed);
    started_ = false;
    prev_idx = 0;
    lapped_ = false;
    writeFailed_ = false;
    generation_ = ring_.restartRequested.fetch_add(1) + 1;  // the render loop restarts the ring
    state_.store(State::Recording);
    if (mode_ == Mode::Threaded) writer_ = std::thread(&Recorder::writerThread, this);
    return true;
}

void Recorder::PSG_StopWaveRecord() {
    requestStopAndWait(/*fromTick=*/false);
    joinWriter();
}

void Recorder::beforeEndEvent() {
    if (auto_stop.load()) requestStopAndWait(/*fromTick=*/true);
}

bool Recorder::ringRestarted() const { return ring_.restartApplied.load(std::memory_order_acquire) == generation_; }

void Recorder::requestStopAndWait(bool fromTick) {
    auto_stop.store(false);
    State expected = State::Recording;
    if (state_.compare_exchange_strong(expected, State::Capturing)) {
        // From here on no tick rewinds the ring over the samples still to be
        // copied: any tick running now finishes first (a tick calling this
        // has already aligned), and later ones see the hold.
        ring_.holdAlignment.store(true);
        if (!fromTick && sequencer_) sequencer_->waitWhileTicking();
        // Nothing rendered since the start (the ring not yet restarted): empty.
        stop_record_idx = ringRestarted() ? ring_.record_buffer_idx.load(std::memory_order_acquire) : 0;
        state_.store(State::Stopping);
        if (mode_ == Mode::Synchronous) {
            finishFile();
        } else {
            wake_.release();
        }
    }
    // The tick never waits for a stop the main thread is still capturing:
    // that stop is waiting for the tick to end.
    for (State s = state_.load(); s == State::Stopping || (s == State::Capturing && !fromTick); s = state_.load())
        state_.wait(s);
}

void Recorder::joinWriter() {
    if (writer_.joinable()) writer_.join();
}

void Recorder::pump() {
    if (state_.load() != State::Idle) writerStep();
}

void Recorder::writerThread() {
    for (;;) {
        (void)wake_.try_acquire_for(std::chrono::milliseconds(100));
        if (state_.load() == State::Stopping) break;
        writerStep();
    }
    finishFile();
}

void Recorder::beginWriting() {
    started_ = true;
    prev_idx = 0;
    lastPollStored_ = ring_.restartStored.load(std::memory_order_relaxed);
    lastPollOffset_ = 0;
}

// The half holding prev_idx is lost once the renderer has left it, gone
// through the other half and come back: 2 x half - offset samples after the
// previous look, where offset is how far into its half the index then stood.
void Recorder::checkLapped(std::uint64_t stored) {
    if (stored - lastPollStored_ >= 2 * RecordRing::kHalfSamples - lastPollOffset_) lapped_ = true;
}

void Recorder::writerStep() {
    if (!started_) {
        if (!ringRestarted()) return;  // the render loop has not restarted the ring yet
        beginWriting();
    }
    // The count first: it pairs with an index at least as new, which errs
    // towards reporting a lap.
    const std::uint64_t stored = ring_.samplesStored.load(std::memory_order_relaxed);
    const std::uint32_t idx = ring_.record_buffer_idx.load(std::memory_order_acquire);
    checkLapped(stored);
    if ((idx ^ prev_idx) & RecordRing::kHalfBit) {
        writeHalfOf(prev_idx);
        prev_idx = idx;
        checkLapped(ring_.samplesStored.load(std::memory_order_relaxed));
    }
    lastPollStored_ = stored;
    lastPollOffset_ = idx & RecordRing::kOffsetMask;
}

void Recorder::writeBytes(const void* data, std::size_t bytes) {
    overwriteBytes(data, bytes);
    // Release: whoever sees the count may reuse the ring memory just written out.
    bytesWritten_.fetch_add(bytes, std::memory_order_release);
}

void Recorder::overwriteBytes(const void* data, std::size_t bytes) {
    if (bytes && std::fwrite(data, 1, bytes, wave_file.stream()) != bytes) writeFailed_ = true;
}

// Copies count samples from sample first on out of the ring and writes them to the file.
void Recorder::writeRingSamples(std::uint32_t first, std::uint32_t count) {
    copyRingSamples(ring_.record_buffer.data(), first, count, staging_.data());
    writeBytes(staging_.data(), count * sizeof(std::int16_t));
}

void Recorder::writeHalfOf(std::uint32_t idx) {
    writeRingSamples(idx & RecordRing::kHalfBit, RecordRing::kHalfSamples);
}

void Recorder::finishFile() {
    if (std::FILE* file = wave_file.stream()) {
        const std::uint32_t stopIdx = stop_record_idx;
        if (!started_ && ringRestarted()) beginWriting();  // restarted, but the writer has not looked yet
        if (started_) {
            if ((stopIdx ^ prev_idx) & RecordRing::kHalfBit) writeHalfOf(prev_idx);
            writeRingSamples(stopIdx & RecordRing::kHalfBit, stopIdx & RecordRing::kOffsetMask);
            checkLapped(ring_.samplesStored.load(std::memory_order_relaxed));
        }
        ring_.holdAlignment.store(false);
        fadeTail();
        std::fflush(file);
        std::fseek(file, 0, SEEK_END);
        const long length = std::ftell(file);
        if (length >= static_cast<long>(kWaveHeaderBytes)) {
            std::uint8_t size[4];
            putLE32(size, static_cast<std::uint32_t>(length - 8));
            std::fseek(file, 4, SEEK_SET);
            overwriteBytes(size, 4);
            putLE32(size, static_cast<std::uint32_t>(length - kWaveHeaderBytes));
            std::fseek(file, 40, SEEK_SET);
            overwriteBytes(size, 4);
        }
        // The file appears under its name (or goes into the FIFO or device) only now.
        if (!wave_file.commit()) writeFailed_ = true;
    }
    outcome_.store(lapped_ ? RecordOutcome::Damaged
                           : (writeFailed_ ? RecordOutcome::WriteFailed : RecordOutcome::Complete));
    state_.store(State::Idle);
    state_.notify_all();
}

// Fades out the last 459 samples of the file (recording_fade.h).
void Recorder::fadeTail() {
    constexpr long tailBytes = kRecordingFadeSamples * 2;
    std::FILE* file = wave_file.stream();
    std::fflush(file);
    std::fseek(file, 0, SEEK_END);
    if (std::ftell(file) < static_cast<long>(kWaveHeaderBytes) + tailBytes) return;
    std::uint8_t bytes[tailBytes];
    std::fseek(file, -tailBytes, SEEK_END);
    if (std::fread(bytes, 1, tailBytes, file) != static_cast<std::size_t>(tailBytes)) {
        writeFailed_ = true;
        return;
    }
    std::int16_t tail[kRecordingFadeSamples];
    for (std::size_t k = 0; k < kRecordingFadeSamples; ++k) tail[k] = static_cast<std::int16_t>(getLE16(&bytes[2 * k]));
    fadeRecordingTail(tail, kRecordingFadeSamples);
    for (std::size_t k = 0; k < kRecordingFadeSamples; ++k) putLE16(&bytes[2 * k], static_cast<std::uint16_t>(tail[k]));
    std::fseek(file, -tailBytes, SEEK_END);
    overwriteBytes(bytes, tailBytes);
}

}  // namespace bleeptone
