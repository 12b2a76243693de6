#include "ui/problems_window.h"

#include <QCloseEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLabel>
#include <QShortcut>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace bleeptone {

ProblemsWindow::ProblemsWindow(QWidget* parent)
    : QWidget(parent, Qt::Window), list_(new QTreeWidget(this)), summary_(new QLabel(this)) {
    setWindowTitle("Problems");
    resize(760, 320);
    list_->setColumnCount(2);
    list_->setHeaderLabels({"Place", "Problem"});
    list_->setRootIsDecorated(false);
    list_->setUniformRowHeights(true);
    list_->setAllColumnsShowFocus(true);
    list_->setWordWrap(false);
    list_->header()->setStretchLastSection(true);
    list_->setColumnWidth(0, 210);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->addWidget(summary_);
    layout->addWidget(list_);
    // Return or a double-click goes to the place, whatever the style makes
    // of a single click.
    list_->installEventFilter(this);
    connect(list_, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* item) { goToItem(item); });
    for (const QKeySequence& keys : {QKeySequence(Qt::Key_Escape), QKeySequence(Qt::CTRL | Qt::Key_W)})
        connect(new QShortcut(keys, this), &QShortcut::activated, this, &QWidget::close);
    setFindings({});
}

QString ProblemsWindow::placeText(const EditorPlace& place) {
    if (place.verse == 0) return QString("Channel %1, pattern, column %2").arg(place.channel).arg(place.column + 1);
    return QString("Channel %1, verse %2, column %3").arg(place.channel).arg(place.verse).arg(place.column + 1);
}

void ProblemsWindow::setFindings(const TuneFindings& findings) {
    const int row = list_->currentItem() ? list_->indexOfTopLevelItem(list_->currentItem()) : -1;
    findings_ = findings;
    list_->clear();
    QList<QTreeWidgetItem*> items;
    for (const TuneFinding& f : findings_) {
        auto* item = new QTreeWidgetItem({placeText(f.place), f.message});
        item->setToolTip(1, f.message);
        items.append(item);
    }
    list_->addTopLevelItems(items);
    if (!items.isEmpty()) list_->setCurrentItem(items[std::clamp(row, 0, static_cast<int>(items.size()) - 1)]);
    summary_->setText(findings_.empty()       ? QStringLiteral("No problems found.")
                      : findings_.size() == 1 ? QStringLiteral("1 problem:")
                                              : QString("%1 problems:").arg(findings_.size()));
}

void ProblemsWindow::goToItem(QTreeWidgetItem* item) {
    const int i = item ? list_->indexOfTopLevelItem(item) : -1;
    if (i >= 0 && i < static_cast<int>(findings_.size())) emit goTo(findings_[static_cast<std::size_t>(i)]);
}

bool ProblemsWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == list_ && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            goToItem(list_->currentItem());
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void ProblemsWindow::closeEvent(QCloseEvent* event) {
    QWidget::closeEvent(event);
    emit closed();
}

}  // namespace bleeptone
