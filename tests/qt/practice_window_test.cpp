// Practice through the Qt view: the practice window's controls, the main
// window's "Practice" button and Escape, the computer keyboard typed into
// the practice window and the mouse on the main window's keys, every event
// stamped with the test's clock as the window system stamps real ones, and
// the millisecond ticker driving the pass.
#include <gtest/gtest.h>

#include "qt/started_window.h"

#include <QCheckBox>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <cstdlib>

#include "app/qt/practice_window.h"
#include "practice/session.h"
#include "support/fake_synth.h"

namespace tonemark {
namespace {

// The computer keys of C4 to C5 (key codes of Z X C V B N M Q).
constexpr std::array<quint32, 8> kScaleKeyCodes = {52, 53, 54, 55, 56, 57, 58, 24};
// C major up and down as steps of the row above.
constexpr std::array<int, 15> kScaleSteps = {0, 1, 2, 3, 4, 5, 6, 7, 6, 5, 4, 3, 2, 1, 0};

class PracticeWindowTest : public testing::StartedWindow {
protected:
    void SetUp() override {
        StartedWindow::SetUp();
        setenv("XDG_DATA_HOME", (platform.root / "data").c_str(), 1);  // no real history is touched
        m.practice.historyPath = (platform.root / "data" / "tonemark" / "practice.sqlite").string();
        practice = PracticeWindow::Open(*window, m);
        QCoreApplication::processEvents();
    }
    void TearDown() override {
        if (practice) practice->close();
        StartedWindow::TearDown();
    }
    template <typename T>
    T* Find(const char* name) const {
        T* w = practice->findChild<T*>(name);
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    // Moves the test's clock on in steps of a millisecond and lets the window's timers see it.
    void WaitUntil(MonotonicMicros t) {
        while (platform.now < t) {
            platform.now = std::min(platform.now + 1000, t);
            window->Handle(PracticeTick);  // what the ticker runs each millisecond
        }
        QTest::qWait(2);
    }
    MonotonicMicros At(double passMs) const {
        return m.practice.zero + static_cast<MonotonicMicros>(std::llround(passMs * 1000));
    }
    void Key(QWidget* to, QEvent::Type type, quint32 keyCode, MonotonicMicros stamp) {
        QKeyEvent event(type, Qt::Key_unknown, Qt::NoModifier, keyCode, 0, 0, QString(), false);
        event.setTimestamp(static_cast<quint64>(stamp / 1000));
        QApplication::sendEvent(to, &event);
    }
    void Mouse(int k, QEvent::Type type) {
        QWidget* key = window->WidgetOf(m.ui.key[static_cast<std::size_t>(k)]);
        const QPointF at(key->width() / 2.0, key->height() - 10.0);
        QMouseEvent event(type, at, key->mapToGlobal(at), Qt::LeftButton,
                          type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton, Qt::NoModifier);
        event.setTimestamp(static_cast<quint64>(platform.now / 1000));
        QApplication::sendEvent(key, &event);
    }

    QPointer<PracticeWindow> practice;
};

TEST_F(PracticeWindowTest, KeepGoingPassPlayedOnTheComputerKeyboardInThePracticeWindow) {
    ASSERT_NE(practice, nullptr);
    EXPECT_TRUE(Find<QRadioButton>("PracticeKeepGoing")->isChecked()) << "the first time the mode is Keep going";
    EXPECT_FALSE(Find<QPushButton>("PracticeStop")->isEnabled());
    QTest::mouseClick(Find<QPushButton>("PracticeStart"), Qt::LeftButton);
    ASSERT_EQ(m.practice.phase, PracticePhase::Passing);
    EXPECT_EQ(Find<QLabel>("PracticeProgress")->text(), "Count-in");
    EXPECT_TRUE(Find<QPushButton>("PracticeStop")->isEnabled());
    // The letters typed into the practice window play, into whichever of its
    // widgets has the focus; each is handled 7 ms after its stamp, note 4 is
    // played 40 ms late and note 9 left out.
    practice->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(practice));
    QWidget* target = QApplication::focusWidget() != nullptr ? QApplication::focusWidget() : practice.data();
    EXPECT_EQ(target->window(), practice.data());
    for (int i = 0; i < 15; ++i) {
        if (i == 9) continue;
        const double on = 500.0 * i + (i == 4 ? 40 : 0);
        const quint32 code = kScaleKeyCodes[static_cast<std::size_t>(kScaleSteps[static_cast<std::size_t>(i)])];
        WaitUntil(At(on) + 7000);
        Key(target, QEvent::KeyPress, code, At(on));
        WaitUntil(At(on + 400) + 7000);
        Key(target, QEvent::KeyRelease, code, At(on + 400));
    }
    WaitUntil(At(m.practice.endMs) + 2000);
    ASSERT_EQ(m.practice.phase, PracticePhase::Idle);
    ASSERT_TRUE(m.practice.judged);
    const auto& notes = m.practice.judged->notes;
    EXPECT_EQ(notes[4].verdict, practice::Verdict::Late);
    EXPECT_NEAR(notes[4].onsetErrorMs, 40, 1.0) << "the window system's millisecond stamps";
    EXPECT_EQ(notes[9].verdict, practice::Verdict::Missed);
    EXPECT_EQ(m.practice.judged->summary.right, 14);
    EXPECT_TRUE(Find<QLabel>("PracticeSummary")->text().startsWith("Notes right: 14 of 15"))
        << Find<QLabel>("PracticeSummary")->text().toStdString();
    EXPECT_EQ(practice->findChild<PassChart*>("PracticeChart")->Points().size(), 1u);

    // The main window's Practice button starts the next pass; Escape ends it.
    QTest::mouseClick(qobject_cast<QPushButton*>(window->WidgetOf(m.ui.Practice)), Qt::LeftButton);
    ASSERT_EQ(m.practice.phase, PracticePhase::Passing);
    WaitUntil(At(100));
    QTest::keyClick(window.get(), Qt::Key_Escape);
    EXPECT_EQ(m.practice.phase, PracticePhase::Idle);
    EXPECT_TRUE(m.practice.judgedEarly);
    EXPECT_EQ(practice->findChild<PassChart*>("PracticeChart")->Points().size(), 1u) << "a pass stopped early is not kept";
}

TEST_F(PracticeWindowTest, WaitForMePassWithTheMouseOnTheMainWindowsKeys) {
    QTest::mouseClick(Find<QRadioButton>("PracticeWaitForMe"), Qt::LeftButton);
    EXPECT_EQ(m.practice.options.mode, PracticeMode::WaitForMe);
    QTest::mouseClick(Find<QPushButton>("PracticeStart"), Qt::LeftButton);
    ASSERT_EQ(m.practice.phase, PracticePhase::Passing);
    EXPECT_TRUE(Find<QLabel>("PracticeProgress")->text().startsWith("Wait for me: note 1 of 15"));
    const std::array<int, 15> scale = {0, 2, 4, 5, 7, 9, 11, 12, 11, 9, 7, 5, 4, 2, 0};
    for (int i = 0; i < 15; ++i) {
        if (i == 6) {  // two wrong keys first
            for (int wrong : {10, 12}) {
                Mouse(wrong, QEvent::MouseButtonPress);
                platform.now += 100'000;
                Mouse(wrong, QEvent::MouseButtonRelease);
            }
            EXPECT_EQ(m.practice.at, 6) << "the cursor waits for the right key";
        }
        platform.now += 300'000;
        Mouse(scale[static_cast<std::size_t>(i)], QEvent::MouseButtonPress);
        platform.now += 100'000;
        Mouse(scale[static_cast<std::size_t>(i)], QEvent::MouseButtonRelease);
        QTest::qWait(1);
    }
    ASSERT_EQ(m.practice.phase, PracticePhase::Idle);
    ASSERT_TRUE(m.practice.judged);
    EXPECT_EQ(m.practice.waitNotes[6].wrongKeys, 2);
    EXPECT_EQ(m.practice.judged->notes[6].verdict, practice::Verdict::Wrong);
    EXPECT_EQ(m.practice.judged->notes[6].playedPitch, 70);
    EXPECT_TRUE(Find<QLabel>("PracticeSummary")->text().startsWith("Right first time: 14 of 15; wrong keys: 2"))
        << Find<QLabel>("PracticeSummary")->text().toStdString();
    // The review is on the score: a click on note 6 tells its figures.
    window->Handle([](Main& mm) { PracticeReviewClick(mm, 6); });
    EXPECT_FALSE(m.ui.StatusLine.caption.empty());
}

}  // namespace
}  // namespace tonemark
