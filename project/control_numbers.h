#pragma once
// The numbers of the project's stored fields: the one place they are written.
//
// A control number is a control's identity everywhere: events carry it, the
// control table maps it to its widget, and project files (.mmlp) and the
// built-in projects use it as the key of the value the control holds. A
// number here is therefore part of the file format: never renumber. The
// numbers of the window's other controls (buttons, labels, frames, the
// secondary windows') are in ui/window_numbers.h.

namespace bleeptone::control {

// The top row.
inline constexpr int MeasureBox = 1;
inline constexpr int TempoBox = 3;

// Channel c (1..4) owns the thirteen numbers from channelBase(c), one per
// offset; these are the offsets of its stored fields.
inline constexpr int kFirstChannelControl = 7;
inline constexpr int kChannelControls = 13;
inline constexpr int WaveformOffset = 1, OctaveOffset = 3, VolumeOffset = 5, DecayOffset = 7, MuteOffset = 8,
                     VerseNameOffset = 10, EditorOffset = 11;
constexpr int channelBase(int c) { return kFirstChannelControl + kChannelControls * (c - 1); }
constexpr int channelControl(int c, int offset) { return channelBase(c) + offset; }
constexpr int waveformBox(int c) { return channelControl(c, WaveformOffset); }
constexpr int octaveBox(int c) { return channelControl(c, OctaveOffset); }
constexpr int volumeBox(int c) { return channelControl(c, VolumeOffset); }
constexpr int decayBox(int c) { return channelControl(c, DecayOffset); }
constexpr int muteBox(int c) { return channelControl(c, MuteOffset); }
constexpr int verseNameField(int c) { return channelControl(c, VerseNameOffset); }
constexpr int channelEditor(int c) { return channelControl(c, EditorOffset); }  // 18, 31, 44, 57

// The channel (1..4) a control belongs to, or 0.
constexpr int channelOf(int n) {
    return n >= kFirstChannelControl && n < channelBase(5) ? (n - kFirstChannelControl) / kChannelControls + 1 : 0;
}
// The control's offset within its channel (meaningful when channelOf(n) != 0).
constexpr int offsetInChannel(int n) { return (n - kFirstChannelControl) % kChannelControls; }
// The channel (1..4) whose editor this is, or 0 when n is no channel editor.
constexpr int channelOfEditor(int n) {
    return channelOf(n) != 0 && offsetInChannel(n) == EditorOffset ? channelOf(n) : 0;
}

// True for the four Mute boxes.
constexpr bool isMuteBox(int n) { return channelOf(n) != 0 && offsetInChannel(n) == MuteOffset; }

// The pattern editor: a name field and a pattern field per row i (1..4).
constexpr int patternNameField(int i) { return 60 + 2 * (i - 1); }  // 60, 62, 64, 66
constexpr int patternField(int i) { return 61 + 2 * (i - 1); }      // 61, 63, 65, 67
// The row (1..4) of a pattern field (not a name field), or 0.
constexpr int rowOfPatternField(int n) {
    return n >= patternField(1) && n <= patternField(4) && (n - patternField(1)) % 2 == 0
               ? (n - patternField(1)) / 2 + 1
               : 0;
}

inline constexpr int ProjectInfo = 69;

}  // namespace bleeptone::control
