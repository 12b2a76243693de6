#include "app/midi_chords.h"

#include <algorithm>

namespace bleeptone {

std::optional<PlayedNote> MidiChords::press(int note, int velocity, double stamp) {
    std::optional<PlayedNote> done;
    if (!keys_.empty() && stamp - first_ > kChordSeconds) done = take();
    if (keys_.empty()) first_ = stamp;
    keys_.push_back({note, velocity});
    return done;
}

std::optional<PlayedNote> MidiChords::flush(double waited) {
    if (keys_.empty() || waited < kChordSeconds) return std::nullopt;
    return take();
}

std::optional<PlayedNote> MidiChords::take() {
    if (keys_.empty()) return std::nullopt;
    const PlayedNote top = *std::max_element(keys_.begin(), keys_.end(),
                                             [](const PlayedNote& a, const PlayedNote& b) { return a.note < b.note; });
    keys_.clear();
    return top;
}

}  // namespace bleeptone
