#pragma once
// File > Export Audio...: the choices box, the save panel, then the song
// rendered and encoded by an engine of its own on a worker thread, as fast
// as the machine allows, while a progress dialog (whose Cancel stops it,
// leaving no file) keeps the window responsive. Progress and the result
// reach the main thread through queued calls; the worker touches no widget.

#include <QObject>
#include <QPointer>
#include <QString>

#include <atomic>
#include <thread>

#include "export/export_choices.h"

class QProgressDialog;

namespace bleeptone {

class Dialogs;
class Document;
class MainWindow;

// The choices remembered in QSettings ("export/format", "export/passes",
// "export/fadeSeconds", "export/stems"). Thread: main.
ExportChoices loadExportChoices();
void saveExportChoices(const ExportChoices& choices);

class AudioExporter : public QObject {
    Q_OBJECT
public:
    AudioExporter(MainWindow& window, Dialogs& dialogs, Document& document);
    // Cancels a running export and waits for its worker.
    ~AudioExporter() override;

    // The command: returns once the worker runs (or the user cancelled a box).
    void exportAudio();
    bool running() const { return worker_.joinable(); }
    QProgressDialog* progressDialog() const;

private:
    void start(const ExportSpec& spec, const QString& path);
    // Queued from the worker by name: Qt's own event, no object of ours
    // crosses threads. The result is handed over through result_, which the
    // main thread reads after joining the worker.
    Q_INVOKABLE void showProgress();
    Q_INVOKABLE void finish();

    MainWindow& window_;
    Dialogs& dialogs_;
    Document& document_;
    std::thread worker_;
    ExportResult result_;  // written by the worker before its last call
    std::atomic<bool> cancel_{false};
    std::atomic<int> progressValue_{0};
    std::atomic<int> progressFile_{0};         // 0 the mix, 1..4 the stems
    std::atomic<bool> progressPosted_{false};  // a progress call is on its way to the main thread
    QPointer<QProgressDialog> progress_;
    QString path_;  // the mix
    int shownFile_ = 0;
};

}  // namespace bleeptone
