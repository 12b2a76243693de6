// The Song View: its facts, its opening view, the caret's notes and a
// selection's bands through a pattern, what clicks, drags, the wheel and the
// keys ask; and on the whole program: F6, the window remembered, a click in a
// lane or on the ruler, a dragged range, the caret and the playhead followed.

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QSettings>
#include <QSignalSpy>
#include <QTest>
#include <QWheelEvent>

#include <cmath>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "app/playback_view.h"
#include "app/song_commands.h"
#include "app/song_view_link.h"
#include "app/tune_problems.h"
#include "engine/engine.h"
#include "project/project_blocks.h"
#include "project/project_model.h"
#include "song/note_map.h"
#include "song/song_assembly.h"
#include "tests/hand_output.h"
#include "tests/program_test.h"
#include "ui/oscilloscope.h"
#include "ui/song_view.h"

namespace bleeptone {
namespace {

using testing::runPosted;

constexpr std::uint64_t tick(std::uint64_t n) { return n * kTickSamples; }
constexpr std::uint64_t kQuarter = tick(48);  // at tempo 12

SongViewContent contentOf(const NoteMap& map) {
    SongViewContent c;
    c.map = map;
    c.beatsPerMeasure = 4;
    c.measureFrames = 4 * kQuarter;
    c.beatsPerMinute = 60.0 * kSampleRate / static_cast<double>(kQuarter);
    c.songLength = map.songLength;
    return c;
}

// Channel 1 plays verse 1, verse 2, verse 1: c d | e | c d, quarters.
SongViewContent patternSong() {
    ProjectModel m;
    EXPECT_TRUE(loadBuiltIn(BuiltInProject::NewTemplate, m));
    m.setText(control::channelEditor(1), "c4 d4\ne4");
    m.setText(control::patternField(1), "1+2+1");
    m.setText(control::channelEditor(2), "o2 c1");
    return contentOf(mapSong(assembleSongWithMap(m)));
}

TEST(SongView, MomentsAndFacts) {
    const struct {
        std::uint64_t frames;
        const char* shown;
    } moments[] = {{0, "0:00.0"}, {2204, "0:00.0"}, {2205, "0:00.1"}, {44064, "0:01.0"}, {3677940, "1:23.4"}};
    for (const auto& m : moments) EXPECT_EQ(songMoment(m.frames), m.shown) << m.frames;

    // Channel 1 ends after two quarters (tick 96); channel 2 loops after a whole note (tick 192).
    SongViewContent c = contentOf(mapTexts({u"C4 D4", u"C1:", u"", u""}));
    EXPECT_EQ(songFactsText(c), QString("0:02.0 long, 120.1 BPM, 1 measure of 4/4\nChannel 1 ends at 0:01.0  \u00b7  2 "
                                        "loops at 0:02.0  \u00b7  3 has no verses  \u00b7  4 has no verses"));
    c.muted[1] = true;
    c.songLength = tick(96);  // what plays: channel 1 alone
    EXPECT_EQ(songFactsText(c), QString("0:01.0 long, 120.1 BPM, 1 measure of 4/4\nChannel 1 ends at 0:01.0  \u00b7  2 "
                                        "loops at 0:02.0 (muted)  \u00b7  3 has no verses  \u00b7  4 has no verses"));
    EXPECT_TRUE(songFactsText(contentOf(mapTexts({u"", u"", u"", u""}))).startsWith("Nothing plays"));
}

TEST(SongView, OpensOnTheWholeShortSongOrSixteenMeasures) {
    SongViewWindow window;
    window.resize(800, 400);
    window.show();
    SongCanvas* canvas = window.canvas();
    window.setContent(patternSong());  // 5 quarters: all of it
    EXPECT_NEAR(canvas->framesPerPixel() * canvas->width(), canvas->extentFrames(), canvas->framesPerPixel());
    EXPECT_EQ(canvas->firstFrame(), 0);
    // 40 whole notes (80 s): the first 16 measures.
    SongViewWindow longer;
    longer.resize(800, 400);
    longer.show();
    std::u16string text = u"L1 ";
    for (int i = 0; i < 40; ++i) text += u"C";
    longer.setContent(contentOf(mapTexts({text, u"", u"", u""})));
    EXPECT_NEAR(longer.canvas()->framesPerPixel() * longer.canvas()->width(), 16.0 * 4 * kQuarter, 1.0);
    EXPECT_GT(longer.scrollBar()->maximum(), 0);
    // Later contents keep the view where the user left it.
    longer.canvas()->scrollBy(100);
    const double first = longer.canvas()->firstFrame();
    longer.setContent(contentOf(mapTexts({text + u"D", u"", u"", u""})));
    EXPECT_EQ(longer.canvas()->firstFrame(), first);
}

TEST(SongView, CaretNotesAndSelectionBandsThroughAPattern) {
    SongCanvas canvas;
    canvas.resize(800, 300);
    canvas.setContent(patternSong());
    using Notes = std::vector<std::pair<int, std::size_t>>;
    const struct {
        EditorPlace caret;
        Notes notes;
    } carets[] = {
        {{1, 1, 0}, {{0, 0}, {0, 3}}},  // before "c": both times verse 1 plays
        {{1, 1, 2}, {{0, 0}, {0, 3}}},  // in the blank after "c4"
        {{1, 1, 3}, {{0, 1}, {0, 4}}},  // before "d"
        {{1, 1, 9}, {{0, 1}, {0, 4}}},  // past the verse's end
        {{1, 2, 0}, {{0, 2}}},          // verse 2, once
        {{1, 3, 0}, {}},                // a verse the pattern does not play
        {{2, 1, 3}, {{1, 0}}},          // channel 2: "o2 c1", before "c"
        {{2, 1, 0}, {}},                // before the octave: no note yet
    };
    for (const auto& c : carets) {
        canvas.setCaret(c.caret);
        EXPECT_EQ(canvas.caretNotes(), c.notes) << c.caret.channel << ":" << c.caret.verse << ":" << c.caret.column;
    }
    using Bands = std::vector<std::pair<std::uint64_t, std::uint64_t>>;
    canvas.setSelection(EditorPlace{1, 1, 0}, 5);  // "c4 d4"
    EXPECT_EQ(canvas.selectionBands(), (Bands{{0, 2 * kQuarter}, {3 * kQuarter, 5 * kQuarter}}));
    canvas.setSelection(EditorPlace{1, 1, 3}, 2);  // "d4"
    EXPECT_EQ(canvas.selectionBands(), (Bands{{kQuarter, 2 * kQuarter}, {4 * kQuarter, 5 * kQuarter}}));
    canvas.setSelection(std::nullopt, 0);
    EXPECT_TRUE(canvas.selectionBands().empty());
}

TEST(SongView, ClicksDragsWheelAndKeys) {
    SongViewWindow window;
    window.resize(800, 400);
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window, 10000));
    window.setContent(patternSong());
    SongCanvas* canvas = window.canvas();
    QSignalSpy places(canvas, &SongCanvas::placeRequested), plays(canvas, &SongCanvas::playRequested),
        ranges(canvas, &SongCanvas::loopRangeRequested), notes(canvas, &SongCanvas::noteClicked);
    const auto x = [&](double frame) { return static_cast<int>(std::lround(canvas->xOfFrame(frame))); };

    // In channel 1's lane, during the second "d": the caret before that "d".
    const int lane1 = canvas->laneRect(0).center().y();
    QTest::mouseClick(canvas, Qt::LeftButton, {}, QPoint(x(4.5 * kQuarter), lane1));
    ASSERT_EQ(places.size(), 1);
    EXPECT_EQ(places[0][0].value<EditorPlace>(), (EditorPlace{1, 1, 3}));
    ASSERT_EQ(notes.size(), 1);
    EXPECT_EQ(notes[0][0].toInt(), 0);
    EXPECT_EQ(notes[0][1].value<std::size_t>(), 4u);
    // After the channel's end there is nothing to go to.
    QTest::mouseClick(canvas, Qt::LeftButton, {}, QPoint(x(5.5 * kQuarter), lane1));
    EXPECT_EQ(places.size(), 1);

    // On the ruler: play from that moment.
    QTest::mouseClick(canvas, Qt::LeftButton, {}, QPoint(x(2 * kQuarter), 5));
    ASSERT_EQ(plays.size(), 1);
    EXPECT_EQ(plays[0][0].value<std::uint64_t>(), canvas->frameAtX(x(2 * kQuarter)));
    // A drag on it: a loop range, on the beats.
    QTest::mousePress(canvas, Qt::LeftButton, {}, QPoint(x(1.1 * kQuarter), 5));
    QTest::mouseMove(canvas, QPoint(x(2 * kQuarter), 5));
    QTest::mouseMove(canvas, QPoint(x(3.05 * kQuarter), 5));
    QTest::mouseRelease(canvas, Qt::LeftButton, {}, QPoint(x(3.05 * kQuarter), 5));
    ASSERT_EQ(ranges.size(), 1);
    EXPECT_EQ(ranges[0][0].value<std::uint64_t>(), kQuarter);
    EXPECT_EQ(ranges[0][1].value<std::uint64_t>(), 3 * kQuarter);
    EXPECT_EQ(plays.size(), 1);
    QTest::mouseClick(canvas, Qt::RightButton, {}, QPoint(x(2 * kQuarter), 5));  // cleared
    ASSERT_EQ(ranges.size(), 2);
    EXPECT_EQ(ranges[1][1].value<std::uint64_t>(), 0u);

    // Ctrl+wheel and Ctrl+plus zoom in, Ctrl+minus out; the wheel scrolls.
    const double scale = canvas->framesPerPixel();
    auto wheel = [&](int delta, Qt::KeyboardModifiers mods) {
        QWheelEvent e(QPointF(400, 100), canvas->mapToGlobal(QPointF(400, 100)), QPoint(), QPoint(0, delta),
                      Qt::NoButton, mods, Qt::NoScrollPhase, false);
        QApplication::sendEvent(canvas, &e);
    };
    const double anchor = canvas->firstFrame() + 400 * scale;
    wheel(120, Qt::ControlModifier);
    EXPECT_NEAR(canvas->framesPerPixel(), scale / SongCanvas::kZoomStep, 1e-6);
    EXPECT_NEAR(canvas->firstFrame() + 400 * canvas->framesPerPixel(), anchor, 1e-3);  // held under the mouse
    const double first = canvas->firstFrame();
    wheel(-120, Qt::NoModifier);
    EXPECT_GT(canvas->firstFrame(), first);
    EXPECT_EQ(window.scrollBar()->value(), std::lround(canvas->firstFrame() / canvas->framesPerPixel()));
    const double zoomed = canvas->framesPerPixel();
    QTest::keyClick(&window, Qt::Key_Equal, Qt::ControlModifier);
    EXPECT_NEAR(canvas->framesPerPixel(), zoomed / SongCanvas::kZoomStep, 1e-6);
    QTest::keyClick(&window, Qt::Key_Minus, Qt::ControlModifier);
    QTest::keyClick(&window, Qt::Key_Minus, Qt::ControlModifier);
    EXPECT_NEAR(canvas->framesPerPixel(), zoomed * SongCanvas::kZoomStep, 1e-6);
    // The scroll bar moves the view.
    window.scrollBar()->setValue(0);
    EXPECT_EQ(canvas->firstFrame(), 0);
}

// Notes in the oscilloscope's colours, a muted lane dimmed, the sounding note
// lit, the playhead a white line.
TEST(SongView, Drawing) {
    SongCanvas canvas;
    canvas.resize(600, 240);
    canvas.setContent(patternSong());
    canvas.setView(0, static_cast<double>(5 * kQuarter) / 600);
    const auto pixelAt = [&](double frame, int voice) {
        const QImage image = canvas.grab().toImage();
        const MappedNote* n = canvas.content().map.noteAt(voice, static_cast<std::uint64_t>(frame));
        EXPECT_NE(n, nullptr);
        // The middle of the first run of pixels in the lane unlike its background: the bar.
        const QRect lane = canvas.laneRect(voice);
        const int x = static_cast<int>(canvas.xOfFrame(frame));
        const QColor background = image.pixelColor(x, lane.top() + 1);
        int top = -1;
        for (int y = lane.top() + 1; y < lane.bottom(); ++y) {
            const bool bar = image.pixelColor(x, y) != background;
            if (bar && top < 0) top = y;
            if (!bar && top >= 0) return image.pixelColor(x, (top + y - 1) / 2);
        }
        return QColor();
    };
    EXPECT_EQ(pixelAt(0.5 * kQuarter, 0).rgb(), traceColour(0).rgb());
    EXPECT_EQ(pixelAt(0.5 * kQuarter, 1).rgb(), traceColour(1).rgb());
    SongViewContent muted = patternSong();
    muted.muted[1] = true;
    canvas.setContent(muted);
    EXPECT_NE(pixelAt(0.5 * kQuarter, 1).rgb(), traceColour(1).rgb());
    canvas.setPlayhead(static_cast<std::uint64_t>(2.5 * kQuarter), false);
    EXPECT_EQ(pixelAt(2.2 * kQuarter, 0).rgb(), traceColour(0).lighter(150).rgb());  // "e", sounding
    EXPECT_EQ(canvas.grab().toImage().pixelColor(static_cast<int>(std::lround(canvas.xOfFrame(2.5 * kQuarter))), 3),
              QColor(Qt::white));
}

// ---------------------------------------------------------------------------
// On the whole program.

class SongViewProgram : public testing::ProgramTest {
protected:
    void SetUp() override {
        ProgramTest::SetUp();
        QSettings().remove("songView");
        QSettings().remove("songViewSize");
    }
    void TearDown() override {
        ProgramTest::TearDown();
        QSettings().remove("songView");
        QSettings().remove("songViewSize");
        QSettings().remove("loopPlayback");
    }
    void start() {
        Application::Options options = testing::programOptions();
        options.outputFactory = testing::handOutputs(manual);
        startProgram(true, options);
    }
    SongViewWindow* view() { return app->songView().window(); }
    QPlainTextEdit* editor(int ch) {
        return static_cast<QPlainTextEdit*>(controls().widget(control::channelEditor(ch)));
    }
    testing::HandOutput* manual = nullptr;
};

TEST_F(SongViewProgram, F6OpensAndClosesItRememberedWithItsSize) {
    start();
    QAction* item = window().menuItem(menu::SongView);
    EXPECT_EQ(item->text(), "Song &View");
    EXPECT_EQ(item->shortcut(), QKeySequence(Qt::Key_F6));
    QTest::keyClick(&window(), Qt::Key_F6);
    runPosted();
    ASSERT_NE(view(), nullptr);
    EXPECT_TRUE(view()->isVisible());
    EXPECT_EQ(view()->windowTitle(), "Song View");
    EXPECT_TRUE(item->isChecked());
    view()->resize(700, 350);
    app->songView().setMarkers({{1, 4410, "a finding"}});
    EXPECT_EQ(view()->canvas()->markers().size(), 1u);
    // The next run opens it again, as large.
    startProgram(true, testing::programOptions());
    ASSERT_NE(view(), nullptr);
    EXPECT_EQ(view()->size(), QSize(700, 350));
    app->songView().setMarkers({{1, 4410, "a finding"}});
    EXPECT_TRUE(window().menuItem(menu::SongView)->isChecked());
    // Closed by the user: unchecked, and closed next time.
    view()->close();
    runPosted();
    EXPECT_FALSE(window().menuItem(menu::SongView)->isChecked());
    EXPECT_FALSE(QSettings().value("songView").toBool());
    window().activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window(), 10000));
    QTest::keyClick(&window(), Qt::Key_F6);  // again
    runPosted();
    ASSERT_NE(view(), nullptr);
    EXPECT_EQ(view()->canvas()->markers().size(), 1u);  // the findings stay
    view()->activateWindow();                           // F6 in the song view closes it too
    ASSERT_TRUE(QTest::qWaitForWindowActive(view(), 10000));
    QTest::keyClick(view(), Qt::Key_F6);
    runPosted();
    EXPECT_TRUE(!view() || !view()->isVisible());
    EXPECT_FALSE(window().menuItem(menu::SongView)->isChecked());
}

TEST_F(SongViewProgram, LinkedBothWaysAndRebuiltAfterEdits) {
    start();
    controls().setText(control::channelEditor(1), "c4 d4\ne4");
    controls().setText(control::patternField(1), "1+2+1");
    window().menuItem(menu::SongView)->trigger();
    runPosted();
    ASSERT_NE(view(), nullptr);
    SongCanvas* canvas = view()->canvas();
    ASSERT_EQ(canvas->content().map.channels[0].notes.size(), 5u);
    EXPECT_TRUE(view()->facts().startsWith("0:02.5 long, 120.1 BPM, 2 measures of 4/4"))
        << view()->facts().toStdString();

    // A click in channel 1's lane during the second "d": the caret before it, in verse 1.
    QSignalSpy clicked(&app->songView(), &SongViewLink::noteClicked);
    const int x = static_cast<int>(canvas->xOfFrame(4.5 * kQuarter));
    QTest::mouseClick(canvas, Qt::LeftButton, {}, QPoint(x, canvas->laneRect(0).center().y()));
    runPosted();
    ASSERT_EQ(clicked.size(), 1);  // for an audition
    EXPECT_EQ(clicked[0][1].value<MappedNote>().start, 4 * kQuarter);
    EXPECT_EQ(controls().focused(), control::channelEditor(1));
    EXPECT_EQ(controls().selection(control::channelEditor(1)), std::make_pair(3, 0));
    // The caret's note, both times it plays.
    EXPECT_EQ(canvas->caretNotes(), (std::vector<std::pair<int, std::size_t>>{{0, 1}, {0, 4}}));
    controls().setSelection(control::channelEditor(1), 6, 0);  // verse 2
    EXPECT_EQ(canvas->caretNotes(), (std::vector<std::pair<int, std::size_t>>{{0, 2}}));
    controls().setSelection(control::channelEditor(1), 0, 5);
    EXPECT_EQ(canvas->selectionBands().size(), 2u);

    // Typing: nothing is rebuilt on the keystroke; a moment later the map is.
    editor(1)->moveCursor(QTextCursor::End);
    QTest::keyClicks(editor(1), " f4");
    EXPECT_TRUE(app->songView().rebuildDue());
    EXPECT_EQ(canvas->content().map.channels[0].notes.size(), 5u);
    ASSERT_TRUE(testing::serveUntil([&] { return !app->songView().rebuildDue(); }));
    EXPECT_EQ(canvas->content().map.channels[0].notes.size(), 6u);
    // A Mute box: the lane dimmed, the notes still drawn.
    QTest::mouseClick(controls().widget(control::muteBox(1)), Qt::LeftButton, {}, QPoint(8, 5));
    ASSERT_TRUE(testing::serveUntil([&] { return canvas->content().muted[0]; }));
    EXPECT_EQ(canvas->content().map.channels[0].notes.size(), 6u);
    QTest::mouseClick(controls().widget(control::muteBox(1)), Qt::LeftButton, {}, QPoint(8, 5));
    ASSERT_TRUE(testing::serveUntil([&] { return !canvas->content().muted[0]; }));

    // A drag on the ruler sets the loop range (drawn there); a click plays from that moment.
    const auto rx = [&](double frame) { return static_cast<int>(std::lround(canvas->xOfFrame(frame))); };
    QTest::mousePress(canvas, Qt::LeftButton, {}, QPoint(rx(kQuarter), 5));
    QTest::mouseMove(canvas, QPoint(rx(2 * kQuarter), 5));
    QTest::mouseRelease(canvas, Qt::LeftButton, {}, QPoint(rx(3 * kQuarter), 5));
    runPosted();
    EXPECT_EQ(app->song().loopRange(), std::optional(std::make_pair(kQuarter, 3 * kQuarter)));
    QTest::mouseClick(canvas, Qt::LeftButton, {}, QPoint(rx(2 * kQuarter), 5));
    runPosted();
    EXPECT_EQ(app->song().playState(), PlayState::Song);
    manual->renderTicks(1);  // takes the song over
    const std::uint64_t from = canvas->frameAtX(rx(2 * kQuarter));
    EXPECT_EQ(app->engine().songFrame(), from + tick(1));
    // The playhead follows what is heard; the sounding note is lit.
    manual->renderTicks(10);
    app->playback().refresh();
    EXPECT_EQ(canvas->playhead(), std::optional(from + tick(11) - 1));
    submit(AppEvent::control(control::StopButton));
    app->playback().refresh();
    EXPECT_EQ(canvas->playhead(), std::nullopt);
}

TEST_F(SongViewProgram, MarksTheTuneChecksFindingsWhereTheyPlay) {
    start();
    // "v100" plays at the second quarter of channel 2; the tune is otherwise clean.
    controls().setText(control::channelEditor(2), "c4 v100 c4 c2");
    window().menuItem(menu::SongView)->trigger();
    runPosted();
    ASSERT_NE(view(), nullptr);
    app->problems().runNow();
    const std::vector<SongMarker>& markers = view()->canvas()->markers();
    ASSERT_EQ(markers.size(), 1u);
    EXPECT_EQ(markers[0].voice, 1);
    EXPECT_EQ(markers[0].frame, kQuarter);
    EXPECT_TRUE(markers[0].message.contains("100")) << markers[0].message.toStdString();
    // Mended: the marker goes with the finding.
    controls().setText(control::channelEditor(2), "c4 v10 c4 c2");
    app->problems().runNow();
    EXPECT_TRUE(view()->canvas()->markers().empty());
}

}  // namespace
}  // namespace bleeptone
