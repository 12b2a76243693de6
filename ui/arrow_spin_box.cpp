#include "ui/arrow_spin_box.h"

namespace bleeptone {

void ArrowSpinBox::stepBy(int steps) {
    QSpinBox::stepBy(steps);
    if (steps != 0) emit arrowStepped(steps > 0);
}

}  // namespace bleeptone
