// Vector rendering: the four voices are the four lanes of one SSE2 register.
// Every lane operation is the same single-precision operation, in the same
// order, as in the scalar reference, so both give the same bits.
#include "synth.h"

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>

namespace bleeptone {

void Synth::renderBlockSimd(float* out, int n, RingCursor& ring) {
    const __m128 one = _mm_set1_ps(1.0f);
    const __m128 half = _mm_set1_ps(0.5f);
    const __m128 minusHalf = _mm_set1_ps(-0.5f);
    const __m128 recordScale = _mm_set1_ps(65534.0f);

    __m128 phase = _mm_load_ps(psg_.phase);
    __m128 tmp = _mm_load_ps(psg_.tmp);
    const __m128 phaseAdd = _mm_load_ps(psg_.phase_add);
    const __m128 speed = _mm_load_ps(psg_.vol_change_speed);
    const __m128i maskBits = _mm_load_si128(reinterpret_cast<const __m128i*>(psg_.wave_mask));
    const __m128 mask = _mm_castsi128_ps(maskBits);
    const __m128 isSquare = _mm_castsi128_ps(_mm_cmpeq_epi32(maskBits, _mm_set1_epi32(static_cast<int>(kSquareMask))));
    const __m128 threeQuarters = _mm_add_ps(_mm_mul_ps(half, half), half);
    const __m128 target = _mm_mul_ps(_mm_mul_ps(_mm_load_ps(psg_.vmul), threeQuarters), _mm_set1_ps(psg_.mastervolume));
    const __m128 pull = _mm_mul_ps(_mm_sub_ps(one, speed), target);

    std::uint32_t prng = prng_;
    const bool noise = psg_.wave_mask[0] == kNoiseMask;
    std::int16_t* const ringSamples = ring.samples;
    const std::uint32_t ringMask = ring.mask;
    std::uint32_t ringIndex = ring.index;

    for (int i = 0; i < n; ++i) {
        tmp = _mm_add_ps(_mm_mul_ps(tmp, speed), pull);

        // Phase step with wrap: pick phase - 1 in the lanes that reached 1.
        phase = _mm_add_ps(phase, phaseAdd);
        const __m128 wrapped = _mm_cmpge_ps(phase, one);
        phase = _mm_or_ps(_mm_and_ps(wrapped, _mm_sub_ps(phase, one)), _mm_andnot_ps(wrapped, phase));

        // Waveform: bits of 2p - 1 under the mask, bits of p elsewhere;
        // the square mask instead gives a step at p = 0.5.
        const __m128 d = _mm_sub_ps(_mm_add_ps(phase, phase), one);
        __m128 w = _mm_or_ps(_mm_and_ps(d, mask), _mm_andnot_ps(mask, phase));
        const __m128 square = _mm_and_ps(_mm_cmpge_ps(phase, half), one);
        w = _mm_or_ps(_mm_and_ps(isSquare, square), _mm_andnot_ps(isSquare, w));

        if (noise) {
            if (_mm_movemask_ps(wrapped) & 1) {
                const std::uint32_t bit = prng & 1u;
                prng >>= 1;
                if (bit) prng ^= kNoiseTaps;
            }
            w = _mm_move_ss(w, _mm_set_ss((prng & 1u) ? 1.0f : 0.0f));
        }

        const __m128 v = _mm_mul_ps(_mm_sub_ps(w, half), tmp);
        const __m128 pairs = _mm_add_ps(v, _mm_movehl_ps(v, v));  // v0 + v2, v1 + v3
        __m128 s = _mm_add_ss(pairs, _mm_shuffle_ps(pairs, pairs, _MM_SHUFFLE(1, 1, 1, 1)));
        s = _mm_min_ss(s, half);
        s = _mm_max_ss(s, minusHalf);
        ringSamples[ringIndex] = static_cast<std::int16_t>(_mm_cvttss_si32(_mm_mul_ss(s, recordScale)));
        ringIndex = (ringIndex + 1) & ringMask;
        out[i] = _mm_cvtss_f32(_mm_add_ss(s, s));
    }

    _mm_store_ps(psg_.phase, phase);
    _mm_store_ps(psg_.tmp, tmp);
    prng_ = prng;
    ring.index = ringIndex;
}

}  // namespace bleeptone
#endif
