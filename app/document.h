#pragma once
// The document: the one project the main window holds, and the commands
// that replace, open and save it, with the window title, the edited mark
// and the question before unsaved work is replaced.

#include <QString>

#include <functional>

#include "app/app_event.h"
#include "app/app_state.h"

namespace bleeptone {

class Dialogs;
class MainWindow;
enum class BuiltInProject;
class ProjectFields;
class RecentFiles;
class UndoHistory;

// Title rules.
QString titleForFile(const QString& path);       // "Song - Bleeptone" for /x/Song.mmlp
QString titleAfterEdit(const QString& current);  // every "*" and " - Bleeptone" out, then "* - Bleeptone"
// The path with the extension (".mmlp", ".wav") appended, unless the file's
// name already holds it somewhere, letter case counting: "tune.mmlp.bak" and
// "my.wav.old" stay, "tune.WAV" gets ".wav", "tunes.mmlp.d/song" gets ".mmlp".
QString withNameExtension(const QString& path, const QString& extension);
// The project's name in a title: "Song" of "Song* - Bleeptone", "Untitled" of a bare "Bleeptone".
QString projectNameOf(const QString& title);
inline const QString kProgramTitle = QStringLiteral("Bleeptone");
inline const QString kUntitledEdited = QStringLiteral("Untitled* - Bleeptone");

class Document {
public:
    // requests: what the document's commands ask of the end of their iteration.
    Document(MainWindow& window, Dialogs& dialogs, LoopRequests& requests, std::function<void(const AppEvent&)> post);

    void newProject();
    void open();  // through the panel
    // Files the desktop (or Open Recent) asks to open, tab-separated: the first one.
    void openPath(const QString& paths);
    void save();
    void saveAs();
    void loadDemo(int n);  // 1..4
    // Replaces the document with a pasted tune (read into the New template):
    // untitled and edited. False when the user keeps the unsaved work.
    bool replaceWithPaste(const ProjectFields& pasted);
    // Asks about unsaved work as Open does; true when the user keeps it.
    bool keepsUnsavedWork() { return keepUnsavedWork(true); }
    // Replaces the document with an imported tune (read into the New
    // template), untitled and edited, once keepsUnsavedWork() has said no.
    void replaceWithImport(const ProjectFields& imported);
    void markEdited();
    // The edited mark as the undo history has it: on after a change, off
    // again (with the title as it was) once undo or redo is back where the
    // document was loaded or saved.
    void followHistory(bool edited);
    // Puts a recovered copy of unsaved work into the window as an edited
    // document with its own file (if it had one) and title.
    bool restore(const QString& copyPath, const QString& documentPath, const QString& title);

    // Told whenever the title is set: whether the document now has unsaved changes.
    void setEditedListener(std::function<void(bool edited)> listener) { editedListener_ = std::move(listener); }

    const QString& currentPath() const { return currentPath_; }
    bool pristine() const { return pristine_; }

    // The project's name as the title shows it ("Song", "Demo 2", "Untitled").
    QString projectName() const;
    // Where a file panel starts: the project's folder, else the folder last
    // used (kept across runs), else the home folder (empty); with fileName
    // proposed in it.
    QString panelStart(const QString& fileName = {}) const;
    // Remembers the folder of a path the user chose in a panel.
    static void rememberFolder(const QString& chosenPath);

    // Projects opened and saved go to File > Open Recent; one that cannot be
    // opened leaves it.
    void setRecentFiles(RecentFiles* recent) { recent_ = recent; }
    // The history that New, Open, a demo, a paste and a restored copy start
    // anew, and that a save marks.
    void setHistory(UndoHistory* history) { history_ = history; }

private:
    bool keepUnsavedWork(bool onlyWithEditorText);
    void openFile(const QString& path);
    bool anyEditorHasText() const;
    void loadBuiltIn(BuiltInProject which);
    void loadNewTemplate(bool edited);
    void setTitle(const QString& title, bool edited);
    void showPlayItem(bool shown);
    void restartHistory(bool saved);

    MainWindow& window_;
    Dialogs& dialogs_;
    LoopRequests& requests_;
    std::function<void(const AppEvent&)> post_;
    QString currentPath_;
    bool saveWithoutPanel_ = false;
    bool pristine_ = true;
    std::function<void(bool)> editedListener_;
    RecentFiles* recent_ = nullptr;
    UndoHistory* history_ = nullptr;
    // The title without changes, and whether the document was pristine then.
    QString cleanTitle_ = kProgramTitle;
    bool cleanPristine_ = true;
};

}  // namespace bleeptone
