#include "arrow_spin_box.h"

namespace bleeptone {

void ArrowSpinBox::stepBy(int steps) {
    const int before = value();
    QSpinBox::stepBy(steps);
    if (steps == 0) return;
    emit arrowStepped(steps > 0);
    if (value() != before) emit valueStepped();
}

}  // namespace bleeptone
