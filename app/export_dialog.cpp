#include "app/export_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace bleeptone {

namespace {

constexpr ExportFormat kFormats[] = {ExportFormat::Wav, ExportFormat::Flac, ExportFormat::Ogg, ExportFormat::Mp3};
const char* const kFormatNames[] = {"WAV (16-bit mono 44,100 Hz)", "FLAC", "Ogg Vorbis", "MP3"};

}  // namespace

ExportChoicesBox::ExportChoicesBox(const ExportChoices& remembered, bool songLoops, QWidget* parent)
    : QDialog(parent),
      format_(new QComboBox(this)),
      passes_(new QSpinBox(this)),
      fade_(new QDoubleSpinBox(this)),
      stems_(new QCheckBox("One file per channel", this)) {
    setWindowTitle("Export Audio");
    const ExportChoices shown = validChoices(remembered);

    for (std::size_t i = 0; i < std::size(kFormats); ++i) {
        format_->addItem(kFormatNames[i]);
        if (kFormats[i] == shown.format) format_->setCurrentIndex(static_cast<int>(i));
    }
    passes_->setRange(1, kMaxExportPasses);
    passes_->setValue(shown.passes);
    passes_->setEnabled(songLoops);
    passes_->setToolTip(songLoops ? "How many times the song plays its loop."
                                  : "This song does not loop: it plays once.");
    fade_->setRange(0, kMaxChoiceFadeSeconds);
    fade_->setDecimals(1);
    fade_->setSingleStep(0.5);
    fade_->setSuffix(" s");
    fade_->setSpecialValueText("None");
    fade_->setValue(shown.fadeSeconds);
    fade_->setToolTip("Fades the end of the last pass out to silence over this many seconds.");
    stems_->setChecked(shown.stems);
    stems_->setToolTip("Also writes each channel alone, NAME-1 to NAME-4, beside the mix.");

    auto* form = new QFormLayout;
    form->addRow("Format:", format_);
    form->addRow("Passes:", passes_);
    form->addRow("Fade-out:", fade_);
    form->addRow(QString(), stems_);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, this);
    buttons->addButton("Export...", QDialogButtonBox::AcceptRole)->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);
}

ExportChoices ExportChoicesBox::choices() const {
    ExportChoices c;
    c.format = kFormats[std::max(0, format_->currentIndex())];
    c.passes = passes_->value();
    c.fadeSeconds = fade_->value();
    c.stems = stems_->isChecked();
    return c;
}

}  // namespace bleeptone
