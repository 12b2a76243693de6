#pragma once
// The main window's controls and menu items by number. The numbers are the
// controls' identities everywhere: events carry them, and project files and
// the built-in projects use them as the keys of the values the controls hold.

#include <QRect>
#include <QString>
#include <QStringList>

#include <array>
#include <vector>

namespace bleeptone {

enum class ControlKind { Label, ListBox, SpinBox, CheckBox, TextField, Editor, ImageView, Button, IconButton, Frame };

namespace control {
inline constexpr int MeasureLabel = 0;
inline constexpr int MeasureBox = 1;
inline constexpr int TempoLabel = 2;
inline constexpr int TempoBox = 3;
inline constexpr int PlayButton = 4;
inline constexpr int StopButton = 5;
inline constexpr int CopyMmlButton = 6;
inline constexpr int PatternFrame = 59;
inline constexpr int ProjectInfoFrame = 68;
inline constexpr int ProjectInfo = 69;
inline constexpr int PlayingTime = 70;
inline constexpr int PasteMmlButton = 71;
inline constexpr int Count = 72;  // 0..71 (the main window)
inline constexpr int ModuleCopyLink = 73;  // the PSG Module window's copy link

// Channel c (1..4) owns the thirteen numbers from its base.
constexpr int channelBase(int c) { return 7 + 13 * (c - 1); }
inline constexpr int FrameOffset = 0, WaveformOffset = 1, OctaveLabelOffset = 2, OctaveOffset = 3,
                     VolumeLabelOffset = 4, VolumeOffset = 5, DecayLabelOffset = 6, DecayOffset = 7,
                     MuteOffset = 8, VerseLabelOffset = 9, VerseNameOffset = 10, EditorOffset = 11,
                     InfoBarOffset = 12;
constexpr int channelEditor(int c) { return channelBase(c) + EditorOffset; }  // 18, 31, 44, 57
constexpr int infoBar(int c) { return channelBase(c) + InfoBarOffset; }       // 19, 32, 45, 58
constexpr int patternName(int i) { return 60 + 2 * (i - 1); }                 // 60, 62, 64, 66
constexpr int pattern(int i) { return 61 + 2 * (i - 1); }                     // 61, 63, 65, 67
}  // namespace control

namespace menu {
inline constexpr int About = -3;
inline constexpr int Quit = -1;
inline constexpr int New = 0;
inline constexpr int Open = 1;
inline constexpr int Save = 2;
inline constexpr int SaveAs = 3;
inline constexpr int CopyMml = 4;
inline constexpr int PasteMml = 5;
inline constexpr int RecordToWave = 6;
inline constexpr int Demo1 = 7;  // to Demo4 = 10
inline constexpr int Help = 11;
inline constexpr int PsgModule = 12;
inline constexpr int Website = 13;
inline constexpr int SupportForum = 14;
inline constexpr int Count = 15;  // 0..14
}  // namespace menu

// Window numbers.
namespace window {
inline constexpr int Main = 0, About = 1, Help = 2, PsgModule = 3;
}

// How a control is made: its number, kind, place and size at creation,
// caption (or items) and initial state.
struct ControlSpec {
    int number = 0;
    ControlKind kind = ControlKind::Label;
    QRect geometry;
    QString caption;        // label, button and frame captions; initial text of fields
    QStringList items;      // list boxes
    int minimum = 0, maximum = 0;
    int state = 0;          // list box index, spin box value, check box 0/1
    QString tooltip;        // icon buttons
};

// Every control of the main window, in creation order.
const std::vector<ControlSpec>& mainWindowControls();

inline const QStringList& waveformNames() {
    static const QStringList names = QString("Triangle,Sawtooth,Complex A,Complex B,Square,Noise").split(',');
    return names;
}

// The two groups of controls and menu items that are switched together.
struct EnableGroup {
    std::vector<int> menuItems;
    std::vector<int> controls;
    bool playContextItem = false;  // shown or hidden instead of enabled or disabled
};
const EnableGroup& contentGroup();
const EnableGroup& idleGroup();

// Window client size at start, and the smallest one allowed.
inline constexpr int kClientWidth = 1024;
inline constexpr int kClientHeight = 710;

}  // namespace bleeptone
