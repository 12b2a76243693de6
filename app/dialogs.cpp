#include "dialogs.h"

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
