// The four-voice synthesiser: tables, PSG_Sound, the waveform and mixing
// arithmetic, the tick timing of PSG_Core, the recording ring, the
// floating-point mode, and the two render paths held together.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#if defined(__SSE2__) || defined(_M_X64)
#include <xmmintrin.h>
#define BLEEPTONE_TEST_MXCSR 1
#endif

#include "engine/engine.h"
#include "engine/synth.h"

using namespace bleeptone;

namespace {

constexpr RenderPath kPaths[] = {RenderPath::Simd, RenderPath::Scalar};
const char* name(RenderPath p) { return p == RenderPath::Simd ? "simd" : "scalar"; }
std::uint32_t bits(float f) { return std::bit_cast<std::uint32_t>(f); }
float fromBits(std::uint32_t b) { return std::bit_cast<float>(b); }

// A synthesiser rendered block by block into a small private ring, without sequencer.
struct Bench {
    explicit Bench(RenderPath path) { synth.setRenderPath(path); }
    std::vector<float> render(int n) {
        std::vector<float> out(static_cast<std::size_t>(n));
        synth.renderBlock(out.data(), n, cursor);
        return out;
    }
    // Voice k stands still at phase p; a smoothing speed of 1 keeps its volume at level.
    void hold(int k, float p, float level, std::uint32_t mask) {
        PSGInternal& s = synth.state();
        s.phase[k] = p, s.phase_add[k] = 0.0f, s.tmp[k] = level, s.vol_change_speed[k] = 1.0f, s.wave_mask[k] = mask;
    }
    Synth synth;
    std::array<std::int16_t, 1024> ring{};
    RingCursor cursor{ring.data(), 1023, 0};
};

std::vector<float> core(Engine& e, std::size_t n) {
    std::vector<float> out(n);
    e.PSG_Core(out.data(), n);
    return out;
}

// Index of the first sample whose bits differ, or -1.
long firstDifference(const std::vector<float>& a, const std::vector<float>& b) {
    for (std::size_t i = 0; i < std::min(a.size(), b.size()); ++i)
        if (bits(a[i]) != bits(b[i])) return static_cast<long>(i);
    return a.size() == b.size() ? -1 : static_cast<long>(std::min(a.size(), b.size()));
}

int pick(std::mt19937& rng, int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); }

// A looping tune over every command: notes with signs, lengths and dots, rests,
// octaves out of range, volumes past 63, all 16 waveforms, decays, envelopes.
std::u16string randomTune(std::mt19937& rng) {
    static const char* const fixed[] = {"<", ">", "V+", "V-", "V63", "\\0,9,3,9", "\\.9,0,5", "*3", "/2",
                                        "K-5", "K+7", "L8", "L16", "T40", "T240", "T5", "x"};
    std::string t;
    for (int i = 0; i < 80; ++i) {
        switch (pick(rng, 0, 7)) {
        case 3: t += std::string("O") + std::to_string(pick(rng, 0, 9)); break;
        case 4: t += std::string("V") + std::to_string(pick(rng, 0, 1) ? 63 : pick(rng, 0, 70)); break;
        case 5: t += std::string("W") + std::to_string(pick(rng, 0, 15)); break;
        case 6: t += std::string("\\") + std::to_string(pick(rng, 0, 1) ? pick(rng, 0, 3) : pick(rng, 0, 24)); break;
        case 7: t += fixed[pick(rng, 0, std::size(fixed) - 1)]; break;
        default:
            t += "CDEFGABR"[pick(rng, 0, 7)];
            if (pick(rng, 0, 3) == 0) t += "+-#"[pick(rng, 0, 2)];
            if (pick(rng, 0, 3) != 0) t += std::to_string(1 << pick(rng, 0, 6));
            if (pick(rng, 0, 4) == 0) t += ".";
        }
    }
    t += "C16:";
    return {t.begin(), t.end()};
}

// Request sizes adding up to total, small ones and zeros included.
std::vector<std::size_t> randomSplit(std::mt19937& rng, std::size_t total) {
    std::vector<std::size_t> sizes;
    while (total > 0) {
        std::size_t n = static_cast<std::size_t>(pick(rng, 0, 3) == 0 ? pick(rng, 0, 3) : pick(rng, 0, 2000));
        sizes.push_back(n = std::min(n, total));
        total -= n;
    }
    return sizes;
}

std::vector<float> renderSplit(Engine& e, const std::vector<std::size_t>& sizes) {
    std::vector<float> out;
    for (std::size_t n : sizes) {
        const std::vector<float> part = core(e, n);
        out.insert(out.end(), part.begin(), part.end());
    }
    return out;
}

}  // namespace

TEST(SynthTables, HoldTheirBitPatterns) {
    EXPECT_EQ(bits(VolTable[0]), 0u);
    EXPECT_EQ(bits(VolTable[1]), 0x3B9B0ABDu);
    EXPECT_EQ(bits(VolTable[40]), 0x3E0C8A39u);
    EXPECT_EQ(bits(VolTable[55]), 0x3F004DCCu);
    EXPECT_EQ(bits(VolTable[63]), 0x3F800000u);
    for (int k = 1; k <= 62; ++k)  // 0.75 dB steps, each product rounded to single precision
        EXPECT_EQ(bits(VolTable[k]), bits(VolTable[k + 1] * fromBits(0x3F6AD298u))) << "volume " << k;

    EXPECT_EQ(bits(NoteTable[0]), 0x4182D013u);   // C0 16.351599
    EXPECT_EQ(bits(NoteTable[57]), 0x43DC0000u);  // A4 440
    EXPECT_EQ(bits(NoteTable[96]), 0x4582D013u);  // C8 4186.0093
    // Every exact value lies at least 0.02 ulp from a rounding midpoint of
    // single precision, far beyond the error of exp2l in long double.
    for (int k = 0; k < kNoteCount; ++k) {
        const float nearest = static_cast<float>(440.0L * std::exp2l((k - 57) / 12.0L));
        EXPECT_EQ(bits(NoteTable[k]), bits(nearest)) << "note " << k;
    }

    const std::uint32_t masks[8] = {0x7FFFFFFF, 0x00000000, 0x7FAAFFFF, 0x007FFFFF,
                                    0x3F000000, 0x00000001, 0x7FAAFFFF, 0x007FFFFF};
    for (int w = 0; w < 8; ++w) EXPECT_EQ(WaveMask[w], masks[w]) << "waveform " << w;
    EXPECT_EQ(bits(rcp44100), 0x37BE37C6u);
}

TEST(SynthDefaults, SilenceEveryVoiceAndKeepTheNoiseGenerator) {
    Synth synth;
    PSGInternal& s = synth.state();
    std::memset(&s, 0x5A, sizeof s);
    synth.setPrng(0x12345678u);
    synth.PSG_SetDefaults();
    for (int k = 0; k < kVoices; ++k) {
        EXPECT_EQ(bits(s.phase[k]) | bits(s.phase_add[k]) | s.wave_mask[k] | bits(s.vmul[k]) | bits(s.tmp[k]), 0u);
        EXPECT_EQ(bits(s.vol_change_speed[k]), 0x3F7CED91u);  // 0.988
    }
    EXPECT_EQ(s.mastervolume, 1.0f);
    EXPECT_EQ(s.interrupt_cnt, 0);
    EXPECT_EQ(synth.prng(), 0x12345678u);
    EXPECT_EQ(Synth().prng(), 1u);
}

TEST(SynthSound, SetsFrequencyVolumeWaveformAndPhaseOfOneVoice) {
    const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
    const float kept = 0.3f;  // phase before the call, kept unless the voice was practically silent
    struct Case {
        int channel; float freq; int vol, wave; float vmulBefore;
        int voice; float phase; std::uint32_t phaseAdd; float vmul; std::uint32_t mask;
    };
    const Case cases[] = {
        {0, 440, 40, 0, 0, 0, 0.75f, 0x3C2377EE, VolTable[40], 0x7FFFFFFF},  // 440 x rcp44100
        {0, 440, 40, 8, 0, 0, 0.5f, 0x3C2377EE, VolTable[40], 0x7FFFFFFF},   // triangle, restart at 0.5
        {0, 1000, 40, 5, 0, 0, 0.5f, 0x3E683315, VolTable[40], 0x00000001},  // noise: tenfold, 0.22676
        {0, 4500, 40, 5, 0, 0, 0.5f, 0x3F7FBE77, VolTable[40], 0x00000001},  // held at 0.999
        {0, 1000, 40, 13, 0, 0, 0.5f, 0x3CB9C277, VolTable[40], 0x00000001}, // noise mask, not tenfold
        {1, 1000, 40, 5, 0, 1, 0.5f, 0x3CB9C277, VolTable[40], 0x00000001},  // not tenfold off voice 0
        {2, 22000, 63, 4, 0, 2, 0.5f, 0x3EFF6B64, 1.0f, 0x3F000000},
        {2, 22000.5f, 63, 4, 0, 2, 0.5f, 0, 0.0f, 0x3F000000},
        {2, std::nextafter(22000.0f, inf), 63, 4, 0, 2, 0.5f, 0, 0.0f, 0x3F000000},
        {0, 0.0f, 40, 0, 0, 0, 0.75f, 0, 0.0f, 0x7FFFFFFF},
        {0, -440, 40, 0, 0, 0, 0.75f, 0, 0.0f, 0x7FFFFFFF},
        {0, nan, 40, 0, 0, 0, 0.75f, 0, 0.0f, 0x7FFFFFFF},
        {0, inf, 40, 0, 0, 0, 0.75f, 0, 0.0f, 0x7FFFFFFF},
        {3, 440, 64, 1, 0, 3, 0.5f, 0x3C2377EE, 0.0f, 0x00000000},          // volume AND 63
        {3, 440, 100, 1, 0, 3, 0.5f, 0x3C2377EE, VolTable[36], 0x00000000},
        {5, 440, 40, 2, 0, 1, 0.5f, 0x3C2377EE, VolTable[40], 0x7FAAFFFF},  // channel AND 3
        {255, 440, 40, 255, 0, 3, 0.5f, 0x3C2377EE, VolTable[40], 0x007FFFFF},
        {1, 440, 40, 3, VolTable[63], 1, kept, 0x3C2377EE, VolTable[40], 0x007FFFFF},
        {1, 440, 40, 3, VolTable[1], 1, kept, 0x3C2377EE, VolTable[40], 0x007FFFFF},
        {1, 440, 40, 3, 0.000999f, 1, 0.5f, 0x3C2377EE, VolTable[40], 0x007FFFFF},
        {1, 440, 40, 3, 0.001f, 1, kept, 0x3C2377EE, VolTable[40], 0x007FFFFF},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "PSG_Sound(" << c.channel << ", " << c.freq << ", " << c.vol << ", "
                                        << c.wave << ") over vmul " << c.vmulBefore);
        Synth synth;
        PSGInternal& s = synth.state();
        for (int k = 0; k < kVoices; ++k) s.phase[k] = kept, s.vmul[k] = c.vmulBefore;
        synth.PSG_Sound(static_cast<std::uint8_t>(c.channel), c.freq, static_cast<std::uint8_t>(c.vol),
                        static_cast<std::uint8_t>(c.wave));
        EXPECT_EQ(s.phase[c.voice], c.phase);
        EXPECT_EQ(bits(s.phase_add[c.voice]), c.phaseAdd);
        EXPECT_EQ(bits(s.vmul[c.voice]), bits(c.vmul));
        EXPECT_EQ(s.wave_mask[c.voice], c.mask);
        for (int k = 0; k < kVoices; ++k)  // the other voices are untouched
            EXPECT_TRUE(k == c.voice || (s.phase[k] == kept && s.phase_add[k] == 0 && s.wave_mask[k] == 0)) << k;
    }
}

TEST(SynthRender, WaveformsFollowTheBitRecipe) {
    // w at phase i/16 for each mask; complex A and B as worked out from the mask recipe.
    struct Shape { std::uint32_t mask; float w[16]; };
    const Shape shapes[] = {
        {0x7FFFFFFF, {1, .875f, .75f, .625f, .5f, .375f, .25f, .125f, 0, .125f, .25f, .375f, .5f, .625f, .75f, .875f}},
        {0x00000000, {0, .0625f, .125f, .1875f, .25f, .3125f, .375f, .4375f, .5f, .5625f, .625f, .6875f, .75f, .8125f,
                      .875f, .9375f}},
        {0x7FAAFFFF, {1, .625f, .5f, .875f, .5f, .25f, .375f, .1875f, 0, .140625f, .25f, .28125f, .75f, .9375f, .75f,
                      .9375f}},
        {0x007FFFFF, {0, .109375f, .1875f, .15625f, .25f, .375f, .25f, .25f, .5f, .5f, .5f, .75f, .5f, .625f, .75f,
                      .875f}},
        {0x3F000000, {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 1, 1, 1, 1}},
    };
    for (RenderPath path : kPaths)
        for (int voice = 0; voice < kVoices; ++voice)
            for (const Shape& shape : shapes)
                for (int i = 0; i < 16; ++i) {
                    Bench b(path);
                    b.hold(voice, i / 16.0f, 0.5f, shape.mask);  // output = 2 x (w - 0.5) x 0.5 = w - 0.5
                    for (float out : b.render(5))
                        EXPECT_EQ(out, shape.w[i] - 0.5f) << name(path) << " voice " << voice << " mask "
                                                          << std::hex << shape.mask << " p " << std::dec << i << "/16";
                }
    // The noise mask off voice 0 takes only the lowest mantissa bit from 2p - 1:
    // p = 0x3E800001 has it set, 2p - 1 = -(0.5 - 2^-24) has it clear, so w = 0.25.
    for (RenderPath path : kPaths)
        for (int voice = 1; voice < kVoices; ++voice) {
            Bench b(path);
            b.hold(voice, fromBits(0x3E800001u), 0.5f, 0x00000001u);
            for (float out : b.render(5)) EXPECT_EQ(out, -0.25f) << name(path) << " voice " << voice;
        }
}

TEST(SynthRender, NoiseStepsOnEveryWrapOfVoiceZero) {
    for (RenderPath path : kPaths) {
        SCOPED_TRACE(name(path));
        Bench b(path);
        b.hold(0, 0.5f, 0.5f, 0x00000001u);
        b.synth.state().phase_add[0] = 0.25f;  // wraps at samples 1, 5 and 9
        // prng 1 -> 0x80200003 (bit 1 out: taps) -> 0xC0300002 (taps) -> 0x60180001 (bit 0 out)
        const std::uint32_t prng[10] = {1, 0x80200003, 0x80200003, 0x80200003, 0x80200003,
                                        0xC0300002, 0xC0300002, 0xC0300002, 0xC0300002, 0x60180001};
        for (int i = 0; i < 10; ++i) {
            const float out = b.render(1)[0];
            EXPECT_EQ(b.synth.prng(), prng[i]) << "sample " << i;
            EXPECT_EQ(out, (prng[i] & 1) ? 0.5f : -0.5f) << "sample " << i;
        }
        EXPECT_EQ(b.synth.state().phase[0], 0.0f);  // 0.75 + 0.25 reaches 1 and wraps to 0

        // Wraps of other voices, or of voice 0 without the noise mask, leave the generator alone.
        Bench quiet(path);
        quiet.synth.setPrng(0x80200003u);
        quiet.hold(0, 0.5f, 0.5f, WaveMask[0]);
        quiet.hold(1, 0.5f, 0.5f, 0x00000001u);
        quiet.synth.state().phase_add[0] = quiet.synth.state().phase_add[1] = 0.25f;
        quiet.render(10);
        EXPECT_EQ(quiet.synth.prng(), 0x80200003u);
    }
}

TEST(SynthRender, MixIsClippedRecordedTruncatedAndDoubled) {
    // Sawtooth voices standing still: v = (p - 0.5) x level.
    struct Case { float phase[4], level[4], out; std::int16_t rec; };
    const float tiny = std::ldexp(1.0f, -24);
    const Case cases[] = {
        {{.875f, 0, 0, 0}, {.75f, 0, 0, 0}, 0.5625f, 18431},    // 0.28125 x 65534 = 18431.4375
        {{.125f, 0, 0, 0}, {.75f, 0, 0, 0}, -0.5625f, -18431},  // truncated toward zero
        {{0, .875f, 0, 0}, {0, .75f, 0, 0}, 0.5625f, 18431},
        {{0, 0, 0, .875f}, {0, 0, 0, .75f}, 0.5625f, 18431},
        {{.875f, 0, .875f, 0}, {.75f, 0, .75f, 0}, 1.0f, 32767},  // 0.5625 clipped to 0.5
        {{0, 0, 0, 0}, {.75f, .75f, .75f, .75f}, -1.0f, -32767},  // -1.5 clipped to -0.5
        // (0.25 + 2^-26) + (-0.25 + 2^-26): the first sum rounds to 0.25, the mix is
        // 2^-26. Pairing voices 0+1 and 2+3, or adding in voice order, gives 2^-25.
        {{.75f, .25f, .75f, .75f}, {1, 1, tiny, tiny}, std::ldexp(1.0f, -25), 0},
    };
    for (RenderPath path : kPaths)
        for (const Case& c : cases) {
            Bench b(path);
            for (int k = 0; k < kVoices; ++k) b.hold(k, c.phase[k], c.level[k], WaveMask[1]);
            const std::vector<float> out = b.render(5);
            for (int i = 0; i < 5; ++i) {
                EXPECT_EQ(out[i], c.out) << name(path) << " case " << (&c - cases) << " sample " << i;
                EXPECT_EQ(b.ring[i], c.rec) << name(path) << " case " << (&c - cases) << " sample " << i;
            }
        }
}

TEST(SynthRender, VolumeFollowsItsTargetByOnePointTwoPercentPerSample) {
    for (RenderPath path : kPaths) {
        Bench b(path);
        b.synth.PSG_Sound(2, 440, 63, 0);  // target 1.0 x 0.75
        const float target = 0.75f;
        b.render(1);
        // (1 - 0.988) x 0.75 = (201,327 / 2^24) x 0.75 = 603,981 / 2^26 exactly
        EXPECT_EQ(b.synth.state().tmp[2], std::ldexp(603981.0f, -26)) << name(path);
        b.render(56);  // 1 - 0.988^57 = 0.4975
        EXPECT_LT(b.synth.state().tmp[2], target / 2) << name(path);
        b.render(1);  // 1 - 0.988^58 = 0.5035
        EXPECT_GT(b.synth.state().tmp[2], target / 2) << name(path);
    }
}

TEST(SynthCore, TicksRunBeforeEvery459thSampleWhateverTheRequestSizes) {
    struct Step { bool reset; std::size_t frames; int interruptCnt, ticks; };
    const Step steps[] = {
        {false, 0, 0, 0},      {false, 1000, 377, 3}, {false, 100, 277, 3}, {false, 0, 277, 3},
        {false, 277, 0, 3},    {false, 1, 458, 4},    {false, 458, 0, 4},   {false, 918, 0, 6},
        {false, 1378, 458, 10}, {true, 1, 458, 11},   // PSG_SetDefaults makes a tick due
    };
    for (RenderPath path : kPaths) {
        auto e = Engine::create();
        e->synth().setRenderPath(path);
        e->PSG_PlayMML(u"C1");  // a whole note: counts down from 192, one per tick after the one that read it
        std::uint64_t total = 0;
        for (const Step& s : steps) {
            if (s.reset) e->synth().PSG_SetDefaults();
            core(*e, s.frames);
            total += s.frames;
            const int left = e->sequencer().channel(0).EvtCnt;
            SCOPED_TRACE(testing::Message() << name(path) << " after " << total << " frames");
            EXPECT_EQ(e->synth().state().interrupt_cnt, s.interruptCnt);
            EXPECT_EQ(left == 0 ? 0 : 193 - left, s.ticks);
            EXPECT_EQ(e->framesRendered(), total);
        }
    }
}

TEST(SynthCore, SilentEngineRendersAndRecordsZeros) {
    for (RenderPath path : kPaths) {
        auto e = Engine::create();
        e->synth().setRenderPath(path);
        e->ring().record_buffer.fill(0x5555);
        const std::vector<float> out = core(*e, 2000);
        for (std::size_t i = 0; i < out.size(); ++i) ASSERT_EQ(out[i], 0.0f) << name(path) << " sample " << i;
        // With no tune the ring stays aligned at 0: each tick restarts it.
        for (std::size_t i = 0; i < 459; ++i) ASSERT_EQ(e->ring().record_buffer[i], 0) << name(path) << " " << i;
    }
}

TEST(SynthCore, RecordIndexWrapsAtTheEndOfTheRing) {
    for (RenderPath path : kPaths) {
        auto e = Engine::create();
        e->synth().setRenderPath(path);
        PSGInternal& s = e->synth().state();
        s.phase[0] = 0.875f, s.tmp[0] = 0.75f, s.vol_change_speed[0] = 1.0f;  // records 18431
        e->ring().record_buffer_idx = 262141;  // beyond the first second: no alignment
        core(*e, 8);
        const auto& ring = e->ring().record_buffer;
        for (std::size_t i : {262141u, 262142u, 262143u, 0u, 1u, 2u, 3u, 4u})
            EXPECT_EQ(ring[i], 18431) << name(path) << " sample " << i;
        EXPECT_EQ(ring[5], 0) << name(path);
        EXPECT_EQ(e->ring().record_buffer_idx.load(), 5u) << name(path);
    }
}

TEST(SynthCore, RestoresTheCallersFloatingPointMode) {
#ifndef BLEEPTONE_TEST_MXCSR
    GTEST_SKIP() << "no MXCSR on this machine";
#else
    const unsigned saved = _mm_getcsr();
    const unsigned modes[] = {saved & ~0x8040u, saved | 0x8040u, (saved & ~0x8040u) | 0x6000u};  // 0x6000: toward zero
    for (RenderPath path : kPaths)
        for (unsigned mode : modes) {
            auto e = Engine::create();
            e->synth().setRenderPath(path);
            e->PSG_PlayMML(u"V63W2CEG", u"W3C", u"W4E");
            std::vector<float> out(2000);
            _mm_setcsr(mode);
            e->PSG_Core(out.data(), out.size());
            const unsigned after = _mm_getcsr();
            _mm_setcsr(saved);
            EXPECT_EQ(after & ~0x3Fu, mode & ~0x3Fu) << name(path) << std::hex << " mode " << mode;  // flags aside
        }
#endif
}

TEST(SynthCore, SilencedVoiceDecaysToExactZero) {
    for (RenderPath path : kPaths) {
        auto e = Engine::create();
        e->synth().setRenderPath(path);
        PSGInternal& s = e->synth().state();
        s.wave_mask[1] = WaveMask[0], s.phase_add[1] = 0.01f, s.tmp[1] = 0.75f;  // target 0: fading out
        // 0.75 x 0.988^n falls below the smallest normal float after 7,211 samples.
        const std::vector<float> out = core(*e, 9000);
        int subnormal = 0;
        for (float x : out) subnormal += std::fpclassify(x) == FP_SUBNORMAL;
        EXPECT_EQ(subnormal, 0) << name(path);
        EXPECT_EQ(bits(s.tmp[1]), 0u) << name(path);
        for (std::size_t i = 7300; i < out.size(); ++i) ASSERT_EQ(out[i], 0.0f) << name(path) << " sample " << i;
    }
}

TEST(SynthProperty, VectorAndScalarPathsGiveTheSameBits) {
    std::mt19937 rng(0x5EED0001);
    int clipped = 0, noisy = 0;
    for (int round = 0; round < 6; ++round) {
        std::u16string texts[4];
        for (auto& t : texts) t = randomTune(rng);
        const std::vector<std::size_t> sizes = randomSplit(rng, 300000);  // 6.8 s: the ring wraps
        std::unique_ptr<Engine> e[2];
        std::vector<float> out[2];
        for (int p = 0; p < 2; ++p) {
            e[p] = Engine::create();
            e[p]->synth().setRenderPath(kPaths[p]);
            e[p]->PSG_PlayMML(texts[0], texts[1], texts[2], texts[3]);
            out[p] = renderSplit(*e[p], sizes);
        }
        EXPECT_EQ(firstDifference(out[0], out[1]), -1) << "round " << round;
        EXPECT_TRUE(e[0]->ring().record_buffer == e[1]->ring().record_buffer) << "round " << round;
        EXPECT_EQ(e[0]->ring().record_buffer_idx.load(), e[1]->ring().record_buffer_idx.load());
        EXPECT_EQ(e[0]->synth().prng(), e[1]->synth().prng());
        EXPECT_EQ(std::memcmp(&e[0]->synth().state(), &e[1]->synth().state(), sizeof(PSGInternal)), 0);
        for (float x : out[0]) clipped += std::fabs(x) == 1.0f;
        noisy += e[0]->synth().prng() != 1;
    }
    EXPECT_GT(clipped, 0);  // the tunes did reach the clip
    EXPECT_GT(noisy, 0);    // and the noise generator
}

TEST(SynthProperty, AnySplitOfARequestGivesTheSameSamples) {
    std::mt19937 rng(0x5EED0002);
    for (RenderPath path : kPaths)
        for (int round = 0; round < 4; ++round) {
            std::u16string texts[4];
            for (auto& t : texts) t = randomTune(rng);
            auto whole = Engine::create(), split = Engine::create();
            whole->synth().setRenderPath(path), split->synth().setRenderPath(path);
            whole->PSG_PlayMML(texts[0], texts[1], texts[2], texts[3]);
            split->PSG_PlayMML(texts[0], texts[1], texts[2], texts[3]);
            const std::vector<float> a = core(*whole, 100000);
            const std::vector<float> b = renderSplit(*split, randomSplit(rng, 100000));
            EXPECT_EQ(firstDifference(a, b), -1) << name(path) << " round " << round;
            EXPECT_TRUE(whole->ring().record_buffer == split->ring().record_buffer) << name(path) << " round " << round;
            EXPECT_EQ(whole->synth().state().interrupt_cnt, split->synth().state().interrupt_cnt);
            EXPECT_EQ(whole->framesRendered(), split->framesRendered());
        }
}

// ---------------------------------------------------------------- seeking

// The silent render reaches the very state the audible one does: voices,
// noise register, tick count and channel records, whatever the tune.
TEST(SynthProperty, SilentRenderReachesTheSameState) {
    std::mt19937 rng(0x5EED0003);
    for (RenderPath path : kPaths)
        for (int round = 0; round < 4; ++round) {
            std::u16string texts[4];
            for (auto& t : texts) t = randomTune(rng);
            const std::uint64_t frames = 50000 + rng() % 100000;
            auto loud = Engine::create();
            loud->synth().setRenderPath(path);
            loud->PSG_PlayMML(texts[0], texts[1], texts[2], texts[3]);
            core(*loud, frames);
            auto silent = std::make_unique<SilentSong>();
            silent->start({texts[0], texts[1], texts[2], texts[3]}, 1, path);
            for (std::uint64_t done = 0; done < frames;) {  // in uneven steps
                const std::uint64_t n = std::min<std::uint64_t>(frames - done, 1 + rng() % 5000);
                silent->advance(n);
                done += n;
            }
            const std::string what = std::string(name(path)) + " round " + std::to_string(round);
            EXPECT_EQ(silent->frame(), frames);
            EXPECT_EQ(std::memcmp(&loud->synth().state(), &silent->synth().state(), sizeof(PSGInternal)), 0) << what;
            EXPECT_EQ(loud->synth().prng(), silent->synth().prng()) << what;
            for (int k = 0; k < kVoices; ++k) {
                const MML_Channel& a = loud->sequencer().channel(k);
                const MML_Channel& b = silent->sequencer().channel(k);
                EXPECT_EQ(static_cast<const MML_Info&>(a), static_cast<const MML_Info&>(b)) << what << " channel " << k;
                EXPECT_EQ(a.Volume_, b.Volume_) << what;
                EXPECT_EQ(a.soundingAt, b.soundingAt) << what;
            }
        }
}

// ----------------------------------------------------------- oscilloscope

// Voice 1 alone, a square wave of period 64 (phase step 1/64, exact): after
// sample i its phase is (i + 1)/64, so it is positive from (i + 1) mod 64 = 32
// to 63, and its rising zero crossings fall on i = 31, 95, 159... The other
// voices are zero, the mix is voice 1 and the output twice the mix.
TEST(SynthScope, SquareWaveCrossesZeroWhereItShould) {
    std::vector<float> traces[2][kScopeTraces];
    for (int p = 0; p < 2; ++p) {
        auto engine = Engine::create();
        engine->synth().setRenderPath(kPaths[p]);
        PSGInternal& psg = engine->synth().state();
        psg.phase_add[1] = 1.0f / 64;
        psg.wave_mask[1] = kSquareMask;
        psg.vmul[1] = VolTable[63];
        engine->setScopeEnabled(true);
        std::vector<float> out;
        for (std::size_t n : {1000u, 3u, 459u, 2000u, 1538u}) {  // 5,000 samples in uneven calls
            const std::vector<float> part = core(*engine, n);
            out.insert(out.end(), part.begin(), part.end());
        }
        float* dest[kScopeTraces];
        for (int t = 0; t < kScopeTraces; ++t) {
            traces[p][t].assign(4096, 99.0f);
            dest[t] = traces[p][t].data();
        }
        std::uint64_t first = 0;
        ASSERT_EQ(engine->copyScope(4096, dest, &first), 4096u) << name(kPaths[p]);
        ASSERT_EQ(first, 5000u - 4096u);
        int rising = 0;
        for (std::size_t j = 0; j < 4096; ++j) {
            const std::uint64_t i = first + j;
            const float v = traces[p][1][j];
            ASSERT_EQ(v > 0.0f, (i + 1) % 64 >= 32) << name(kPaths[p]) << " sample " << i;
            if (j > 0 && traces[p][1][j - 1] < 0.0f && v > 0.0f) {
                ASSERT_EQ(i % 64, 31u) << name(kPaths[p]);
                ++rising;
            }
            for (int k : {0, 2, 3}) ASSERT_EQ(traces[p][k][j], 0.0f);
            ASSERT_EQ(bits(traces[p][kScopeMixTrace][j]), bits(v));
            ASSERT_EQ(bits(out[i]), bits(v + v));
        }
        EXPECT_EQ(rising, 64);
    }
    for (int t = 0; t < kScopeTraces; ++t) EXPECT_EQ(traces[0][t], traces[1][t]) << "trace " << t;
}

// Off, nothing is written; on again, only what was rendered since counts.
TEST(SynthScope, HoldsOnlyWhatWasRenderedWhileOn) {
    auto engine = Engine::create();
    engine->PSG_PlayMML(u"W4 C1", u"", u"", u"");
    std::vector<float> trace[kScopeTraces];
    float* dest[kScopeTraces];
    for (int t = 0; t < kScopeTraces; ++t) {
        trace[t].resize(2048);
        dest[t] = trace[t].data();
    }
    core(*engine, 1000);
    EXPECT_EQ(engine->copyScope(2048, dest), 0u);
    engine->setScopeEnabled(true);
    const std::vector<float> out = core(*engine, 300);
    std::uint64_t first = 0;
    ASSERT_EQ(engine->copyScope(2048, dest, &first), 300u);
    EXPECT_EQ(first, 1000u);
    for (std::size_t j = 0; j < 300; ++j) ASSERT_EQ(bits(trace[kScopeMixTrace][j] * 2.0f), bits(out[j]));
    engine->setScopeEnabled(false);
    core(*engine, 5000);
    engine->setScopeEnabled(true);
    core(*engine, 10);
    ASSERT_EQ(engine->copyScope(2048, dest, &first), 10u);
    EXPECT_EQ(first, 6300u);
}

// A reader on another thread (run under ThreadSanitizer) copies while the
// render writes: every frame it gets is the frame the output had there, and
// its mix is the clipped sum of its voices.
TEST(SynthScope, ReaderOnAnotherThreadGetsWholeFrames) {
    auto engine = Engine::create();
    engine->PSG_PlayMML(u"T200 W4 L16 CEG>C<GE:", u"W2 O3 \\0,9,4 C4 G4:", u"W5 O2 L8 C.D:", u"W1 O5 V63 C1:");
    engine->setScopeEnabled(true);
    constexpr std::size_t kFrames = 40 * 2048;
    std::vector<float> out(kFrames);
    // The render waits for the reader's next attempt before each block, so
    // the two overlap however the threads are scheduled.
    std::atomic<bool> done{false};
    std::atomic<std::size_t> attempts{0};
    std::thread audio([&] {
        for (std::size_t at = 0; at < kFrames; at += 2048) {
            while (attempts.load() < at / 2048) std::this_thread::yield();
            engine->PSG_Core(out.data() + at, 2048);
        }
        done.store(true);
    });
    struct Copy {
        std::uint64_t first;
        std::vector<float> mix;
    };
    std::vector<Copy> copies;
    std::vector<float> trace[kScopeTraces];
    float* dest[kScopeTraces];
    for (int t = 0; t < kScopeTraces; ++t) {
        trace[t].resize(2048);
        dest[t] = trace[t].data();
    }
    std::size_t unmixed = 0;
    for (bool last = false; !last;) {
        last = done.load();
        std::uint64_t first = 0;
        const std::size_t n = engine->copyScope(2048, dest, &first);
        for (std::size_t j = 0; j < n; ++j) {
            float s = (trace[0][j] + trace[2][j]) + (trace[1][j] + trace[3][j]);
            s = std::max(std::min(s, 0.5f), -0.5f);
            unmixed += bits(s) != bits(trace[kScopeMixTrace][j]);
        }
        if (n > 0 && copies.size() < 200) copies.push_back({first, {trace[4].begin(), trace[4].begin() + n}});
        attempts.fetch_add(1);
    }
    audio.join();
    EXPECT_EQ(unmixed, 0u);
    ASSERT_FALSE(copies.empty());
    for (const Copy& c : copies)
        for (std::size_t j = 0; j < c.mix.size(); ++j)
            ASSERT_EQ(bits(c.mix[j] * 2.0f), bits(out[c.first + j])) << "frame " << c.first + j;
}
