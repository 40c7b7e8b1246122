// The computer keyboard in the window: letters play the on-screen keys
// whichever control has the focus, and the lists keep their arrows.
#include <gtest/gtest.h>

#include "qt/started_window.h"

#include <QKeyEvent>
#include <QListWidget>
#include <QTest>

#include "app/lifecycle.h"
#include "app/qt/main_window.h"
#include "keyboard/recorder.h"
#include "support/fake_synth.h"

namespace tonemark {
namespace {

class ComputerKeysWindow : public testing::StartedWindow {
protected:
    void SetUp() override {
        StartedWindow::SetUp();
        synth->midi.clear();
    }
    // A key event as the window system delivers it: its key code, its text and its time.
    void SendKey(QWidget* to, QEvent::Type type, quint32 keyCode, const QString& text, bool autoRepeat = false) {
        QKeyEvent event(type, Qt::Key_unknown, Qt::NoModifier, keyCode, 0, 0, text, autoRepeat);
        event.setTimestamp(static_cast<quint64>(platform.now / 1000));
        QApplication::sendEvent(to, &event);
    }
    std::vector<int> NotesOn() const {
        std::vector<int> notes;
        for (const auto& msg : synth->midi)
            if (msg[1] == 144) notes.push_back(msg[2]);
        return notes;
    }

};

TEST_F(ComputerKeysWindow, LettersPlayTheKeysWithTheFocusOnAList) {
    auto* list = qobject_cast<QListWidget*>(window->WidgetOf(m.ui.List1));
    list->setFocus();
    QTest::keyPress(list, Qt::Key_Z);
    EXPECT_TRUE(m.ui.key[0].pressed);
    EXPECT_EQ(m.ui.key[0].backColor, kDarkRed);
    QTest::keyRelease(list, Qt::Key_Z);
    EXPECT_FALSE(m.ui.key[0].pressed);
    QTest::keyClick(list, Qt::Key_I);
    EXPECT_EQ(NotesOn(), (std::vector<int>{60, 84}));
    EXPECT_EQ(m.state.ScaleIndex, 0) << "no type-ahead in the list";
    QTest::keyClick(list, Qt::Key_Down);
    EXPECT_EQ(m.state.ScaleIndex, 1) << "the list keeps its arrows";
}

TEST_F(ComputerKeysWindow, TheKeysPlaceDecidesNotItsLetterAndRepeatsAreNotPresses) {
    QWidget* button = window->WidgetOf(m.ui.BtnPlay);
    // The key right of left Shift types "w" on a French keyboard: it is still C4.
    SendKey(button, QEvent::KeyPress, 52, "w");
    SendKey(button, QEvent::KeyPress, 52, "w", true);
    SendKey(button, QEvent::KeyRelease, 52, "w", true);
    SendKey(button, QEvent::KeyPress, 52, "w", true);
    SendKey(button, QEvent::KeyRelease, 52, "w");
    EXPECT_EQ(NotesOn(), (std::vector<int>{60}));
    EXPECT_FALSE(m.ui.key[0].pressed);
}

TEST_F(ComputerKeysWindow, KeysPlayedDuringATakeAreStoredAtTheirOwnTime) {
    window->Handle(Command2_Click);
    QWidget* score = window->WidgetOf(m.ui.PicScore);
    platform.now += 10'000;
    SendKey(score, QEvent::KeyPress, 39, "s");  // C sharp
    platform.now += 250'000;
    SendKey(score, QEvent::KeyRelease, 39, "s");
    platform.now += 100'000;
    window->Handle([](Main& mm) { RunTimer3Until(mm, mm.platform->Now()); });
    ASSERT_GE(m.state.RecTicks.size(), 251u);
    EXPECT_EQ(m.state.RecTicks[0], 1 + 128);
    EXPECT_EQ(m.state.RecTicks[250], 1 - 128);
}

}  // namespace
}  // namespace tonemark
