#pragma once
// What a note played on a MIDI keyboard writes at the caret of a channel
// editor: the note's name, with "<" or ">" as needed from the octave in
// force at the caret (the position query's, over the channel's settings
// prefix and the verse, as the info bar reads it), and the length of the
// last note or rest before the caret in the verse when one was written
// there ("8", "16."), else none. When the octave changes, the opposite
// change follows the note, so the music after the caret keeps its octave;
// the caret goes between the two, where the next note played continues.
// Where the text after the caret begins with such a change back already
// (the previous note's), the two cancel: ">c<" and then G4 give ">c<g",
// not ">c<g><".
// Pure code.

#include <QString>

namespace bleeptone {

struct MidiEntry {
    QString text;        // to insert at the caret
    int caret = 0;       // where the caret goes, counted from the insertion's start
    int eraseAfter = 0;  // characters after the caret that text replaces
};

// note: the MIDI note number (out of C0..C8 it is moved by octaves into it).
// prefix: channelPrefix() of the channel; line: the verse at the caret;
// column: the caret in it.
MidiEntry midiEntryAt(int note, const QString& prefix, const QString& line, int column);

}  // namespace bleeptone
