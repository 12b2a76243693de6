// The cost of one recovery copy of a large project (3 MB of MML in the four
// channel editors), written from the window on the main thread as the
// autosave timer does it.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QFileInfo>
#include <QTemporaryDir>

#include "app/autosave.h"
#include "app/main_window.h"
#include "app/window_fields.h"
#include "project/control_numbers.h"
#include "project/project_model.h"

namespace {

using namespace bleeptone;

// 9,400 verses of 80 characters in each editor: 750 KB each, 3 MB in all.
void fill(MainWindow& window) {
    const QString verse = QString("t120o4l8v40 cdef gab>c <b-agf# edc4. r8 \\3w2 ").repeated(2).left(80);
    QStringList verses;
    for (int i = 0; i < 9400; ++i) verses << verse;
    const QString text = verses.join('\n');
    for (int c = 1; c <= 4; ++c) window.controls().setText(control::channelEditor(c), text);
    window.colourAllEditors();
}

// A whole recovery copy, written and waited for.
void BM_RecoveryCopyOfAThreeMegabyteProject(benchmark::State& state) {
    MainWindow window;
    fill(window);
    WindowFields fields(window.controls());
    QTemporaryDir dir;
    Autosave autosave(dir.path(), fields);
    autosave.start();
    autosave.changed({}, "Untitled* - Bleeptone");
    for (auto _ : state) {
        if (!autosave.writeNow()) state.SkipWithError("the copy could not be written");
    }
    state.counters["bytes"] = static_cast<double>(QFileInfo(autosave.copyPath()).size());
}
BENCHMARK(BM_RecoveryCopyOfAThreeMegabyteProject)->Unit(benchmark::kMillisecond);

// What the autosave timer costs the main thread (and so the typing): taking
// the texts out of the window; the file is made and written on another thread.
void BM_RecoveryCopyMainThreadPart(benchmark::State& state) {
    MainWindow window;
    fill(window);
    WindowFields fields(window.controls());
    for (auto _ : state) {
        ProjectModel snapshot;
        copyProject(fields, snapshot);
        benchmark::DoNotOptimize(snapshot);
    }
}
BENCHMARK(BM_RecoveryCopyMainThreadPart)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
