#pragma once
// The parts of the web page, carried by the program (the build embeds them,
// web/embed_files.cmake): the page template (web/page.html), the AudioWorklet
// processor (web/page_worklet.js) and the engine in WebAssembly, one script
// with the module inside (resources/web/bleeptone_engine.js, which `make web`
// builds and checks to be current). Each array ends with an extra 0 beyond
// its size.

#include <cstddef>

namespace bleeptone::web_assets {

extern const unsigned char kPageTemplate[];
extern const std::size_t kPageTemplateSize;
extern const unsigned char kPageWorklet[];
extern const std::size_t kPageWorkletSize;
extern const unsigned char kEngineScript[];
extern const std::size_t kEngineScriptSize;

}  // namespace bleeptone::web_assets
