// Export speed per format, in seconds of audio per second of work, on a
// four-voice song of about a minute (Demo 1's verses seven times over, with a
// drum-like fourth channel). The file goes to the temporary directory.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "engine/offline_render.h"
#include "export/audio_export.h"

namespace {

using namespace bleeptone;

std::u16string times(const std::u16string& verse, int n) {
    std::u16string text;
    for (int i = 0; i < n; ++i) text += verse;
    return text;
}

// Seven verses of four whole notes at tempo code 11 (224 ticks each): 65.3 s.
ExportSpec longSong() {
    ExportSpec spec;
    spec.texts = {
        u"t11 w1 o1 \\8 v48 L8 " + times(u"G4B-B-G4B-B- G4>E-E-<G4>E-E-< A>CF4<A>CF4< F4AAGB->D4< ", 7),
        u"t11 w4 o3 \\2 v42 L8 " + times(u"GB->D4<GB->D4< GB->E-<B-GB->E-<B- A>CF4<A>CF4< FA>C<AGB->D4< ", 7),
        u"t11 w4 o5 \\1,9,2,5 v44 L4 " + times(u"GG2G8F8 E-E-2E-8D8 CCCD E-2D2 ", 7),
        u"t11 w6 o2 v30 L16 " + times(u"CCRC", 7 * 16),
    };
    return spec;
}

std::string outputPath(const char* extension) {
    const char* dir = std::getenv("TMPDIR");
    return std::string(dir && *dir ? dir : "/tmp") + "/bleeptone-bench-export" + extension;
}

void exportAs(benchmark::State& state, ExportFormat format, const char* extension) {
    ExportSpec spec = longSong();
    spec.format = format;
    const std::string path = outputPath(extension);
    double seconds = 0;
    for (auto _ : state) {
        const ExportResult r = exportAudio(spec, path, {}, nullptr);
        if (!r.ok()) {
            state.SkipWithError(r.message.c_str());
            break;
        }
        seconds = static_cast<double>(r.frames) / kSampleRate;
    }
    std::remove(path.c_str());
    state.counters["audio_s"] = seconds;
    state.counters["x_realtime"] = benchmark::Counter(seconds * static_cast<double>(state.iterations()),
                                                      benchmark::Counter::kIsRate);
}

void BM_ExportWav(benchmark::State& state) { exportAs(state, ExportFormat::Wav, ".wav"); }
void BM_ExportFlac(benchmark::State& state) { exportAs(state, ExportFormat::Flac, ".flac"); }
void BM_ExportOgg(benchmark::State& state) { exportAs(state, ExportFormat::Ogg, ".ogg"); }
void BM_ExportMp3(benchmark::State& state) { exportAs(state, ExportFormat::Mp3, ".mp3"); }
BENCHMARK(BM_ExportWav)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ExportFlac)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ExportOgg)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ExportMp3)->Unit(benchmark::kMillisecond)->UseRealTime();

// One render of the song to its end, without encoding: what the measuring
// pass adds to every export (and each stem's render costs).
void BM_RenderPass(benchmark::State& state) {
    const ExportSpec song = longSong();
    OfflineRenderSpec spec;
    spec.texts.assign(song.texts.begin(), song.texts.end());
    spec.maxFrames = song.maxFrames;
    struct : RenderSink {
        bool samples(const float* data, std::size_t) override {
            benchmark::DoNotOptimize(data);
            return true;
        }
        bool event(const EngineEvent&) override { return true; }
    } sink;
    double seconds = 0;
    for (auto _ : state) seconds = static_cast<double>(renderOffline(spec, sink).frames) / kSampleRate;
    state.counters["audio_s"] = seconds;
    state.counters["x_realtime"] = benchmark::Counter(seconds * static_cast<double>(state.iterations()),
                                                      benchmark::Counter::kIsRate);
}
BENCHMARK(BM_RenderPass)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
