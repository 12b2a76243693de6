#pragma once
// Offline rendering: a freshly started engine plays up to four channel texts
// as fast as the machine allows, optionally from a later moment of the tune
// and optionally recording them the way a recording started together with
// the output would.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/events.h"
#include "engine/recorder.h"

namespace bleeptone {

struct OfflineRenderSpec {
    std::vector<std::u16string> texts;  // up to four channel texts, as PSG_PlayMML takes them
    // Where the output starts: this many samples are rendered first and
    // thrown away with their events, as a seek does, so that the output is
    // the tune from that moment exactly as if it had played from the start.
    // Event frames are counted from the output's first sample.
    std::uint64_t startFrame = 0;
    std::optional<std::uint64_t> frames;  // output exactly this many samples
    // Otherwise stop where the tune ends (-1) or at the passes-th time all
    // its playing channels loop together (-2), counted from the tune's start
    // (the stop may come before startFrame: then nothing is output), and
    // after at most maxFrames samples of output. passes 1 stops where a
    // recording's auto-stop would.
    std::uint64_t maxFrames = 0;
    int passes = 1;
    // Record the output into this file (empty: no recording). The recording
    // starts with the output and, without frames, stops itself at the first
    // end or common loop after it, as a recording's auto-stop does.
    std::string wavPath;
};

// Where renderOffline delivers, on its caller's thread between renders.
class RenderSink {
public:
    virtual ~RenderSink() = default;
    // Output samples in order; false abandons the render (a failure, such as a write error).
    virtual bool samples(const float* data, std::size_t count) = 0;
    // Each engine event of the output, in order; false abandons the render.
    virtual bool event(const EngineEvent& event) = 0;
    // True once the sink has all it wants (or its work was cancelled): the
    // render ends there, which is not a failure. Asked after every chunk.
    virtual bool finished() const { return false; }
};

struct OfflineRenderResult {
    std::uint64_t frames = 0;        // samples of output handed to the sink
    bool ended = false;              // stopped at the tune's end or its passes-th common loop
    bool stopped = false;            // the sink had finished
    bool abandoned = false;          // the sink refused data
    bool wavCreated = false;         // the recording file could be created
    RecordOutcome wav = RecordOutcome::None;
    std::uint64_t droppedEvents = 0;  // "*" events lost to a full queue (the end events never are)
};

// Samples per render call: small enough that the recorder never falls behind.
inline constexpr std::size_t kOfflineChunk = 2048;

// Renders with an engine of its own, which it renders and records on the
// calling thread (no output, the recorder stepped between renders).
// Thread: any (an export worker, the command line). Callback: no (allocates, file I/O).
OfflineRenderResult renderOffline(const OfflineRenderSpec& spec, RenderSink& sink);

// The recording sample of an output sample: the output is s + s, the
// recording trunc(s x 65534) with the same single-precision operations.
// Thread: any. Callback: yes.
std::int16_t recordingSample(float output);

}  // namespace bleeptone
