#include "app/screenshot.h"

#include <QApplication>
#include <QKeyEvent>
#include <QTimer>

#include <cstdio>

#include "app/application.h"
#include "app/dispatcher.h"
#include "app/main_window.h"
#include "app/song_view_link.h"
#include "project/control_numbers.h"
#include "ui/aux_windows.h"

namespace bleeptone {

namespace {

// Types text into channel 1's editor as keystrokes, so that the colouring and
// the info bar follow it as they follow a user's typing.
void typeIntoFirstEditor(MainWindow& window, const QString& text) {
    QWidget* editor = window.controls().widget(control::channelEditor(1));
    editor->setFocus();
    for (const QChar ch : text) {
        const int key = ch == '\n' ? Qt::Key_Return : 0;
        const QString keyText = ch == '\n' ? QString("\r") : QString(ch);
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, keyText);
        QApplication::sendEvent(editor, &press);
        QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, keyText);
        QApplication::sendEvent(editor, &release);
    }
}

}  // namespace

bool isScreenshotWindow(const QString& name) {
    return name == "main" || name == "help" || name == "module" || name == "about" || name == "songview";
}

void scheduleScreenshot(Application& application, const ScreenshotRequest& request) {
    MainWindow& window = application.window();
    AuxWindows& aux = application.auxWindows();
    // The song view is pictured while the song plays, a few seconds in.
    const bool songView = request.window == "songview";
    QTimer::singleShot(300, &window, [&application, &window, &aux, request, songView] {
        if (!request.typed.isEmpty()) typeIntoFirstEditor(window, request.typed);
        if (request.window == "help") aux.openHelp(&window);
        if (request.window == "module") aux.openModule(&window);
        if (request.window == "about") aux.openAbout(&window);
        if (songView) {
            window.menuItem(menu::SongView)->setChecked(true);
            application.dispatcher().submit(AppEvent::menu(menu::SongView));
            application.dispatcher().submit(AppEvent::control(control::PlayButton));
        }
    });
    QTimer::singleShot(songView ? 4300 : 800, &window, [&application, &window, &aux, request, songView] {
        QWidget* shown = &window;
        if (request.window == "help") shown = aux.help();
        if (request.window == "module") shown = aux.module();
        if (request.window == "about") shown = aux.about();
        if (songView) shown = application.songView().window();
        const bool saved = shown && shown->grab().save(request.file, "PNG");
        if (!saved) std::fprintf(stderr, "bleeptone: cannot write %s\n", qPrintable(request.file));
        QCoreApplication::exit(saved ? 0 : 1);
    });
}

}  // namespace bleeptone
