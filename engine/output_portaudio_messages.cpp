// Defines vfprintf for the whole program: calls from PortAudio's code are
// filtered (see the header), every other call goes on to the C library's.
// Fortified headers would declare vfprintf as an inline wrapper.
#undef _FORTIFY_SOURCE

#include "engine/output_portaudio_messages.h"

#include <dlfcn.h>
#include <link.h>
#include <portaudio.h>
#include <pthread.h>

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <mutex>

namespace bleeptone::portaudio_messages {

namespace {

// Lines of PortAudio's shown after each start of a device.
constexpr int kShownLines = 3;
// Lines a callback thread prints with no callback between before it is
// taken for stuck in a loop. A failure it recovers from prints one or two.
constexpr int kStuckLines = 32;

std::atomic<std::uintptr_t> codeBegin{0};
std::atomic<std::uintptr_t> codeEnd{0};
std::atomic<int> shown{0};

thread_local CallbackThread* callbackThread = nullptr;
thread_local bool ending = false;

using VfprintfFn = int (*)(FILE*, const char*, va_list);

VfprintfFn libraryVfprintf() {
    static const VfprintfFn fn = reinterpret_cast<VfprintfFn>(dlsym(RTLD_NEXT, "vfprintf"));
    return fn;
}

// The executable segment of the object that holds `address`.
int findCode(dl_phdr_info* info, std::size_t, void* data) {
    const auto address = *static_cast<std::uintptr_t*>(data);
    std::uintptr_t begin = 0, end = 0;
    bool holds = false;
    for (int i = 0; i < info->dlpi_phnum; ++i) {
        const ElfW(Phdr)& ph = info->dlpi_phdr[i];
        if (ph.p_type != PT_LOAD) continue;
        const std::uintptr_t from = info->dlpi_addr + ph.p_vaddr;
        const std::uintptr_t to = from + ph.p_memsz;
        if (address >= from && address < to) holds = true;
        if (ph.p_flags & PF_X) {
            begin = from;
            end = to;
        }
    }
    if (!holds || begin == end) return 0;
    codeBegin.store(begin);
    codeEnd.store(end);
    return 1;
}

// Whether a line PortAudio prints is shown; ends a callback thread stuck in a loop.
bool showLine() {
    if (ending) return false;  // the thread is being ended: it says goodbye quietly
    if (CallbackThread* thread = callbackThread) {
        if (thread->linesSinceCall.fetch_add(1, std::memory_order_relaxed) + 1 >= kStuckLines) {
            thread->ended.store(true);
            ending = true;
            // As an abort would (PortAudio cancels this thread in its poll):
            // its exit handler stops the device and reports the stream finished.
            pthread_exit(PTHREAD_CANCELED);
        }
    }
    int n = shown.load(std::memory_order_relaxed);
    while (n < kShownLines)
        if (shown.compare_exchange_weak(n, n + 1, std::memory_order_relaxed)) return true;
    return false;
}

}  // namespace

void watch() {
    static std::once_flag once;
    std::call_once(once, [] {
        auto address = reinterpret_cast<std::uintptr_t>(&Pa_Initialize);
        dl_iterate_phdr(findCode, &address);
    });
}

void allowSome() { shown.store(0, std::memory_order_relaxed); }

void onCallback(CallbackThread& thread) {
    callbackThread = &thread;
    thread.linesSinceCall.store(0, std::memory_order_relaxed);
}

}  // namespace bleeptone::portaudio_messages

// The program's vfprintf (the dynamic linker binds PortAudio's calls to it).
extern "C" __attribute__((visibility("default"))) int vfprintf(FILE* stream, const char* format, va_list args) {
    using namespace bleeptone::portaudio_messages;
    const auto caller = reinterpret_cast<std::uintptr_t>(__builtin_return_address(0));
    if (caller >= codeBegin.load(std::memory_order_relaxed) && caller < codeEnd.load(std::memory_order_relaxed) &&
        !showLine()) {
        return 0;
    }
    const VfprintfFn fn = libraryVfprintf();
    return fn ? fn(stream, format, args) : -1;
}
