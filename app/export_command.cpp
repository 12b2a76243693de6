#include "app/export_command.h"

#include <QFile>
#include <QFileInfo>
#include <QProgressDialog>
#include <QSettings>

#include <cmath>

#include "app/dialogs.h"
#include "app/document.h"
#include "app/main_window.h"
#include "app/window_fields.h"
#include "song/song_assembly.h"

namespace bleeptone {

namespace {

constexpr int kProgressSteps = 1000;

QString exportingText(const QString& path) { return QString("Exporting \"%1\"...").arg(QFileInfo(path).fileName()); }

QString fileList(const std::vector<std::string>& files) {
    QStringList quoted;
    for (const std::string& f : files) quoted << "\"" + QFile::decodeName(f.c_str()) + "\"";
    if (quoted.size() == 1) return quoted.front();
    const QString last = quoted.takeLast();
    return quoted.join(", ") + " and " + last;
}

}  // namespace

ExportChoices loadExportChoices() {
    QSettings settings;
    ExportChoices c;
    c.format = formatOfExtension(settings.value("export/format").toString().toStdString()).value_or(ExportFormat::Wav);
    c.passes = settings.value("export/passes", 1).toInt();
    c.fadeSeconds = settings.value("export/fadeSeconds", 0.0).toDouble();
    c.stems = settings.value("export/stems", false).toBool();
    return validChoices(c);
}

void saveExportChoices(const ExportChoices& choices) {
    QSettings settings;
    settings.setValue("export/format", formatExtension(choices.format));
    settings.setValue("export/passes", choices.passes);
    settings.setValue("export/fadeSeconds", choices.fadeSeconds);
    settings.setValue("export/stems", choices.stems);
}

AudioExporter::AudioExporter(MainWindow& window, Dialogs& dialogs, Document& document)
    : window_(window), dialogs_(dialogs), document_(document) {}

QProgressDialog* AudioExporter::progressDialog() const { return progress_; }

AudioExporter::~AudioExporter() {
    cancel_ = true;
    if (worker_.joinable()) worker_.join();
    delete progress_;
}

void AudioExporter::exportAudio() {
    if (running()) return;  // one at a time (the progress dialog may not be up yet)
    // The whole song, as Play assembles it; a selection does not matter.
    const std::array<QString, 4> song = assembleSong(WindowFields(window_.controls()));
    std::array<std::u16string, 4> texts;
    for (std::size_t k = 0; k < texts.size(); ++k) texts[k] = song[k].toStdU16String();

    const std::optional<ExportChoices> choices = dialogs_.exportChoices(loadExportChoices(), songLoops(texts));
    if (!choices) return;
    saveExportChoices(*choices);

    const QString name = QString::fromStdString(withExtension(document_.projectName().toStdString(), choices->format));
    const QString chosen =
        dialogs_.filePanel(Dialogs::PanelMode::Save, "Export Audio...", formatExtension(choices->format),
                           formatFileKind(choices->format), document_.panelStart(name));
    if (chosen.isEmpty()) return;
    Document::rememberFolder(chosen);
    const std::string path = withExtension(QFile::encodeName(chosen).toStdString(), choices->format);
    start(exportSpecFor(*choices, texts), QFile::decodeName(path.c_str()));
}

void AudioExporter::start(const ExportSpec& spec, const QString& path) {
    cancel_ = false;
    progressValue_ = 0;
    progressFile_ = 0;
    progressPosted_ = false;
    path_ = path;
    shownFile_ = 0;
    progress_ = new QProgressDialog(exportingText(path), "Cancel", 0, kProgressSteps, &window_);
    progress_->setMinimumWidth(360);
    progress_->setWindowTitle("Export Audio");
    progress_->setWindowModality(Qt::WindowModal);
    progress_->setAutoClose(false);
    progress_->setAutoReset(false);
    progress_->setMinimumDuration(500);
    // Cancel, closing the dialog and Escape all stop the export.
    connect(progress_, &QProgressDialog::canceled, this, [this] { cancel_ = true; });
    connect(progress_, &QDialog::rejected, this, [this] { cancel_ = true; });
    progress_->setValue(0);

    worker_ = std::thread([this, spec, target = QFile::encodeName(path).toStdString()] {
        const auto report = [this](const ExportProgress& p) {
            progressValue_ = static_cast<int>(std::lround(p.fraction() * kProgressSteps));
            progressFile_ = p.file;
            // One call on its way at a time: a slow main thread sees the latest value, not a queue of them.
            if (!progressPosted_.exchange(true)) QMetaObject::invokeMethod(this, "showProgress", Qt::QueuedConnection);
        };
        result_ = bleeptone::exportAudio(spec, target, report, &cancel_);
        QMetaObject::invokeMethod(this, "finish", Qt::QueuedConnection);
    });
}

void AudioExporter::showProgress() {
    progressPosted_ = false;
    // A modal progress dialog serves events inside setValue: this may run again meanwhile.
    if (!progress_ || cancel_) return;
    if (const int file = progressFile_; file != shownFile_) {
        shownFile_ = file;
        const std::string shown =
            file == 0 ? QFile::encodeName(path_).toStdString() : stemPath(QFile::encodeName(path_).toStdString(), file);
        progress_->setLabelText(exportingText(QFile::decodeName(shown.c_str())));
    }
    progress_->setValue(progressValue_);
}

void AudioExporter::finish() {
    if (worker_.joinable()) worker_.join();  // it has nothing left to do but return
    const ExportResult result = std::move(result_);
    if (progress_) {
        progress_->hide();
        progress_->deleteLater();  // not at once: this may run inside its setValue
        progress_ = nullptr;
    }
    switch (result.status) {
        case ExportStatus::Done:
            if (result.files.size() == 1) {
                dialogs_.information(QString("The song was exported to %1.").arg(fileList(result.files)));
            } else {
                const std::vector<std::string> channels(result.files.begin() + 1, result.files.end());
                dialogs_.information(QString("The song was exported to %1, and its channels to %2.")
                                         .arg(fileList({result.files.front()}), fileList(channels)));
            }
            break;
        case ExportStatus::Failed:
            dialogs_.error(QString("The song could not be exported: %1.").arg(QString::fromStdString(result.message)));
            break;
        case ExportStatus::Cancelled: break;  // the user asked for it: no file, nothing to say
    }
}

}  // namespace bleeptone
