#pragma once
// The tune as one web page that plays it (File > Export Web Page...,
// `bleeptone export-html`): a single HTML file that loads nothing from
// anywhere else. It shows the title, the project info and the four channel
// editors' texts coloured as the editors colour them; Play and Stop play the
// channel texts as Play assembles them, through the engine in WebAssembly in
// an AudioWorklet, sample for sample what Bleeptone renders; the playhead
// marks the notes heard, from the note map; Copy MML puts the Copy MML text on
// the clipboard. `#selftest=SECONDS` in its address renders that many seconds
// offline and shows the SHA-256 of the samples (see web/page.html).

#include <QString>

#include <string>

#include "project/project_fields.h"

namespace bleeptone {

// The page of a project (UTF-8). title names the tune: the project's file
// name without its extension, "Demo N", or "Untitled".
// Thread: any. Callback: no (allocates).
std::string webPageHtml(const ProjectFields& fields, const QString& title);

// Writes the page to path, whole or not at all (a temporary file renamed
// into place). Returns false with error set ("PATH: reason") on failure.
// Thread: any. Callback: no (file I/O).
bool writeWebPage(const std::string& path, const ProjectFields& fields, const QString& title, std::string& error);

}  // namespace bleeptone
