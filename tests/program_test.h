#pragma once
// The fixture of the widget tests that run the whole program: offscreen, on
// one 1080-pixel screen with the silent output, scripted message boxes and
// panels, a private temporary folder. The loop never ends the test program:
// leaving it is only counted.
#include <gtest/gtest.h>

#include <QTest>

#include <memory>

#include "app/application.h"
#include "app/dispatcher.h"
#include "app/main_window.h"
#include "tests/event_loop.h"
#include "tests/scripted_dialogs.h"
#include "tests/test_support.h"

namespace bleeptone::testing {

// A program on one 1080-pixel screen with the silent output.
inline Application::Options programOptions() {
    Application::Options options;
    options.screenHeights = {1080};
    options.audio = AudioBackend::Null;
    return options;
}

class ProgramTest : public TempDirTest {
public:
    void TearDown() override {
        app.reset();
        runPosted();
        TempDirTest::TearDown();
    }

    // Starts the program (again, if it runs); shown: with its window shown and active.
    void startProgram(bool shown, const Application::Options& options = programOptions()) {
        app.reset();
        app = std::make_unique<Application>(dialogs);
        ASSERT_TRUE(app->start(options));
        app->dispatcher().setLeaveLoop([this] { ++loopsLeft; });
        if (!shown) return;
        window().show();
        window().activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window(), 10000));
    }

    MainWindow& window() { return app->window(); }
    ControlTable& controls() { return window().controls(); }
    void submit(const AppEvent& event) { app->dispatcher().submit(event); }
    // A menu item chosen, and what it posts.
    void menu(int item) {
        submit(AppEvent::menu(item));
        runPosted();
    }

    ScriptedDialogs dialogs;
    std::unique_ptr<Application> app;
    int loopsLeft = 0;
};

}  // namespace bleeptone::testing
