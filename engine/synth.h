#pragma once
// The four-voice synthesiser: voice state, the gain, pitch and waveform
// tables, PSG_Sound, PSG_SetDefaults and the rendering of one block.

#include <array>
#include <cstdint>

#include "engine/constants.h"
#include "engine/record_ring.h"
#include "engine/scope_ring.h"

namespace bleeptone {

inline constexpr int kNoteCount = 97;     // C0..C8

// Voice state, one lane per voice, laid out so that each field is one
// 4-lane single-precision vector.
struct alignas(16) PSGInternal {
    alignas(16) float phase[kVoices];
    alignas(16) float phase_add[kVoices];
    alignas(16) std::uint32_t wave_mask[kVoices];
    alignas(16) float vmul[kVoices];
    alignas(16) float tmp[kVoices];
    alignas(16) float vol_change_speed[kVoices];
    float mastervolume;
    std::int32_t interrupt_cnt;  // samples still to render before the next tick
};

extern const std::array<float, 64> VolTable;
extern const std::array<float, kNoteCount> NoteTable;
extern const std::array<std::uint32_t, 8> WaveMask;
extern const float rcp44100;

inline constexpr std::uint32_t kSquareMask = 0x3F000000u;
inline constexpr std::uint32_t kNoiseMask = 0x00000001u;
inline constexpr std::uint32_t kNoiseTaps = 0x80200003u;

enum class RenderPath { Simd, Scalar };

// Where a block's recording samples go: the ring of 16-bit samples and the
// index of the next one.
struct RingCursor {
    std::int16_t* samples;
    std::uint32_t mask;  // ring length in samples - 1
    std::uint32_t index;
};

class Synth {
public:
    // Silent voices (PSG_SetDefaults), the noise register at 1. Thread: any. Callback: no.
    Synth();

    // Silences every voice and makes a tick due at the next render call.
    // Thread: main, while nothing renders. Callback: no.
    void PSG_SetDefaults();

    // Starts a note on voice (Channel AND 3). Thread: audio (the tick), or
    // main while nothing renders. Callback: yes.
    void PSG_Sound(std::uint8_t channel, float frequency, std::uint8_t volume, std::uint8_t waveform = 0);

    // Renders n samples of the current voice settings into out and the ring,
    // and, with a scope cursor, each voice's part and the mix into the
    // oscilloscope ring; no tick runs here. Thread: audio. Callback: yes.
    void renderBlock(float* out, int n, RingCursor& ring, ScopeCursor* scope = nullptr);

    // Advances the voice state (phases, smoothed gains, noise register) by n
    // samples exactly as renderBlock would, without producing any: the silent
    // part of a seek. Thread: audio, or whoever owns this Synth. Callback: yes.
    void skipBlock(int n);

    // Vector (the default) or scalar render; both give the same bits.
    // Thread: main, while nothing renders. Callback: no.
    void setRenderPath(RenderPath path) { path_ = path; }
    // Thread: any. Callback: yes.
    RenderPath renderPath() const { return path_; }

    // Takes over another synthesiser's voice state and noise register (the
    // render path stays). Thread: audio, between blocks, while `from`'s owner
    // leaves it alone; or the owner while nothing renders. Callback: yes (copies).
    void adoptState(const Synth& from) {
        psg_ = from.psg_;
        prng_ = from.prng_;
    }

    // The voice state and the noise register, for the render loop, the tick
    // and tests. Thread: audio, or main while nothing renders. Callback: yes.
    PSGInternal& state() { return psg_; }
    const PSGInternal& state() const { return psg_; }
    std::uint32_t prng() const { return prng_; }
    // Thread: main, while nothing renders. Callback: no.
    void setPrng(std::uint32_t value) { prng_ = value; }

private:
    void renderBlockScalar(float* out, int n, RingCursor& ring, ScopeCursor* scope);
    void renderBlockSimd(float* out, int n, RingCursor& ring, ScopeCursor* scope);
    void skipBlockScalar(int n);
    void skipBlockSimd(int n);

    PSGInternal psg_{};
    std::uint32_t prng_ = 1;  // noise shift register; never reset
    RenderPath path_ = RenderPath::Simd;
};

// Sets flush-to-zero, denormals-are-zero and rounding to nearest for the life
// of the object and restores the previous mode afterwards, on its own thread.
// Thread: any. Callback: yes.
class DenormalGuard {
public:
    DenormalGuard();
    ~DenormalGuard();
    DenormalGuard(const DenormalGuard&) = delete;
    DenormalGuard& operator=(const DenormalGuard&) = delete;

private:
    [[maybe_unused]] std::uint64_t saved_;  // unused where there is no mode to save
};

}  // namespace bleeptone
