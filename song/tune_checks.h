#pragma once
// The tune checks: what is wrong in a tune, found in the note map (what the
// engine really plays, with the settings before and after every command) and
// in the texts. Verses that do not fill their measures, channels that end or
// loop apart, verses that start mid-measure against the other channels,
// values the engine masks, folds or ignores, numbers a stray character cuts
// short, and pattern entries that name no verse. Each finding has its place
// in the editors and a message in musical terms. Pure functions: no widgets,
// no threads.

#include <QString>

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "engine/seek.h"
#include "project/project_fields.h"
#include "song/note_map.h"
#include "song/song_assembly.h"
#include "song/song_positions.h"

namespace bleeptone {

enum class TuneRule : std::uint8_t {
    VerseLength,  // a verse that is not a whole number of measures
    ChannelEnd,   // channels that end at different moments
    ChannelLoop,  // channels that loop with lengths that do not line up at the longest loop
    VerseStart,   // a verse that starts mid-measure for another channel
    Volume,       // V of 64 or more: the engine keeps the low 6 bits
    NoteRange,    // a note outside C0..C8: silent
    Tempo,        // T above 240 (ignored) or 16..39 (folded to the low 4 bits)
    Waveform,     // W above 5 (the voice reads the low 3 bits), noise on a channel that has none
    Length,       // a length over 64, or L without a length
    Transpose,    // K above 24 (ignored), or a transpose that puts notes out of range
    CutNumber,    // a character without meaning that resets a number
    Pattern,      // a pattern entry that names no verse
};

// The rules and the limits of the values they watch: the one table of them.
// low..high is the range the engine takes as written, where a rule has one.
struct TuneRuleInfo {
    TuneRule rule;
    const char* id;  // the name in `bleeptone check --json`
    std::int64_t low = 0;
    std::int64_t high = 0;
};

inline constexpr std::array<TuneRuleInfo, 12> kTuneRules = {{
    {TuneRule::VerseLength, "verse-length"},
    {TuneRule::ChannelEnd, "channel-end"},
    {TuneRule::ChannelLoop, "channel-loop"},
    {TuneRule::VerseStart, "verse-start"},
    {TuneRule::Volume, "volume", 0, 63},         // V keeps its number's low 6 bits
    {TuneRule::NoteRange, "note-range", 0, 96},  // note indices C0..C8; others are silent
    {TuneRule::Tempo, "tempo", 40, 240},         // beats per minute; below 40 the low 4 bits are a tempo code
    {TuneRule::Waveform, "waveform", 0, 5},      // 5, noise, only on the first voice; the voice reads 3 bits
    {TuneRule::Length, "length", 1, 64},
    {TuneRule::Transpose, "transpose", -24, 24},  // K with a larger number changes nothing
    {TuneRule::CutNumber, "cut-number"},
    {TuneRule::Pattern, "pattern"},
}};

constexpr const TuneRuleInfo& tuneRuleInfo(TuneRule rule) { return kTuneRules[static_cast<std::size_t>(rule)]; }

// Below this many numbers T reads its number's low bits as a tempo code
// (T0..T15); numbers from it up to the Tempo rule's low limit are folded.
inline constexpr std::int64_t kTempoCodes = 16;

// One finding.
struct TuneFinding {
    TuneRule rule = TuneRule::VerseLength;
    // Channel 1..4, verse from 1 and column (UTF-16 units) in the editor;
    // verse 0 for a finding in the channel's pattern field, the column then
    // counts in the pattern.
    EditorPlace place;
    int length = 0;                      // the characters it concerns from the column (0: the place alone)
    std::optional<std::uint64_t> frame;  // the moment it first plays (frames from the song's start)
    QString message;
    friend bool operator==(const TuneFinding&, const TuneFinding&) = default;
};

// Sorted by place (channel, verse, column), then rule.
using TuneFindings = std::vector<TuneFinding>;

// Quarter notes per measure of the Measure setting ("2/4" 2, "3/4" 3, "4/4" 4).
int measureQuarters(const ProjectFields& fields);

// The checks of a project as Play plays it. The second form takes the
// song's assembly and its map (assembleSongWithMap, mapSong with the default
// limits) when the caller has them already.
TuneFindings checkTune(const ProjectFields& fields);
TuneFindings checkTune(const ProjectFields& fields, const std::array<ChannelAssembly, 4>& song, const NoteMap& map);

// The checks of channel texts as PSG_PlayMML takes them: each text is verse
// 1 of its channel, columns counted in it; no patterns.
TuneFindings checkTexts(const SongTexts& texts, int quartersPerMeasure = 4);

// The finding whose characters hold the column of (channel, verse) (or that
// stands at it, for a finding of no length); nullptr when none does.
const TuneFinding* findingAt(const TuneFindings& findings, const EditorPlace& place);

}  // namespace bleeptone
