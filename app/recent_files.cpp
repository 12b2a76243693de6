#include "app/recent_files.h"

#include <QFileInfo>
#include <QSettings>

namespace bleeptone {

namespace {

const char* const kKey = "recentFiles";

QString absolute(const QString& path) { return QFileInfo(path).absoluteFilePath(); }

}  // namespace

RecentFiles::RecentFiles() {
    // A hand-edited settings file may hold anything: keep what looks like a list of paths.
    for (const QString& path : QSettings().value(kKey).toStringList())
        if (!path.isEmpty() && !files_.contains(path) && files_.size() < kMaxFiles) files_ << path;
}

void RecentFiles::add(const QString& path) {
    const QString p = absolute(path);
    files_.removeAll(p);
    files_.prepend(p);
    while (files_.size() > kMaxFiles) files_.removeLast();
    store();
}

void RecentFiles::remove(const QString& path) {
    if (files_.removeAll(absolute(path)) > 0) store();
}

void RecentFiles::clear() {
    files_.clear();
    store();
}

void RecentFiles::store() const {
    QSettings().setValue(kKey, files_);
    if (listener_) listener_(files_);
}

}  // namespace bleeptone
