// How soon a typed note is heard: the real program with the silent clocked
// output (which renders 2,048 frames at a time at the real rate, each buffer
// when its clock reaches the buffer's first frame), a note key sent to the
// window through the platform layer, and the engine's own clock read at both
// ends.
//
//   rendered_frames     frames from the engine's render position when the key
//                       reached the channel editor to the note's first sample
//                       (its first tick): mean and largest; 0 means the note
//                       starts the first buffer rendered after the key
//   heard_frames        from the sample the silent output's clock "plays" at
//                       the moment of the key to the note's first sample: what
//                       a listener waits, the output's own buffer included;
//                       at most one buffer (2,048 frames) is the aim
//   within_buffer       the share of notes heard within one buffer
//
// The keys are spread over the output's 46 ms buffer cycle: before each one
// the bench waits for the output to render a buffer, then 5 to 45 ms more,
// serving the loop meanwhile.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QPlainTextEdit>
#include <QTest>

#include <algorithm>
#include <chrono>
#include <thread>

#include "app/application.h"
#include "app/audition.h"
#include "app/controls.h"
#include "app/dispatcher.h"
#include "app/main_window.h"
#include "bench/silent_dialogs.h"
#include "engine/constants.h"
#include "engine/engine.h"

namespace {

using namespace bleeptone;
using bleeptone::bench::SilentDialogs;

void BM_TypedNoteLatency(benchmark::State& state) {
    SilentDialogs dialogs;
    Application app(dialogs);
    Application::Options options;
    options.screenHeights = {1080};
    options.audio = AudioBackend::Null;
    app.start(options);
    app.dispatcher().setLeaveLoop([] {});
    MainWindow& main = app.window();
    main.show();
    main.activateWindow();
    if (!QTest::qWaitForWindowActive(&main, 5000)) qWarning("the window did not become active");
    QWidget* editor = main.controls().widget(control::channelEditor(1));
    editor->setFocus();
    QCoreApplication::processEvents();
    Engine& engine = app.engine();

    using Clock = std::chrono::steady_clock;
    double rendered = 0, heard = 0, renderedMax = 0, heardMax = 0;
    std::uint64_t within = 0, notes = 0;
    for (auto _ : state) {
        // Each key a note: "c", then its length "8", then Backspace twice.
        for (const Qt::Key key : {Qt::Key_C, Qt::Key_8}) {
            // The output's clock: it renders [R - 2,048, R) when its clock reaches R - 2,048.
            // The count moves at each block of the call: its end is the next multiple of a buffer.
            const std::uint64_t seen = engine.framesRendered();
            while (engine.framesRendered() == seen || engine.framesRendered() % kPreferredBufferFrames != 0)
                std::this_thread::sleep_for(std::chrono::microseconds(50));
            const std::uint64_t bufferEnd = engine.framesRendered();
            const Clock::time_point bufferTime = Clock::now();
            // Then the loop serves its timers until the key, as the program's does while nobody types.
            const Clock::time_point keyDue = bufferTime + std::chrono::milliseconds(5 + (notes * 7) % 41);
            while (Clock::now() < keyDue) {
                QCoreApplication::processEvents();
                std::this_thread::sleep_for(std::chrono::microseconds(200));
            }
            const std::uint32_t before = app.audition().lastSong();
            const Clock::time_point keyTime = Clock::now();
            QTest::keyClick(main.windowHandle(), key, Qt::NoModifier);
            if (app.audition().lastSong() == before) continue;  // nothing sounded
            const double clockAtKey = static_cast<double>(bufferEnd - kPreferredBufferFrames) +
                                      std::chrono::duration<double>(keyTime - bufferTime).count() * kSampleRate;
            // Until the note's first tick has run.
            PlayheadSnapshot s;
            while (!engine.playheadAt(engine.framesRendered(), s) || s.song != app.audition().lastSong())
                QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
            const double first = static_cast<double>(s.frame - s.songFrame);
            const double r = first - static_cast<double>(app.audition().lastKeyFrame());
            const double h = first - clockAtKey;
            rendered += r;
            heard += h;
            renderedMax = std::max(renderedMax, r);
            heardMax = std::max(heardMax, h);
            within += h <= kPreferredBufferFrames ? 1 : 0;
            ++notes;
        }
        for (int i = 0; i < 2; ++i) QTest::keyClick(main.windowHandle(), Qt::Key_Backspace, Qt::NoModifier);
        QCoreApplication::processEvents();
    }
    const double n = notes ? static_cast<double>(notes) : 1.0;
    state.counters["rendered_frames"] = rendered / n;
    state.counters["rendered_frames_max"] = renderedMax;
    state.counters["heard_frames"] = heard / n;
    state.counters["heard_frames_max"] = heardMax;
    state.counters["within_buffer"] = static_cast<double>(within) / n;
    state.counters["notes"] = static_cast<double>(notes);
}
BENCHMARK(BM_TypedNoteLatency)->Iterations(200)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication qapp(argc, argv);
    Q_INIT_RESOURCE(resources);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
