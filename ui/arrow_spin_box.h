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
    // After every arrow step (the value has changed by then, if it could).
    void arrowStepped(bool up);
};

}  // namespace bleeptone
