#pragma once
// The numbers of the window's controls that hold no part of the project
// (buttons, labels, frames, the playing-time display, the secondary
// windows' controls), and the window numbers. The stored fields' numbers
// are in project/control_numbers.h; together they are every control number.
//
// 0..71 are the main window's controls; the secondary windows use 72..80.

#include "project/control_numbers.h"

namespace bleeptone {

namespace control {

// The top row.
inline constexpr int MeasureLabel = 0;
inline constexpr int TempoLabel = 2;
inline constexpr int PlayButton = 4;
inline constexpr int StopButton = 5;
inline constexpr int CopyMmlButton = 6;

// The other offsets within a channel's thirteen numbers.
inline constexpr int FrameOffset = 0, OctaveLabelOffset = 2, VolumeLabelOffset = 4, DecayLabelOffset = 6,
                     VerseLabelOffset = 9, InfoBarOffset = 12;
constexpr int infoBar(int c) { return channelControl(c, InfoBarOffset); }  // 19, 32, 45, 58

inline constexpr int PatternFrame = 59;
inline constexpr int ProjectInfoFrame = 68;
inline constexpr int PlayingTime = 70;
inline constexpr int PasteMmlButton = 71;
inline constexpr int Count = 72;  // the main window's controls are 0..Count - 1

// The secondary windows' controls.
inline constexpr int ModuleEditor = 72;    // the PSG Module window's text
inline constexpr int ModuleCopyLink = 73;  // its copy link
inline constexpr int HelpEditor = 74;      // the Help window's text
inline constexpr int AboutEmblem = 75;     // the About window's emblem, then its five labels
inline constexpr int AboutLabelCount = 6;  // 75..80

// True for the main window's controls.
constexpr bool inMainWindow(int n) { return n >= 0 && n < Count; }

}  // namespace control

// Window numbers.
namespace window {
inline constexpr int Main = 0, About = 1, Help = 2, PsgModule = 3;
}

}  // namespace bleeptone
