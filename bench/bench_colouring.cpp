// The cost of one typed character in a channel editor that holds a long
// song: the "?" check of what was typed and the recolouring of the changed
// line, as the window does them.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QPlainTextEdit>
#include <QTextCursor>

#include "controls.h"
#include "main_window.h"

namespace {

using namespace bleeptone;

void BM_TypeIntoLongEditor(benchmark::State& state) {
    MainWindow window;
    auto* editor = static_cast<QPlainTextEdit*>(window.controls().widget(control::channelEditor(1)));
    const QString verse = QString("T120O4L8V40 CDEF GAB>C <B-AGF# EDC4. R8 \\3W2 ").repeated(2).left(80);
    QStringList verses;
    for (int i = 0; i < static_cast<int>(state.range(0)); ++i) verses << verse;
    window.controls().setText(control::channelEditor(1), verses.join('\n'));
    window.colourAllEditors();
    QCoreApplication::processEvents();

    QTextCursor cursor(editor->document());
    cursor.setPosition(editor->document()->characterCount() / 2);
    bool insert = true;
    for (auto _ : state) {
        // Type one character in the middle of the song (then take it away
        // again in the next round, so the text stays the same size).
        if (insert) cursor.insertText("c");
        else cursor.deletePreviousChar();
        insert = !insert;
    }
    state.counters["verses"] = static_cast<double>(state.range(0));
}
BENCHMARK(BM_TypeIntoLongEditor)->Arg(5000)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
