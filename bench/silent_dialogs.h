#pragma once
// Dialogs for the benchmarks that run the whole program: every box is
// answered at once, as cancelled.

#include "app/dialogs.h"

namespace bleeptone::bench {

class SilentDialogs : public Dialogs {
public:
    void error(const QString&) override {}
    void information(const QString&) override {}
    bool question(const QString&) override { return false; }
    Answer questionWithCancel(const QString&) override { return Answer::Cancel; }
    QString filePanel(PanelMode, const QString&, const QString&, const QString&, const QString&) override { return {}; }
    std::optional<ExportChoices> exportChoices(const ExportChoices&, bool) override { return std::nullopt; }
    std::optional<int> choice(const QString&, const QString&, const QStringList&, int) override { return std::nullopt; }
};

}  // namespace bleeptone::bench
