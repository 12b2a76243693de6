#pragma once
// Positions between the texts the engine plays and the channel editors:
// where a position of an assembled channel text (or of a selection's
// passage) sits in its editor, which the playhead marks; and, for Play from
// Here, the first position of the song text at which an editor place plays.
// Pure functions.

#include <QString>

#include <optional>
#include <string_view>

#include "song/song_assembly.h"

namespace bleeptone {

// A place in a channel editor: its channel (1..4), the verse (its line, from
// 1) and the column in that line (UTF-16 units).
struct EditorPlace {
    int channel = 0;
    int verse = 0;
    int column = 0;
    friend bool operator==(const EditorPlace&, const EditorPlace&) = default;
};

// Where position `position` of an assembled channel text comes from; nothing
// for a position in the prefix, in a blank that joins verses, or outside the text.
std::optional<EditorPlace> placeInSong(const ChannelAssembly& assembly, int channel, int position);

// The first position of the assembled text at which (verse, column) plays:
// in the first segment of that verse, the column held within the verse (its
// end is the position after its last character). Nothing when the pattern
// never plays the verse, the channel is muted or has no verses.
std::optional<int> songPositionOf(const ChannelAssembly& assembly, int verse, int column);

// The voice a selection's passage of channel 1..4 plays on: 0 for channel 1
// (the only voice with noise), 1 for the others.
inline int passageVoice(int channel) { return channel == 1 ? 0 : 1; }

// Where position `position` of a passage's text sits in its editor (the
// editor of `channel`); nothing inside the preamble.
std::optional<EditorPlace> placeInPassage(const Passage& passage, int channel, int position);

// The length of the command at `position` of a played text (a note or rest
// with its length, sign and dots), without the blanks after it: what a
// playhead marks. At least 1 inside the text, 0 outside it.
int commandLength(std::u16string_view text, int position);

// The editor's (verse, column) of an offset into its whole text (the caret),
// and back: the offset of (verse, column), the column held within the line;
// -1 for a verse the editor does not have.
EditorPlace editorPlaceAt(const QString& editorText, int channel, int offset);
int editorOffset(const QString& editorText, int verse, int column);

}  // namespace bleeptone
