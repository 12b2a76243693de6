#include "engine/synth.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

#if defined(__SSE2__) || defined(_M_X64)
#include <xmmintrin.h>
#endif

// Where the processor has a flush-to-zero mode, DenormalGuard sets it. Where
// it has none (WebAssembly), the scalar render flushes in software at every
// value that can fall below the smallest normal float.
#if !defined(__SSE2__) && !defined(_M_X64) && !defined(__aarch64__)
#define BLEEPTONE_SOFTWARE_FTZ 1
#endif

namespace bleeptone {

namespace {

std::array<float, 64> makeVolTable() {
    // 0.75 dB steps down from full scale; each product rounded to single precision.
    const float step = std::bit_cast<float>(0x3F6AD298u);  // 10^(-0.0375)
    std::array<float, 64> t{};
    t[63] = 1.0f;
    for (int k = 62; k >= 1; --k) t[k] = t[k + 1] * step;
    t[0] = 0.0f;
    return t;
}

std::array<float, kNoteCount> makeNoteTable() {
    // The twelve semitones of octave 0 (C0..B0), each the single-precision
    // value nearest to 440 x 2^((k - 57) / 12). Higher octaves double them exactly.
    static constexpr std::uint32_t octave0[12] = {
        0x4182D013, 0x418A9760, 0x4192D517, 0x419B9041, 0x41A4D054, 0x41AE9D37,
        0x41B8FF49, 0x41C3FF6A, 0x41CFA700, 0x41DC0000, 0x41E914F6, 0x41F6F110,
    };
    std::array<float, kNoteCount> t{};
    for (int k = 0; k < kNoteCount; ++k) t[k] = std::ldexp(std::bit_cast<float>(octave0[k % 12]), k / 12);
    return t;
}

inline float waveValue(float p, std::uint32_t mask) {
    if (mask == kSquareMask) return p >= 0.5f ? 1.0f : 0.0f;
    const float d = (p + p) - 1.0f;
    const std::uint32_t bits = (std::bit_cast<std::uint32_t>(d) & mask) | (std::bit_cast<std::uint32_t>(p) & ~mask);
    return std::bit_cast<float>(bits);
}

#if defined(BLEEPTONE_SOFTWARE_FTZ)
constexpr bool kSoftwareFtz = true;
#else
constexpr bool kSoftwareFtz = false;  // the mode does it
#endif

// What flush-to-zero makes of a result: a subnormal becomes a zero of the
// same sign. Only used where the processor has no such mode.
inline float flushSubnormal(float x) {
    const std::uint32_t bits = std::bit_cast<std::uint32_t>(x);
    return (bits & 0x7F800000u) == 0 ? std::bit_cast<float>(bits & 0x80000000u) : x;
}

inline void stepNoise(std::uint32_t& prng) {
    const std::uint32_t out = prng & 1u;
    prng >>= 1;
    if (out) prng ^= kNoiseTaps;
}

}  // namespace

const std::array<float, 64> VolTable = makeVolTable();
const std::array<float, kNoteCount> NoteTable = makeNoteTable();
const std::array<std::uint32_t, 8> WaveMask = {
    0x7FFFFFFF,  // 0 triangle
    0x00000000,  // 1 sawtooth
    0x7FAAFFFF,  // 2 complex A
    0x007FFFFF,  // 3 complex B
    0x3F000000,  // 4 square
    0x00000001,  // 5 noise (voice 0 only)
    0x7FAAFFFF,  // 6 as 2
    0x007FFFFF,  // 7 as 3
};
const float rcp44100 = 1.0f / static_cast<float>(kSampleRate);

Synth::Synth() { PSG_SetDefaults(); }

void Synth::PSG_SetDefaults() {
    std::memset(&psg_, 0, sizeof psg_);
    for (float& s : psg_.vol_change_speed) s = 0.988f;
    psg_.mastervolume = 1.0f;
}

void Synth::PSG_Sound(std::uint8_t channel, float frequency, std::uint8_t volume, std::uint8_t waveform) {
    const int k = channel & 3;
    if (!(frequency > 0.0f && frequency <= 22000.0f)) {  // NaN is out of range too
        frequency = 0.0f;
        volume = 0;
    }
    psg_.phase_add[k] = frequency * rcp44100;
    if (psg_.vmul[k] < 0.001f) psg_.phase[k] = waveform == 0 ? kStartPhase : 0.5f;
    psg_.vmul[k] = VolTable[volume & 63];
    psg_.wave_mask[k] = WaveMask[waveform & 7];
    if (waveform == 5 && k == 0) {
        psg_.phase_add[0] = psg_.phase_add[0] * 10.0f;
        if (psg_.phase_add[0] > 0.999f) psg_.phase_add[0] = 0.999f;
    }
}

void Synth::renderBlock(float* out, int n, RingCursor& ring, ScopeCursor* scope) {
#if defined(__SSE2__) || defined(_M_X64)
    if (path_ == RenderPath::Simd) {
        renderBlockSimd(out, n, ring, scope);
        return;
    }
#endif
    renderBlockScalar(out, n, ring, scope);
}

void Synth::skipBlock(int n) {
#if defined(__SSE2__) || defined(_M_X64)
    if (path_ == RenderPath::Simd) {
        skipBlockSimd(n);
        return;
    }
#endif
    skipBlockScalar(n);
}

namespace {

// The scalar render's state for one block, held in locals: the ring stores
// are atomic, and the compiler would otherwise reload members after each one.
struct ScalarBlock {
    float phase[kVoices], phaseAdd[kVoices], tmp[kVoices], speed[kVoices], pull[kVoices];
    std::uint32_t mask[kVoices];
    std::uint32_t prng;
    bool noise;
};

// kSteady: every gain sits on its fixed point, so its recurrence is left
// out (it would give the same bits). kFlush: flush-to-zero in software.
template <bool kSteady, bool kFlush>
void scalarLoop(ScalarBlock& block, float* out, int n, RingCursor& ring, ScopeCursor* scope) {
    const auto flush = [](float x) { return kFlush ? flushSubnormal(x) : x; };
    ScalarBlock b = block;
    for (int i = 0; i < n; ++i) {
        float v[kVoices];
        bool wrapped0 = false;
        for (int k = 0; k < kVoices; ++k) {
            // A silent voice's gain decays towards 0 through the subnormals.
            if constexpr (!kSteady) b.tmp[k] = flush(b.tmp[k] * b.speed[k] + b.pull[k]);
            float p = b.phase[k] + b.phaseAdd[k];
            if (p >= 1.0f) {
                p -= 1.0f;
                if (k == 0) wrapped0 = true;
            }
            b.phase[k] = p;
            v[k] = waveValue(p, b.mask[k]);
        }
        if (b.noise) {
            if (wrapped0) stepNoise(b.prng);
            v[0] = (b.prng & 1u) ? 1.0f : 0.0f;
        }
        // A small gain makes small products, and two of them small sums.
        for (int k = 0; k < kVoices; ++k) v[k] = flush((v[k] - 0.5f) * b.tmp[k]);
        float s = flush(flush(v[0] + v[2]) + flush(v[1] + v[3]));
        s = std::min(s, 0.5f);
        s = std::max(s, -0.5f);
        if (scope) {
            for (int k = 0; k < kVoices; ++k) scope->traces[k][scope->index] = v[k];
            scope->traces[kScopeMixTrace][scope->index] = s;
            scope->index = (scope->index + 1) & scope->mask;
        }
        storeRingSample(ring.samples, ring.index, static_cast<std::int16_t>(static_cast<std::int32_t>(s * 65534.0f)));
        ring.index = (ring.index + 1) & ring.mask;
        out[i] = s + s;
    }
    block = b;
}

// Whether a block of n samples needs the software flush. It does not while
// every gain is 0 or at least 2^-66: a gain shrinks by no more than its
// factor 0.988 a sample, so within a tick's 459 samples it stays above
// 2^-75; a waveform value minus 0.5 is 0 or at least 2^-25 in size, so each
// voice's part is 0 or at least 2^-100, a multiple of 2^-123, and so are the
// sums of the mix: none of them is subnormal. (The tests of the web build
// fail with a bound of 2^-118.)
bool needsSoftwareFlush(const ScalarBlock& b, int n) {
    if (!kSoftwareFtz) return false;
    if (n > kTickSamples) return true;
    for (int k = 0; k < kVoices; ++k)
        if (b.tmp[k] != 0.0f && !(b.tmp[k] >= 0x1p-66f)) return true;
    return false;
}

}  // namespace

// The reference: single precision, the operations in the documented order,
// no fused multiply-add. The vector path must give the same bits.
void Synth::renderBlockScalar(float* out, int n, RingCursor& ring, ScopeCursor* scope) {
    ScalarBlock b;
    const float threeQuarters = 0.5f * 0.5f + 0.5f;
    bool steady = true;
    for (int k = 0; k < kVoices; ++k) {
        b.phase[k] = psg_.phase[k];
        b.phaseAdd[k] = psg_.phase_add[k];
        b.tmp[k] = psg_.tmp[k];
        b.mask[k] = psg_.wave_mask[k];
        b.speed[k] = psg_.vol_change_speed[k];
        const float target = (psg_.vmul[k] * threeQuarters) * psg_.mastervolume;
        b.pull[k] = (1.0f - b.speed[k]) * target;
        const float next = b.tmp[k] * b.speed[k] + b.pull[k];
        steady = steady && std::bit_cast<std::uint32_t>(next) == std::bit_cast<std::uint32_t>(b.tmp[k]);
    }
    b.prng = prng_;
    b.noise = b.mask[0] == kNoiseMask;

    if (needsSoftwareFlush(b, n))
        scalarLoop<false, true>(b, out, n, ring, scope);
    else if (steady)
        scalarLoop<true, false>(b, out, n, ring, scope);
    else
        scalarLoop<false, false>(b, out, n, ring, scope);

    for (int k = 0; k < kVoices; ++k) {
        psg_.phase[k] = b.phase[k];
        psg_.tmp[k] = b.tmp[k];
    }
    prng_ = b.prng;
}

// The reference of the silent render: the same phase steps and gain
// recurrence as renderBlockScalar, without waveforms, mix or output. A gain
// that has settled on its fixed point keeps it, so its recurrence stops there.
void Synth::skipBlockScalar(int n) {
    const float threeQuarters = 0.5f * 0.5f + 0.5f;
    const bool noise = psg_.wave_mask[0] == kNoiseMask;
    for (int k = 0; k < kVoices; ++k) {
        float tmp = psg_.tmp[k];
        const float speed = psg_.vol_change_speed[k];
        const float pull = (1.0f - speed) * ((psg_.vmul[k] * threeQuarters) * psg_.mastervolume);
        for (int i = 0; i < n; ++i) {
            float next = tmp * speed + pull;
            if (kSoftwareFtz) next = flushSubnormal(next);
            if (std::bit_cast<std::uint32_t>(next) == std::bit_cast<std::uint32_t>(tmp)) break;
            tmp = next;
        }
        psg_.tmp[k] = tmp;

        float p = psg_.phase[k];
        const float add = psg_.phase_add[k];
        std::uint32_t wraps = 0;
        for (int i = 0; i < n; ++i) {
            p = p + add;
            if (p >= 1.0f) {
                p -= 1.0f;
                ++wraps;
            }
        }
        psg_.phase[k] = p;
        if (k == 0 && noise)
            for (std::uint32_t w = 0; w < wraps; ++w) stepNoise(prng_);
    }
}

#if defined(__SSE2__) || defined(_M_X64)
DenormalGuard::DenormalGuard() : saved_(_mm_getcsr()) {
    // FTZ (bit 15) and DAZ (bit 6) on; rounding (bits 13-14) to nearest, so
    // the render never depends on the caller's rounding mode.
    _mm_setcsr((static_cast<unsigned>(saved_) & ~0x6000u) | 0x8040u);
}
DenormalGuard::~DenormalGuard() { _mm_setcsr(static_cast<unsigned>(saved_)); }
#elif defined(__aarch64__)
DenormalGuard::DenormalGuard() {
    std::uint64_t fpcr;
    __asm__ __volatile__("mrs %0, fpcr" : "=r"(fpcr));
    saved_ = fpcr;
    fpcr = (fpcr & ~(3ull << 22)) | (1ull << 24);  // FZ on, rounding to nearest
    __asm__ __volatile__("msr fpcr, %0" : : "r"(fpcr));
}
DenormalGuard::~DenormalGuard() { __asm__ __volatile__("msr fpcr, %0" : : "r"(saved_)); }
#else  // no such mode: see flushSubnormal
DenormalGuard::DenormalGuard() : saved_(0) {}
DenormalGuard::~DenormalGuard() = default;
#endif

}  // namespace bleeptone
