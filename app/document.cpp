#include "app/document.h"

#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QSettings>

#include "app/controls.h"
#include "app/dialogs.h"
#include "app/main_window.h"
#include "app/recent_files.h"
#include "app/undo_history.h"
#include "app/window_fields.h"
#include "project/project_blocks.h"
#include "project/project_file.h"
#include "project/project_model.h"

namespace bleeptone {

namespace {

const QString kTitleSuffix = QStringLiteral(" - Bleeptone");
const QString kUnsavedQuestion = QStringLiteral("You haven't saved your project yet. Do you still want to continue?");
const char* const kLastFolderKey = "lastFolder";

}  // namespace

QString titleForFile(const QString& path) {
    QString name = QFileInfo(path).fileName();
    const qsizetype dot = name.lastIndexOf('.');
    if (dot >= 0) name.truncate(dot);
    return name + kTitleSuffix;
}

QString titleAfterEdit(const QString& current) {
    QString t = current;
    t.remove('*');
    t.remove(kTitleSuffix);
    return t + '*' + kTitleSuffix;
}

Document::Document(MainWindow& window, Dialogs& dialogs, LoopRequests& requests,
                   std::function<void(const AppEvent&)> post)
    : window_(window), dialogs_(dialogs), requests_(requests), post_(std::move(post)) {}

bool Document::anyEditorHasText() const {
    for (int c = 1; c <= 4; ++c)
        if (!window_.controls().text(control::channelEditor(c)).isEmpty()) return true;
    return false;
}

// Asks before unsaved work is replaced; true when the user keeps it (answers No).
bool Document::keepUnsavedWork(bool onlyWithEditorText) {
    if (!window_.title().contains('*')) return false;
    if (onlyWithEditorText && !anyEditorHasText()) return false;
    return !dialogs_.question(kUnsavedQuestion);
}

void Document::loadBuiltIn(BuiltInProject which) {
    WindowFields fields(window_.controls());
    bleeptone::loadBuiltIn(which, fields);
    window_.colourAllEditors();
}

void Document::setTitle(const QString& title, bool edited) {
    if (!edited) {
        cleanTitle_ = title;
        cleanPristine_ = pristine_;
    }
    window_.setDocumentTitle(title, edited);
    if (editedListener_) editedListener_(edited);
}

void Document::showPlayItem(bool shown) { window_.playContextItem()->setVisible(shown); }

void Document::restartHistory(bool saved) {
    if (history_) history_->restart(saved);
}

// The New template under no name. A paste fills it at once, so it starts
// edited and playable.
void Document::loadNewTemplate(bool edited) {
    loadBuiltIn(BuiltInProject::NewTemplate);
    currentPath_.clear();
    saveWithoutPanel_ = false;
    requests_.refresh = edited ? Refresh::Enable : Refresh::Disable;
    pristine_ = !edited;
    setTitle(edited ? kUntitledEdited : kProgramTitle, edited);
    showPlayItem(edited);
}

void Document::newProject() {
    if (keepUnsavedWork(false)) return;
    loadNewTemplate(false);
    restartHistory(true);
}

void Document::open() {
    if (keepUnsavedWork(true)) return;
    const QString path =
        dialogs_.filePanel(Dialogs::PanelMode::Open, "Open MML Project...", "mmlp", "Bleeptone Project", panelStart());
    if (path.isEmpty()) return;  // cancelled
    rememberFolder(path);
    openFile(path);
}

void Document::openPath(const QString& paths) {
    if (paths.isEmpty() || keepUnsavedWork(true)) return;
    if (window_.isMinimized()) window_.showNormal();
    // Several documents at once: the first one is opened.
    openFile(paths.section('\t', 0, 0));
}

void Document::openFile(const QString& path) {
    WindowFields fields(window_.controls());
    const ProjectIoResult result = loadProjectFile(path, fields);
    if (!result.ok) {
        // Nothing was read: the window, title, path and Save item stay as they were.
        if (recent_) recent_->remove(path);
        dialogs_.error(result.error);
        return;
    }
    if (recent_) recent_->add(path);
    window_.colourAllEditors();
    currentPath_ = path;
    saveWithoutPanel_ = true;
    requests_.refresh = Refresh::Enable;
    pristine_ = false;
    for (int c = 1; c <= 4; ++c) window_.controls().setState(control::muteBox(c), 0);
    setTitle(titleForFile(currentPath_), false);
    showPlayItem(true);
    restartHistory(true);
}

void Document::save() {
    saveWithoutPanel_ = true;
    post_(AppEvent::menu(menu::SaveAs));
}

void Document::saveAs() {
    const QString remembered = currentPath_;
    QString path = currentPath_;
    if (!saveWithoutPanel_ || path.isEmpty()) {
        path = dialogs_.filePanel(Dialogs::PanelMode::Save, "Save MML Project As...", "mmlp", "Bleeptone Project",
                                  panelStart(QFileInfo(currentPath_).fileName()));
        if (path.isEmpty()) {
            // Cancelled: a quit that waited for this save does not wait any longer.
            requests_.quitAfterSave = false;
            return;
        }
        rememberFolder(path);
    }
    path = withNameExtension(path, ".mmlp");

    const ProjectIoResult result = saveProjectFile(path, WindowFields(window_.controls()));
    saveWithoutPanel_ = false;
    if (!result.ok) {
        // The document keeps its file, title, mark and Save item; a quit
        // that waited for this save does not happen.
        currentPath_ = remembered;
        requests_.quitAfterSave = false;
        dialogs_.error(result.error);
        return;
    }
    currentPath_ = path;
    if (recent_) recent_->add(path);
    setTitle(titleForFile(currentPath_), false);
    if (history_) history_->markSaved();
    dialogs_.information("Your project has been saved!");
    if (requests_.quitAfterSave) requests_.quit = true;
}

void Document::loadDemo(int n) {
    if (n < 1 || n > 4) return;
    if (keepUnsavedWork(true)) return;
    loadBuiltIn(static_cast<BuiltInProject>(static_cast<int>(BuiltInProject::Demo1) + n - 1));
    currentPath_.clear();
    saveWithoutPanel_ = false;
    requests_.refresh = Refresh::Enable;
    pristine_ = false;
    setTitle(QString("Demo %1").arg(n) + kTitleSuffix, false);
    showPlayItem(true);
    restartHistory(true);
}

bool Document::replaceWithPaste(const ProjectFields& pasted) {
    if (keepUnsavedWork(false)) return false;
    loadNewTemplate(true);
    WindowFields fields(window_.controls());
    copyProject(pasted, fields);
    window_.colourAllEditors();
    restartHistory(false);  // edited until it is saved
    return true;
}

void Document::replaceWithImport(const ProjectFields& imported) {
    loadNewTemplate(true);
    WindowFields fields(window_.controls());
    copyProject(imported, fields);
    window_.colourAllEditors();
    restartHistory(false);  // edited until it is saved
}

void Document::followHistory(bool edited) {
    if (edited) return markEdited();
    if (!window_.isWindowModified()) return;
    // Back where it was loaded or saved: as it was then.
    pristine_ = cleanPristine_;
    if (pristine_) {
        requests_.refresh = Refresh::Disable;
        showPlayItem(false);
    }
    setTitle(cleanTitle_, false);
}

void Document::markEdited() {
    if (pristine_) {
        pristine_ = false;
        requests_.refresh = Refresh::Enable;
        setTitle(kUntitledEdited, true);
        showPlayItem(true);
    } else {
        setTitle(titleAfterEdit(window_.title()), true);
    }
}

QString withNameExtension(const QString& path, const QString& extension) {
    const QStringView name = QStringView(path).mid(path.lastIndexOf('/') + 1);
    return name.contains(extension) ? path : path + extension;
}

QString projectNameOf(const QString& title) {
    QString name = title;
    name.remove(kTitleSuffix);
    name.remove('*');
    return name.isEmpty() || name == kProgramTitle ? QStringLiteral("Untitled") : name;
}

QString Document::projectName() const { return projectNameOf(window_.title()); }

QString Document::panelStart(const QString& fileName) const {
    QString folder = currentPath_.isEmpty() ? QString() : QFileInfo(currentPath_).absolutePath();
    if (folder.isEmpty()) {
        folder = QSettings().value(kLastFolderKey).toString();
        if (!QFileInfo(folder).isDir()) folder = QDir::homePath();
    }
    return folder + '/' + fileName;
}

void Document::rememberFolder(const QString& chosenPath) {
    QSettings().setValue(kLastFolderKey, QFileInfo(chosenPath).absolutePath());
}

bool Document::restore(const QString& copyPath, const QString& documentPath, const QString& title) {
    WindowFields fields(window_.controls());
    const ProjectIoResult result = loadProjectFile(copyPath, fields);
    if (!result.ok) {
        dialogs_.error(result.error);
        return false;
    }
    window_.colourAllEditors();
    currentPath_ = documentPath;
    saveWithoutPanel_ = false;
    requests_.refresh = Refresh::Enable;
    pristine_ = false;
    const QString fallback = documentPath.isEmpty() ? kUntitledEdited : titleAfterEdit(titleForFile(documentPath));
    setTitle(title.contains('*') ? title : fallback, true);
    showPlayItem(true);
    restartHistory(false);
    return true;
}

}  // namespace bleeptone
