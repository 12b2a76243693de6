#pragma once
// The .mmlp project file: UTF-8 with a byte-order mark, a [Version] group
// with VersionNumber = 1.0.0 and a [Settings] group with one key per stored
// field, named by control number.

#include <QByteArray>
#include <QString>

#include "project/project_fields.h"

namespace bleeptone {

inline constexpr qint64 kMaxProjectFileBytes = 16 * 1024 * 1024;

// The whole file for the current field values.
QByteArray projectFileBytes(const ProjectFields& fields);

struct ProjectIoResult {
    bool ok = false;
    QString error;  // what went wrong, for the user (names the file)
};

// Writes the project atomically: the file is replaced only once the new one
// is complete, so a failed save leaves the previous file intact.
// A target that exists but is not a regular file (a FIFO, a device) is
// written into instead; a symlink is followed.
ProjectIoResult saveProjectFile(const QString& path, const ProjectFields& fields);
// The same for the bytes of a project file (any thread).
ProjectIoResult saveProjectBytes(const QString& path, const QByteArray& bytes);

// True when the path's extension (after the last "." of its file name) is
// exactly "mmlp".
bool hasProjectExtension(const QString& path);

// Reads a project file into the fields. Nothing changes unless the file is
// usable: right extension, readable, at most 16 MiB, version 1.0.0 and a
// [Settings] group. Fields the file does not mention keep their values.
ProjectIoResult loadProjectFile(const QString& path, ProjectFields& fields);

// The same for file contents already in memory (name: for messages).
ProjectIoResult loadProjectBytes(const QByteArray& bytes, const QString& name, ProjectFields& fields);

}  // namespace bleeptone
