#pragma once
// Pictures of the program's windows (for the README and the package's
// metadata): `bleeptone --screenshot FILE [--screenshot-of main|help|module|about]
// [--type TEXT]` saves one once the window is shown, then quits.

#include <QString>

namespace bleeptone {

class Application;

struct ScreenshotRequest {
    QString file;             // where the PNG goes
    QString window = "main";  // main, help, module or about
    QString typed;            // typed into channel 1 first ("\n" for Return)
};

// True for the window names --screenshot-of takes.
bool isScreenshotWindow(const QString& name);

// Types, opens the window asked for, saves the picture and ends the event
// loop (exit code 0, or 1 when the file cannot be written).
void scheduleScreenshot(Application& application, const ScreenshotRequest& request);

}  // namespace bleeptone
