#pragma once
// PortAudio's own messages on standard error. Debian's PortAudio 19.6 prints
// a line for every failed step ("Expression '...' failed in
// 'pa_linux_alsa.c'"), and when a device goes away under a running stream,
// its ALSA thread fails the same step in a loop it never leaves: a line a
// microsecond, on a full core, for ever (its hook for these messages,
// PaUtil_SetDebugPrintFunction, is not exported). So PortAudio's calls to
// vfprintf are recognised by where they come from: a few of its lines are
// shown, the rest are dropped, and a callback thread that keeps printing
// without one callback between is ended, as PortAudio ends it on an abort.
// Its stream then reports the fault and is given up.

#include <atomic>

namespace bleeptone::portaudio_messages {

// What one stream's callback thread shares with the message filter.
struct CallbackThread {
    std::atomic<int> linesSinceCall{0};
    std::atomic<bool> ended{false};  // ended by the filter: the stream is dead
};

// Learns where PortAudio's code lies, once; call before Pa_Initialize.
// Thread: any. Callback: no.
void watch();
// A device plays: the next few lines PortAudio prints are shown again.
// Thread: any. Callback: no.
void allowSome();
// Called at the top of every callback: this thread is `thread`'s, and a
// callback has run. Thread: the callback's. Callback: yes (two stores).
void onCallback(CallbackThread& thread);

}  // namespace bleeptone::portaudio_messages
