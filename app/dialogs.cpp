#include "app/dialogs.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>

#include "app/export_dialog.h"

namespace bleeptone {

// A box belongs to the window the user is in (the PSG Module window, say),
// so that this window is in front again when the box closes.
QWidget* QtDialogs::boxParent() const {
    QWidget* active = QApplication::activeWindow();
    return active ? active : parent_;
}

void QtDialogs::error(const QString& text) { QMessageBox::critical(boxParent(), "Error", text, QMessageBox::Ok); }

void QtDialogs::information(const QString& text) {
    QMessageBox::information(boxParent(), QString(), text, QMessageBox::Ok);
}

std::optional<int> QtDialogs::choice(const QString& title, const QString& label, const QStringList& items,
                                     int current) {
    bool ok = false;
    const QString chosen = QInputDialog::getItem(boxParent(), title, label, items, current, false, &ok);
    if (!ok) return std::nullopt;
    return static_cast<int>(items.indexOf(chosen));
}

bool QtDialogs::question(const QString& text) {
    return QMessageBox::question(boxParent(), QString(), text, QMessageBox::Yes | QMessageBox::No, QMessageBox::No) ==
           QMessageBox::Yes;
}

Dialogs::Answer QtDialogs::questionWithCancel(const QString& text) {
    // Escape, and closing the box, press Cancel.
    const auto button = QMessageBox::question(
        boxParent(), QString(), text, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::Yes);
    return button == QMessageBox::Yes ? Answer::Yes : (button == QMessageBox::No ? Answer::No : Answer::Cancel);
}

QString QtDialogs::filePanel(PanelMode mode, const QString& title, const QString& types, const QString& message,
                             const QString& start) {
    QStringList patterns;
    for (const QString& type : types.split('|', Qt::SkipEmptyParts)) patterns << "*." + type;
    QFileDialog panel(boxParent(), title, start.isEmpty() ? QDir::homePath() + '/' : start,
                      QString("%1 (%2)").arg(message, patterns.join(' ')));
    panel.setAcceptMode(mode == PanelMode::Open ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave);
    panel.setFileMode(mode == PanelMode::Open ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    // Only the files the command accepts: "C.MMLP" is not a project.
    panel.setFilter(panel.filter() | QDir::CaseSensitive);
    if (panel.exec() != QDialog::Accepted || panel.selectedFiles().isEmpty()) return {};
    return panel.selectedFiles().first();
}

std::optional<ExportChoices> QtDialogs::exportChoices(const ExportChoices& remembered, bool songLoops) {
    ExportChoicesBox box(remembered, songLoops, parent_);
    if (box.exec() != QDialog::Accepted) return std::nullopt;
    return box.choices();
}

}  // namespace bleeptone
