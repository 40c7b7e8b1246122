#include <gtest/gtest.h>

#include "qt/started_window.h"

#include <QApplication>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>

#include "app/lifecycle.h"
#include "app/qt/main_window.h"
#include "support/fake_synth.h"

namespace tonemark {
namespace {

class Window : public testing::StartedWindow {
protected:

    template <class W>
    W* Widget(const Control& c) const {
        return qobject_cast<W*>(window->WidgetOf(c));
    }
    QRect Place(const Control& c) const { return window->WidgetOf(c)->geometry(); }

};

TEST_F(Window, HasTheDesignedSizeAndCaption) {
    EXPECT_EQ(window->windowTitle(), "Tonemark");
    EXPECT_EQ(window->size(), QSize(678, 606));
}

TEST_F(Window, PutsEveryControlAtItsPixelPlace) {
    EXPECT_EQ(Place(m.ui.Labella), QRect(16, 10, 645, 29));
    EXPECT_EQ(Place(m.ui.Screenno), QRect(16, 42, 645, 127));
    EXPECT_EQ(Place(m.ui.Pic2), QRect(0, 12, 92, 112));
    EXPECT_EQ(Place(m.ui.PicScore), QRect(86, 12, 16383, 132));
    EXPECT_EQ(window->WidgetOf(m.ui.PicScore)->parentWidget(), window->ScoreViewport());
    EXPECT_EQ(window->WidgetOf(m.ui.LabNote)->parentWidget(), window->WidgetOf(m.ui.PicScore));
    EXPECT_EQ(Place(m.ui.BtnPlay), QRect(368, 192, 59, 37));
    EXPECT_EQ(Place(m.ui.List1), QRect(16, 270, 149, 212));
    EXPECT_EQ(Place(m.ui.List4), QRect(16, 486, 149, 56));
    EXPECT_EQ(Place(m.ui.key[0]), QRect(180, 398, 33, 145));
    EXPECT_EQ(Place(m.ui.key[1]), QRect(204, 398, 17, 89));
    EXPECT_EQ(Place(m.ui.key[24]), QRect(626, 398, 33, 145));
    EXPECT_EQ(Place(m.ui.Beat[3]), QRect(156, 234, 8, 13));
    for (const Control* hidden : {&m.ui.List3, &m.ui.OpenMIDI, &m.ui.SaveFilex})
        EXPECT_FALSE(window->WidgetOf(*hidden)->isVisible()) << hidden->name;
    // Black keys lie over the white ones.
    EXPECT_EQ(window->childAt(QPoint(210, 420)), window->WidgetOf(m.ui.key[1]));
}

TEST_F(Window, ShowsTheCaptionsAndTheLoadedScale) {
    EXPECT_EQ(Widget<QPushButton>(m.ui.BtnPlay)->text(), "Play");
    EXPECT_EQ(Widget<QPushButton>(m.ui.BtnRec)->text(), "Exit");
    EXPECT_EQ(Widget<QPushButton>(m.ui.Command1)->text(), "Mostra Ciclo");
    EXPECT_FALSE(Widget<QPushButton>(m.ui.Command3)->isEnabled());
    EXPECT_EQ(Widget<QLabel>(m.ui.Label1)->text(), "Transpose");
    EXPECT_EQ(Widget<QLabel>(m.ui.Labella)->text(), "Scala maggiore: DO");
    EXPECT_EQ(Widget<QLabel>(m.ui.Label10)->text(), "1 of 4");
    EXPECT_EQ(Widget<QLabel>(m.ui.TransLab)->text(), "0");
    EXPECT_EQ(Widget<QListWidget>(m.ui.List1)->count(), 16);
    EXPECT_EQ(Widget<QListWidget>(m.ui.List1)->currentRow(), 0);
    EXPECT_EQ(Widget<QListWidget>(m.ui.List2)->count(), 30);
}

TEST_F(Window, UpperArrowOfTheScrollBarsRaisesTheValue) {
    auto* key = Widget<QScrollBar>(m.ui.Tonality);
    QTest::mouseClick(key, Qt::LeftButton, {}, QPoint(key->width() / 2, 3));
    EXPECT_EQ(m.ui.Tonality.value, 1);
    EXPECT_EQ(Widget<QLabel>(m.ui.Labella)->text(), "Scala maggiore: REb - DO#");
    EXPECT_EQ(Widget<QLabel>(m.ui.TransLab)->text(), "1");

    auto* speed = Widget<QScrollBar>(m.ui.SpeedValue);
    QTest::mouseClick(speed, Qt::LeftButton, {}, QPoint(speed->width() / 2, speed->height() - 3));
    EXPECT_EQ(m.ui.SpeedValue.value, 119) << "the lower arrow lowers the tempo";
    EXPECT_EQ(Widget<QLabel>(m.ui.LabSpeed)->text(), "119");
}

TEST_F(Window, ChoosingAScaleByMouseOrArrowKeyRebuildsIt) {
    auto* list = Widget<QListWidget>(m.ui.List1);
    list->setFocus();
    QTest::keyClick(list, Qt::Key_Down);
    EXPECT_EQ(m.state.ScaleIndex, 1);
    EXPECT_EQ(Widget<QLabel>(m.ui.Labella)->text(), "Scala minore naturale: DO");

    const QRect row = list->visualItemRect(list->item(14));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, row.center());
    EXPECT_EQ(m.state.ScaleIndex, 14);
    EXPECT_EQ(m.state.NoteEvents.size(), 46u);
}

TEST_F(Window, PlayAndStopDriveTheTransport) {
    QTest::mouseClick(Widget<QPushButton>(m.ui.BtnPlay), Qt::LeftButton);
    EXPECT_TRUE(m.state.FilePlaying);
    EXPECT_FALSE(Widget<QPushButton>(m.ui.Command2)->isEnabled());
    synth->position = 768 * 2 + 20;  // just past one second: the third note has started
    // The follower's timer sees it on its next tick; a loaded machine may be late.
    EXPECT_TRUE(QTest::qWaitFor([&] { return m.state.FollowIndex == 3; }, 10000));
    EXPECT_EQ(Widget<QLabel>(m.ui.LabNote)->text(), "MI");
    EXPECT_EQ(m.state.FollowIndex, 3);
    QTest::mouseClick(Widget<QPushButton>(m.ui.BtnStop), Qt::LeftButton);
    EXPECT_FALSE(m.state.FilePlaying);
    EXPECT_TRUE(Widget<QPushButton>(m.ui.Command2)->isEnabled());
}

TEST_F(Window, ClosingTheWindowDisconnectsTheSynthesiser) {
    window->close();
    EXPECT_FALSE(m.state.DeviceReady);
    EXPECT_EQ(m.SynthPlayerHandle, nullptr);
}

}  // namespace
}  // namespace tonemark
