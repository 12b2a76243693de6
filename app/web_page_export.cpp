#include "app/web_page_export.h"

#include <QFile>
#include <QString>

#include <string>

#include "app/dialogs.h"
#include "app/document.h"
#include "app/main_window.h"
#include "app/window_fields.h"
#include "export/web_page.h"

namespace bleeptone {

void exportWebPage(MainWindow& window, Dialogs& dialogs, Document& document) {
    // The whole song, as Play assembles it (a selection does not matter),
    // under the project's name.
    const QString name = document.projectName();
    QString path = dialogs.filePanel(Dialogs::PanelMode::Save, "Export Web Page...", "html", "Web Page",
                                     document.panelStart(name + ".html"));
    if (path.isEmpty()) return;  // cancelled
    Document::rememberFolder(path);
    path = withNameExtension(path, ".html");
    std::string error;
    if (!writeWebPage(QFile::encodeName(path).toStdString(), WindowFields(window.controls()), name, error)) {
        dialogs.error(QString("The web page could not be written: %1.").arg(QFile::decodeName(error.c_str())));
        return;
    }
    dialogs.information(QString("The web page was written to \"%1\".").arg(path));
}

}  // namespace bleeptone
