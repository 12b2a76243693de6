// The tune checks of a ten-minute four-channel song, as the window reruns
// them after an edit: on the song's assembly and note map, and with the map
// made first; the same song with faults in every verse of a channel.
#include <benchmark/benchmark.h>

#include "bench/ten_minute_song.h"
#include "song/note_map.h"
#include "song/song_assembly.h"
#include "song/tune_checks.h"

namespace {

using namespace bleeptone;
using bleeptone::bench::tenMinuteSong;

// Each of channel 2's verses, played 75 times over, gets a volume the engine
// masks and a quarter note a "?" cuts short to the verse's eighths, so that
// it runs an eighth over its measures; the verses that start later are out
// of step.
ProjectModel faultySong() {
    ProjectModel m = tenMinuteSong();
    QString verses = m.text(control::channelEditor(2));
    verses.replace("l8 ", "l8 v100 c4? ");
    m.setText(control::channelEditor(2), verses);
    return m;
}

void checksOnTheMap(benchmark::State& state, const ProjectModel& song) {
    const std::array<ChannelAssembly, 4> assembly = assembleSongWithMap(song);
    const NoteMap map = mapSong(assembly);
    std::size_t findings = 0;
    for (auto _ : state) {
        findings = checkTune(song, assembly, map).size();
        benchmark::DoNotOptimize(findings);
    }
    state.counters["findings"] = static_cast<double>(findings);
}

// The checks alone, on the assembly and map an edit has made already.
void BM_TuneChecksTenMinutes(benchmark::State& state) { checksOnTheMap(state, tenMinuteSong()); }
BENCHMARK(BM_TuneChecksTenMinutes)->Unit(benchmark::kMillisecond);

void BM_TuneChecksTenMinutesWithFaults(benchmark::State& state) { checksOnTheMap(state, faultySong()); }
BENCHMARK(BM_TuneChecksTenMinutesWithFaults)->Unit(benchmark::kMillisecond);

// What a rerun costs in all when nothing else has made the map: assembly,
// map and checks.
void BM_AssembleMapAndCheckTenMinutes(benchmark::State& state) {
    const ProjectModel song = tenMinuteSong();
    for (auto _ : state) benchmark::DoNotOptimize(checkTune(song).size());
}
BENCHMARK(BM_AssembleMapAndCheckTenMinutes)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
