#include <gtest/gtest.h>

#include "app/lifecycle.h"
#include "keyboard/keys.h"
#include "support/fake_synth.h"

namespace tonemark {
namespace {

class Keyboard : public testing::StartedProgram {
protected:
    void SetUp() override {
        StartedProgram::SetUp();
        synth->midi.clear();
    }
};

TEST_F(Keyboard, PressSoundsTheKeysNoteAndLightsOnlyThatKey) {
    key_MouseDown(m, 3);
    key_MouseDown(m, 0);
    key_MouseDown(m, 24);
    EXPECT_EQ(synth->midi, (std::vector<std::array<int, 4>>{{0, 144, 63, 100}, {0, 144, 60, 100}, {0, 144, 84, 100}}));
    EXPECT_EQ(m.ui.key[24].backColor, kDarkRed);
    EXPECT_EQ(m.ui.key[0].backColor, SystemColor(9));
    EXPECT_EQ(m.ui.key[3].backColor, SystemColor(7));
    EXPECT_TRUE(m.state.TakeStarted);
    EXPECT_EQ(m.state.PendingKeyDown, 24 + 128);
}

TEST_F(Keyboard, ReleaseSilencesWithoutANoteOffAndRestoresTheColour) {
    key_MouseDown(m, 23);
    key_MouseUp(m, 23);
    EXPECT_EQ(synth->midi.back(), (std::array<int, 4>{0, 176, 120, 0}));
    EXPECT_EQ(m.ui.key[23].backColor, Rgb(255, 255, 255));
    EXPECT_EQ(m.state.PendingKeyUp, 23 - 128);
}

TEST_F(Keyboard, WithoutALoadedSongKeysLightButStaySilent) {
    CloseDevice(m);
    key_MouseDown(m, 5);
    EXPECT_EQ(m.ui.key[5].backColor, kDarkRed);
    key_MouseUp(m, 5);
    EXPECT_TRUE(synth->midi.empty());
}

}  // namespace
}  // namespace tonemark
