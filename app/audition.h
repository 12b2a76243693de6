#pragma once
// Audition: one note heard as it is written. Typing a note in a channel
// editor (its letter, then its accidental, length and dot as they follow),
// clicking a note in the song view or playing one on a MIDI keyboard sounds
// that note once, on its channel's own voice, with the settings in force
// where it stands: the position query reads them from the channel's settings
// prefix and the verse before the note, the rule Play uses for a selected
// passage. Only while nothing plays or records: an audition never reaches a
// song or a recording. The note's first tick comes before the next block the
// engine renders (Engine::playMMLAtOnce), so it is in the first output
// buffer rendered after the key: heard at most one buffer after the key.

#include <QObject>
#include <QString>

#include <cstdint>
#include <optional>

#include "engine/constants.h"
#include "song/song_positions.h"

namespace bleeptone {

class Engine;
class MainWindow;
class SongCommands;
struct PlayOptions;

// An audition lasts at most one second: 96 ticks (0.999 s).
inline constexpr std::int32_t kAuditionMaxTicks = kSampleRate / kTickSamples;

// The first column of the note command of `line` that the caret at `caret`
// has just been typed into: the character before the caret is its letter,
// accidental, a digit of its length or its dot. None otherwise (a blank, a
// rest, any other command).
std::optional<int> noteEndingAt(const QString& line, int caret);

// The note command that starts at `column` of `line`, letter to its last
// modifier; none when no note starts there.
std::optional<QString> noteStartingAt(const QString& line, int column);

// The column of the first note of `line` at or after `column`, past blanks
// and octave steps ("<", ">") only: what a MIDI keyboard's entry (">c<")
// sounds. None when something else comes first.
std::optional<int> noteAfter(const QString& line, int column);

// The channel text that sounds `note` (a note command such as "c#8.") once,
// as a channel whose settings prefix is `prefix` would play it at `column` of
// `line`: tempo, octave, transpose, note length, volume and waveform from the
// position query, the last "\" command before it as written (so that an
// envelope stays an envelope), then the note, shortened to the longest
// length that lasts at most kAuditionMaxTicks. Empty when `note` is no note.
QString auditionText(const QString& prefix, const QString& line, int column, const QString& note);

class Audition : public QObject {
    Q_OBJECT
public:
    // options: Play > Hear Notes While Typing.
    Audition(MainWindow& window, Engine& engine, SongCommands& song, const PlayOptions& options);

    // Sounds the note whose command starts at `column` (0-based, UTF-16
    // units) of verse `verse` (from 1) of channel `channel`'s editor (a
    // click in the song view: a MappedNote's place). Whatever Hear Notes
    // While Typing says. False when no note starts there, or something plays.
    bool auditionAt(int channel, int verse, int column);
    bool auditionAt(const EditorPlace& place) { return auditionAt(place.channel, place.verse, place.column); }
    // Sounds the first note written at `position` (of the editor's whole
    // text) of channel `channel`'s editor, past the octave steps written
    // before it: a MIDI keyboard's note (MidiCommands::noteWritten). As
    // typing, only while Hear Notes While Typing is on. False when nothing
    // sounded.
    bool auditionWritten(int channel, int position);
    // Sounds `note` ("c#8") as channel `channel` would play it at its
    // editor's caret, written or not. False when it is no note, or something plays.
    bool auditionNote(int channel, const QString& note);

    // For measuring latency: the frames the engine had rendered when the
    // last key reached a channel editor, and the song number of the last
    // audition (its first tick's playhead snapshot carries it).
    std::uint64_t lastKeyFrame() const { return keyFrame_; }
    std::uint32_t lastSong() const { return lastSong_; }

signals:
    // An audition was handed to the engine.
    void sounded(int channel);

private:
    // After a keystroke in channel `channel`'s editor.
    void typed(int channel);
    bool sound(int channel, const QString& text);
    bool idle() const;

    MainWindow& window_;
    Engine& engine_;
    SongCommands& song_;
    const PlayOptions& options_;
    std::uint64_t keyFrame_ = 0;
    std::uint32_t lastSong_ = 0;
};

}  // namespace bleeptone
