#pragma once
// The built-in projects (the four demos and the New template): compact byte
// streams of 39 records, each a control number byte followed by a byte or by
// a UTF-16LE string ended by two zero bytes, in a fixed order of fields.

#include <QByteArray>

#include "project/project_fields.h"

namespace bleeptone {

enum class BuiltInProject { Demo1, Demo2, Demo3, Demo4, NewTemplate };

// The stored block (from the program's resources).
QByteArray builtInBlock(BuiltInProject which);

// Applies a block to the fields; false when the block is cut short (the
// records before the cut are applied).
bool loadBlock(const QByteArray& block, ProjectFields& fields);

inline bool loadBuiltIn(BuiltInProject which, ProjectFields& fields) { return loadBlock(builtInBlock(which), fields); }

}  // namespace bleeptone
