// The note map of a ten-minute four-channel song, as the song view rebuilds
// it after an edit: a project of four verses per channel whose patterns play
// them 75 times over (300 measures of 4/4 at 120 beats per minute, 600 s),
// sixteenths, eighths, an envelope and a decay.
#include <benchmark/benchmark.h>

#include "bench/ten_minute_song.h"
#include "song/note_map.h"
#include "song/song_assembly.h"

namespace {

using namespace bleeptone;
using bench::tenMinuteSong;

// Mapping alone, from the assembled texts.
void BM_NoteMapTenMinutes(benchmark::State& state) {
    const ProjectModel song = tenMinuteSong();
    const std::array<ChannelAssembly, 4> assembly = assembleSongWithMap(song);
    std::size_t notes = 0;
    for (auto _ : state) {
        const NoteMap map = mapSong(assembly);
        notes = 0;
        for (const MappedChannel& ch : map.channels) notes += ch.notes.size();
        benchmark::DoNotOptimize(map.frames);
        if (map.frames < 599ull * kSampleRate) state.SkipWithError("the song is shorter than ten minutes");
    }
    state.counters["notes"] = static_cast<double>(notes);
}
BENCHMARK(BM_NoteMapTenMinutes)->Unit(benchmark::kMillisecond);

// What a rebuild after an edit costs in all: assembly, then the map.
void BM_AssembleAndMapTenMinutes(benchmark::State& state) {
    const ProjectModel song = tenMinuteSong();
    for (auto _ : state) benchmark::DoNotOptimize(mapSong(assembleSongWithMap(song)).frames);
}
BENCHMARK(BM_AssembleAndMapTenMinutes)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
