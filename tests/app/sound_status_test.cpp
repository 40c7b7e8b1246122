// The window's picture of the sound output kept up to date: what the
// synthesiser's root reports now replaces what it said at start-up, and a
// changed message reaches the message line unless the line has moved on.
#include <gtest/gtest.h>

#include "app/lifecycle.h"
#include "support/fake_synth.h"
#include "theory/scales.h"

namespace tonemark {
namespace {

const std::string kStopped = "The sound output stopped (the sound server went away); songs play on without sound.";
const std::string kFileTrouble = "The working file could not be written.";

SoundStatus Silent(const std::string& message) {
    SoundStatus status;
    status.soundFontLoaded = true;
    status.message = message;
    return status;
}

SoundStatus Sounding(const std::string& message = "") {
    SoundStatus status = Silent(message);
    status.audioOutput = true;
    status.driver = "pulseaudio";
    status.outputLatencyMs = 4;
    status.positionLeadMs = 6;
    return status;
}

using RefreshSoundStatusTest = testing::StartedProgram;

TEST_F(RefreshSoundStatusTest, AChangedMessageIsShownAndClearedWhenAllIsWellAgain) {
    ASSERT_EQ(m.ui.StatusLine.caption, "");
    synth->statusNow = Silent(kStopped);
    RefreshSoundStatus(m);
    EXPECT_EQ(m.ui.StatusLine.caption, kStopped);
    EXPECT_FALSE(m.sound.audioOutput);
    EXPECT_EQ(m.sound.driver, "");
    EXPECT_EQ(m.state.FollowLeadMs, 0) << "nothing is heard, so the follower leads by nothing";

    synth->statusNow = Sounding();
    RefreshSoundStatus(m);
    EXPECT_EQ(m.ui.StatusLine.caption, "") << "the sound is back";
    EXPECT_TRUE(m.sound.audioOutput);
    EXPECT_EQ(m.sound.driver, "pulseaudio");
    EXPECT_EQ(m.state.FollowLeadMs, 6);
}

TEST_F(RefreshSoundStatusTest, AnotherMessageOnTheLineStaysUntilTheNextSong) {
    synth->statusNow = Silent(kStopped);
    m.Notify(kFileTrouble);
    RefreshSoundStatus(m);
    EXPECT_EQ(m.ui.StatusLine.caption, kFileTrouble);
    EXPECT_EQ(m.sound.message, kStopped) << "the status is taken all the same";
    RefreshSoundStatus(m);
    EXPECT_EQ(m.ui.StatusLine.caption, kFileTrouble);

    // The same once the sound message has been shown and the line moved on.
    m.Notify(kStopped);
    m.Notify(kFileTrouble);
    synth->statusNow = Sounding();
    RefreshSoundStatus(m);
    EXPECT_EQ(m.ui.StatusLine.caption, kFileTrouble);
    EXPECT_EQ(m.sound.message, "");
}

TEST_F(RefreshSoundStatusTest, EverySongTakesTheStatusAnew) {
    // A SoundFont that failed to read after start-up, found at the next song.
    const std::string unreadable = "The SoundFont /x.sf2 is cut short: only 1.0 MB of 148.4 MB are there; notes play silently.";
    synth->statusNow = Sounding(unreadable);
    m.ui.List1.listIndex = 1;
    List1_Click(m);
    EXPECT_EQ(m.sound.message, unreadable);
    EXPECT_EQ(m.ui.StatusLine.caption, unreadable);
    EXPECT_TRUE(m.state.DeviceReady);

    const int players = synth->Count("CreatePlayer");
    synth->statusNow = Silent(kStopped);
    m.ui.List1.listIndex = 2;
    List1_Click(m);
    EXPECT_EQ(synth->Count("CreatePlayer"), players + 1);
    EXPECT_EQ(m.ui.StatusLine.caption, kStopped);
    EXPECT_FALSE(m.sound.audioOutput);
}

TEST_F(RefreshSoundStatusTest, ARootThatReportsNothingKeepsTheStatusFromStartUp) {
    m.Notify("");
    RefreshSoundStatus(m);
    EXPECT_TRUE(m.sound.audioOutput);
    EXPECT_EQ(m.sound.driver, "fake");
    EXPECT_EQ(m.state.FollowLeadMs, 6);
    EXPECT_EQ(m.ui.StatusLine.caption, "");
}

TEST(RefreshSoundStatusWithoutSynthesiser, LeavesTheStartUpMessage) {
    Main m;
    testing::TestPlatform platform;
    m.platform = &platform;
    m.makeSynthRoot = [](SoundStatus& status) -> std::unique_ptr<SynthRoot> {
        status.message = "The synthesiser could not be started: there is no sound.";
        return nullptr;
    };
    Form_Load(m);
    const std::string shown = m.ui.StatusLine.caption;
    RefreshSoundStatus(m);
    EXPECT_EQ(m.ui.StatusLine.caption, shown);
    EXPECT_EQ(m.sound.message, "The synthesiser could not be started: there is no sound.");
}

}  // namespace
}  // namespace tonemark
