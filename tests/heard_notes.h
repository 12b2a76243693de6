#pragma once
// What a real engine plays, tick by tick: a fresh Engine renders the texts
// (from their start, or seeked to a song frame) through PSG_Core one tick's
// block at a time, and after each block the test looks at the engine's own
// state. A channel read a note or rest in that tick when its EvtCnt equals
// its new EvtLen with a sounding position; its voice then holds what
// PSG_Sound (or the silence of a rest) gave it. The tick's frame is read
// from the engine's song clock.
#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "engine/engine.h"

namespace bleeptone::testing {

struct HeardNote {
    std::uint64_t start = 0;  // the song frame of the tick that read it
    std::int32_t position = -1;
    float phaseAdd = 0;  // the voice after its tick
    float vmul = 0;
    float peakVmul = 0;  // the loudest target gain until the next read
};

struct HeardSong {
    std::array<std::vector<HeardNote>, kVoices> notes;
    std::optional<std::uint64_t> end;  // the frame of the first -1 or -2
};

// Renders from song frame `from` (PSG_PlayMMLFrom; the notes of ticks from
// there on) until the first -1 event, or -2 unless throughLoops, or up to song
// frame maxFrames; notes read by the tick that posted it are left out, as a
// render ends before them. Event frames are song frames too.
inline HeardSong hear(const SongTexts& texts, std::uint64_t maxFrames, bool throughLoops = false,
                      std::uint64_t from = 0) {
    HeardSong song;
    auto engine = Engine::create();
    float block[kTickSamples];
    // Up to the first tick after a seek: no note is read in between.
    const std::uint64_t first = (kTickSamples - from % kTickSamples) % kTickSamples;
    if (from == 0) {
        engine->PSG_PlayMML(texts[0], texts[1], texts[2], texts[3]);
    } else {
        engine->PSG_PlayMMLFrom(texts, from);
        engine->PSG_Core(block, first);
    }
    for (std::uint64_t frame = from + first; frame < maxFrames && !song.end; frame += kTickSamples) {
        engine->PSG_Core(block, kTickSamples);
        for (EngineEvent ev; engine->pollEvent(ev);)  // the new engine's frame 0 is song frame `from`
            if ((ev.data == kEventEnded || (ev.data == kEventLooped && !throughLoops)) && !song.end)
                song.end = from + ev.frame;
        if (song.end) break;
        const std::uint64_t tick = engine->songFrame() - kTickSamples;  // the block began with the tick
        for (int k = 0; k < kVoices; ++k) {
            const MML_Channel& ch = engine->sequencer().channel(k);
            const PSGInternal& voice = engine->synth().state();
            std::vector<HeardNote>& notes = song.notes[k];
            if (ch.soundingAt >= 0 && ch.EvtCnt == ch.EvtLen)
                notes.push_back({tick, ch.soundingAt, voice.phase_add[k], voice.vmul[k], voice.vmul[k]});
            else if (!notes.empty() && ch.EvtCnt != -1)
                notes.back().peakVmul = std::max(notes.back().peakVmul, voice.vmul[k]);
        }
    }
    return song;
}

}  // namespace bleeptone::testing
