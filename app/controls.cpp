#include "app/controls.h"

namespace bleeptone {

namespace {

std::vector<ControlSpec> buildSpecs() {
    using K = ControlKind;
    std::vector<ControlSpec> s;
    auto add = [&](int n, K kind, QRect r, QString caption = {}) -> ControlSpec& {
        ControlSpec spec;
        spec.number = n;
        spec.kind = kind;
        spec.geometry = r;
        spec.caption = std::move(caption);
        s.push_back(std::move(spec));
        return s.back();
    };

    // Top row.
    add(control::MeasureLabel, K::Label, {338, 13, 59, 20}, "Measure:");
    auto& measure = add(control::MeasureBox, K::ListBox, {398, 9, 70, 25});
    measure.items = {"2/4", "3/4", "4/4"};
    measure.state = 2;
    add(control::TempoLabel, K::Label, {478, 13, 50, 20}, "Tempo:");
    auto& tempo = add(control::TempoBox, K::SpinBox, {533, 10, 50, 22});
    tempo.maximum = 15;
    tempo.state = 12;
    add(control::PlayButton, K::Button, {593, 10, 90, 25}, "Play");
    add(control::StopButton, K::Button, {593, 10, 90, 25}, "Stop");
    add(control::PlayingTime, K::Label, {686, 13, 200, 20});
    add(control::CopyMmlButton, K::IconButton, {924, 8, 31, 28}).tooltip = "Copy MML";
    add(control::PasteMmlButton, K::IconButton, {960, 8, 31, 28}).tooltip = "Paste MML";

    // Channel panels, 135 apart.
    for (int c = 1; c <= 4; ++c) {
        const int b = control::channelBase(c);
        const int dy = 135 * (c - 1);
        add(b + control::FrameOffset, K::Frame, {10, 30 + dy, 1004, 135}, QString("Channel %1").arg(c));
        auto& wave = add(b + control::WaveformOffset, K::ListBox, {25, 45 + dy, 140, 30});
        wave.items = c == 1 ? waveformNames() : waveformNames().mid(0, 5);
        add(b + control::OctaveLabelOffset, K::Label, {40, 78 + dy, 60, 20}, "Octave:");
        auto& octave = add(b + control::OctaveOffset, K::SpinBox, {100, 76 + dy, 50, 22});
        octave.maximum = 8;
        octave.state = 4;
        add(b + control::VolumeLabelOffset, K::Label, {170, 78 + dy, 60, 20}, "Volume:");
        auto& volume = add(b + control::VolumeOffset, K::SpinBox, {230, 76 + dy, 50, 22});
        volume.maximum = 63;
        volume.state = 40;
        add(b + control::DecayLabelOffset, K::Label, {40, 107 + dy, 60, 20}, "Decay:");
        add(b + control::DecayOffset, K::SpinBox, {100, 105 + dy, 50, 22}).maximum = 32;
        add(b + control::MuteOffset, K::CheckBox, {190, 105 + dy, 60, 20}, "Mute");
        add(b + control::VerseLabelOffset, K::Label, {30, 137 + dy, 90, 20}, "Verse Name:");
        add(b + control::VerseNameOffset, K::TextField, {120, 135 + dy, 158, 20}, QString("CH%1 Verse(s)").arg(c));
        add(b + control::EditorOffset, K::Editor, {290, 50 + dy, 714, 85});
        add(b + control::InfoBarOffset, K::ImageView, {290, 135 + dy, 714, 20});
    }

    // Pattern editor and project info.
    add(control::PatternFrame, K::Frame, {10, 570, 684, 130}, "Pattern Editor");
    for (int i = 1; i <= 4; ++i) {
        const int y = 590 + 25 * (i - 1);
        add(control::patternNameField(i), K::TextField, {20, y, 160, 20}, QString("Channel %1").arg(i));
        add(control::patternField(i), K::TextField, {190, y, 494, 20});
    }
    add(control::ProjectInfoFrame, K::Frame, {704, 570, 310, 130}, "Project Info");
    add(control::ProjectInfo, K::Editor, {714, 590, 290, 100});
    return s;
}

}  // namespace

const std::vector<ControlSpec>& mainWindowControls() {
    static const std::vector<ControlSpec> specs = buildSpecs();
    return specs;
}

const EnableGroup& contentGroup() {
    // Save is here too: it saves to the document's file, or asks for one as
    // Save As does, so it works whenever there is something to save.
    static const EnableGroup g{{menu::Save, menu::SaveAs, menu::CopyMml, menu::RecordToWave, menu::ExportAudio,
                                menu::ExportMidi, menu::ExportWebPage},
                               {control::CopyMmlButton, control::PlayButton},
                               false};
    return g;
}

const EnableGroup& idleGroup() {
    static const EnableGroup g{
        {menu::New, menu::Open, menu::PasteMml, menu::ImportMidi, menu::Demo1, menu::Demo2, menu::Demo3, menu::Demo4},
        {control::CopyMmlButton, control::PasteMmlButton},
        true};
    return g;
}

}  // namespace bleeptone
