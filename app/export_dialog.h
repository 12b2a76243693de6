#pragma once
// The Export Audio choices box: format, passes of a song that loops, the
// fade-out, one file per channel.

#include <QDialog>

#include "export/export_choices.h"

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QSpinBox;

namespace bleeptone {

class ExportChoicesBox : public QDialog {
    Q_OBJECT
public:
    // Shows the remembered choices; the passes box is enabled only for a song that loops.
    ExportChoicesBox(const ExportChoices& remembered, bool songLoops, QWidget* parent = nullptr);

    ExportChoices choices() const;

    QComboBox* formatBox() const { return format_; }
    QSpinBox* passesBox() const { return passes_; }
    QDoubleSpinBox* fadeBox() const { return fade_; }
    QCheckBox* stemsBox() const { return stems_; }

private:
    QComboBox* format_;
    QSpinBox* passes_;
    QDoubleSpinBox* fade_;
    QCheckBox* stems_;
};

}  // namespace bleeptone
