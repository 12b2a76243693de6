#pragma once
// How the main window's controls are made, and its menu items by number.
// The control numbers themselves are in project/control_numbers.h (the
// stored fields) and ui/window_numbers.h (the others, and the windows').

#include <QRect>
#include <QString>
#include <QStringList>

#include <array>
#include <vector>

#include "project/control_numbers.h"
#include "ui/window_numbers.h"

namespace bleeptone {

enum class ControlKind { Label, ListBox, SpinBox, CheckBox, TextField, Editor, ImageView, Button, IconButton, Frame };

// Menu item numbers: what the loop receives when an item is chosen.
namespace menu {
enum Item : int {
    About = -3,  // the application menu's entries
    Quit = -1,
    New = 0, Open, Save, SaveAs, CopyMml, PasteMml, RecordToWave,  // File
    Demo1, Demo2, Demo3, Demo4,                                     // Tunes
    Help, PsgModule, Website, SupportForum,                         // Help
    // Added to the original menus:
    ExportAudio, OpenRecent, ClearRecent,                // File (OpenRecent: the submenu; a file is data 0..9)
    Undo, Redo, Cut, Copy, Paste, SelectAll,             // Edit
    NextProblem, PreviousProblem, Problems,              // Edit (Problems with data n > 0: go to finding n - 1)
    PlayOrStop, PlayFromHere, StopPlaying, LoopPlayback, FollowPlayback, Oscilloscope, SongView,  // Play
    ExportMidi, ImportMidi,                              // File
    MidiInput,                                           // Play (the submenu; a port is data 0.., none -1)
    ExportWebPage,                                       // File
    HearNotes,                                           // Play
    Count  // the numbered items are 0..Count - 1
};
}  // namespace menu

// How a control is made: its number, kind, place and size at creation,
// caption (or items) and initial state.
struct ControlSpec {
    int number = 0;
    ControlKind kind = ControlKind::Label;
    QRect geometry;
    QString caption;    // label, button and frame captions; initial text of fields
    QStringList items;  // list boxes
    int minimum = 0, maximum = 0;
    int state = 0;    // list box index, spin box value, check box 0/1
    QString tooltip;  // icon buttons
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
