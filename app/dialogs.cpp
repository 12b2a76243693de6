#include "dialogs.h"

#include <QDir>
#include <QFileDialog>
#include <QMessageBox>

#include "export_dialog.h"

namespace bleeptone {

void QtDialogs::error(const QString& text) { QMessageBox::critical(parent_, "Error", text, QMessageBox::Ok); }

void QtDialogs::information(const QString& text) {
    QMessageBox::information(parent_, QString(), text, QMessageBox::Ok);
}

bool QtDialogs::question(const QString& text) {
    return QMessageBox::question(parent_, QString(), text, QMessageBox::Yes | QMessageBox::No, QMessageBox::No) ==
           QMessageBox::Yes;
}

Dialogs::Answer QtDialogs::questionWithCancel(const QString& text) {
    // Escape, and closing the box, press Cancel.
    const auto button = QMessageBox::question(
        parent_, QString(), text, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::Yes);
    return button == QMessageBox::Yes ? Answer::Yes : (button == QMessageBox::No ? Answer::No : Answer::Cancel);
}

QString QtDialogs::filePanel(PanelMode mode, const QString& title, const QString& types, const QString& message,
                             const QString& folder, const QString& name) {
    QStringList patterns;
    for (const QString& type : types.split('|', Qt::SkipEmptyParts)) patterns << "*." + type;
    const QString filter = QString("%1 (%2)").arg(message, patterns.join(' '));
    const QString start = (folder.isEmpty() ? QDir::homePath() : folder) + '/' + name;
    return mode == PanelMode::Open ? QFileDialog::getOpenFileName(parent_, title, start, filter)
                                   : QFileDialog::getSaveFileName(parent_, title, start, filter);
}

std::optional<ExportChoices> QtDialogs::exportChoices(const ExportChoices& remembered, bool songLoops) {
    ExportChoicesBox box(remembered, songLoops, parent_);
    if (box.exec() != QDialog::Accepted) return std::nullopt;
    return box.choices();
}

}  // namespace bleeptone
