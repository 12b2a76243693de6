// The engine's WebAssembly binding: plain C functions over one Engine, for
// engine_api.js (the JavaScript class that the page's AudioWorklet and the
// tests use). The engine renders here exactly as in the native program: the
// same Engine, the same PSG_Core, called by whoever plays (the worklet's
// process(), a test's loop); no output, no recording, no threads.
//
// Numbers that are 64-bit in the engine (frames, event data) cross as
// doubles, exact up to 2^53 samples (6,000 years at 44,100 Hz).

#include <emscripten/emscripten.h>

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "engine/engine.h"

namespace bleeptone {
namespace {

// Samples one bt_render call may ask for.
constexpr int kMaxRenderFrames = 8192;

struct WebEngine {
    std::unique_ptr<Engine> engine = Engine::create();
    std::array<std::u16string, kVoices> texts;  // staged by bt_text, played by bt_play
    std::array<float, kMaxRenderFrames> samples{};
    EngineEvent event;
    PlayheadSnapshot playhead;
};

}  // namespace
}  // namespace bleeptone

using bleeptone::kMaxRenderFrames;
using bleeptone::WebEngine;

extern "C" {

// A fresh engine, as the native render starts with.
EMSCRIPTEN_KEEPALIVE WebEngine* bt_create() { return new WebEngine(); }

EMSCRIPTEN_KEEPALIVE void bt_destroy(WebEngine* e) { delete e; }

// Room for channel `channel`'s next text, `length` UTF-16 units: the caller
// writes the text there, then calls bt_play. Null for a channel out of range.
EMSCRIPTEN_KEEPALIVE char16_t* bt_text(WebEngine* e, int channel, int length) {
    if (channel < 0 || channel >= bleeptone::kVoices || length < 0) return nullptr;
    std::u16string& text = e->texts[static_cast<std::size_t>(channel)];
    text.assign(static_cast<std::size_t>(length), u'\0');
    return text.data();
}

// Hands the staged texts to the engine (PSG_PlayMML), or, with startFrame
// above 0, plays them from that sample on exactly as if they had played from
// the start (the exact seek). Returns the song number.
EMSCRIPTEN_KEEPALIVE std::uint32_t bt_play(WebEngine* e, double startFrame) {
    const auto& t = e->texts;
    if (startFrame >= 1) {
        const bleeptone::SongTexts texts{t[0], t[1], t[2], t[3]};
        return e->engine->PSG_PlayMMLFrom(texts, static_cast<std::uint64_t>(startFrame));
    }
    return e->engine->PSG_PlayMML(t[0], t[1], t[2], t[3]);
}

// Renders `frames` samples (at most 8,192) and returns where they are: valid
// until the next call. The engine's sequencer ticks inside, as in PSG_Core.
EMSCRIPTEN_KEEPALIVE const float* bt_render(WebEngine* e, int frames) {
    if (frames < 0) frames = 0;
    if (frames > kMaxRenderFrames) frames = kMaxRenderFrames;
    e->engine->PSG_Core(e->samples.data(), static_cast<std::size_t>(frames));
    return e->samples.data();
}

EMSCRIPTEN_KEEPALIVE int bt_max_render_frames() { return kMaxRenderFrames; }

// Samples rendered since the engine was created; since the song's start.
EMSCRIPTEN_KEEPALIVE double bt_frames_rendered(WebEngine* e) {
    return static_cast<double>(e->engine->framesRendered());
}
EMSCRIPTEN_KEEPALIVE double bt_song_frame(WebEngine* e) { return static_cast<double>(e->engine->songFrame()); }

// The next engine event (-1 ended, -2 all channels looped, else a "*" number):
// 1 when there was one, then bt_event_data and bt_event_frame tell it.
EMSCRIPTEN_KEEPALIVE int bt_poll_event(WebEngine* e) { return e->engine->pollEvent(e->event) ? 1 : 0; }
EMSCRIPTEN_KEEPALIVE double bt_event_data(WebEngine* e) { return static_cast<double>(e->event.data); }
EMSCRIPTEN_KEEPALIVE double bt_event_frame(WebEngine* e) { return static_cast<double>(e->event.frame); }

// The playhead at engine frame `frame` (the last tick at or before it, among
// the last 255): 1 when there is one, then the bt_playhead_* calls tell it.
EMSCRIPTEN_KEEPALIVE int bt_playhead(WebEngine* e, double frame) {
    return e->engine->playheadAt(static_cast<std::uint64_t>(frame), e->playhead) ? 1 : 0;
}
EMSCRIPTEN_KEEPALIVE double bt_playhead_frame(WebEngine* e) { return static_cast<double>(e->playhead.frame); }
EMSCRIPTEN_KEEPALIVE double bt_playhead_song_frame(WebEngine* e) { return static_cast<double>(e->playhead.songFrame); }
EMSCRIPTEN_KEEPALIVE std::uint32_t bt_playhead_song(WebEngine* e) { return e->playhead.song; }
// Channel k's sounding position (UTF-16 units into its text), -1 none.
EMSCRIPTEN_KEEPALIVE int bt_playhead_position(WebEngine* e, int k) {
    return k >= 0 && k < bleeptone::kVoices ? e->playhead.positions[static_cast<std::size_t>(k)] : -1;
}

}  // extern "C"
