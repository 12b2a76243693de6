#pragma once
// The project's fields as the window holds them.

#include "app/control_table.h"
#include "project/project_fields.h"

namespace bleeptone {

class WindowFields : public ProjectFields {
public:
    explicit WindowFields(ControlTable& controls) : controls_(controls) {}
    QString text(int number) const override { return controls_.text(number); }
    void setText(int number, const QString& text) override { controls_.setText(number, text); }
    int state(int number) const override { return controls_.state(number); }
    void setState(int number, int state) override { controls_.setState(number, state); }

private:
    ControlTable& controls_;
};

}  // namespace bleeptone
