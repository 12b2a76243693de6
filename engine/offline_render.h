#pragma once
// Offline rendering: a freshly started engine plays up to four channel texts
// as fast as the machine allows, optionally recording them the way a
// recording started together with the tune would.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "events.h"
#include "recorder.h"

namespace bleeptone {

struct OfflineRenderSpec {
    std::vector<std::u16string> texts;     // up to four channel texts, as PSG_PlayMML takes them
    std::optional<std::uint64_t> frames;   // render exactly this many samples
    std::uint64_t maxFrames = 0;           // otherwise stop where a recording's auto-stop would, at most here
    std::string wavPath;                   // record into this file (empty: no recording)
};

// Where renderOffline delivers, on its caller's thread between renders.
class RenderSink {
public:
    virtual ~RenderSink() = default;
    // Output samples in order; returns false to abandon the render (write error).
    virtual bool samples(const float* data, std::size_t count) = 0;
    // Each engine event, in order; returns false to abandon the render.
    virtual bool event(const EngineEvent& event) = 0;
};

struct OfflineRenderResult {
    std::uint64_t frames = 0;             // samples rendered and handed to the sink
    bool ended = false;                    // stopped at the tune's end or its common loop
    bool wavCreated = false;               // the recording file could be created
    RecordOutcome wav = RecordOutcome::None;
    bool abandoned = false;                // the sink refused data
    std::uint64_t droppedEvents = 0;       // "*" events lost to a full queue
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
