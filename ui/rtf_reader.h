#pragma once
// A small RTF reader for the documents the program carries: groups, the
// font and colour tables, bold, italic, underline, alignment, paragraphs,
// line breaks, tabs, fonts, sizes, colours, code-page 1252 escapes and
// Unicode escapes. Unknown control words and destinations are skipped.
// Any input is read without crashing or hanging; nesting is bounded.

#include <QByteArray>

class QTextDocument;

namespace bleeptone {

// Replaces the document's content with the RTF text. Returns false (and
// leaves the document empty) when the bytes are not RTF ("{\rtf" missing).
bool readRtf(const QByteArray& rtf, QTextDocument& document);

}  // namespace bleeptone
