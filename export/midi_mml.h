#pragma once
// The tidy MML that Import MIDI writes for one channel: its notes, already
// one voice and on the grid, as verses of a few measures and the pattern
// that plays them (see midi_import.h for the rules).

#include <QString>
#include <QStringList>

#include <cstdint>
#include <map>
#include <vector>

namespace bleeptone {

// A note of a voice, in grid steps from the song's start.
struct VoiceNote {
    std::int64_t start = 0;
    std::int64_t end = 0;
    int pitch = 60;    // MIDI note number 12..108
    int level = 40;    // volume 1..63
    int waveform = 4;  // 0..5
};

// A tempo from a step on (the first at step 0).
struct TempoMark {
    std::int64_t at = 0;
    int tempo = 12;  // tempo code 0..15
};

// Engine ticks at each grid step: each tempo's steps last a whole note's
// ticks divided by the grid, rounded to whole ticks from the tempo's start.
class GridClock {
public:
    GridClock(std::vector<TempoMark> marks, int grid);
    std::int64_t tickAt(std::int64_t step) const;
    int tempoAt(std::int64_t step) const;
    const std::vector<TempoMark>& marks() const { return marks_; }
    // The first step at or after which the song has lasted `ticks` ticks.
    std::int64_t stepAtTick(std::int64_t ticks) const;

private:
    std::size_t markAt(std::int64_t step) const;
    std::vector<TempoMark> marks_;
    std::vector<std::int64_t> ticks_;  // at each mark
    int grid_;
};

// One length of a note or rest: the number after it, and the dot.
struct MmlLength {
    int number = 4;
    bool dot = false;
    friend bool operator==(const MmlLength&, const MmlLength&) = default;
};

// The fewest lengths whose ticks at a tempo add up to a number of ticks
// exactly, longest first; among as few, the plainest (whole powers of two
// first, then triplets, then any number; undotted before dotted).
class MmlLengths {
public:
    explicit MmlLengths(int tempo);
    const std::vector<MmlLength>& of(std::int64_t ticks);

private:
    void extendTo(std::int64_t ticks);
    struct Coin {
        int ticks;
        MmlLength length;
        int rank;
    };
    std::vector<Coin> coins_;
    struct Best {
        int count = 0;
        int rank = 0;
        int coin = -1;
    };
    std::vector<Best> best_;  // by ticks
    std::map<std::int64_t, std::vector<MmlLength>> cache_;
    int whole_;
    int tempo_;
};

struct MmlLayout {
    int grid = 64;          // steps in a whole note
    int measureSteps = 64;  // steps in a measure
    int verseSteps = 128;   // steps in a verse
    bool flats = false;     // black keys as flats ("b-") rather than sharps ("a#")
};

struct ChannelMml {
    QStringList verses;  // each text once, in the order first played
    QString pattern;     // the verse numbers in playing order, "1+2+1"
    int octave = 4;      // the octave every verse starts and ends in
    int waveform = 4;    // of the first note
    int volume = 40;     // the most common level
};

// notes: in order, not overlapping. tempos (the song's, the first at step
// 0) become "t" commands where they change. lengths: one per tempo code.
ChannelMml channelMml(const std::vector<VoiceNote>& notes, const GridClock& clock, const MmlLayout& layout);

}  // namespace bleeptone
