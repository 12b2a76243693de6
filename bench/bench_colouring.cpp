// The cost of one keystroke in a channel editor, measured the way a person
// types: a key press and release go to the window through the platform
// layer, and the loop runs until it is idle again (the "?" check, colouring,
// the document's title, the info bar, the repaint). Each case is measured
// beside the same editor without any of the program around it (a bare
// QPlainTextEdit with the channel editors' font, size and wrap mode), which
// is the floor the widget's own relayout and repaint set.
//
//   BM_Type/verse:N          one verse of N characters, typing at its end
//   BM_Type/verses:5000      5,000 verses of 80 characters, typing in the middle one
//   BM_TypeAmongProblems     300 verses a pattern plays, each with faults the
//                            tune checks mark (the first ten minutes' worth),
//                            typing in verse 75
//   ...SongView              the same with the Song View open (its pattern plays
//                            verses 1 to 4 or the middle ones): the map is rebuilt
//                            a moment after the last key, never on a keystroke
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QPlainTextEdit>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>

#include <memory>

#include "app/application.h"
#include "app/controls.h"
#include "app/dialogs.h"
#include "app/dispatcher.h"
#include "app/main_window.h"
#include "app/song_view_link.h"
#include "bench/silent_dialogs.h"

namespace {

using namespace bleeptone;
using bleeptone::bench::SilentDialogs;

void runUntilIdle() {
    for (int i = 0; i < 3; ++i) {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
    }
}

const QString kVerse = QString("T120O4L8V40 CDEF GAB>C <B-AGF# EDC4. R8 \\3W2 ").repeated(2).left(80);

// A verse the tune checks find faults in: a volume the engine masks, a
// length a "?" cuts short; 4 measures and 1/8 long.
const QString kFaultyVerse = QString("l8 v100 cdefgab>c< c4? cdefgab>c< cdefgab>c< cdefgab>c<");

// The editor's text: one verse of `length` characters, or `verses` verses of 80.
QString songText(int verses, int length) {
    if (verses == 1) return kVerse.repeated(length / 80 + 1).left(length);
    QStringList lines;
    for (int i = 0; i < verses; ++i) lines << kVerse;
    return lines.join('\n');
}

// The real program with channel 1's editor focused, or a bare editor like it.
struct Typing {
    SilentDialogs dialogs;
    std::unique_ptr<Application> app;
    std::unique_ptr<QPlainTextEdit> bare;
    QPlainTextEdit* editor = nullptr;
    QWindow* window = nullptr;

    Typing(bool program, int verses, int length, bool problems = false, bool songView = false) {
        app = std::make_unique<Application>(dialogs);
        Application::Options options;
        options.screenHeights = {1080};
        options.audio = AudioBackend::Null;
        app->start(options);
        app->dispatcher().setLeaveLoop([] {});
        MainWindow& main = app->window();
        auto* channel = static_cast<QPlainTextEdit*>(main.controls().widget(control::channelEditor(1)));
        if (program) {
            main.show();
            if (problems) {
                QStringList lines, pattern;
                for (int i = 1; i <= verses; ++i) lines << kFaultyVerse, pattern << QString::number(i);
                main.controls().setText(control::channelEditor(1), lines.join('\n'));
                main.controls().setText(control::patternField(1), pattern.join('+'));
            } else {
                main.controls().setText(control::channelEditor(1), songText(verses, length));
            }
            main.colourAllEditors();
            editor = channel;
            if (songView) {
                const int middle = verses / 2;
                main.controls().setText(control::patternField(1),
                                        verses == 1 ? QString("1+1") : QString("%1+%2").arg(middle).arg(middle + 1));
                app->songView().show(true);
                app->songView().rebuild();
            }
        } else {
            bare = std::make_unique<QPlainTextEdit>();
            bare->setFont(channel->font());
            bare->setPalette(channel->palette());
            bare->setLineWrapMode(channel->lineWrapMode());
            bare->resize(channel->size());
            bare->show();
            bare->setPlainText(songText(verses, length));
            editor = bare.get();
        }
        QWidget* top = editor->window();
        top->activateWindow();
        if (!QTest::qWaitForWindowActive(top, 5000)) qWarning("the window did not become active");
        editor->setFocus();
        runUntilIdle();
        // At the end of the verse, or in the middle of the song.
        QTextCursor cursor(editor->document());
        if (verses == 1) cursor.movePosition(QTextCursor::End);
        else cursor.setPosition(editor->document()->findBlockByNumber(problems ? 74 : verses / 2).position() + 40);
        editor->setTextCursor(cursor);
        if (program) app->dispatcher().submit(AppEvent::control(control::channelEditor(1), ControlEventType::Focus));
        runUntilIdle();
        // The checks run once the typing pauses: let them, before the keys.
        if (problems) QTest::qWait(1000);
        window = top->windowHandle();
    }
};

// One keystroke and everything it sets off (a function of its own for profilers).
[[gnu::noinline]] void keystroke(QWindow* window, Qt::Key key) {
    QTest::keyClick(window, key, Qt::NoModifier);
    runUntilIdle();
    benchmark::ClobberMemory();  // not a tail call: profilers see the whole keystroke inside
}

// Types "c", then takes it away again with Backspace, so that the text stays
// the same size: every round is one keystroke.
void typeKeys(benchmark::State& state, bool program, int verses, int length, bool problems = false,
              bool songView = false) {
    Typing typing(program, verses, length, problems, songView);
    // Warm up: the first keystrokes fill the font and glyph caches.
    for (int i = 0; i < 4; ++i) keystroke(typing.window, i % 2 == 0 ? Qt::Key_C : Qt::Key_Backspace);
    bool insert = true;
    for (auto _ : state) {
        keystroke(typing.window, insert ? Qt::Key_C : Qt::Key_Backspace);
        insert = !insert;
    }
    state.counters["chars"] = static_cast<double>(typing.editor->document()->characterCount() - 1);
}

void BM_TypeInVerse(benchmark::State& state) { typeKeys(state, true, 1, static_cast<int>(state.range(0))); }
void BM_TypeInVerseBare(benchmark::State& state) { typeKeys(state, false, 1, static_cast<int>(state.range(0))); }
void BM_TypeInVerses(benchmark::State& state) { typeKeys(state, true, static_cast<int>(state.range(0)), 80); }
void BM_TypeInVersesBare(benchmark::State& state) { typeKeys(state, false, static_cast<int>(state.range(0)), 80); }
void BM_TypeAmongProblems(benchmark::State& state) { typeKeys(state, true, 300, 80, true); }
void BM_TypeInVerseSongView(benchmark::State& state) {
    typeKeys(state, true, 1, static_cast<int>(state.range(0)), false, true);
}
void BM_TypeInVersesSongView(benchmark::State& state) {
    typeKeys(state, true, static_cast<int>(state.range(0)), 80, false, true);
}

BENCHMARK(BM_TypeInVerse)->ArgName("verse")->Arg(2000)->Arg(5000)->Arg(10000)->Arg(20000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TypeInVerseBare)->ArgName("verse")->Arg(2000)->Arg(5000)->Arg(10000)->Arg(20000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TypeInVerses)->ArgName("verses")->Arg(5000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TypeInVersesBare)->ArgName("verses")->Arg(5000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TypeAmongProblems)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TypeInVerseSongView)->ArgName("verse")->Arg(5000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TypeInVersesSongView)->ArgName("verses")->Arg(5000)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("BLEEPTONE_AUDIO", "null");
    QApplication app(argc, argv);
    Q_INIT_RESOURCE(resources);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
