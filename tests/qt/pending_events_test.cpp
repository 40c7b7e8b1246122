// Clicks and keys that arrive while an operation lets pending events run (a
// rebuild closing the synthesiser, the take pipeline, a follower tick) wait
// until it is done, then take effect; closing the window is clean in every
// state.
#include <gtest/gtest.h>

#include "qt/started_window.h"

#include <QMouseEvent>
#include <QPushButton>
#include <QTest>
#include <QWindow>

#include "app/lifecycle.h"
#include "app/qt/main_window.h"
#include "app/qt/qt_platform.h"
#include "keyboard/recorder.h"
#include "midifile/take_pipeline.h"
#include "sound/transport.h"
#include "support/fake_synth.h"
#include "support/take_recording.h"
#include "theory/qt/circle_window.h"
#include "theory/scales.h"

namespace tonemark {
namespace {

class PendingEvents : public testing::StartedWindow {
protected:
    void SetUp() override {
        StartedWindow::SetUp();
        // Pending events run as in the program: everything but the user's input.
        platform.onDoEvents = [this] {
            QtPlatform().DoEvents();
            stateSeenInside.push_back(m.state.FilePlaying);
        };
    }
    // A click that is waiting in the queue when the next operation starts, as
    // the window system hands it to the window.
    void QueueClick(const Control& button) {
        QWidget* w = window->WidgetOf(button);
        QWindow* target = window->windowHandle();
        const QPointF at = w->mapTo(window.get(), QPointF(w->width() / 2.0, w->height() / 2.0));
        QCoreApplication::postEvent(target, new QMouseEvent(QEvent::MouseButtonPress, at, target->mapToGlobal(at),
                                                            Qt::LeftButton, Qt::LeftButton, Qt::NoModifier));
        QCoreApplication::postEvent(target, new QMouseEvent(QEvent::MouseButtonRelease, at, target->mapToGlobal(at),
                                                            Qt::LeftButton, Qt::NoButton, Qt::NoModifier));
    }

    std::vector<bool> stateSeenInside;
};

TEST_F(PendingEvents, APlayClickDuringARebuildPlaysTheNewSongAfterIt) {
    QueueClick(m.ui.BtnPlay);
    m.ui.List1.listIndex = 5;
    window->Handle(List1_Click);  // closes the synthesiser, letting pending events run
    ASSERT_FALSE(stateSeenInside.empty());
    EXPECT_FALSE(stateSeenInside.front()) << "the click did not run in the middle of the rebuild";
    QCoreApplication::processEvents();
    EXPECT_TRUE(m.state.FilePlaying);
    EXPECT_EQ(m.ui.Labella.caption, "Modo Frigio: DO");
    EXPECT_TRUE(m.state.DeviceReady);
}

TEST_F(PendingEvents, ARecClickDuringTheTakePipelineStartsANewTakeAfterIt) {
    testing::RecordTake(m, platform, {{0, 0.5, 300.5}}, 500);
    QueueClick(m.ui.Command2);
    window->Handle(SaveFilex_Click);
    ASSERT_FALSE(stateSeenInside.empty());
    EXPECT_FALSE(m.ui.Timer3.enabled) << "not yet";
    QCoreApplication::processEvents();
    EXPECT_TRUE(m.ui.Timer3.enabled);
    EXPECT_EQ(m.state.NoteEvents.size(), 2u) << "the take the pipeline loaded";
}

TEST_F(PendingEvents, AStopClickDuringAFollowerTickStopsAfterIt) {
    window->Handle(BtnPlay_Click);
    QueueClick(m.ui.BtnStop);
    window->Handle(Timer1_Timer);
    EXPECT_TRUE(stateSeenInside.back()) << "still playing inside the tick";
    QCoreApplication::processEvents();
    EXPECT_FALSE(m.state.FilePlaying);
}

// At start-up the window is on show before the synthesiser has started.
TEST_F(PendingEvents, AClickWhileTheWindowWaitsForTheSynthesiserRunsWhenItIsThere) {
    window->HoldInput(true);
    QueueClick(m.ui.BtnPlay);
    QCoreApplication::processEvents();
    EXPECT_FALSE(m.state.FilePlaying) << "held";
    EXPECT_EQ(synth->Count("Play"), 0);
    window->HoldInput(false);
    QCoreApplication::processEvents();
    EXPECT_TRUE(m.state.FilePlaying);
    EXPECT_EQ(synth->Count("Play"), 1);
}

TEST_F(PendingEvents, ClosingTheWindowInTheMiddleOfAnOperationWaitsForItsEnd) {
    platform.onDoEvents = [this] { window->close(); };
    m.ui.List1.listIndex = 2;
    window->Handle(List1_Click);
    EXPECT_FALSE(window->isVisible());
    EXPECT_FALSE(m.state.DeviceReady) << "the song was closed after the rebuild";
    EXPECT_EQ(m.ui.Labella.caption, "Scala minore melodica: DO");
    window->Handle(BtnPlay_Click);
    EXPECT_FALSE(m.state.FilePlaying) << "nothing runs after the end";
}

TEST_F(PendingEvents, ClosingDuringPlaybackDuringATakeAndWithTheCircleOpenEndsCleanly) {
    window->Handle(BtnPlay_Click);
    window->Handle(Command2_Click);  // a take as well
    CircleWindow* circle = CircleWindow::Open(*window);
    ASSERT_NE(circle, nullptr);
    QCoreApplication::processEvents();
    window->close();
    QCoreApplication::processEvents();
    EXPECT_EQ(CircleWindow::Current(), nullptr) << "the circle window closed with the main one";
    EXPECT_FALSE(m.state.DeviceReady);
    EXPECT_EQ(m.SynthPlayerHandle, nullptr);
    platform.now += 2'000'000;
    QTest::qWait(20);  // the recording clock's wake-ups find a closed window
    EXPECT_EQ(m.state.RecTickCount, 0);
}

}  // namespace
}  // namespace tonemark
