#pragma once
// Turning a project into the four channel texts the engine plays: each
// channel's start settings as MML, then the verses its pattern names; and a
// selected passage with the settings in force at its start.

#include <QString>
#include <QStringList>

#include <array>
#include <optional>
#include <vector>

#include "project/project_fields.h"

namespace bleeptone {

// The verses of an editor's text: its lines (an empty editor has none; a
// text ending with a line break has an empty last verse).
QStringList versesOf(const QString& editorText);
// Verse v (from 1); any other number stands for the empty text.
QString verseAt(const QStringList& verses, int v);

// One entry of a channel's pattern as Play reads it.
struct PatternEntry {
    QString text;    // as written, without its blanks
    int column = 0;  // where it starts in the pattern field (for an empty entry: where it stands)
    int length = 0;  // the characters it spans there, blanks between its own included
    int verse = 0;   // the verse it names: the number rule of its text
    friend bool operator==(const PatternEntry&, const PatternEntry&) = default;
};
// The entries of a pattern: an empty pattern names verse 1, a pattern of one
// character is one entry, a longer one is split at "+" once its blanks are
// removed (empty entries included).
std::vector<PatternEntry> patternEntries(const QString& pattern);

// A channel's start settings as MML from the controls as they stand:
// "T<tempo> W<waveform> O<octave> \<decay> V<volume> " as Play gives them to
// the engine, or in lower case ("t12 w0 o4 \0 v40 ") as Copy MML writes them.
enum class PrefixLetters { Upper, Lower };
QString channelPrefix(const ProjectFields& fields, int channel, PrefixLetters letters = PrefixLetters::Upper);

// One verse's place in an assembled channel text.
struct TextSegment {
    int offset = 0;  // where it starts in the assembled text (UTF-16 units)
    int length = 0;  // its length (an empty verse has a segment of length 0)
    int verse = 0;   // its verse number: the editor line, from 1
    friend bool operator==(const TextSegment&, const TextSegment&) = default;
};

// A channel's text for the whole song with the place of each verse in it,
// in text order. The prefix and the blanks that join verses belong to no
// segment; pattern entries that name no verse add nothing and have none.
struct ChannelAssembly {
    QString text;
    std::vector<TextSegment> segments;
};

// The channel's text for the whole song: empty for a muted channel or one
// without verses, else its prefix and the verses of its pattern.
ChannelAssembly assembleChannel(const ProjectFields& fields, int channel);
QString channelSongText(const ProjectFields& fields, int channel);
std::array<QString, 4> assembleSong(const ProjectFields& fields);
std::array<ChannelAssembly, 4> assembleSongWithMap(const ProjectFields& fields);
// True when the channel takes part in the song (not muted, has verses).
bool channelSounds(const ProjectFields& fields, int channel);

// The song's length in tenths of a second: the longest channel (each up to
// its first ":").
qint64 songLengthTenths(const std::array<QString, 4>& texts);

// A passage selected in one line of a channel editor.
struct Passage {
    QString text;        // what to play: a settings preamble, "*", the passage
    int selectionStart;  // the selection, shortened to end with its line's text
    int selectionLength;
    int preambleLength = 0;  // text = preamble (up to and with "*") + the selected characters
    int verse = 0;           // the line holding the selection, from 1
    int column = 0;          // where the selection starts in that line
};
// The passage for a selection (start, length in UTF-16 units of the editor's
// text), or nothing for an empty selection. A selection that holds no text
// of its line (only a line break) gives an empty passage text.
std::optional<Passage> selectedPassage(const QString& prefix, const QString& editorText, int start, int length);

// The playing-time display: status + elapsed "mm:ss.s" + " / " + the length.
QString playingTimeText(const QString& status, qint64 elapsedMs, qint64 lengthTenths);

}  // namespace bleeptone
