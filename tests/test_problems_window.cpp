// The Problems window: its rows (place and message, in the order given),
// Return and a double-click asking to go to the finding, the current row
// kept when the findings change, and Escape closing it.

#include <gtest/gtest.h>

#include <QLabel>
#include <QSignalSpy>
#include <QTest>
#include <QTreeWidget>

#include "tests/event_loop.h"
#include "tests/qt_printers.h"
#include "ui/problems_window.h"

namespace bleeptone {
namespace {

TuneFindings threeFindings() {
    TuneFindings f(3);
    f[0].place = {1, 0, 4};
    f[0].message = "pattern entry 3 is empty: it plays nothing";
    f[1].place = {1, 2, 12};
    f[1].message = "verse 2 is 1 measure and 1/8 long (4/4)";
    f[2].place = {3, 1, 0};
    f[2].message = "\"w9\" plays the sawtooth";
    return f;
}

TEST(ProblemsWindow, RowsAndGoingThere) {
    ProblemsWindow w;
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    QTreeWidget* list = w.list();
    EXPECT_EQ(list->topLevelItemCount(), 0);
    EXPECT_EQ(w.findChild<QLabel*>()->text(), "No problems found.");

    w.setFindings(threeFindings());
    ASSERT_EQ(list->topLevelItemCount(), 3);
    EXPECT_EQ(w.findChild<QLabel*>()->text(), "3 problems:");
    EXPECT_EQ(list->topLevelItem(0)->text(0), "Channel 1, pattern, column 5");
    EXPECT_EQ(list->topLevelItem(1)->text(0), "Channel 1, verse 2, column 13");
    EXPECT_EQ(list->topLevelItem(1)->text(1), "verse 2 is 1 measure and 1/8 long (4/4)");

    QSignalSpy goTo(&w, &ProblemsWindow::goTo);
    list->setFocus();
    list->setCurrentItem(list->topLevelItem(1));
    QTest::keyClick(list, Qt::Key_Return);
    ASSERT_EQ(goTo.size(), 1);
    EXPECT_EQ(goTo[0][0].value<TuneFinding>().place, (EditorPlace{1, 2, 12}));

    const QRect row = list->visualItemRect(list->topLevelItem(2));
    // As a person's double-click arrives: a click, then the double-click.
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, row.center());
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, row.center());
    ASSERT_EQ(goTo.size(), 2);
    EXPECT_EQ(goTo[1][0].value<TuneFinding>().place, (EditorPlace{3, 1, 0}));

    // New findings: the row stays where it was, within the list.
    w.setFindings({threeFindings()[0]});
    EXPECT_EQ(list->indexOfTopLevelItem(list->currentItem()), 0);
    EXPECT_EQ(w.findChild<QLabel*>()->text(), "1 problem:");

    QSignalSpy closed(&w, &ProblemsWindow::closed);
    QTest::keyClick(list, Qt::Key_Escape);
    EXPECT_EQ(closed.size(), 1);
    EXPECT_FALSE(w.isVisible());
}

}  // namespace
}  // namespace bleeptone
