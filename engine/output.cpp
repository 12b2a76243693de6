#include "engine/output.h"

#include <chrono>
#include <cstdlib>
#include <vector>

#include "engine/constants.h"

namespace bleeptone {

std::optional<AudioBackend> parseAudioBackend(std::string_view name) {
    if (name == "portaudio") return AudioBackend::PortAudio;
    if (name == "null") return AudioBackend::Null;
    return std::nullopt;
}

AudioBackend audioBackendFromEnvironment() {
    const char* value = std::getenv("BLEEPTONE_AUDIO");
    if (value && std::string_view(value) == "null") return AudioBackend::Null;
    return AudioBackend::PortAudio;
}

bool ClockedSilentOutput::start(RenderFn render, void* context) {
    stop();
    running_.store(true);
    thread_ = std::thread([this, render, context] {
        using Clock = std::chrono::steady_clock;
        std::vector<float> buffer(kPreferredBufferFrames);  // allocated before the first call
        Clock::time_point origin = Clock::now();
        std::uint64_t frames = 0;
        while (running_.load(std::memory_order_relaxed)) {
            render(context, buffer.data(), buffer.size());
            frames += buffer.size();
            const auto due = origin + std::chrono::nanoseconds(frames * 1'000'000'000ull / kSampleRate);
            const auto now = Clock::now();
            if (now - due > std::chrono::seconds(1)) {  // suspended for a while: do not race to catch up
                origin = now;
                frames = 0;
                continue;
            }
            std::this_thread::sleep_until(due);
        }
    });
    return true;
}

void ClockedSilentOutput::stop() {
    running_.store(false);
    if (thread_.joinable()) thread_.join();
}

std::unique_ptr<AudioOutput> makeAudioOutput(AudioBackend backend) {
    if (backend == AudioBackend::Null) return std::make_unique<ClockedSilentOutput>();
    return makePortAudioOutput();
}

}  // namespace bleeptone
