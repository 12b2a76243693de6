#include "project/project_model.h"

#include <algorithm>

namespace bleeptone {

QString ProjectModel::text(int number) const {
    const ProjectField* f = projectField(number);
    if (!f) return {};
    if (f->kind == FieldKind::State) return QString::number(state(number));
    const auto it = texts_.find(number);
    return it == texts_.end() ? QString() : it->second;
}

void ProjectModel::setText(int number, const QString& text) {
    const ProjectField* f = projectField(number);
    if (!f) return;
    if (f->kind == FieldKind::State) {
        setState(number, text.trimmed().toInt());
    } else {
        texts_[number] = text;
    }
}

int ProjectModel::state(int number) const {
    const auto it = states_.find(number);
    return it == states_.end() ? 0 : it->second;
}

void ProjectModel::setState(int number, int state) {
    const ProjectField* f = projectField(number);
    if (!f || f->kind != FieldKind::State) return;
    if (f->list) {
        if (state < f->minimum || state > f->maximum) return;  // no such item
        states_[number] = state;
    } else {
        states_[number] = std::clamp(state, f->minimum, f->maximum);
    }
}

void copyProject(const ProjectFields& from, ProjectFields& to) {
    for (const ProjectField& f : projectFields()) {
        if (f.kind == FieldKind::State)
            to.setState(f.number, from.state(f.number));
        else
            to.setText(f.number, from.text(f.number));
    }
}

}  // namespace bleeptone
