#pragma once
// The Problems window: every finding of the tune checks with its place and
// message, in order of place. Return or a double-click on one asks to go
// there; Escape and Ctrl+W close the window.

#include <QWidget>

#include "song/tune_checks.h"

class QLabel;
class QTreeWidget;
class QTreeWidgetItem;

namespace bleeptone {

class ProblemsWindow : public QWidget {
    Q_OBJECT
public:
    explicit ProblemsWindow(QWidget* parent = nullptr);
    // Shows these findings, keeping the current row where it can.
    void setFindings(const TuneFindings& findings);
    const TuneFindings& findings() const { return findings_; }
    QTreeWidget* list() const { return list_; }

    // "Channel 2, verse 3, column 14" or "Channel 2, pattern, column 5".
    static QString placeText(const EditorPlace& place);

signals:
    void goTo(const TuneFinding& finding);
    void closed();

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void goToItem(QTreeWidgetItem* item);
    QTreeWidget* list_;
    QLabel* summary_;
    TuneFindings findings_;
};

}  // namespace bleeptone
