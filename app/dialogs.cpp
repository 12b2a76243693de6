#include "dialogs.h"

#include <QDir>
#include <QFileDialog>
#include <QMessageBox>

namespace bleeptone {

void QtDialogs::error(const QString& text) { QMessageBox::critical(parent_, "Error", text, QMessageBox::Ok); }

void QtDialogs::information(const QString& text) {
    QMessageBox::information(parent_, QString(), text, QMessageBox::Ok);
}

bool QtDialogs::question(const QString& text) {
    return QMessageBox::question(parent_, QString(), text, QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes) ==
           QMessageBox::Yes;
}

}  // namespace bleeptone

namespace bleeptone {

QString QtDialogs::filePanel(PanelMode mode, const QString& title, const QString& types, const QString& message) {
    QStringList patterns;
    for (const QString& type : types.split('|', Qt::SkipEmptyParts)) patterns << "*." + type;
    const QString filter = QString("%1 (%2)").arg(message, patterns.join(' '));
    const QString home = QDir::homePath() + '/';
    return mode == PanelMode::Open ? QFileDialog::getOpenFileName(parent_, title, home, filter)
                                   : QFileDialog::getSaveFileName(parent_, title, home, filter);
}

}  // namespace bleeptone
