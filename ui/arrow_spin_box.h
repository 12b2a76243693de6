#pragma once
// A spin box that tells arrow steps (buttons, arrow keys, wheel) apart from typing.

#include <QSpinBox>

namespace bleeptone {

class ArrowSpinBox : public QSpinBox {
    Q_OBJECT
public:
    using QSpinBox::QSpinBox;
    void stepBy(int steps) override;

signals:
    // Every arrow step, also one that stops at the end of the range.
    void arrowStepped(bool up);
    // After an arrow step that changed the value (a change the user made).
    void valueStepped();
};

}  // namespace bleeptone
