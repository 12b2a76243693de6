#pragma once
// The tune as text ("Copy MML" / "Paste MML"): string declarations, one per
// verse and one per channel joining the verses in pattern order, with the
// channel settings in front of each channel's first verse and the project
// info as a header.

#include <QString>

#include "project/project_fields.h"

namespace bleeptone {

// Variable names derived from the window's names.
QString verseVariableName(const QString& verseName);     // "CH1 Verse(s)" -> "CH1Verse"
QString patternVariableName(const QString& patternName);  // "Channel 1" -> "Channel_1"

// The text Copy MML puts on the clipboard.
QString copyMmlText(const ProjectFields& fields);

// Clipboard texts longer than this are not read.
inline constexpr qsizetype kMaxPasteChars = 8 * 1024 * 1024;

enum class PasteResult {
    Ok,
    NoVerses,  // no verse declaration: only the project info header (if any) was read
    TooLong,   // nothing was read
};

// Reads a text as Paste MML does into fields that hold the New template.
PasteResult pasteMmlText(const QString& text, ProjectFields& fields);

}  // namespace bleeptone
