#pragma once
// Pictures of the program's windows (for the README and the package's
// metadata): `bleeptone --screenshot FILE [--screenshot-of main|help|module|about|songview]
// [--type TEXT]` saves one once the window is shown, then quits (the song
// view while the song plays, four seconds in).

#include <QString>

namespace bleeptone {

class Application;

struct ScreenshotRequest {
    QString file;             // where the PNG goes
    QString window = "main";  // main, help, module, about or songview
    QString typed;            // typed into channel 1 first ("\n" for Return)
};

// True for the window names --screenshot-of takes.
bool isScreenshotWindow(const QString& name);

// Types, opens the window asked for, saves the picture and ends the event
// loop (exit code 0, or 1 when the file cannot be written).
void scheduleScreenshot(Application& application, const ScreenshotRequest& request);

}  // namespace bleeptone
