#pragma once
// A project is the values of a fixed set of the main window's fields, each
// known by its control number. ProjectFields is what the project code needs
// of whatever holds them: the window's controls, or a ProjectModel.

#include <QString>
#include <QStringList>

#include <vector>

#include "project/control_numbers.h"

namespace bleeptone {

enum class FieldKind {
    State,  // a number: list box index, spin box value, check box 0/1
    Text,   // one line of text
    Lines,  // an editor: lines of text
};

struct ProjectField {
    int number;
    FieldKind kind;
    int minimum = 0, maximum = 0;  // State fields
    bool list = false;             // a list box: an index outside the list is ignored
};

// The 39 fields in the order of a built-in block: tempo, measure; per
// channel waveform, octave, volume, decay, mute, verse name, editor; the
// eight pattern name and pattern fields; project info.
const std::vector<ProjectField>& projectFields();
// The field with this number, or nullptr when the number names no project field.
const ProjectField* projectField(int number);

class ProjectFields {
public:
    virtual ~ProjectFields() = default;
    // Text fields; editors as their lines joined by line feeds; state
    // fields as their number in decimal.
    virtual QString text(int number) const = 0;
    virtual void setText(int number, const QString& text) = 0;
    virtual int state(int number) const = 0;
    virtual void setState(int number, int state) = 0;
};

}  // namespace bleeptone
