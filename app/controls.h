#pragma once
// How the main window's controls are made, and its menu items by number.
// The control numbers themselves are in control_numbers.h.

#include <QRect>
#include <QString>
#include <QStringList>

#include <array>
#include <vector>

#include "control_numbers.h"

namespace bleeptone {

enum class ControlKind { Label, ListBox, SpinBox, CheckBox, TextField, Editor, ImageView, Button, IconButton, Frame };

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
