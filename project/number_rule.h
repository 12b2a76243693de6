#pragma once
// How numbers typed into the project's texts are read.

#include <QStringView>

namespace bleeptone {

// The number rule of pattern entries and pasted settings: leading blanks and
// tabs skipped, an optional sign, then decimal digits up to the first other
// character, or hexadecimal after "$", binary after "%"; no digits give 0.
// Held within the int range.
int numberRule(QStringView text);

// The same rule with decimal digits only, as project files are read.
int decimalNumber(QStringView text);

}  // namespace bleeptone
