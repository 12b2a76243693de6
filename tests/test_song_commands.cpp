// Play, Stop, the engine's end and loop events, the playing-time display,
// Record to Wave, Copy MML and Paste MML on the whole program: offscreen,
// with an output the test drives by hand or the silent clocked one.

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QPlainTextEdit>
#include <QSettings>
#include <QTest>
#include <QThread>

#include <array>
#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "app/application.h"
#include "app/controls.h"
#include "app/dispatcher.h"
#include "app/main_window.h"
#include "app/playback_view.h"
#include "app/song_commands.h"
#include "app/window_fields.h"
#include "engine/engine.h"
#include "engine/offline_render.h"
#include "project/project_blocks.h"
#include "project/project_model.h"
#include "song/mml_text.h"
#include "song/song_assembly.h"
#include "tests/demo1_text.h"
#include "tests/hand_output.h"
#include "tests/program_test.h"
#include "tests/qt_printers.h"
#include "ui/oscilloscope.h"

namespace bleeptone {

void PrintTo(PlayState s, std::ostream* os) {
    const char* const names[] = {"Idle", "Passage", "Song", "RecordingArmed", "Recording"};
    *os << names[static_cast<int>(s)];
}

namespace {

using testing::runPosted;
using testing::serveUntil;
using testing::serveFor;
using Log = std::vector<std::string>;
using testing::le32;
using testing::readBytes;

class DiscardSink : public RenderSink {
public:
    bool samples(const float*, std::size_t) override { return true; }
    bool event(const EngineEvent&) override { return true; }
};

const QString kUnsavedQuestion = "You haven't saved your project yet. Do you still want to continue?";
const std::string kCopied = "information: Your MML data was copied to the clipboard.";
const std::string kSaveWavePanel = "save panel: Save Wave As... | wav | Wave File";

// Demo 1 with the project info "Demo 1" and "2015", as Copy MML writes it.
using testing::kDemo1Text;

ProjectModel builtIn(BuiltInProject which) {
    ProjectModel m;
    EXPECT_TRUE(loadBuiltIn(which, m));
    return m;
}

// Seconds of elapsed time shown by the playing-time display after its status.
double shownSeconds(const QString& display, const QString& status) {
    const QString clock = display.mid(status.size(), 7);  // "mm:ss.s"
    return clock.left(2).toInt() * 60 + clock.mid(3).toDouble();
}

class SongCommandsTest : public testing::ProgramTest {
protected:
    // manualOutput: the engine renders only in renderTicks(); otherwise the
    // silent clocked output renders at the real rate.
    void startApp(bool manualOutput) {
        Application::Options options = testing::programOptions();
        if (manualOutput) options.outputFactory = testing::handOutputs(manual);
        startProgram(false, options);
    }

    void loadDemo(int n) {
        submit(AppEvent::menu(menu::Demo1 + n - 1));
        ASSERT_EQ(window().title(), QString("Demo %1 - Bleeptone").arg(n));
    }
    AppState& state() { return app->state(); }
    PlayState playing() { return app->song().playState(); }
    QString display() { return controls().text(control::PlayingTime); }
    bool playShown() { return controls().isVisible(control::PlayButton) && !controls().isVisible(control::StopButton); }
    bool stopShown() { return !controls().isVisible(control::PlayButton) && controls().isVisible(control::StopButton); }
    // The text the engine's channel k was last given.
    QString engineText(int k) {
        const char16_t* p = app->engine().sequencer().channel(k).CmdPtr;
        return p ? QString::fromUtf16(p) : QString();
    }
    // The whole text the engine's channel k plays.
    QString playedText(int k) {
        const std::u16string_view t = app->engine().sequencer().text(k);
        return QString::fromUtf16(t.data(), static_cast<qsizetype>(t.size()));
    }
    std::array<QString, 4> engineTexts() { return {engineText(0), engineText(1), engineText(2), engineText(3)}; }
    ProjectModel windowProject() {
        ProjectModel m;
        copyProject(WindowFields(controls()), m);
        return m;
    }
    void clearSelections() {
        for (int c = 1; c <= 4; ++c) controls().setSelection(control::channelEditor(c), 0, 0);
    }

    // Every member of the group enabled (and the Play item shown), or every one disabled.
    ::testing::AssertionResult group(const EnableGroup& g, bool on) {
        for (int item : g.menuItems)
            if (window().menuItem(item)->isEnabled() != on)
                return ::testing::AssertionFailure() << "menu item " << item << (on ? " disabled" : " enabled");
        for (int n : g.controls)
            if (controls().isEnabled(n) != on)
                return ::testing::AssertionFailure() << "control " << n << (on ? " disabled" : " enabled");
        if (g.playContextItem && window().playContextItem()->isVisible() != on)
            return ::testing::AssertionFailure() << "Play context item " << (on ? "hidden" : "shown");
        return ::testing::AssertionSuccess();
    }
    ::testing::AssertionResult bothGroups(bool on) {
        auto content = group(contentGroup(), on);
        if (!content) return content;
        return group(idleGroup(), on);
    }

    // Everything the song commands may change, as text.
    Log snapshot() {
        return {"display [" + display().toStdString() + "]",      playShown() ? "play shown" : "play hidden",
                stopShown() ? "stop shown" : "stop hidden",       ::testing::PrintToString(playing()),
                bothGroups(true) ? "groups on" : "groups not on", "title " + window().title().toStdString()};
    }

    testing::HandOutput* manual = nullptr;
};

// ---------------------------------------------------------------------------
// Play, Stop and the engine's events.

TEST_F(SongCommandsTest, PlayOfTheWholeSong) {
    startApp(true);
    loadDemo(1);
    ASSERT_TRUE(bothGroups(true));
    submit(AppEvent::control(control::PlayButton));

    EXPECT_TRUE(stopShown());
    EXPECT_TRUE(controls().isEnabled(control::StopButton));
    EXPECT_EQ(playing(), PlayState::Song);
    EXPECT_TRUE(bothGroups(false));  // disabled after the iteration
    const std::array<QString, 4> song = assembleSong(builtIn(BuiltInProject::Demo1));
    EXPECT_EQ(app->song().channelTexts(), song);
    EXPECT_EQ(engineTexts(), song);
    // 3584 ticks at tempo 11.
    EXPECT_EQ(app->song().songLength(), 373);
    const QString first = display();
    EXPECT_TRUE(first.startsWith("Playing  00:0")) << first.toStdString();
    EXPECT_TRUE(first.endsWith(" / 00:37.3")) << first.toStdString();
    EXPECT_EQ(first.size(), QString("Playing  00:00.0 / 00:37.3").size());
    // The clock goes on.
    EXPECT_TRUE(serveUntil([&] { return display() != first; }));
    EXPECT_TRUE(display().startsWith("Playing  00:")) << display().toStdString();
    EXPECT_TRUE(dialogs.log().empty());
}

TEST_F(SongCommandsTest, EndOfTheSongReturnsToIdle) {
    startApp(true);
    loadDemo(1);
    submit(AppEvent::control(control::PlayButton));
    ASSERT_TRUE(stopShown());
    submit(AppEvent::engine(-1));
    EXPECT_EQ(display(), "");
    EXPECT_TRUE(playShown());
    EXPECT_EQ(playing(), PlayState::Idle);
    EXPECT_TRUE(bothGroups(true));
    // The clock writes no more.
    serveFor(350);
    EXPECT_EQ(display(), "");
}

// Loop Playback: the song, or a passage, plays again without a gap (the
// engine loops it; the stream itself is tested with the engine), reading the
// editors as they are: an edit is heard at once, a new selection the next
// time round.
TEST_F(SongCommandsTest, LoopPlaybackLoopsWithoutAGapReadingTheEditors) {
    startApp(true);
    // Tempo 12: a quarter note is 48 ticks; "cdef" ends at tick 192.
    controls().setText(control::channelEditor(1), "cdef");
    window().menuItem(menu::LoopPlayback)->trigger();
    ASSERT_TRUE(state().options.loopPlayback);
    submit(AppEvent::control(control::PlayButton));
    EXPECT_EQ(app->engine().loop(), std::optional(LoopRange{0, 192 * 459}));
    manual->render(200 * 459, 459);                  // in calls of a tick, as a device asks
    EXPECT_EQ(app->engine().songFrame(), 8u * 459);  // round again, 8 ticks in
    serveFor(50);
    EXPECT_EQ(playing(), PlayState::Song);  // no end came
    // An edit while it plays: heard from the same moment, looping to its new end.
    auto* editor = static_cast<QPlainTextEdit*>(controls().widget(control::channelEditor(1)));
    editor->moveCursor(QTextCursor::End);
    editor->insertPlainText("g");
    const std::uint32_t song = app->song().nowPlaying().song;
    ASSERT_TRUE(serveUntil([&] { return app->song().nowPlaying().song != song; }));
    manual->renderTicks(10);  // the edit is taken over
    EXPECT_EQ(app->engine().loop(), std::optional(LoopRange{0, 240 * 459}));

    // A passage loops the same way; a new selection follows at its end.
    submit(AppEvent::control(control::StopButton));
    EXPECT_EQ(app->engine().loop(), std::nullopt);
    editor->setFocus();
    controls().setSelection(control::channelEditor(1), 1, 2);  // "de"
    submit(AppEvent::control(control::PlayButton));
    EXPECT_EQ(playing(), PlayState::Passage);
    EXPECT_EQ(app->engine().loop(), std::optional(LoopRange{0, 96 * 459}));
    manual->renderTicks(10);
    QTextCursor selection(editor->document());  // the user's: "efg"
    selection.setPosition(2);
    selection.setPosition(5, QTextCursor::KeepAnchor);
    editor->setTextCursor(selection);
    serveFor(SongCommands::kLiveEditDelayMs + 100);
    EXPECT_TRUE(playedText(0).endsWith("*de")) << playedText(0).toStdString();  // until the loop's end
    manual->renderTicks(96);
    app->playback().refresh();
    EXPECT_TRUE(playedText(0).endsWith("*efg")) << playedText(0).toStdString();
    EXPECT_EQ(app->song().nowPlaying().passage->text.right(4), "*efg");
    EXPECT_EQ(app->engine().loop(), std::optional(LoopRange{0, 144 * 459}));
    submit(AppEvent::control(control::StopButton));
    EXPECT_TRUE(playShown());
    EXPECT_EQ(app->engine().loop(), std::nullopt);

    // Off: the end is the end.
    window().menuItem(menu::LoopPlayback)->trigger();
    controls().setSelection(control::channelEditor(1), 0, 0);
    submit(AppEvent::control(control::PlayButton));
    EXPECT_EQ(app->engine().loop(), std::nullopt);
    submit(AppEvent::engine(-1));
    EXPECT_TRUE(playShown());
}

// With Loop Playback on, the song plays the loop range set in the song view
// from its start; Play from Here past it plays to the end, and the end
// starts the range again. Switching Loop Playback off lets the song play on.
TEST_F(SongCommandsTest, LoopRangeOfTheSongView) {
    startApp(true);
    controls().setText(control::channelEditor(1), "cdefgab");  // quarters: 48 ticks each, the end at tick 336
    window().menuItem(menu::LoopPlayback)->trigger();
    submit(AppEvent::loopRange(48 * 459, 144 * 459));  // "d" and "e"
    ASSERT_EQ(app->song().loopRange(),
              std::optional(std::make_pair<std::uint64_t, std::uint64_t>(48 * 459, 144 * 459)));
    submit(AppEvent::control(control::PlayButton));
    manual->renderTicks(1);  // takes the song over, at "d", and its loop
    EXPECT_EQ(app->engine().loop(), std::optional(LoopRange{48 * 459, 144 * 459}));
    EXPECT_EQ(app->engine().songFrame(), 48u * 459 + 459);
    manual->renderTicks(100);
    EXPECT_EQ(app->engine().songFrame(), 48u * 459 + 5 * 459);  // round once
    // From a moment past the range: no loop; the song's end plays the range again.
    submit(AppEvent::playFromMoment(200 * 459));
    manual->renderTicks(1);
    EXPECT_EQ(app->engine().loop(), std::nullopt);
    // A range that ends after the song ends with it.
    submit(AppEvent::loopRange(240 * 459, 400 * 459));
    submit(AppEvent::playFromMoment(0));
    manual->renderTicks(1);
    EXPECT_EQ(app->engine().loop(), std::optional(LoopRange{240 * 459, 336 * 459}));
    submit(AppEvent::loopRange(0, 0));  // cleared: the whole song loops
    EXPECT_EQ(app->song().loopRange(), std::nullopt);
    EXPECT_EQ(app->engine().loop(), std::optional(LoopRange{0, 336 * 459}));
    window().menuItem(menu::LoopPlayback)->trigger();
    EXPECT_EQ(app->engine().loop(), std::nullopt);
    EXPECT_EQ(playing(), PlayState::Song);
}

TEST_F(SongCommandsTest, LoopWhilePlayingRestartsTheClock) {
    startApp(true);
    loadDemo(1);
    submit(AppEvent::control(control::PlayButton));
    ASSERT_TRUE(serveUntil([&] { return shownSeconds(display(), "Playing  ") >= 1.0; }));
    const double before = shownSeconds(display(), "Playing  ");
    const QString shown = display();
    submit(AppEvent::engine(-2));
    EXPECT_EQ(playing(), PlayState::Song);
    EXPECT_TRUE(stopShown());
    ASSERT_TRUE(serveUntil([&] { return display() != shown; }));
    EXPECT_LT(shownSeconds(display(), "Playing  "), before) << display().toStdString();
    EXPECT_TRUE(display().endsWith(" / 00:37.3"));  // the total stays
    runPosted();
    EXPECT_TRUE(stopShown());  // no Stop was posted
    EXPECT_TRUE(dialogs.log().empty());
}

TEST_F(SongCommandsTest, StopEmptiesTheDisplayAtOnce) {
    startApp(true);
    loadDemo(1);
    submit(AppEvent::control(control::PlayButton));
    ASSERT_FALSE(display().isEmpty());
    submit(AppEvent::control(control::StopButton));
    EXPECT_EQ(display(), "");
    EXPECT_TRUE(playShown());
    EXPECT_EQ(playing(), PlayState::Idle);
    EXPECT_TRUE(bothGroups(true));
    EXPECT_EQ(engineTexts(), (std::array<QString, 4>{}));  // every channel silenced
    serveFor(350);
    EXPECT_EQ(display(), "");
    // The engine's -1 that follows changes nothing more.
    const Log before = snapshot();
    submit(AppEvent::engine(-1));
    runPosted();
    EXPECT_EQ(snapshot(), before);
    EXPECT_TRUE(dialogs.log().empty());
}

TEST_F(SongCommandsTest, StarEventsChangeNothing) {
    startApp(true);
    loadDemo(1);
    submit(AppEvent::control(control::PlayButton));
    for (std::int64_t data : {0, 5}) {
        submit(AppEvent::engine(data));
        EXPECT_EQ(playing(), PlayState::Song) << data;
        EXPECT_TRUE(stopShown()) << data;
        EXPECT_TRUE(bothGroups(false)) << data;
    }
}

TEST_F(SongCommandsTest, ASelectionPlaysOnItsVoice) {
    startApp(true);
    loadDemo(4);
    // Demo 4's channel 1 has the prefix "T13 W4 O2 \3 V40 " and the verse
    // "w4 \3 o2 d2 w5 \4 o5 cd" at offsets 24..46; channel 2 "T13 W4 O4 \1 V40 "
    // and "\1,9,5,1 l1 gba \5,9,5 l4 gab2"; channel 3 "T13 W1 O5 \1 V42 " and
    // "cd>d<e" as its second line (from offset 5).
    const struct {
        const char* what;
        std::vector<std::array<int, 3>> selections;  // editor, start, length
        int voice;
        QString text;
        std::vector<std::array<int, 3>> shown;  // the editors' selections afterwards
    } rows[] = {
        {"channel 1", {{18, 45, 2}}, 0, "T13O5K0L4V40W5\\4*cd", {{18, 45, 2}}},
        {"across lines", {{18, 42, 7}}, 0, "T13O2K0L4V40W5\\4*o5 cd", {{18, 42, 5}}},
        {"channel 3", {{44, 8, 3}}, 1, "T13O6K0L4V42W1\\1*d<e", {{44, 8, 3}}},
        // A line break alone is no passage: channel 2's selection plays.
        {"line break", {{18, 47, 1}, {31, 26, 4}}, 1, "T13O4K0L4V40W4\\5*gab2", {{18, 47, 0}, {31, 26, 4}}},
    };
    for (const auto& r : rows) {
        clearSelections();
        for (const auto& s : r.selections) controls().setSelection(s[0], s[1], s[2]);
        app->song().play();
        std::array<QString, 4> expected;
        expected[static_cast<std::size_t>(r.voice)] = r.text;
        EXPECT_EQ(engineTexts(), expected) << r.what;
        for (const auto& s : r.shown)
            EXPECT_EQ(controls().selection(s[0]), std::make_pair(s[1], s[2])) << r.what << " editor " << s[0];
        EXPECT_TRUE(stopShown()) << r.what;
        // Nothing else changes: no status, no clock, no request, no song texts.
        EXPECT_EQ(playing(), PlayState::Passage) << r.what;
        EXPECT_EQ(display(), "") << r.what;
        EXPECT_EQ(state().requests.refresh, Refresh::None) << r.what;
        EXPECT_EQ(app->song().channelTexts(), (std::array<QString, 4>{})) << r.what;
        serveFor(150);
        EXPECT_EQ(display(), "") << r.what;
        submit(AppEvent::control(control::StopButton));
        EXPECT_TRUE(playShown()) << r.what;
    }
    EXPECT_TRUE(dialogs.log().empty());
}

TEST_F(SongCommandsTest, ClickingPlayKeepsTheEditorAndItsPassage) {
    // With the mouse, as a person does: the passage stays selected and plays
    // again on the next click; the focus stays in the editor.
    startApp(true);
    loadDemo(4);
    window().show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window(), 10000));
    QWidget* editor = controls().widget(18);
    editor->setFocus();
    controls().setSelection(18, 45, 2);
    for (int round = 0; round < 2; ++round) {
        QTest::mouseClick(controls().widget(control::PlayButton), Qt::LeftButton);
        runPosted();
        EXPECT_EQ(engineText(0), "T13O5K0L4V40W5\\4*cd") << "round " << round;
        EXPECT_EQ(controls().focused(), 18);
        EXPECT_EQ(controls().selection(18), std::make_pair(45, 2));
        QTest::mouseClick(controls().widget(control::StopButton), Qt::LeftButton);
        runPosted();
        EXPECT_EQ(controls().selection(18), std::make_pair(45, 2));
    }
}

// ---------------------------------------------------------------------------
// The playhead, Play from Here, live edits and the oscilloscope.

TEST_F(SongCommandsTest, PlayheadMarksWhatIsHeardAndPlayFromHereStartsThere) {
    startApp(true);
    // Tempo 12, quarter notes: a note is 48 ticks. Verse 2 plays first.
    controls().setText(control::channelEditor(1), "gab\ncdef");
    controls().setText(control::patternField(1), "2+1");
    PlaybackView& view = app->playback();
    auto markerAfter = [&](int ticks) {
        manual->renderTicks(ticks);
        view.refresh();
        return view.marker(1);
    };
    submit(AppEvent::control(control::PlayButton));
    EXPECT_EQ(markerAfter(1), std::make_pair(4, 1));   // "c" of verse 2 (offset 4 in the editor)
    EXPECT_EQ(markerAfter(48), std::make_pair(5, 1));  // "d"
    EXPECT_EQ(markerAfter(48 * 3), std::make_pair(0, 1));  // verse 1 after it: "g"
    EXPECT_EQ(view.marker(2), std::make_pair(-1, 0));  // a channel without verses has none

    // From the caret before "e": the song from that moment, every channel where it would be.
    submit(AppEvent::control(control::StopButton));
    view.refresh();
    EXPECT_EQ(view.marker(1), std::make_pair(-1, 0));
    QWidget* editor = controls().widget(control::channelEditor(1));
    editor->setFocus();
    controls().setSelection(control::channelEditor(1), 6, 0);
    submit(AppEvent::menu(menu::PlayFromHere));
    EXPECT_TRUE(stopShown());
    EXPECT_EQ(markerAfter(1), std::make_pair(6, 1));
    // 96 ticks of 459 samples are 0.999 s already played.
    EXPECT_TRUE(display().startsWith(kStatusPlaying + "00:00.9") || display().startsWith(kStatusPlaying + "00:01"))
        << display().toStdString();
    EXPECT_EQ(app->engine().songFrame(), 96u * 459 + 459);
}

TEST_F(SongCommandsTest, AnEditWhilePlayingCarriesOnFromTheSameMoment) {
    startApp(true);
    controls().setText(control::channelEditor(1), "cdefgab");
    submit(AppEvent::control(control::PlayButton));
    // Tick by tick, as an output's buffers come (the take-over lands a
    // couple of buffers ahead).
    auto render = [&](int ticks) {
        for (int i = 0; i < ticks; ++i) manual->renderTicks(1);
    };
    render(100);
    const std::uint32_t song = app->song().nowPlaying().song;
    const std::uint64_t before = app->engine().songFrame();
    // The user's edit (through the window, as typing raises it).
    QPlainTextEdit* editor = static_cast<QPlainTextEdit*>(controls().widget(control::channelEditor(1)));
    editor->moveCursor(QTextCursor::End);
    editor->insertPlainText("c");
    ASSERT_TRUE(serveUntil([&] { return app->song().nowPlaying().song != song; }));
    render(20);
    EXPECT_EQ(engineText(0), "fgabc");  // the new text, read on from where the song stands (on "e")
    EXPECT_EQ(app->engine().songFrame(), before + 20u * 459);  // no jump
    EXPECT_EQ(playing(), PlayState::Song);
    // A Mute box counts too; a recording or a passage does not follow edits.
    QTest::mouseClick(controls().widget(control::muteBox(1)), Qt::LeftButton, {}, QPoint(8, 5));
    const std::uint32_t edited = app->song().nowPlaying().song;
    ASSERT_TRUE(serveUntil([&] { return app->song().nowPlaying().song != edited; }));
    render(20);
    EXPECT_EQ(engineText(0), "");
}

TEST_F(SongCommandsTest, OscilloscopeIsRememberedOpenOrClosed) {
    startApp(true);
    QAction* item = window().menuItem(menu::Oscilloscope);
    item->trigger();
    ASSERT_NE(app->playback().oscilloscope(), nullptr);
    EXPECT_TRUE(app->engine().scopeEnabled());
    EXPECT_TRUE(QSettings().value("oscilloscope").toBool());
    app.reset();
    startApp(true);  // opens again
    ASSERT_NE(app->playback().oscilloscope(), nullptr);
    app->playback().oscilloscope()->close();  // by the user
    EXPECT_FALSE(window().menuItem(menu::Oscilloscope)->isChecked());
    EXPECT_FALSE(app->engine().scopeEnabled());
    EXPECT_FALSE(QSettings().value("oscilloscope").toBool());
}

TEST_F(SongCommandsTest, AllChannelsMutedEndsAtTheNextTick) {
    startApp(false);
    loadDemo(1);
    for (int c = 1; c <= 4; ++c) controls().setState(control::channelBase(c) + control::MuteOffset, 1);
    submit(AppEvent::control(control::PlayButton));
    EXPECT_TRUE(playShown());  // no channel sounds: Play stays
    EXPECT_EQ(playing(), PlayState::Song);
    EXPECT_TRUE(display().endsWith(" / 00:00.0")) << display().toStdString();
    EXPECT_EQ(app->song().channelTexts(), (std::array<QString, 4>{}));
    ASSERT_TRUE(serveUntil([&] { return playing() == PlayState::Idle; }));
    EXPECT_EQ(display(), "");
    EXPECT_TRUE(playShown());
    EXPECT_TRUE(bothGroups(true));
    EXPECT_TRUE(dialogs.log().empty());
}

// ---------------------------------------------------------------------------
// Record to Wave.

TEST_F(SongCommandsTest, RecordsTheWholeSongIntoAFile) {
    // Tempo 15: a whole note lasts 96 ticks.
    const struct {
        const char* what;
        QString channel1, channel2;
        std::size_t bytes;
    } rows[] = {
        // Channel 1 plays 30 ticks, channel 2 48: the file holds 48 ticks.
        {"ending", "l16 cdegc", "o3 c4 e4", 44 + 48 * 459 * 2},
        // Channel 1 loops every 12 ticks, channel 2 every 24: both loop at 24.
        {"looping", "c8:", "o3 c4:", 44 + 24 * 459 * 2},
    };
    startApp(false);
    int n = 0;
    for (const auto& r : rows) {
        SCOPED_TRACE(r.what);
        submit(AppEvent::menu(menu::New));
        controls().setState(control::TempoBox, 15);
        controls().setText(control::channelEditor(1), r.channel1);
        controls().setText(control::channelEditor(2), r.channel2);
        const std::string name = "tune" + std::to_string(++n);
        dialogs.clear();
        dialogs.panelPaths = {QString::fromStdString(path(name))};

        submit(AppEvent::menu(menu::RecordToWave));
        EXPECT_EQ(dialogs.log(), Log{kSaveWavePanel});
        EXPECT_EQ(playing(), PlayState::RecordingArmed);
        EXPECT_TRUE(bothGroups(false));
        EXPECT_EQ(app->song().wavePath(), QString::fromStdString(path(name + ".wav")));
        // The song plays, records and ends by itself.
        ASSERT_TRUE(serveUntil([&] { return playing() == PlayState::Idle && playShown(); }));
        EXPECT_EQ(display(), "");
        EXPECT_TRUE(bothGroups(true));
        EXPECT_EQ(dialogs.log(), Log{kSaveWavePanel});  // no message

        // The file is what an offline render of the same song records.
        const std::array<QString, 4> song = assembleSong(WindowFields(controls()));
        EXPECT_EQ(app->song().channelTexts(), song);
        OfflineRenderSpec spec;
        for (const QString& t : song) spec.texts.push_back(t.toStdU16String());
        spec.maxFrames = 44100 * 10;
        spec.wavPath = path(name + "-offline.wav");
        DiscardSink sink;
        const OfflineRenderResult result = renderOffline(spec, sink);
        ASSERT_TRUE(result.ended);
        const auto recorded = readBytes(path(name + ".wav"));
        const auto offline = readBytes(spec.wavPath);
        EXPECT_EQ(recorded.size(), r.bytes);
        EXPECT_EQ(offline.size(), r.bytes);
        EXPECT_TRUE(recorded == offline) << "the recording differs from the offline render";
        // Let the engine's last event (after a Stop) arrive before the next song.
        EXPECT_TRUE(serveUntil([&] { return app->engine().sequencer().playingMask() == 0; }));
        serveFor(100);
    }
}

TEST_F(SongCommandsTest, WaveFileNames) {
    const struct {
        std::string chosen, written;
    } rows[] = {
        {"tune", "tune.wav"},
        {"tune.wav", "tune.wav"},
        {"tune.WAV", "tune.WAV.wav"},
        {"my.wav.old", "my.wav.old"},
        {"tunes.wav.d/tune", "tunes.wav.d/tune.wav"},  // the file's name counts, not its folder's
    };
    startApp(true);
    loadDemo(1);
    std::filesystem::create_directory(path("tunes.wav.d"));
    for (const auto& r : rows) {
        SCOPED_TRACE(r.chosen);
        std::filesystem::remove(path(r.written));
        dialogs.panelPaths = {QString::fromStdString(path(r.chosen))};
        submit(AppEvent::menu(menu::RecordToWave));
        runPosted();
        // Recording: both groups off, Stop shown and available.
        EXPECT_EQ(playing(), PlayState::Recording);
        EXPECT_TRUE(display().startsWith("Recording  00:")) << display().toStdString();
        EXPECT_TRUE(stopShown());
        EXPECT_TRUE(controls().isEnabled(control::StopButton));
        EXPECT_TRUE(bothGroups(false));
        EXPECT_EQ(app->song().wavePath(), QString::fromStdString(path(r.written)));
        EXPECT_FALSE(std::filesystem::exists(path(r.written)));  // it appears, complete, at the stop
        if (r.written != r.chosen) {
            EXPECT_FALSE(std::filesystem::exists(path(r.chosen)));
        }

        submit(AppEvent::control(control::StopButton));
        EXPECT_EQ(playing(), PlayState::Idle);
        EXPECT_TRUE(playShown());
        EXPECT_TRUE(bothGroups(true));
        // Stop completes the file before it returns.
        const auto wav = readBytes(path(r.written));
        ASSERT_GE(wav.size(), 44u);
        EXPECT_EQ(le32(wav, 4), wav.size() - 8);
        EXPECT_EQ(le32(wav, 40), wav.size() - 44);
    }
}

TEST_F(SongCommandsTest, RecordingIgnoresASelection) {
    // A selected passage plays; Record to Wave while it does records the
    // whole song, selection or not, even when the passage's end comes before
    // the Play it posted.
    startApp(true);
    loadDemo(1);
    runPosted();  // the window settles (no info-bar step is left to drop selections)
    controls().setSelection(control::channelEditor(1), 3, 2);
    submit(AppEvent::control(control::PlayButton));
    ASSERT_EQ(playing(), PlayState::Passage);
    dialogs.panelPaths = {QString::fromStdString(path("tune"))};
    app->song().recordToWave();
    submit(AppEvent::engine(-1));
    EXPECT_EQ(playing(), PlayState::RecordingArmed);
    controls().setSelection(control::channelEditor(1), 3, 2);
    runPosted();
    EXPECT_EQ(playing(), PlayState::Recording);
    EXPECT_EQ(engineTexts(), assembleSong(builtIn(BuiltInProject::Demo1)));
    // Nor does it jump: Play from Here and a click on the song view's ruler change nothing.
    controls().widget(control::channelEditor(1))->setFocus();
    const std::uint32_t song = app->song().nowPlaying().song;
    submit(AppEvent::menu(menu::PlayFromHere));
    submit(AppEvent::playFromMoment(44100));
    EXPECT_EQ(playing(), PlayState::Recording);
    EXPECT_EQ(app->song().nowPlaying().song, song);
    submit(AppEvent::control(control::StopButton));
    EXPECT_EQ(playing(), PlayState::Idle);
}

TEST_F(SongCommandsTest, LoopWhileRecordingPostsStop) {
    startApp(true);
    loadDemo(1);
    dialogs.panelPaths = {QString::fromStdString(path("tune"))};
    submit(AppEvent::menu(menu::RecordToWave));
    runPosted();
    ASSERT_EQ(playing(), PlayState::Recording);
    submit(AppEvent::engine(-2));
    // Only a click of Stop was posted.
    EXPECT_EQ(playing(), PlayState::Recording);
    EXPECT_TRUE(stopShown());
    runPosted();
    EXPECT_EQ(playing(), PlayState::Idle);
    EXPECT_EQ(display(), "");
    EXPECT_TRUE(playShown());
    EXPECT_TRUE(bothGroups(true));
    EXPECT_EQ(engineTexts(), (std::array<QString, 4>{}));
    const auto wav = readBytes(path("tune.wav"));
    ASSERT_GE(wav.size(), 44u);
    EXPECT_EQ(le32(wav, 40), wav.size() - 44);
    EXPECT_EQ(dialogs.log(), Log{kSaveWavePanel});
}

TEST_F(SongCommandsTest, CancelledPanelChangesNothing) {
    startApp(true);
    loadDemo(1);
    const Log before = snapshot();
    submit(AppEvent::menu(menu::RecordToWave));
    runPosted();
    EXPECT_EQ(snapshot(), before);
    EXPECT_EQ(app->song().wavePath(), "");
    EXPECT_EQ(engineText(0), "");  // nothing played
    EXPECT_EQ(fileCount(), 0u);
    EXPECT_EQ(dialogs.log(), Log{kSaveWavePanel});
}

TEST_F(SongCommandsTest, AFileThatCannotBeCreatedIsReported) {
    startApp(true);
    loadDemo(1);
    const std::string wanted = path("missing/dir/tune");
    dialogs.panelPaths = {QString::fromStdString(wanted)};
    submit(AppEvent::menu(menu::RecordToWave));
    runPosted();
    ASSERT_EQ(dialogs.log().size(), 2u);
    EXPECT_EQ(dialogs.log()[0], kSaveWavePanel);
    EXPECT_EQ(dialogs.log()[1].rfind("error: ", 0), 0u) << dialogs.log()[1];
    EXPECT_NE(dialogs.log()[1].find(wanted + ".wav"), std::string::npos) << dialogs.log()[1];
    // Nothing plays.
    EXPECT_EQ(playing(), PlayState::Idle);
    EXPECT_EQ(display(), "");
    EXPECT_TRUE(playShown());
    EXPECT_TRUE(bothGroups(true));
    EXPECT_EQ(app->engine().sequencer().playingMask(), 0u);
    EXPECT_EQ(engineTexts(), (std::array<QString, 4>{}));
    EXPECT_EQ(fileCount(), 0u);
}

// ---------------------------------------------------------------------------
// Copy MML and Paste MML.

TEST_F(SongCommandsTest, CopyMmlPutsTheTextOnTheClipboard) {
    startApp(true);
    loadDemo(1);
    controls().setText(control::ProjectInfo, "Demo 1\n2015");
    QGuiApplication::clipboard()->setText("something else");
    submit(AppEvent::menu(menu::CopyMml));
    runPosted();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), kDemo1Text.join('\n'));
    EXPECT_EQ(dialogs.log(), Log{kCopied});
    // The document is untouched.
    EXPECT_EQ(window().title(), "Demo 1 - Bleeptone");
    EXPECT_FALSE(window().isWindowModified());
}

TEST_F(SongCommandsTest, PasteMmlIntoAnUneditedDocument) {
    startApp(true);
    loadDemo(2);
    QGuiApplication::clipboard()->setText(kDemo1Text.join('\n'));
    submit(AppEvent::menu(menu::PasteMml));
    runPosted();
    EXPECT_TRUE(dialogs.log().empty()) << dialogs.log().front();  // no question, no error
    ProjectModel expected = builtIn(BuiltInProject::Demo1);
    expected.setText(control::ProjectInfo, "Demo 1\n2015");
    EXPECT_EQ(windowProject(), expected);
    EXPECT_EQ(window().title(), "Untitled* - Bleeptone");
    EXPECT_TRUE(window().isWindowModified());
    EXPECT_TRUE(bothGroups(true));
}

TEST_F(SongCommandsTest, PasteMmlAsksBeforeReplacingUnsavedWork) {
    startApp(true);
    QGuiApplication::clipboard()->setText(kDemo1Text.join('\n'));
    submit(AppEvent::menu(menu::PasteMml));
    runPosted();
    ASSERT_EQ(window().title(), "Untitled* - Bleeptone");
    const ProjectModel first = windowProject();

    QGuiApplication::clipboard()->setText(R"(CH1Verse_1.s = "cde")");
    dialogs.answers = {testing::No};
    submit(AppEvent::menu(menu::PasteMml));
    runPosted();
    EXPECT_EQ(dialogs.log(), Log{"question: " + kUnsavedQuestion.toStdString()});
    EXPECT_EQ(windowProject(), first);

    dialogs.clear();
    dialogs.answers = {testing::Yes};
    submit(AppEvent::menu(menu::PasteMml));
    runPosted();
    EXPECT_EQ(dialogs.log(), Log{"question: " + kUnsavedQuestion.toStdString()});
    ProjectModel expected = builtIn(BuiltInProject::NewTemplate);
    expected.setText(control::channelEditor(1), "cde");
    EXPECT_EQ(windowProject(), expected);
    EXPECT_EQ(window().title(), "Untitled* - Bleeptone");
}

TEST_F(SongCommandsTest, PasteMmlOfAnUnusableTextChangesNothing) {
    const struct {
        QString text;
        std::string error;
    } rows[] = {
        {"hello", "error: Unable to parse the MML data."},
        {"Channel_1.s = CH1Verse_1", "error: Unable to parse the MML data."},
        {QString(kMaxPasteChars + 1, 'x'), "error: Unable to parse the MML data: the clipboard text is too long."},
    };
    for (const auto& r : rows) {
        startApp(true);
        loadDemo(1);
        dialogs.clear();
        QGuiApplication::clipboard()->setText(r.text);
        submit(AppEvent::menu(menu::PasteMml));
        runPosted();
        EXPECT_EQ(dialogs.log(), Log{r.error});  // no question either: nothing would be replaced
        EXPECT_EQ(windowProject(), builtIn(BuiltInProject::Demo1)) << r.error;
        EXPECT_EQ(window().title(), "Demo 1 - Bleeptone");
        EXPECT_FALSE(window().isWindowModified());
        app.reset();
    }
}

}  // namespace
}  // namespace bleeptone
