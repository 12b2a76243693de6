#pragma once
// The info bar under the focused channel editor: the MML settings at the
// caret as text and as a waveform icon, the verse, and the measure bar with
// one square per sixteenth note of the current measure.

#include <QFont>
#include <QImage>
#include <QString>

#include "engine/mml.h"

namespace bleeptone {

inline constexpr int kInfoBarHeight = 20;
inline const QColor kInfoLightBlue(48, 144, 255);
inline const QColor kInfoDarkBlue(0, 113, 255);
inline const QColor kInfoDot(224, 240, 255);
inline const QColor kInfoWarning(255, 196, 0);  // the sign in front of a problem

struct InfoBarContent {
    MML_Info info;         // the state at the caret (EvtCnt in 32nd notes)
    int verse = 1;         // verse number, from 1
    int channel = 1;       // 1..4
    int measureUnits = 32;  // 8 x quarter notes per measure (16, 24, 32)
    int editorWidth = 714;
    // A problem the tune checks found at the caret: shown, behind a warning
    // sign, in place of the settings and the waveform icon.
    QString problem;
    friend bool operator==(const InfoBarContent&, const InfoBarContent&) = default;
};

// "05" for 5; texts of two characters or more stay as they are.
QString twoDigits(int n);
// "+05", "+12", "-05", "-12": a sign and at least two digits.
QString transposeText(int t);

// The bar's font: Menlo where present, else the system's fixed-width font, 15 pixels.
QFont infoBarFont();

// Draws the bar into the image (its width in logical pixels is the bar's W).
// Coordinates are logical pixels: an image with a device pixel ratio of 2
// gets the same bar drawn with twice the detail.
void drawInfoBar(QImage& image, const InfoBarContent& content, const QImage& waveformStrip, const QFont& font);

// A new bar image: 24-bit, the given width and 20 high in logical pixels,
// at the screen's device pixel ratio, light blue.
QImage newInfoBarImage(int width, qreal devicePixelRatio = 1.0);

}  // namespace bleeptone
