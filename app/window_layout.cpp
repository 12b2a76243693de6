#include "app/window_layout.h"

namespace bleeptone {

ControlGeometry creationGeometry() {
    ControlGeometry g{};
    for (const ControlSpec& spec : mainWindowControls()) g[static_cast<std::size_t>(spec.number)] = spec.geometry;
    return g;
}

void applyLayoutRule(ControlGeometry& g, int W, int H) {
    auto at = [&g](int n) -> QRect& { return g[static_cast<std::size_t>(n)]; };
    auto setX = [&](int n, int x) { at(n).moveLeft(x); };
    auto setY = [&](int n, int y) { at(n).moveTop(y); };

    // Top row: the group from the measure label to the playing time is
    // centred; the two icon buttons keep to the right edge.
    setX(control::MeasureLabel, (W - 348) / 2);
    setX(control::MeasureBox, at(control::MeasureLabel).x() + 60);
    setX(control::TempoLabel, at(control::MeasureBox).x() + 80);
    setX(control::TempoBox, at(control::TempoLabel).x() + 55);
    setX(control::PlayButton, at(control::TempoBox).x() + 60);
    setX(control::StopButton, at(control::TempoBox).x() + 60);
    setX(control::PlayingTime, at(control::PlayButton).x() + 93);
    setX(control::CopyMmlButton, W - 100);
    setX(control::PasteMmlButton, W - 64);

    // Channel panels share the height left over by the top row and the bottom area.
    const int F = (H - 10 - 170) / 4 + 3;
    const int E = W - at(control::channelEditor(1)).x() - 20;
    const int S = (F - 10) / 4 + 15;
    for (int c = 1; c <= 4; ++c) {
        const int b = control::channelBase(c);
        const int Y = 30 + (c - 1) * F;
        at(b) = QRect(at(b).x(), Y, W - 20, F);
        const int editor = b + control::EditorOffset;
        at(editor) = QRect(at(editor).x(), Y + 20, E, F - 50);
        const int info = b + control::InfoBarOffset;
        at(info) = QRect(at(info).x(), at(editor).y() + at(editor).height(), at(control::channelEditor(1)).width(),
                         at(info).height());
        setY(b + control::WaveformOffset, Y + 15);
        setY(b + control::OctaveLabelOffset, Y + S + 2);
        setY(b + control::VolumeLabelOffset, Y + S + 2);
        setY(b + control::OctaveOffset, Y + S);
        setY(b + control::VolumeOffset, Y + S);
        setY(b + control::DecayLabelOffset, Y + 2 * S - 15);
        setY(b + control::DecayOffset, Y + 2 * S - 17);
        setY(b + control::MuteOffset, Y + 2 * S - 17);
        setY(b + control::VerseLabelOffset, at(info).y() + 2);
        setY(b + control::VerseNameOffset, at(info).y());
    }

    // Pattern editor and project info below the panels, at their fixed heights.
    const QRect& last = at(control::channelBase(4));
    const int B = last.y() + last.height();
    at(control::ProjectInfoFrame).moveTopLeft({W - 310 - 10, B});
    at(control::ProjectInfo).moveTopLeft({W - 290 - 20, B + 20});
    const int infoX = at(control::ProjectInfoFrame).x();
    at(control::PatternFrame).moveTop(B);
    at(control::PatternFrame).setWidth(infoX - 20);
    for (int i = 1; i <= 4; ++i) {
        const int y = at(control::PatternFrame).y() + 20 + 25 * (i - 1);
        setY(control::patternNameField(i), y);
        setY(control::patternField(i), y);
        at(control::patternField(i)).setWidth(infoX - 210);
    }
}

}  // namespace bleeptone
