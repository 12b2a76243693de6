// Engine costs: render throughput (as a multiple of real time), one tick,
// and the position query per 1,000 characters.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "engine/engine.h"

namespace {

using namespace bleeptone;

// Four voices sounding all the time: long notes on every channel, looping.
const char16_t* const kFourVoices[4] = {u"W0O4L1C:", u"W2O5L1E:", u"W3O3L1G:", u"W4O2L1C:"};

// Renders one second of four-voice audio per iteration in 2,048-frame calls.
void renderSecond(benchmark::State& state, RenderPath path) {
    auto engine = Engine::create();
    engine->synth().setRenderPath(path);
    engine->PSG_PlayMML(kFourVoices[0], kFourVoices[1], kFourVoices[2], kFourVoices[3]);
    std::vector<float> buffer(2048);
    for (auto _ : state) {
        std::size_t left = kSampleRate;
        while (left > 0) {
            const std::size_t n = left < buffer.size() ? left : buffer.size();
            engine->PSG_Core(buffer.data(), n);
            left -= n;
        }
        benchmark::DoNotOptimize(buffer.data());
        EngineEvent ev;
        while (engine->pollEvent(ev)) {
        }
    }
    state.SetItemsProcessed(state.iterations() * kSampleRate);
    // Seconds of audio per second of work.
    state.counters["x_realtime"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_RenderSimd(benchmark::State& state) { renderSecond(state, RenderPath::Simd); }
void BM_RenderScalar(benchmark::State& state) { renderSecond(state, RenderPath::Scalar); }
BENCHMARK(BM_RenderSimd)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RenderScalar)->Unit(benchmark::kMicrosecond);

// A busy four-voice tune: sixteenth notes, an envelope, a decay, noise.
const SongTexts kBusy = {u"T180L16W2O5CEG>C<GEC8:", u"T180L8W3O3C\\1,9,2,5CGG:", u"T180W4V30O2C2\\4G2:",
                         u"T180L16W5O1V20C*1C:"};

// One 2,048-frame render callback, as the sound device asks for it, against
// its deadline of 2048 / 44100 s = 46.4 ms: median and worst call. With
// argument 1 the oscilloscope ring is on (its reader is left out: it runs on
// the main thread); with 2 a seamless loop goes back to its start at every tick.
void BM_Callback2048(benchmark::State& state) {
    auto engine = Engine::create();
    engine->PSG_PlayMML(kBusy[0], kBusy[1], kBusy[2], kBusy[3]);
    engine->setScopeEnabled(state.range(0) == 1);
    // 2: a seamless loop one tick long, so that every call goes back to its start four or five times.
    if (state.range(0) == 2) engine->setLoop(LoopRange{10 * kTickSamples + 100, 11 * kTickSamples + 100});
    std::vector<float> buffer(2048);
    std::vector<double> micros;
    micros.reserve(1 << 20);
    EngineEvent ev;
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        engine->PSG_Core(buffer.data(), buffer.size());
        const auto t1 = std::chrono::steady_clock::now();
        if (micros.size() < micros.capacity()) micros.push_back(std::chrono::duration<double, std::micro>(t1 - t0).count());
        while (engine->pollEvent(ev)) {
        }
    }
    std::sort(micros.begin(), micros.end());
    state.counters["median_us"] = micros[micros.size() / 2];
    state.counters["worst_us"] = micros.back();
    state.counters["deadline_us"] = 2048.0 * 1e6 / kSampleRate;
}
BENCHMARK(BM_Callback2048)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond);

// Play from Here five minutes into the busy tune: the silent render of
// 13,230,000 samples and the hand-over (an engine without output takes it
// at once), as PSG_PlayMMLFrom does it on the main thread.
void seekFiveMinutes(benchmark::State& state, RenderPath path) {
    auto engine = Engine::create();
    engine->synth().setRenderPath(path);
    for (auto _ : state) engine->PSG_PlayMMLFrom(kBusy, 300ull * kSampleRate);
    state.counters["x_realtime"] =
        benchmark::Counter(300.0 * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
void BM_SeekFiveMinutesSimd(benchmark::State& state) { seekFiveMinutes(state, RenderPath::Simd); }
void BM_SeekFiveMinutesScalar(benchmark::State& state) { seekFiveMinutes(state, RenderPath::Scalar); }
BENCHMARK(BM_SeekFiveMinutesSimd)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SeekFiveMinutesScalar)->Unit(benchmark::kMillisecond);

// Where Play from Here finds its sample: the first frame at a position near
// the end of a ten-minute text (only the sequencer runs).
void BM_FirstFrameAt(benchmark::State& state) {
    std::u16string text;  // 250 bars of 228 ticks: 593 s
    for (int bar = 0; bar < 250; ++bar) text += u"T120L16CDEFGAB>C<BAGFEDC8R8 ";
    const auto position = static_cast<std::int32_t>(text.size() - 3);
    for (auto _ : state) benchmark::DoNotOptimize(firstFrameAt({text, u"", u"", u""}, 0, position));
}
BENCHMARK(BM_FirstFrameAt)->Unit(benchmark::kMillisecond);

// One tick with every channel reading a note: a text of short notes with
// settings between them, so every tick reads commands on all four channels.
void BM_Tick(benchmark::State& state) {
    auto engine = Engine::create();
    std::u16string busy;
    for (int i = 0; i < 2000; ++i) busy += u"T240L64V40W1O4\\2C*1";
    busy += u":";
    engine->PSG_PlayMML(busy, busy, busy, busy);
    float sample[1];
    EngineEvent ev;
    for (auto _ : state) {
        engine->synth().state().interrupt_cnt = 0;  // force a tick before the one sample
        engine->PSG_Core(sample, 1);
        while (engine->pollEvent(ev)) {
        }
    }
}
BENCHMARK(BM_Tick)->Unit(benchmark::kNanosecond);

// The position query over a text of the given length, at its end.
void BM_Query(benchmark::State& state) {
    std::u16string text;
    const std::u16string phrase = u"T120O4L8V40 CDEF GAB>C <B-AGF# EDC4. R8 \\3W2 ";
    while (text.size() < static_cast<std::size_t>(state.range(0))) text += phrase;
    text.resize(static_cast<std::size_t>(state.range(0)));
    MML_Info info;
    for (auto _ : state) {
        benchmark::DoNotOptimize(PSG_GetInfoMML(std::u16string_view(text), 2147483647, &info));
    }
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_Query)->Arg(1000)->Arg(100000)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
