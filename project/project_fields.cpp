#include "project/project_fields.h"

namespace bleeptone {

const std::vector<ProjectField>& projectFields() {
    static const std::vector<ProjectField> fields = [] {
        std::vector<ProjectField> f;
        f.push_back({control::TempoBox, FieldKind::State, 0, 15});
        f.push_back({control::MeasureBox, FieldKind::State, 0, 2, true});
        for (int c = 1; c <= 4; ++c) {
            f.push_back({control::waveformBox(c), FieldKind::State, 0, c == 1 ? 5 : 4, true});
            f.push_back({control::octaveBox(c), FieldKind::State, 0, 8});
            f.push_back({control::volumeBox(c), FieldKind::State, 0, 63});
            f.push_back({control::decayBox(c), FieldKind::State, 0, 32});
            f.push_back({control::muteBox(c), FieldKind::State, 0, 1});
            f.push_back({control::verseNameField(c), FieldKind::Text});
            f.push_back({control::channelEditor(c), FieldKind::Lines});
        }
        for (int i = 1; i <= 4; ++i) {
            f.push_back({control::patternNameField(i), FieldKind::Text});
            f.push_back({control::patternField(i), FieldKind::Text});
        }
        f.push_back({control::ProjectInfo, FieldKind::Lines});
        return f;
    }();
    return fields;
}

const ProjectField* projectField(int number) {
    for (const ProjectField& f : projectFields())
        if (f.number == number) return &f;
    return nullptr;
}

}  // namespace bleeptone
