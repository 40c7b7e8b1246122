// Recording a take in the window itself: the buttons, the keys pressed with
// the mouse, the event list and the score, through the Qt view.
#include <gtest/gtest.h>

#include "qt/started_window.h"

#include <QListWidget>
#include <QMouseEvent>
#include <QPushButton>
#include <QTest>

#include "app/lifecycle.h"
#include "app/qt/main_window.h"
#include "support/fake_synth.h"
#include "theory/keys.h"
#include "theory/scales.h"

namespace tonemark {
namespace {

class RecorderWindow : public testing::StartedWindow {
protected:

    QWidget* W(const Control& c) const { return window->WidgetOf(c); }
    void Click(const Control& c) { QTest::mouseClick(qobject_cast<QPushButton*>(W(c)), Qt::LeftButton); }
    // Moves the test's clock on and lets the window's timers see it.
    void Wait(double ms) {
        platform.now += static_cast<MonotonicMicros>(ms * 1000);
        QTest::qWait(5);
    }
    // A mouse press or release on key `k`, stamped with the test's clock as
    // the window system stamps real events.
    void Mouse(int k, QEvent::Type type) {
        QWidget* key = W(m.ui.key[static_cast<size_t>(k)]);
        const QPointF at(key->width() / 2.0, key->height() - 10.0);
        QMouseEvent event(type, at, key->mapToGlobal(at), Qt::LeftButton,
                          type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton, Qt::NoModifier);
        event.setTimestamp(static_cast<quint64>(platform.now / 1000));
        QApplication::sendEvent(key, &event);
    }
    void Play(int k, double holdMs, double restMs) {
        Mouse(k, QEvent::MouseButtonPress);
        Wait(holdMs);
        Mouse(k, QEvent::MouseButtonRelease);
        Wait(restMs);
    }

};

TEST_F(RecorderWindow, RecKeysAndStopShowTheTakeInTheListAndTheScore) {
    Click(m.ui.Command2);
    EXPECT_TRUE(W(m.ui.Command3)->isEnabled());
    EXPECT_FALSE(W(m.ui.BtnPlay)->isEnabled());
    auto* events = qobject_cast<QListWidget*>(W(m.ui.List2));
    EXPECT_EQ(events->count(), 0);
    Wait(3);
    Play(0, 400, 300);
    Play(1, 200, 10);
    Play(2, 400, 200);
    Click(m.ui.Command3);

    EXPECT_EQ(m.state.ScaleIndex, kTakeEntry);
    EXPECT_EQ(qobject_cast<QListWidget*>(W(m.ui.List1))->currentRow(), kTakeEntry);
    EXPECT_EQ(qobject_cast<QListWidget*>(W(m.ui.List1))->item(15)->text(), "Recorded SMF");
    ASSERT_EQ(events->count(), 8);
    EXPECT_EQ(events->item(0)->text(), "0\t144\t60\t100\tNote ON");
    EXPECT_EQ(events->item(1)->text(), "400\t128\t60\t0\tNote OFF");
    EXPECT_EQ(events->item(2)->text().section('\t', 1), "144\t61\t100\tNote ON");
    EXPECT_EQ(m.state.NotePositions.size(), 3u);
    EXPECT_EQ(m.state.NotePositions[1].StartTick, 96) << "the 300 ms rest has its column";
    EXPECT_TRUE(W(m.ui.Command4)->isEnabled());
    EXPECT_TRUE(W(m.ui.BtnPlay)->isEnabled());

    // Quantize and key changes rebuild the take; the recorder's Play plays it.
    auto* quantize = qobject_cast<QListWidget*>(W(m.ui.List4));
    QTest::mouseClick(quantize->viewport(), Qt::LeftButton, {}, quantize->visualItemRect(quantize->item(2)).center());
    EXPECT_EQ(m.state.QuantizeChoice, 2);
    EXPECT_EQ(m.state.SmfPath, platform.tempDirectory + "madebyme.mid");
    m.ui.Tonality.value = 2;  // as the scroll bar's arrow would
    window->Handle(Tonality_Change);
    EXPECT_EQ(m.state.NoteEvents[0].NoteNumber, 62);
    Click(m.ui.Command4);
    EXPECT_TRUE(m.state.FilePlaying);
    EXPECT_FALSE(W(m.ui.Command2)->isEnabled());
}

TEST_F(RecorderWindow, EventRowsStandUnderTheirColumnHeads) {
    // The list paints each field at the left edge of its head.
    const QRect list = W(m.ui.List2)->geometry();
    std::vector<int> stops;
    for (const Control& head : m.ui.Label2) stops.push_back(W(head)->geometry().left() - list.left());
    EXPECT_EQ(stops, m.ui.List2.tabStops);
    EXPECT_EQ(stops, (std::vector<int>{0, 46, 98, 144, 204}));
    // The widest row of a scale ends inside the list.
    auto* events = qobject_cast<QListWidget*>(W(m.ui.List2));
    const QFontMetrics metrics(events->font());
    EXPECT_LT(stops.back() + metrics.horizontalAdvance("Note OFF") + 4, events->viewport()->width());
}

TEST_F(RecorderWindow, APressOnARowSoundsIt) {
    auto* events = qobject_cast<QListWidget*>(W(m.ui.List2));
    synth->midi.clear();
    QTest::mouseClick(events->viewport(), Qt::LeftButton, {}, events->visualItemRect(events->item(2)).center());
    EXPECT_EQ(synth->midi, (std::vector<std::array<int, 4>>{{0, 144, 62, 100}}));
}

}  // namespace
}  // namespace tonemark
