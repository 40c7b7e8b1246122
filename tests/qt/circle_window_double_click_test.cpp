// The circle window's key areas under a quick double click, offscreen: the
// first click chooses the key and closes the window, and the second reaches
// the closed window before it is deleted. Pending events run inside the
// handlers as they do in the program, so the deferred deletion of the window
// can happen in the middle of the second click.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QPointer>
#include <QTest>

#include "app/qt/main_window.h"
#include "qt/started_window.h"
#include "theory/qt/circle_window.h"

namespace tonemark {
namespace {

class CircleWindowDoubleClickTest : public testing::StartedWindow {
protected:
    void SetUp() override {
        StartedWindow::SetUp();
        platform.onDoEvents = [] { QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents); };
    }
    void TearDown() override {
        if (CircleWindow* circle = CircleWindow::Current()) circle->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        StartedWindow::TearDown();
    }

    static QWidget* Area(CircleWindow* circle, int index) {
        return circle->findChild<QWidget*>(QString("Image1_%1").arg(index));
    }
    QString MainTitle() const { return qobject_cast<QLabel*>(window->WidgetOf(m.ui.Labella))->text(); }
};

TEST_F(CircleWindowDoubleClickTest, AClickReachingTheClosedWindowChoosesNothing) {
    QPointer<CircleWindow> circle = CircleWindow::Open(*window);
    QWidget* sol = Area(circle, 11);
    QWidget* miFlat = Area(circle, 3);
    ASSERT_NE(sol, nullptr);
    ASSERT_NE(miFlat, nullptr);

    QTest::mouseClick(sol, Qt::LeftButton);
    ASSERT_FALSE(circle.isNull()) << "closed, and deleted when the event loop next runs";
    EXPECT_FALSE(circle->isVisible());
    EXPECT_EQ(m.ui.Tonality.value, 7);

    // The second click was already queued for the window when it closed.
    QTest::mouseClick(miFlat, Qt::LeftButton);
    EXPECT_EQ(m.ui.Tonality.value, 7) << "the closed window chose MIb";
    EXPECT_EQ(MainTitle(), "Scala maggiore: SOL");

    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(circle.isNull()) << "the window is unloaded";
    EXPECT_EQ(CircleWindow::Current(), nullptr);
}

TEST_F(CircleWindowDoubleClickTest, ClosingDuringTheChoiceLeavesTheWindowAlone) {
    // The window is closed (as by the window manager) while the main window
    // works on the chosen key, and deleted before the handler returns.
    QPointer<CircleWindow> circle = CircleWindow::Open(*window);
    bool closedDuringHandler = false;
    platform.onDoEvents = [&] {
        if (!circle.isNull() && circle->isVisible()) {
            circle->close();
            closedDuringHandler = true;
        }
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    };
    QTest::mouseClick(Area(circle, 11), Qt::LeftButton);
    ASSERT_TRUE(closedDuringHandler) << "the handler let pending events run";
    EXPECT_TRUE(circle.isNull());
    EXPECT_EQ(m.ui.Tonality.value, 7);
    EXPECT_EQ(MainTitle(), "Scala maggiore: SOL");
}

}  // namespace
}  // namespace tonemark
