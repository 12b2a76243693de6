#pragma once
// The project's values without a window: what the command line and the
// tests work on. It accepts values the way the window's controls do:
// numbers are held in their field's range, list indices outside the list
// are ignored, and a text given to a number field is read as a number.

#include <map>

#include "project/project_fields.h"

namespace bleeptone {

class ProjectModel : public ProjectFields {
public:
    QString text(int number) const override;
    void setText(int number, const QString& text) override;
    int state(int number) const override;
    void setState(int number, int state) override;

    friend bool operator==(const ProjectModel& a, const ProjectModel& b) {
        return a.texts_ == b.texts_ && a.states_ == b.states_;
    }

private:
    std::map<int, QString> texts_;
    std::map<int, int> states_;
};

// Copies every project field from one holder to another.
void copyProject(const ProjectFields& from, ProjectFields& to);

}  // namespace bleeptone
