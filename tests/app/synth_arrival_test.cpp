// The window can start before the synthesiser has: it engraves on the
// stand-in, then loads the song on show into the synthesiser when it comes.
#include <gtest/gtest.h>

#include "app/lifecycle.h"
#include "score/canvas.h"
#include "sound/stand_in_synth.h"
#include "sound/transport.h"
#include "theory/scales.h"
#include "support/fake_synth.h"

namespace tonemark {
namespace {

using testing::FakeSynthState;
using testing::InstallFakeSynth;
using testing::TestPlatform;

class StartOnStandIn : public ::testing::Test {
protected:
    void SetUp() override {
        m.platform = &platform;
        synth = InstallFakeSynth(m);
        makeReal = m.makeSynthRoot;
        m.makeSynthRoot = [](SoundStatus& status) {
            status = SoundStatus{};
            return MakeStandInSynth();
        };
        Form_Load(m);
        m.makeSynthRoot = makeReal;
    }

    void Arrive() {
        SoundStatus status;
        auto root = makeReal(status);
        status.message = "sound by the fake";
        SynthArrived(m, std::move(root), status);
    }

    TestPlatform platform;
    Main m;
    std::shared_ptr<FakeSynthState> synth;
    std::function<std::unique_ptr<SynthRoot>(SoundStatus&)> makeReal;
};

TEST_F(StartOnStandIn, ShowsTheWholeScaleBeforeTheSynthesiserComes) {
    EXPECT_EQ(synth->rootsMade, 0);
    EXPECT_TRUE(m.state.DeviceReady);
    EXPECT_EQ(m.state.NoteEvents.size(), 16u);
    EXPECT_EQ(m.state.TimeSigNumerator, 4);
    EXPECT_EQ(m.ui.Label10.caption, "1 of 4") << "the length comes from the file itself";
    EXPECT_EQ(m.ui.Label7.caption, "00:08");
    EXPECT_EQ(m.state.NotePositions.size(), 15u);
    EXPECT_FALSE(m.PicScore.Texts().empty());
    EXPECT_TRUE(m.ui.StatusLine.caption.empty());
}

TEST_F(StartOnStandIn, NothingSoundsOrPlaysOnTheStandIn) {
    BtnPlay_Click(m);
    EXPECT_EQ(m.SynthPlaybackHandle, nullptr);
    EXPECT_FALSE(m.SynthPlayerHandle->SendMidi(0, 1, 0, 144, 60, 100));
}

TEST_F(StartOnStandIn, TheSongOnShowIsLoadedIntoTheSynthesiserWhenItComes) {
    const auto notes = m.state.NoteEvents;
    const auto score = m.PicScore.Ops().size();
    const auto texts = m.PicScore.Texts();
    Arrive();
    EXPECT_EQ(synth->rootsMade, 1);
    EXPECT_EQ(synth->lastLoadedPath, m.state.SmfPath);
    EXPECT_EQ(synth->Count("OpenAudio"), 1);
    EXPECT_EQ(synth->Count("Download"), 1);
    EXPECT_TRUE(m.state.DeviceReady);
    EXPECT_EQ(m.state.NoteEvents.size(), notes.size()) << "closing the stand-in keeps the notes";
    EXPECT_EQ(m.state.NoteEvents.back().NoteNumber, notes.back().NoteNumber);
    EXPECT_EQ(m.PicScore.Ops().size(), score) << "the score is not drawn again";
    EXPECT_EQ(m.PicScore.Texts(), texts);
    EXPECT_EQ(m.ui.Label10.caption, "1 of 4");
    EXPECT_EQ(m.state.FollowLeadMs, 6) << "the follower takes the synthesiser's lead";
    EXPECT_EQ(m.ui.StatusLine.caption, "sound by the fake");

    BtnPlay_Click(m);
    EXPECT_NE(m.SynthPlaybackHandle, nullptr);
    EXPECT_EQ(synth->Count("Play"), 1);
}

TEST_F(StartOnStandIn, ASongChosenBeforeTheSynthesiserCameIsTheOneLoaded) {
    m.ui.List1.listIndex = 4;
    List1_Click(m);
    Arrive();
    EXPECT_EQ(m.ui.Labella.caption, "Modo Dorico: DO");
    EXPECT_EQ(synth->Count("Download"), 1);
    EXPECT_EQ(synth->lastLoadedPath, m.state.SmfPath);
    EXPECT_TRUE(m.state.DeviceReady);
}

TEST_F(StartOnStandIn, WithNoSynthesiserTheScoreStaysAndSaysWhy) {
    const auto texts = m.PicScore.Texts();
    SoundStatus status;
    status.message = "The synthesiser could not be started (no module): there is no sound.";
    SynthArrived(m, nullptr, status);
    EXPECT_FALSE(m.state.DeviceReady);
    EXPECT_EQ(m.ui.StatusLine.caption, status.message);
    EXPECT_EQ(m.PicScore.Texts(), texts);
    BtnPlay_Click(m);
    EXPECT_FALSE(m.state.FilePlaying);
    EXPECT_EQ(m.SynthPlayerHandle, nullptr);

    // The next song asks for the synthesiser again.
    m.ui.List1.listIndex = 1;
    List1_Click(m);
    EXPECT_EQ(synth->rootsMade, 1);
    EXPECT_TRUE(m.state.DeviceReady);
}

TEST_F(StartOnStandIn, ASynthesiserThatCannotLoadTheSongSaysSo) {
    synth->failing = {"Download"};
    Arrive();
    EXPECT_FALSE(m.state.DeviceReady);
    EXPECT_EQ(m.ui.StatusLine.caption, "The song could not be loaded into the synthesiser.");
}

}  // namespace
}  // namespace tonemark
