#include "project_fields.h"

namespace bleeptone {

const std::vector<ProjectField>& projectFields() {
    static const std::vector<ProjectField> fields = [] {
        std::vector<ProjectField> f;
        f.push_back({kFieldTempo, FieldKind::State, 0, 15});
        f.push_back({kFieldMeasure, FieldKind::State, 0, 2, true});
        for (int c = 1; c <= 4; ++c) {
            f.push_back({channelField(c, kWaveformOffset), FieldKind::State, 0, c == 1 ? 5 : 4, true});
            f.push_back({channelField(c, kOctaveOffset), FieldKind::State, 0, 8});
            f.push_back({channelField(c, kVolumeOffset), FieldKind::State, 0, 63});
            f.push_back({channelField(c, kDecayOffset), FieldKind::State, 0, 32});
            f.push_back({channelField(c, kMuteOffset), FieldKind::State, 0, 1});
            f.push_back({channelField(c, kVerseNameOffset), FieldKind::Text});
            f.push_back({channelField(c, kEditorOffset), FieldKind::Lines});
        }
        for (int n = 60; n <= 67; ++n) f.push_back({n, FieldKind::Text});
        f.push_back({kFieldProjectInfo, FieldKind::Lines});
        return f;
    }();
    return fields;
}

const ProjectField* projectField(int number) {
    for (const ProjectField& f : projectFields())
        if (f.number == number) return &f;
    return nullptr;
}

QString joinLinesForStorage(const QString& editorText) {
    QString joined;
    for (const QString& line : editorText.split('\n')) joined += line + ';';
    while (joined.endsWith(';')) joined.chop(1);
    return joined;
}

}  // namespace bleeptone
