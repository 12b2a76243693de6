#pragma once
// What the tune checks share among their files: exact durations in whole
// notes, each channel's notes with their moments in the music, the texts the
// places come from, and the list the findings go into. Not for use outside
// song/tune_checks*.

#include <QString>

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "song/note_map.h"
#include "song/song_assembly.h"
#include "song/tune_checks.h"

namespace bleeptone::checks {

// A duration in whole notes, exact: 1/8 is an eighth, 3/16 a dotted eighth.
// Arithmetic that would overflow makes it invalid, and it stays so.
class Whole {
public:
    constexpr Whole() = default;
    static Whole of(std::int64_t num, std::int64_t den);
    static Whole invalid() {
        Whole w;
        w.valid_ = false;
        return w;
    }
    // What a note or rest of this length lasts in the music (1/length,
    // 3/(2 length) with a dot); invalid for a length the music has no name for (<= 0).
    static Whole ofNote(std::int64_t length, bool dotted);

    bool valid() const { return valid_; }
    std::int64_t num() const { return num_; }
    std::int64_t den() const { return den_; }
    bool isZero() const { return valid_ && num_ == 0; }

    Whole operator+(const Whole& o) const;
    Whole operator-(const Whole& o) const;
    Whole operator*(const Whole& o) const;
    // Whole measures of m in this (floor), and what is left over (0 <= rest < m).
    std::int64_t measures(const Whole& m) const;
    Whole rest(const Whole& m) const;
    bool operator==(const Whole& o) const { return valid_ && o.valid_ && num_ == o.num_ && den_ == o.den_; }
    bool operator<(const Whole& o) const;
    double toDouble() const { return static_cast<double>(num_) / static_cast<double>(den_); }

private:
    std::int64_t num_ = 0;
    std::int64_t den_ = 1;
    bool valid_ = true;
};

// "3 measures and 1/8", "2 measures", "1/8" (less than a measure).
QString amountText(const Whole& w, const Whole& measure);
// "a quarter note", "an eighth", "a dotted eighth", "a 1/12 note".
QString noteName(std::int64_t length, bool dotted);
// "10 ms" (below a tenth of a second), "2.5 s" or "1:38.0" for a number of frames.
QString timeText(std::uint64_t frames);
// "1 tick" / "3 ticks".
QString ticksText(std::uint64_t ticks);

// One voice of the song as the checks see it.
struct ChannelTimes {
    int voice = 0;
    int channel = 0;  // the editor channel (1..4)
    const MappedChannel* mapped = nullptr;
    const ChannelAssembly* assembly = nullptr;
    // Where each note starts in the music, from the song's start, passes
    // after passes; starts[notes] is where the last one ends. Invalid from a
    // note whose length has no musical value on.
    std::vector<Whole> starts;
    bool timed = false;  // every note has a musical length
    bool loops() const { return mapped->loopFrame.has_value() && *mapped->loopFrame > 0; }
    // The frame where its last note or rest ends (0 without any).
    std::uint64_t musicEnd() const { return mapped->notes.empty() ? 0 : mapped->notes.back().end(); }
    // Where in the music the channel is at a frame: in the note that holds
    // it, the part of the note its ticks have played. Invalid beyond its notes.
    Whole positionAt(std::uint64_t frame) const;
    // The verse (the assembly's segment index) holding a text position, or -1.
    int segmentAt(std::int32_t position) const;
};

// One time a verse plays: a verse start and the notes up to the next.
struct VersePlay {
    const VerseStart* start = nullptr;
    std::size_t firstNote = 0;  // notes [firstNote, endNote) of the channel
    std::size_t endNote = 0;
    bool complete = true;  // the map covers it to its end
};

class CheckRun {
public:
    CheckRun(const std::array<ChannelAssembly, 4>& song, const NoteMap& map, int quartersPerMeasure);

    const NoteMap& map() const { return map_; }
    const Whole& measure() const { return measure_; }
    int quarters() const { return quarters_; }
    const std::array<ChannelTimes, kVoices>& channels() const { return channels_; }
    // The verses each voice played, in order.
    const std::vector<VersePlay>& versePlays(int voice) const { return plays_[static_cast<std::size_t>(voice)]; }

    // The length of the command (or note) at `position` of voice's text: its
    // letter and modifiers without trailing blanks, within its verse.
    int runLength(int voice, std::int32_t position) const;
    // Its text, quoted for a message: "\"v100\"".
    QString quoted(int voice, std::int32_t position) const;
    const QString& text(int voice) const { return song_[static_cast<std::size_t>(voice)].text; }

    void add(TuneRule rule, const EditorPlace& place, int length, std::optional<std::uint64_t> frame,
             const QString& message);
    // For a note or command of the voice with a place.
    void addAt(TuneRule rule, int voice, const std::optional<EditorPlace>& place, std::int32_t position,
               std::uint64_t frame, const QString& message);
    std::size_t count(TuneRule rule) const;
    TuneFindings take();

private:
    const std::array<ChannelAssembly, 4>& song_;
    const NoteMap& map_;
    int quarters_;
    Whole measure_;
    std::array<ChannelTimes, kVoices> channels_;
    std::array<std::vector<VersePlay>, kVoices> plays_;
    TuneFindings findings_;
};

// The rules, by their kind: timing (verse lengths, ends, loops, verse
// starts), values the engine changes, numbers cut short, and patterns.
void checkTiming(CheckRun& run);
void checkValues(CheckRun& run);
void checkCutNumbers(CheckRun& run);
void checkPatterns(const ProjectFields& fields, CheckRun& run);

}  // namespace bleeptone::checks
