#pragma once
// Readable failure messages for Qt strings and whole projects.
#include <QString>

#include <ostream>

#include "project/project_fields.h"
#include "project/project_model.h"

QT_BEGIN_NAMESPACE
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }
QT_END_NAMESPACE

namespace bleeptone {

// A project as its fields.
inline void PrintTo(const ProjectModel& m, std::ostream* os) {
    for (const ProjectField& f : projectFields()) {
        *os << "\n  " << f.number << " = ";
        if (f.kind == FieldKind::State) *os << m.state(f.number);
        else *os << '"' << m.text(f.number).toStdString() << '"';
    }
}

}  // namespace bleeptone
