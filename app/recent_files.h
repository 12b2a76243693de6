#pragma once
// File > Open Recent: the last projects opened or saved, newest first, kept
// across runs in the program's settings.

#include <QString>
#include <QStringList>

#include <functional>

namespace bleeptone {

class RecentFiles {
public:
    static constexpr int kMaxFiles = 10;

    RecentFiles();  // reads the list the last run left
    const QStringList& files() const { return files_; }
    // Puts the path first (an absolute path; once in the list).
    void add(const QString& path);
    void remove(const QString& path);
    void clear();
    // Told the list after every change (the menu follows it).
    void setListener(std::function<void(const QStringList&)> listener) { listener_ = std::move(listener); }

private:
    void store() const;
    QStringList files_;
    std::function<void(const QStringList&)> listener_;
};

}  // namespace bleeptone
