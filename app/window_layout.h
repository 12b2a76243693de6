#pragma once
// The main window's layout rule as a pure function: control geometries for
// a client area of W x H. Values the rule does not mention stay as they are.

#include <QRect>

#include <array>

#include "app/controls.h"

namespace bleeptone {

using ControlGeometry = std::array<QRect, control::Count>;

// The geometries at creation, by control number.
ControlGeometry creationGeometry();

// Applies the layout rule for a client area of width W and height H.
void applyLayoutRule(ControlGeometry& g, int W, int H);

}  // namespace bleeptone
