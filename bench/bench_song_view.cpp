// The song view after an edit to a ten-minute four-channel song (9,336
// notes): what the rebuild costs once the edit's delay has passed (the
// song's assembly, the note map, the view's lanes; a second map of what plays
// when a channel is muted) and the paint of the rebuilt view, in the real
// program (offscreen). The view opens on the first 16 measures; zoomed out,
// every note of the ten minutes is in view.
//
//   BM_RebuildAndPaint/zoomed_out:0   the opening view
//   BM_RebuildAndPaint/zoomed_out:1   the whole song in view
//   BM_Paint/zoomed_out:N             the paint alone (what the playhead's timer costs)
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QTemporaryDir>

#include <memory>

#include "app/application.h"
#include "app/dialogs.h"
#include "app/dispatcher.h"
#include "app/main_window.h"
#include "app/song_view_link.h"
#include "app/window_fields.h"
#include "bench/silent_dialogs.h"
#include "bench/ten_minute_song.h"
#include "project/project_model.h"
#include "ui/song_view.h"

namespace {

using namespace bleeptone;
using bleeptone::bench::SilentDialogs;

struct Program {
    SilentDialogs dialogs;
    std::unique_ptr<Application> app;
    SongViewWindow* view = nullptr;

    explicit Program(bool zoomedOut) {
        app = std::make_unique<Application>(dialogs);
        Application::Options options;
        options.screenHeights = {1080};
        options.audio = AudioBackend::Null;
        app->start(options);
        app->dispatcher().setLeaveLoop([] {});
        WindowFields fields(app->window().controls());
        copyProject(bench::tenMinuteSong(), fields);
        app->window().show();
        app->songView().show(true);
        view = app->songView().window();
        view->resize(1000, 480);
        QCoreApplication::processEvents();
        if (zoomedOut) view->canvas()->zoomBy(1e-9, 0);  // as far out as it goes: the whole song
        app->songView().rebuild();
        QCoreApplication::processEvents();
    }
};

void BM_RebuildAndPaint(benchmark::State& state) {
    Program program(state.range(0) != 0);
    std::size_t notes = 0;
    for (auto _ : state) {
        program.app->songView().rebuild();
        program.view->canvas()->repaint();  // painted now, not at the next pass of the loop
        notes = 0;
        for (const MappedChannel& ch : program.view->canvas()->content().map.channels) notes += ch.notes.size();
    }
    state.counters["notes"] = static_cast<double>(notes);
    state.counters["minutes"] = static_cast<double>(program.view->canvas()->content().map.frames) / kSampleRate / 60;
}
BENCHMARK(BM_RebuildAndPaint)->ArgName("zoomed_out")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_Paint(benchmark::State& state) {
    Program program(state.range(0) != 0);
    for (auto _ : state) program.view->canvas()->repaint();
}
BENCHMARK(BM_Paint)->ArgName("zoomed_out")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("BLEEPTONE_AUDIO", "null");
    const QTemporaryDir home;  // the program's settings go here, not into the user's
    qputenv("XDG_CONFIG_HOME", home.path().toUtf8());
    qputenv("XDG_DATA_HOME", home.path().toUtf8());
    QApplication app(argc, argv);
    Q_INIT_RESOURCE(resources);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
