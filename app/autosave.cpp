#include "app/autosave.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QSettings>

#include "project/project_file.h"
#include "project/project_model.h"

namespace bleeptone {

namespace {

// A copy is "<id>.mmlp" with "<id>.info" (where it came from) and
// "<id>.lock" (held by the program that writes it).
constexpr const char* kProject = ".mmlp";
constexpr const char* kInfo = ".info";
constexpr const char* kLock = ".lock";

}  // namespace

Autosave::Autosave(const QString& dir, const ProjectFields& fields, int delayMs, QObject* parent)
    : QObject(parent), dir_(dir), fields_(fields) {
    timer_.setSingleShot(true);
    timer_.setInterval(delayMs);
    connect(&timer_, &QTimer::timeout, this, [this] { writeInBackground(); });
}

Autosave::~Autosave() {
    waitForWriter();
    releaseClaimed();
}

QString Autosave::path(const QString& id, const char* suffix) const { return dir_ + '/' + id + suffix; }

QString Autosave::copyPath() const { return id_.isEmpty() ? QString() : path(id_, kProject); }

bool Autosave::start() {
    if (!QDir().mkpath(dir_)) {
        lastError_ = dir_ + ": cannot create the folder";
        return false;
    }
    // The process number and the time make the name; the lock makes it ours.
    const QString id = QString("%1-%2").arg(QCoreApplication::applicationPid()).arg(QDateTime::currentMSecsSinceEpoch());
    auto lock = std::make_unique<QLockFile>(path(id, kLock));
    lock->setStaleLockTime(0);  // only a dead owner frees a lock, never its age
    if (!lock->tryLock(0)) {
        lastError_ = path(id, kLock) + ": cannot lock";
        return false;
    }
    lock_ = std::move(lock);
    id_ = id;
    // Locks left by programs that ended without unsaved work to recover.
    for (const QFileInfo& stale : QDir(dir_).entryInfoList({QString("*") + kLock}, QDir::Files)) {
        const QString other = stale.completeBaseName();
        if (other == id_ || QFileInfo::exists(path(other, kProject))) continue;
        QLockFile orphan(stale.filePath());
        orphan.setStaleLockTime(0);
        if (orphan.tryLock(0)) orphan.unlock();  // removes it
    }
    return true;
}

void Autosave::changed(const QString& documentPath, const QString& title) {
    documentPath_ = documentPath;
    title_ = title;
    if (lock_ && !timer_.isActive()) timer_.start();
}

void Autosave::discard() {
    timer_.stop();
    waitForWriter();  // a copy still being written must not come back after this
    if (id_.isEmpty()) return;
    QFile::remove(path(id_, kProject));
    QFile::remove(path(id_, kInfo));
}

bool Autosave::writeFiles(const QString& projectPath, const QByteArray& project, const QString& infoPath,
                          const QString& documentPath, const QString& title, QString* error) {
    const ProjectIoResult saved = saveProjectBytes(projectPath, project);
    if (!saved.ok) {
        *error = saved.error;
        return false;
    }
    QSettings info(infoPath, QSettings::IniFormat);
    info.setValue("document", documentPath);
    info.setValue("title", title);
    info.sync();
    if (info.status() != QSettings::NoError) *error = infoPath + ": cannot be written";
    return info.status() == QSettings::NoError;
}

void Autosave::waitForWriter() {
    if (!writer_.joinable()) return;
    writer_.join();
    if (!writerOk_) lastError_ = writerError_;
}

void Autosave::writeInBackground() {
    waitForWriter();
    if (!lock_) return;
    // Only the texts are taken here (the editors' text is read on this
    // thread); the file's bytes are made and written on the writer's.
    auto snapshot = std::make_shared<ProjectModel>();
    copyProject(fields_, *snapshot);
    writer_ = std::thread([this, snapshot, projectPath = path(id_, kProject), infoPath = path(id_, kInfo),
                           documentPath = documentPath_, title = title_] {
        writerOk_ = writeFiles(projectPath, projectFileBytes(*snapshot), infoPath, documentPath, title, &writerError_);
    });
}

bool Autosave::writeNow() {
    timer_.stop();
    waitForWriter();
    if (!lock_) return false;
    return writeFiles(path(id_, kProject), projectFileBytes(fields_), path(id_, kInfo), documentPath_, title_,
                      &lastError_);
}

std::optional<RecoveryCopy> Autosave::claimOrphan() {
    releaseClaimed();
    QFileInfoList copies = QDir(dir_).entryInfoList({QString("*") + kProject}, QDir::Files, QDir::Time);
    for (const QFileInfo& copy : copies) {  // the newest first
        const QString id = copy.completeBaseName();
        if (id == id_) continue;
        auto lock = std::make_unique<QLockFile>(path(id, kLock));
        lock->setStaleLockTime(0);
        if (!lock->tryLock(0)) continue;  // its program still runs (or another one has claimed it)
        const QSettings info(path(id, kInfo), QSettings::IniFormat);
        claimedId_ = id;
        claimedLock_ = std::move(lock);
        return RecoveryCopy{copy.filePath(), info.value("document").toString(), info.value("title").toString()};
    }
    return std::nullopt;
}

void Autosave::removeClaimed() {
    if (claimedId_.isEmpty()) return;
    QFile::remove(path(claimedId_, kProject));
    QFile::remove(path(claimedId_, kInfo));
    releaseClaimed();
}

void Autosave::releaseClaimed() {
    if (claimedLock_) {
        claimedLock_->unlock();  // also removes the lock file
        claimedLock_.reset();
    }
    claimedId_.clear();
}

}  // namespace bleeptone
