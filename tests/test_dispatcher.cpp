// The main thread's loop: dispatch of menu, control, close, open-documents
// and engine events to the commands; the end-of-iteration work (enable
// groups, window closing, the quit decision); events posted for a later
// iteration; and start-up (display check, sound engine, window).

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>

#include <string>
#include <vector>

#include "app/app_state.h"
#include "app/application.h"
#include "app/controls.h"
#include "app/dispatcher.h"
#include "app/main_window.h"
#include "tests/event_loop.h"
#include "tests/recording_commands.h"
#include "tests/scripted_dialogs.h"

namespace bleeptone {
namespace {

using testing::runPosted;
using testing::Cancel;
using testing::No;
using testing::RecordingCommands;
using testing::ScriptedDialogs;
using testing::Yes;
using Log = std::vector<std::string>;

const char* const kSaveQuestion = "Do you want to save your project before closing Bleeptone?";

class DispatcherTest : public ::testing::Test {
protected:
    DispatcherTest() : dialogs(&log), commands(log), dispatcher(window, dialogs, state, commands) {
        dispatcher.setLeaveLoop([this] { log.push_back("leave"); });
    }

    Log log;
    MainWindow window;
    ScriptedDialogs dialogs;
    AppState state;
    RecordingCommands commands;
    Dispatcher dispatcher;
};

// ---------------------------------------------------------------------------
// Enable groups.

const int kContentMenus[] = {menu::Save, menu::SaveAs, menu::CopyMml, menu::RecordToWave};
const int kIdleMenus[] = {0, 1, 5, 7, 8, 9, 10};

void setGroups(MainWindow& w, bool on) {
    for (int m : kContentMenus) w.menuItem(m)->setEnabled(on);
    for (int m : kIdleMenus) w.menuItem(m)->setEnabled(on);
    for (int n : {control::PlayButton, control::CopyMmlButton, control::PasteMmlButton}) w.controls().setEnabled(n, on);
    w.playContextItem()->setVisible(on);
}

TEST_F(DispatcherTest, RefreshOfTheEnableGroups) {
    // idle: whether the idle group follows the request too. An enable request
    // takes it along unless a recording runs; a disable request while the
    // song plays or records, or a recording waits for its Play. (As record
    // flag and status text: Idle and Passage are 0 and empty, Song 0 and
    // "Playing  ", RecordingArmed 1 and empty, Recording 1 and "Recording  ".)
    using P = PlayState;
    const struct {
        Refresh request;
        PlayState playing;
        bool idle;
    } rows[] = {
        {Refresh::Enable, P::Idle, true},
        {Refresh::Enable, P::Passage, true},
        {Refresh::Enable, P::Song, true},
        {Refresh::Enable, P::RecordingArmed, true},
        {Refresh::Enable, P::Recording, false},
        {Refresh::Disable, P::Idle, false},
        {Refresh::Disable, P::Passage, false},
        {Refresh::Disable, P::Song, true},
        {Refresh::Disable, P::RecordingArmed, true},
        {Refresh::Disable, P::Recording, true},
    };
    for (const auto& r : rows) {
        const bool enable = r.request == Refresh::Enable;
        SCOPED_TRACE(std::string(enable ? "enable" : "disable") + ", play state " +
                     std::to_string(static_cast<int>(r.playing)));
        setGroups(window, !enable);
        commands.playing = r.playing;
        // The request is made by a command and served at the end of its iteration.
        commands.instead["play"] = [&] { state.requests.refresh = r.request; };
        dispatcher.submit(AppEvent::control(control::PlayButton));

        EXPECT_EQ(state.requests.refresh, Refresh::None);
        const bool idleNow = r.idle ? enable : !enable;
        for (int m : kContentMenus) EXPECT_EQ(window.menuItem(m)->isEnabled(), enable) << "menu item " << m;
        EXPECT_EQ(window.controls().isEnabled(control::PlayButton), enable);
        EXPECT_EQ(window.controls().isEnabled(control::CopyMmlButton), enable);  // in both groups
        for (int m : kIdleMenus) EXPECT_EQ(window.menuItem(m)->isEnabled(), idleNow) << "menu item " << m;
        EXPECT_EQ(window.controls().isEnabled(control::PasteMmlButton), idleNow);
        EXPECT_EQ(window.playContextItem()->isVisible(), idleNow);
        EXPECT_TRUE(window.controls().isVisible(control::PlayButton));
    }
}

// ---------------------------------------------------------------------------
// Quit and close.

TEST_F(DispatcherTest, QuitUneditedLeavesAtOnce) {
    dispatcher.submit(AppEvent::menu(menu::Quit));
    EXPECT_EQ(log, (Log{"step", "leave"}));
    EXPECT_TRUE(state.requests.quit);
}

TEST_F(DispatcherTest, QuitEditedAnsweredNoLeaves) {
    window.setWindowModified(true);
    dialogs.answers = {No};
    dispatcher.submit(AppEvent::menu(menu::Quit));
    EXPECT_EQ(log, (Log{"step", std::string("question: ") + kSaveQuestion, "leave"}));
}

TEST_F(DispatcherTest, QuitEditedAnsweredYesSavesFirst) {
    window.setWindowModified(true);
    dialogs.answers = {Yes};
    dispatcher.submit(AppEvent::menu(menu::Quit));
    EXPECT_EQ(log, (Log{"step", std::string("question: ") + kSaveQuestion}));
    EXPECT_FALSE(state.requests.quit);
    EXPECT_TRUE(state.requests.quitAfterSave);

    // Save runs in an iteration of its own, and the loop keeps running.
    runPosted();
    EXPECT_EQ(log, (Log{"step", std::string("question: ") + kSaveQuestion, "save", "step"}));
    EXPECT_FALSE(state.requests.quit);
}

TEST_F(DispatcherTest, ClosingTheMainWindow) {
    dispatcher.submit(AppEvent::close(window::Main));
    EXPECT_TRUE(state.requests.quit);
    EXPECT_EQ(log, (Log{"step", "stopClock", "leave"}));

    // Edited: the clock stops before the question; No ends the program.
    log.clear();
    state = AppState{};
    window.setWindowModified(true);
    dialogs.answers = {No};
    dispatcher.submit(AppEvent::close(window::Main));
    EXPECT_EQ(log, (Log{"step", "stopClock", std::string("question: ") + kSaveQuestion, "leave"}));
}

TEST_F(DispatcherTest, QuitAndCloseCanBeCancelled) {
    // Cancel (also Escape, or closing the box) keeps the program running with
    // nothing changed; the playing-time clock that closing stopped goes on.
    window.setWindowModified(true);
    dialogs.answers = {Cancel, Cancel};
    dispatcher.submit(AppEvent::menu(menu::Quit));
    dispatcher.submit(AppEvent::close(window::Main));
    const std::string question = std::string("question: ") + kSaveQuestion;
    EXPECT_EQ(log, (Log{"step", question, "resumeClock", "step", "stopClock", question, "resumeClock"}));
    EXPECT_FALSE(state.requests.quit);
    EXPECT_FALSE(state.requests.quitAfterSave);
    EXPECT_TRUE(window.isWindowModified());
}

TEST_F(DispatcherTest, ClosingAnotherWindowKeepsTheLoop) {
    const struct {
        int window, closed;
    } rows[] = {{window::Help, 2}, {window::PsgModule, 3}, {window::About, 1}, {4, 1}};
    for (const auto& r : rows) {
        log.clear();
        dispatcher.submit(AppEvent::close(r.window));
        EXPECT_EQ(log, (Log{"step", "closeWindow " + std::to_string(r.closed)})) << "window " << r.window;
        EXPECT_FALSE(state.requests.quit);
    }
}

TEST_F(DispatcherTest, ClosingTheRealWindowGoesThroughTheLoop) {
    window.setEventSink([this](const AppEvent& e) { dispatcher.submit(e); });
    window.show();
    EXPECT_FALSE(window.close());
    EXPECT_EQ(log, (Log{"step", "stopClock", "leave"}));
    log.clear();
    state = AppState{};
    window.menuItem(menu::Quit)->trigger();
    EXPECT_EQ(log, (Log{"step", "leave"}));
}

// ---------------------------------------------------------------------------
// Dispatch tables.

TEST_F(DispatcherTest, MenuDispatch) {
    const struct {
        int item;
        std::string command;
    } rows[] = {
        {menu::About, "about"},
        {menu::New, "new"},
        {menu::Open, "open"},
        {menu::Save, "save"},
        {menu::SaveAs, "saveAs"},
        {menu::RecordToWave, "recordToWave"},
        {7, "demo 1"},
        {8, "demo 2"},
        {9, "demo 3"},
        {10, "demo 4"},
        {menu::Help, "help"},
        {menu::PsgModule, "psgModule"},
        {menu::Website, "url " + MainWindow::websiteUrl().toStdString()},
        {menu::SupportForum, "url " + MainWindow::forumUrl().toStdString()},
        {menu::ExportAudio, "exportAudio"},
        {menu::ExportMidi, "exportMidi"},
        {menu::ImportMidi, "importMidi"},
        {menu::MidiInput, "midiInput 0"},
        {menu::ExportWebPage, "exportWebPage"},
        {menu::ClearRecent, "clearRecent"},
        {menu::Undo, "edit " + std::to_string(menu::Undo)},
        {menu::SelectAll, "edit " + std::to_string(menu::SelectAll)},
    };
    for (const auto& r : rows) {
        log.clear();
        dispatcher.submit(AppEvent::menu(r.item));
        EXPECT_EQ(log, (Log{r.command, "step"})) << "menu item " << r.item;
        EXPECT_FALSE(state.requests.quit);
    }
    runPosted();
    EXPECT_EQ(log.size(), 2u) << "nothing was posted";
}

TEST_F(DispatcherTest, ControlDispatch) {
    const struct {
        AppEvent event;
        std::string command;  // empty: nothing runs
    } rows[] = {
        {AppEvent::control(control::PlayButton), "play"},
        {AppEvent::control(control::StopButton), "stop"},
        {AppEvent::control(control::CopyMmlButton), "copyMml"},
        {AppEvent::control(control::PasteMmlButton), "pasteMml"},
        {AppEvent::control(control::ModuleCopyLink), "copyModule"},
        // A change by the user in the main window marks the document edited.
        {AppEvent::control(18, ControlEventType::Change), "edited 18"},
        {AppEvent::control(69, ControlEventType::Change), "edited 69"},
        {AppEvent::control(1, ControlEventType::Change), "edited 1"},
        {AppEvent::control(61, ControlEventType::Change), "edited 61"},
        {AppEvent::control(control::TempoBox, ControlEventType::Change), "edited 3"},
        // The module window's editor is not part of the document.
        {AppEvent::control(72, ControlEventType::Change), ""},
        {AppEvent::control(18, ControlEventType::Focus), ""},
        {AppEvent::control(10, ControlEventType::Up), ""},
        {AppEvent::control(12, ControlEventType::Down), ""},
    };
    for (const auto& r : rows) {
        log.clear();
        dispatcher.submit(r.event);
        const Log want = r.command.empty() ? Log{"step"} : Log{r.command, "step"};
        EXPECT_EQ(log, want) << "control " << r.event.number << " type " << static_cast<int>(r.event.type);
    }
}

TEST_F(DispatcherTest, OpenDocumentsRunsOpenWithThePendingPath) {
    state.pendingPath = "/home/user/tune.mmlp";
    dispatcher.submit(AppEvent::openDocuments());
    EXPECT_EQ(log, (Log{"openPath /home/user/tune.mmlp", "step"}));
    EXPECT_TRUE(state.pendingPath.isEmpty());
}

TEST_F(DispatcherTest, OpenRecentCarriesTheIndex) {
    AppEvent e = AppEvent::menu(menu::OpenRecent);
    e.data = 3;
    dispatcher.submit(e);
    EXPECT_EQ(log, (Log{"openRecent 3", "step"}));
}

TEST_F(DispatcherTest, PlayAndStopKeysClickTheButtons) {
    // F5 plays when Play can play, and stops what plays; Escape only stops.
    using P = PlayState;
    const struct {
        int item;
        PlayState playing;
        bool playEnabled;
        std::string click;  // empty: nothing
    } rows[] = {
        {menu::PlayOrStop, P::Idle, true, "play"},       {menu::PlayOrStop, P::Idle, false, ""},
        {menu::PlayOrStop, P::Song, false, "stop"},      {menu::PlayOrStop, P::Passage, true, "stop"},
        {menu::PlayOrStop, P::Recording, false, "stop"}, {menu::PlayOrStop, P::RecordingArmed, false, ""},
        {menu::StopPlaying, P::Song, false, "stop"},     {menu::StopPlaying, P::Idle, true, ""},
    };
    for (const auto& r : rows) {
        commands.playing = r.playing;
        window.controls().setEnabled(control::PlayButton, r.playEnabled);
        log.clear();
        dispatcher.submit(AppEvent::menu(r.item));
        runPosted();
        const Log want = r.click.empty() ? Log{"step"} : Log{"step", r.click, "step"};
        EXPECT_EQ(log, want) << "menu item " << r.item;
    }
}

TEST_F(DispatcherTest, CopyAndPasteMenusOnlyPostAClick) {
    const struct {
        int item;
        std::string command;
    } rows[] = {{menu::CopyMml, "copyMml"}, {menu::PasteMml, "pasteMml"}};
    for (const auto& r : rows) {
        log.clear();
        dispatcher.submit(AppEvent::menu(r.item));
        EXPECT_EQ(log, (Log{"step"})) << "the click waits for a later iteration";
        runPosted();
        EXPECT_EQ(log, (Log{"step", r.command, "step"}));
    }
}

TEST_F(DispatcherTest, TempoArrowsSkipTheCodesWithoutATempo) {
    const struct {
        int shown;
        ControlEventType type;
        int expected;
    } rows[] = {
        {8, ControlEventType::Down, 6}, {5, ControlEventType::Down, 0}, {1, ControlEventType::Up, 6},
        {7, ControlEventType::Up, 9},   {12, ControlEventType::Up, 12}, {10, ControlEventType::Down, 10},
    };
    ControlTable& t = window.controls();
    for (const auto& r : rows) {
        log.clear();
        t.setState(control::TempoBox, r.shown);
        dispatcher.submit(AppEvent::control(control::TempoBox, r.type));
        EXPECT_EQ(t.state(control::TempoBox), r.expected) << r.shown;
        EXPECT_EQ(log, (Log{"step"})) << "an arrow step runs no other command";
    }
    // A typed value stays.
    log.clear();
    t.setState(control::TempoBox, 7);
    dispatcher.submit(AppEvent::control(control::TempoBox, ControlEventType::Change));
    EXPECT_EQ(t.state(control::TempoBox), 7);
    EXPECT_EQ(log, (Log{"edited 3", "step"}));
}

TEST_F(DispatcherTest, EngineEventsReachTheirHandler) {
    for (std::int64_t data : {-1, -2, 0, 7}) {
        log.clear();
        dispatcher.submit(AppEvent::engine(data));
        EXPECT_EQ(log, (Log{"engine " + std::to_string(data), "step"}));
    }
    log.clear();
    dispatcher.submit(AppEvent::midiNote(61, 90));  // a key of the MIDI keyboard
    EXPECT_EQ(log, (Log{"midiNote 61 90", "step"}));
}

// The song view's requests; playing from a moment as Play from Here may (while
// something plays, or where Play could be clicked); Song View and Loop Playback.
TEST_F(DispatcherTest, SongViewRequestsAndItsMenuItem) {
    using P = PlayState;
    const struct {
        AppEvent event;
        PlayState playing;
        bool playEnabled;
        std::string command;  // empty: nothing
    } rows[] = {
        {AppEvent::goToPlace(2, 3, 4), P::Idle, false, "goTo 2 3 4"},
        {AppEvent::playFromMoment(1234), P::Idle, true, "playFromMoment 1234"},
        {AppEvent::playFromMoment(1234), P::Song, false, "playFromMoment 1234"},
        {AppEvent::playFromMoment(1234), P::Idle, false, ""},
        {AppEvent::playFromMoment(-5), P::Idle, true, "playFromMoment 0"},
        {AppEvent::loopRange(100, 900), P::Idle, false, "loopRange 100 900"},
        {AppEvent::loopRange(0, 0), P::Song, false, "loopRange 0 0"},
    };
    for (const auto& r : rows) {
        commands.playing = r.playing;
        window.controls().setEnabled(control::PlayButton, r.playEnabled);
        log.clear();
        dispatcher.submit(r.event);
        EXPECT_EQ(log, r.command.empty() ? Log{"step"} : (Log{r.command, "step"})) << r.command;
    }
    for (const int item : {menu::SongView, menu::LoopPlayback}) {
        window.menuItem(item)->setChecked(true);
        log.clear();
        dispatcher.submit(AppEvent::menu(item));
        const std::string option = "option " + std::to_string(item) + " on";
        EXPECT_EQ(log, item == menu::SongView ? (Log{"song view shown", option, "step"})
                                              : (Log{"loopPlaybackChanged", option, "step"}));
    }
}

// ---------------------------------------------------------------------------
// Order of iterations.

TEST_F(DispatcherTest, EventSubmittedDuringAnIterationWaitsForItsEnd) {
    commands.instead["new"] = [this] {
        log.push_back("new begins");
        dispatcher.submit(AppEvent::menu(menu::Open));
        log.push_back("new ends");
    };
    commands.instead["open"] = [this] {
        log.push_back("open begins");
        dispatcher.submit(AppEvent::menu(menu::Save));
        log.push_back("open ends");
    };
    dispatcher.submit(AppEvent::menu(menu::New));
    EXPECT_EQ(log, (Log{"new begins", "new ends", "step", "open begins", "open ends", "step", "save", "step"}));
}

TEST_F(DispatcherTest, PostedEventWaitsForTheWholeIteration) {
    // A command that posts another: the second runs after the first
    // iteration's end-of-iteration work, never inside it.
    commands.instead["recordToWave"] = [this] {
        log.push_back("recordToWave");
        dispatcher.post(AppEvent::control(control::PlayButton));
    };
    dispatcher.submit(AppEvent::menu(menu::RecordToWave));
    EXPECT_EQ(log, (Log{"recordToWave", "step"}));
    runPosted();
    EXPECT_EQ(log, (Log{"recordToWave", "step", "play", "step"}));
}

Application::Options options(std::vector<int> heights, AudioBackend audio, OutputFactory factory) {
    Application::Options o;
    o.screenHeights = std::move(heights);
    o.audio = audio;
    o.outputFactory = std::move(factory);
    return o;
}

// ---------------------------------------------------------------------------
// Start-up.

TEST(DisplayCheck, NeedsOneDisplayAtLeast768High) {
    const struct {
        std::vector<int> heights;
        bool passes;
    } rows[] = {
        {{720}, false},       // 1280 x 720
        {{800}, true},        // 1000 x 800
        {{768}, true},
        {{767}, false},
        {{720, 800}, true},
        {{800, 720}, true},
        {{600, 720, 767}, false},
        {{}, false},
    };
    for (const auto& r : rows) {
        std::string heights;
        for (int h : r.heights) heights += std::to_string(h) + " ";
        EXPECT_EQ(displayCheckPasses(r.heights), r.passes) << heights;
    }
}

// Outputs that never touch a device: the "device" one refuses to start when
// told to, the silent one starts without rendering.
struct OutputBench {
    bool refuseDevice = false;
    bool refuseSilent = false;
    int made = 0;
};

class FakeOutput : public AudioOutput {
public:
    explicit FakeOutput(bool refuse) : refuse_(refuse) {}
    bool start(RenderFn, void*) override { return !refuse_; }
    void stop() override {}
    std::string error() const override { return refuse_ ? "refused" : ""; }

private:
    bool refuse_;
};

OutputFactory factoryOn(OutputBench& bench) {
    return [&bench](AudioBackend backend) -> std::unique_ptr<AudioOutput> {
        ++bench.made;
        return std::make_unique<FakeOutput>(backend == AudioBackend::PortAudio ? bench.refuseDevice
                                                                               : bench.refuseSilent);
    };
}

TEST(StartUp, DisplayCheck) {
    const struct {
        std::vector<int> heights;
        bool starts;
    } rows[] = {{{720}, false}, {{800}, true}, {{720, 1080}, true}, {{1080, 600}, true}};
    for (const auto& r : rows) {
        OutputBench bench;
        Log log;
        ScriptedDialogs dialogs(&log);
        Application app(dialogs);
        EXPECT_EQ(app.start(options(r.heights, AudioBackend::Null, factoryOn(bench))), r.starts);
        if (r.starts) {
            EXPECT_TRUE(log.empty());
            EXPECT_EQ(app.window().title(), "Bleeptone");
            EXPECT_EQ(bench.made, 1);
        } else {
            EXPECT_EQ(log, (Log{"error: Minimum resolution is 1024x768."}));
            EXPECT_EQ(bench.made, 0) << "the engine must not start";
        }
    }
}

TEST(StartUp, SoundDeviceFailures) {
    const struct {
        bool refuseDevice, refuseSilent;
        AudioBackend backend;
        bool error;
    } rows[] = {
        {false, false, AudioBackend::PortAudio, false},
        {true, false, AudioBackend::PortAudio, true},  // falls back to the silent output
        {true, true, AudioBackend::PortAudio, true},   // nothing at all
        {false, false, AudioBackend::Null, false},
    };
    for (const auto& r : rows) {
        OutputBench bench;
        bench.refuseDevice = r.refuseDevice;
        bench.refuseSilent = r.refuseSilent;
        Log log;
        ScriptedDialogs dialogs(&log);
        Application app(dialogs);
        ASSERT_TRUE(app.start(options({1080}, r.backend, factoryOn(bench))));
        EXPECT_EQ(log, r.error ? Log{"error: Unable to initialize PSG"} : Log{})
            << "device refuses " << r.refuseDevice << ", silent refuses " << r.refuseSilent;
        // The program runs on: the window is there and serves events.
        EXPECT_EQ(app.window().title(), "Bleeptone");
        bool left = false;
        app.dispatcher().setLeaveLoop([&] { left = true; });
        app.dispatcher().submit(AppEvent::menu(menu::Quit));
        EXPECT_TRUE(left);
        app.shutdown();
    }
}

// Everything the user can see of the window, as text.
Log snapshot(MainWindow& w) {
    Log out;
    const ControlTable& t = w.controls();
    for (int n = 0; n < control::Count; ++n) {
        const QRect r = t.geometry(n);
        out.push_back(std::to_string(n) + " [" + t.text(n).toStdString() + "] " + std::to_string(t.state(n)) +
                      (t.isEnabled(n) ? " on" : " off") + (t.isVisible(n) ? " shown " : " hidden ") +
                      std::to_string(r.x()) + "," + std::to_string(r.y()) + "," + std::to_string(r.width()) + "," +
                      std::to_string(r.height()));
    }
    for (int m = -3; m < menu::Count; ++m)
        if (QAction* a = w.menuItem(m)) out.push_back("menu " + std::to_string(m) + (a->isEnabled() ? " on" : " off"));
    out.push_back(std::string("context ") + (w.playContextItem()->isVisible() ? "shown" : "hidden"));
    out.push_back(w.windowTitle().toStdString() + (w.isWindowModified() ? " edited" : ""));
    return out;
}

TEST(StartUp, StarCommandEventsChangeNothing) {
    OutputBench bench;
    Log log;
    ScriptedDialogs dialogs(&log);
    Application app(dialogs);
    ASSERT_TRUE(app.start(options({1080}, AudioBackend::Null, factoryOn(bench))));
    bool left = false;
    app.dispatcher().setLeaveLoop([&] { left = true; });
    MainWindow& w = app.window();
    // A window in use: some text, a setting changed, the groups enabled.
    w.controls().setText(18, "t120 o4 l8 cdef *7 gab");
    w.controls().setState(3, 9);
    app.state().requests.refresh = Refresh::Enable;
    app.dispatcher().submit(AppEvent::control(18, ControlEventType::Focus));
    const Log before = snapshot(w);
    for (std::int64_t data : {0, 7}) {
        app.dispatcher().submit(AppEvent::engine(data));
        runPosted();
        EXPECT_EQ(snapshot(w), before) << "event " << data;
    }
    EXPECT_FALSE(left);
    EXPECT_TRUE(log.empty());
}

}  // namespace
}  // namespace bleeptone
