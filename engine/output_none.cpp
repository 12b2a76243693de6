// Builds without a sound device (the web build, where the page's AudioWorklet
// calls PSG_Core itself): there is no device output to make.
#include "engine/output.h"

namespace bleeptone {

std::unique_ptr<AudioOutput> makePortAudioOutput() { return nullptr; }

}  // namespace bleeptone
