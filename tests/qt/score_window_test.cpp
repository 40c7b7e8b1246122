// Walking and clicking the score in the window: a click gives the score the
// keyboard focus, the arrows then step, and the lists keep their own arrows.
#include <gtest/gtest.h>

#include "qt/started_window.h"

#include <QLabel>
#include <QListWidget>
#include <QTest>

#include "app/lifecycle.h"
#include "app/qt/main_window.h"
#include "support/fake_synth.h"

namespace tonemark {
namespace {

class ScoreWindow : public testing::StartedWindow {
protected:
    void SetUp() override {
        StartedWindow::SetUp();
        window->activateWindow();
        QCoreApplication::processEvents();
    }
};

TEST_F(ScoreWindow, AClickThenTheArrowsWalkTheNotes) {
    QWidget* score = window->WidgetOf(m.ui.PicScore);
    QTest::mouseClick(score, Qt::LeftButton, {}, QPoint(100, 60));
    EXPECT_EQ(m.state.SelectedNote, 2);
    EXPECT_TRUE(score->hasFocus());
    QTest::keyClick(score, Qt::Key_Right);
    QTest::keyClick(score, Qt::Key_Right);
    EXPECT_EQ(m.state.SelectedNote, 4);
    EXPECT_EQ(qobject_cast<QLabel*>(window->WidgetOf(m.ui.LabNote))->text(), "SOL");
    EXPECT_EQ(m.ui.Line1.x1, 160);
    QTest::keyClick(score, Qt::Key_Left);
    EXPECT_EQ(m.state.SelectedNote, 3);
    EXPECT_EQ(qobject_cast<QListWidget*>(window->WidgetOf(m.ui.List2))->currentRow(), 6);
    EXPECT_EQ(m.state.ScaleIndex, 0) << "the scale list did not move";
}

TEST_F(ScoreWindow, TheScaleListKeepsItsArrows) {
    auto* list = qobject_cast<QListWidget*>(window->WidgetOf(m.ui.List1));
    list->setFocus();
    m.state.SelectedNote = 2;
    QTest::keyClick(list, Qt::Key_Down);
    EXPECT_EQ(m.state.ScaleIndex, 1);
    EXPECT_EQ(m.state.SelectedNote, 2);
}

}  // namespace
}  // namespace tonemark
