// Vector rendering: the four voices are the four lanes of one SSE2 register.
// Every value is computed with the same single-precision operations, in the
// same order, as in the scalar reference, so both give the same bits. Three
// reformulations keep it exact while shortening the work per sample:
// - The phase step keeps the rounded sum phase + phase_add as well as the
//   wrapped phase. The next sum starts from the previous sum, or, in the rare
//   samples after a lane reached 1, from the wrapped phase: the loop-carried
//   chain is then a single addition, and the branch is almost always
//   predicted.
// - The smoothed volume is a monotonic recurrence, so it settles on a fixed
//   point; a block that starts there keeps it for every sample.
// - Four samples are mixed at once: the voice vectors of four samples are
//   transposed and summed lane-wise in the reference order. The transposed
//   vectors are also what the oscilloscope ring takes, four frames a store.
#include "engine/synth.h"

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>

#include <array>
#include <utility>

namespace bleeptone {

namespace {

struct BlockState {
    __m128 phase;    // wrapped phase of the last sample
    __m128 sum;      // its rounded sum before the wrap
    __m128 tmp, phaseAdd, speed, pull, mask, isSquare;
    int wrapped;     // lanes (bits) whose sum reached 1
    std::uint32_t prng;
};

template <bool kSquare, bool kNoise, bool kSteady>
inline __m128 voiceSample(BlockState& b) {
    const __m128 one = _mm_set1_ps(1.0f);
    const __m128 half = _mm_set1_ps(0.5f);
    if constexpr (!kSteady) b.tmp = _mm_add_ps(_mm_mul_ps(b.tmp, b.speed), b.pull);

    // phase + phase_add; if that reaches 1, subtract 1 (exact in [1, 2)).
    b.sum = _mm_add_ps(b.wrapped ? b.phase : b.sum, b.phaseAdd);
    const __m128 reached = _mm_cmpge_ps(b.sum, one);
    b.wrapped = _mm_movemask_ps(reached);
    b.phase = _mm_sub_ps(b.sum, _mm_and_ps(reached, one));

    // Bits of 2p - 1 under the mask, bits of p elsewhere; the square mask
    // instead gives a step at p = 0.5.
    const __m128 d = _mm_sub_ps(_mm_add_ps(b.phase, b.phase), one);
    __m128 w = _mm_or_ps(_mm_and_ps(d, b.mask), _mm_andnot_ps(b.mask, b.phase));
    if constexpr (kSquare) {
        const __m128 square = _mm_and_ps(_mm_cmpge_ps(b.phase, half), one);
        w = _mm_or_ps(_mm_and_ps(b.isSquare, square), _mm_andnot_ps(b.isSquare, w));
    }
    if constexpr (kNoise) {
        if (b.wrapped & 1) {
            const std::uint32_t bit = b.prng & 1u;
            b.prng >>= 1;
            if (bit) b.prng ^= kNoiseTaps;
        }
        w = _mm_move_ss(w, _mm_set_ss((b.prng & 1u) ? 1.0f : 0.0f));
    }
    return _mm_mul_ps(_mm_sub_ps(w, half), b.tmp);
}

// Mix of lane sums (v0 + v2) + (v1 + v3), clipped to +-0.5.
inline __m128 clip(__m128 s) { return _mm_max_ps(_mm_min_ps(s, _mm_set1_ps(0.5f)), _mm_set1_ps(-0.5f)); }

// Scope samples of four frames: voice k in vk, the mix in s.
inline void storeScope4(ScopeCursor& scope, __m128 v0, __m128 v1, __m128 v2, __m128 v3, __m128 s) {
    const std::uint32_t at = scope.index;
    if (at + 4 <= scope.mask + 1) {
        _mm_storeu_ps(scope.traces[0] + at, v0);
        _mm_storeu_ps(scope.traces[1] + at, v1);
        _mm_storeu_ps(scope.traces[2] + at, v2);
        _mm_storeu_ps(scope.traces[3] + at, v3);
        _mm_storeu_ps(scope.traces[kScopeMixTrace] + at, s);
    } else {
        alignas(16) float lanes[kScopeTraces][4];
        _mm_store_ps(lanes[0], v0);
        _mm_store_ps(lanes[1], v1);
        _mm_store_ps(lanes[2], v2);
        _mm_store_ps(lanes[3], v3);
        _mm_store_ps(lanes[kScopeMixTrace], s);
        for (std::uint32_t j = 0; j < 4; ++j)
            for (int t = 0; t < kScopeTraces; ++t) scope.traces[t][(at + j) & scope.mask] = lanes[t][j];
    }
    scope.index = (at + 4) & scope.mask;
}

// Scope samples of one frame: the voices in the lanes of v, the mix in the low lane of s.
inline void storeScope1(ScopeCursor& scope, __m128 v, __m128 s) {
    alignas(16) float lanes[4];
    _mm_store_ps(lanes, v);
    for (int k = 0; k < kVoices; ++k) scope.traces[k][scope.index] = lanes[k];
    scope.traces[kScopeMixTrace][scope.index] = _mm_cvtss_f32(s);
    scope.index = (scope.index + 1) & scope.mask;
}

template <bool kSquare, bool kNoise, bool kSteady, bool kScope>
void renderLoop(BlockState& state, float* out, int n, RingCursor& ring, ScopeCursor* scopeCursor) {
    // A local copy stays in registers: the ring stores may alias anything.
    BlockState b = state;
    const __m128 recordScale = _mm_set1_ps(65534.0f);
    std::int16_t* const samples = ring.samples;
    const std::uint32_t ringMask = ring.mask;
    std::uint32_t index = ring.index;
    ScopeCursor scope{};
    if constexpr (kScope) scope = *scopeCursor;
    int i = 0;
    for (; i + 4 <= n; i += 4) {
        __m128 v0 = voiceSample<kSquare, kNoise, kSteady>(b);
        __m128 v1 = voiceSample<kSquare, kNoise, kSteady>(b);
        __m128 v2 = voiceSample<kSquare, kNoise, kSteady>(b);
        __m128 v3 = voiceSample<kSquare, kNoise, kSteady>(b);
        _MM_TRANSPOSE4_PS(v0, v1, v2, v3);  // now vk holds voice k of the four samples
        const __m128 s = clip(_mm_add_ps(_mm_add_ps(v0, v2), _mm_add_ps(v1, v3)));
        if constexpr (kScope) storeScope4(scope, v0, v1, v2, v3, s);
        const __m128i rec = _mm_cvttps_epi32(_mm_mul_ps(s, recordScale));
        const __m128i packed = _mm_packs_epi32(rec, rec);  // values lie within +-32767
        const auto pair01 = static_cast<std::uint32_t>(_mm_cvtsi128_si32(packed));
        const auto pair23 = static_cast<std::uint32_t>(_mm_cvtsi128_si32(_mm_srli_si128(packed, 4)));
        std::int16_t* const at = samples + index;
        if (index + 4 <= ringMask + 1) {
            storeRingSample(at, 0, static_cast<std::int16_t>(pair01));
            storeRingSample(at, 1, static_cast<std::int16_t>(pair01 >> 16));
            storeRingSample(at, 2, static_cast<std::int16_t>(pair23));
            storeRingSample(at, 3, static_cast<std::int16_t>(pair23 >> 16));
        } else {
            storeRingSample(samples, index, static_cast<std::int16_t>(pair01));
            storeRingSample(samples, (index + 1) & ringMask, static_cast<std::int16_t>(pair01 >> 16));
            storeRingSample(samples, (index + 2) & ringMask, static_cast<std::int16_t>(pair23));
            storeRingSample(samples, (index + 3) & ringMask, static_cast<std::int16_t>(pair23 >> 16));
        }
        index = (index + 4) & ringMask;
        _mm_storeu_ps(out + i, _mm_add_ps(s, s));
    }
    for (; i < n; ++i) {
        const __m128 v = voiceSample<kSquare, kNoise, kSteady>(b);
        const __m128 pairs = _mm_add_ps(v, _mm_movehl_ps(v, v));  // v0 + v2, v1 + v3
        const __m128 s = clip(_mm_add_ss(pairs, _mm_shuffle_ps(pairs, pairs, _MM_SHUFFLE(1, 1, 1, 1))));
        storeRingSample(samples, index, static_cast<std::int16_t>(_mm_cvttss_si32(_mm_mul_ss(s, recordScale))));
        index = (index + 1) & ringMask;
        out[i] = _mm_cvtss_f32(_mm_add_ss(s, s));
        if constexpr (kScope) storeScope1(scope, v, s);
    }
    ring.index = index;
    if constexpr (kScope) *scopeCursor = scope;
    state = b;
}

using LoopFn = void (*)(BlockState&, float*, int, RingCursor&, ScopeCursor*);

template <int kFlags>
constexpr LoopFn loopFor() {
    return &renderLoop<(kFlags & 1) != 0, (kFlags & 2) != 0, (kFlags & 4) != 0, (kFlags & 8) != 0>;
}

template <int... kFlags>
constexpr std::array<LoopFn, sizeof...(kFlags)> makeLoops(std::integer_sequence<int, kFlags...>) {
    return {loopFor<kFlags>()...};
}

constexpr auto kLoops = makeLoops(std::make_integer_sequence<int, 16>());

// One sample of the silent render's phases: the same steps as voiceSample.
// Returns the lanes that wrapped.
inline int skipPhase(__m128& phase, __m128& sum, int wrapped, __m128 phaseAdd) {
    const __m128 one = _mm_set1_ps(1.0f);
    sum = _mm_add_ps(wrapped ? phase : sum, phaseAdd);
    const __m128 reached = _mm_cmpge_ps(sum, one);
    wrapped = _mm_movemask_ps(reached);
    if (wrapped) phase = _mm_sub_ps(sum, _mm_and_ps(reached, one));
    return wrapped;
}

}  // namespace

void Synth::renderBlockSimd(float* out, int n, RingCursor& ring, ScopeCursor* scope) {
    const __m128 half = _mm_set1_ps(0.5f);
    BlockState b;
    b.phase = _mm_load_ps(psg_.phase);
    b.sum = b.phase;
    b.wrapped = 0;
    b.tmp = _mm_load_ps(psg_.tmp);
    b.phaseAdd = _mm_load_ps(psg_.phase_add);
    b.speed = _mm_load_ps(psg_.vol_change_speed);
    const __m128i maskBits = _mm_load_si128(reinterpret_cast<const __m128i*>(psg_.wave_mask));
    b.mask = _mm_castsi128_ps(maskBits);
    b.isSquare = _mm_castsi128_ps(_mm_cmpeq_epi32(maskBits, _mm_set1_epi32(static_cast<int>(kSquareMask))));
    const __m128 threeQuarters = _mm_add_ps(_mm_mul_ps(half, half), half);
    const __m128 target = _mm_mul_ps(_mm_mul_ps(_mm_load_ps(psg_.vmul), threeQuarters), _mm_set1_ps(psg_.mastervolume));
    b.pull = _mm_mul_ps(_mm_sub_ps(_mm_set1_ps(1.0f), b.speed), target);
    b.prng = prng_;

    const bool square = _mm_movemask_ps(b.isSquare) != 0;
    const bool noise = psg_.wave_mask[0] == kNoiseMask;
    const __m128 next = _mm_add_ps(_mm_mul_ps(b.tmp, b.speed), b.pull);
    const bool steady = _mm_movemask_epi8(_mm_cmpeq_epi32(_mm_castps_si128(next), _mm_castps_si128(b.tmp))) == 0xFFFF;
    kLoops[(square ? 1 : 0) | (noise ? 2 : 0) | (steady ? 4 : 0) | (scope ? 8 : 0)](b, out, n, ring, scope);

    _mm_store_ps(psg_.phase, b.phase);
    _mm_store_ps(psg_.tmp, b.tmp);
    prng_ = b.prng;
}

// The silent render: the phase steps of all four voices as one vector (the
// loop-carried chain is one addition while no lane wraps), and the gain
// recurrence alongside only until every lane has settled on its fixed point.
void Synth::skipBlockSimd(int n) {
    const __m128 half = _mm_set1_ps(0.5f);
    __m128 phase = _mm_load_ps(psg_.phase);
    __m128 sum = phase;
    __m128 tmp = _mm_load_ps(psg_.tmp);
    const __m128 phaseAdd = _mm_load_ps(psg_.phase_add);
    const __m128 speed = _mm_load_ps(psg_.vol_change_speed);
    const __m128 threeQuarters = _mm_add_ps(_mm_mul_ps(half, half), half);
    const __m128 target = _mm_mul_ps(_mm_mul_ps(_mm_load_ps(psg_.vmul), threeQuarters), _mm_set1_ps(psg_.mastervolume));
    const __m128 pull = _mm_mul_ps(_mm_sub_ps(_mm_set1_ps(1.0f), speed), target);
    const bool noise = psg_.wave_mask[0] == kNoiseMask;

    int wrapped = 0;
    std::uint32_t wraps0 = 0;  // wraps of voice 0: the noise register's steps
    int i = 0;
    for (; i < n; ++i) {
        const __m128 next = _mm_add_ps(_mm_mul_ps(tmp, speed), pull);
        wrapped = skipPhase(phase, sum, wrapped, phaseAdd);
        wraps0 += static_cast<std::uint32_t>(wrapped & 1);
        if (_mm_movemask_epi8(_mm_cmpeq_epi32(_mm_castps_si128(next), _mm_castps_si128(tmp))) == 0xFFFF) {
            ++i;
            break;
        }
        tmp = next;
    }
    for (; i < n; ++i) {
        wrapped = skipPhase(phase, sum, wrapped, phaseAdd);
        wraps0 += static_cast<std::uint32_t>(wrapped & 1);
    }
    if (!wrapped) phase = sum;

    _mm_store_ps(psg_.phase, phase);
    _mm_store_ps(psg_.tmp, tmp);
    if (noise) {
        for (std::uint32_t w = 0; w < wraps0; ++w) {
            const std::uint32_t bit = prng_ & 1u;
            prng_ >>= 1;
            if (bit) prng_ ^= kNoiseTaps;
        }
    }
}

}  // namespace bleeptone
#endif
