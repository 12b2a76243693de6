#pragma once
// Notes from a MIDI keyboard as the notes to write: keys pressed together
// (within kChordSeconds of the first, by the messages' own times) are a
// chord, and a chord writes its top note. Pure code, fed on the main thread.

#include <optional>
#include <vector>

namespace bleeptone {

inline constexpr double kChordSeconds = 0.03;

struct PlayedNote {
    int note = 60;
    int velocity = 100;
};

class MidiChords {
public:
    // A key pressed at `stamp` seconds (the MIDI input's clock).
    // Returns the note of the chord that an earlier key began, when this
    // key comes too late to belong to it.
    std::optional<PlayedNote> press(int note, int velocity, double stamp);
    // The chord once no more keys can join it: `waited` is how long the main
    // thread has held it (seconds since its first key arrived).
    std::optional<PlayedNote> flush(double waited);
    bool pending() const { return !keys_.empty(); }

private:
    std::optional<PlayedNote> take();
    std::vector<PlayedNote> keys_;
    double first_ = 0;
};

}  // namespace bleeptone
