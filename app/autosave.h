#pragma once
// Recovery copies of unsaved work. While the document has unsaved changes,
// a copy is written (a normal project file) at most a few seconds after a
// change, together with the document's own path; it is removed when the
// document is saved, replaced or closed. A copy that outlives its program
// (a crash, a power cut) is offered back at the next start.
//
// Each running program owns the copy named after it and holds a lock file
// beside it, so two programs never take each other's copies.

#include <QLockFile>
#include <QObject>
#include <QString>
#include <QTimer>

#include <atomic>
#include <memory>
#include <optional>
#include <thread>

namespace bleeptone {

class ProjectFields;

// What a recovery copy holds besides the project: where the document came from.
struct RecoveryCopy {
    QString projectPath;   // the copy itself (.mmlp)
    QString documentPath;  // the document's own file; empty for an untitled document or a demo
    QString title;         // the title the document had
};

class Autosave : public QObject {
    Q_OBJECT
public:
    static constexpr int kDelayMs = 10000;  // at most this long after a change

    // dir: where copies go (created when needed); fields: the document.
    Autosave(const QString& dir, const ProjectFields& fields, int delayMs = kDelayMs, QObject* parent = nullptr);
    ~Autosave() override;

    // Takes this program's lock; false when the folder cannot be used (then
    // nothing is written, and the program runs on without copies).
    bool start();

    // The document changed (or still holds changes): a copy follows soon.
    void changed(const QString& documentPath, const QString& title);
    // The document has no unsaved changes any more: the copy goes.
    void discard();
    // Writes the copy now and waits for it. False when it failed.
    bool writeNow();

    // A copy whose program is gone (the newest, if several), locked for this
    // program until taken or released.
    std::optional<RecoveryCopy> claimOrphan();
    // Removes the claimed copy (restored, or refused).
    void removeClaimed();
    // Leaves the claimed copy for a later start.
    void releaseClaimed();

    QString copyPath() const;
    const QString& lastError() const { return lastError_; }

private:
    QString path(const QString& id, const char* suffix) const;
    // The timer's write: the project is read from the window here, and the
    // file written on a thread of its own, so that typing never waits for the disk.
    void writeInBackground();
    void waitForWriter();
    static bool writeFiles(const QString& projectPath, const QByteArray& project, const QString& infoPath,
                           const QString& documentPath, const QString& title, QString* error);

    QString dir_;
    const ProjectFields& fields_;
    QString id_;
    std::unique_ptr<QLockFile> lock_;
    QTimer timer_;
    QString documentPath_, title_;
    QString claimedId_;
    std::unique_ptr<QLockFile> claimedLock_;
    QString lastError_;
    std::thread writer_;
    std::atomic<bool> writerOk_{true};
    QString writerError_;  // set by the writer, read after it is joined
};

}  // namespace bleeptone
