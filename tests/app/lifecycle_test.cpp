#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "app/lifecycle.h"
#include "app/temp_files.h"
#include "support/fake_synth.h"

namespace tonemark {
namespace {

using testing::FakeSynthState;
using testing::InstallFakeSynth;
using testing::TestPlatform;

using StartUp = testing::StartedProgram;

TEST_F(StartUp, FillsTheListsAndSelectsTheMajorScale) {
    ASSERT_EQ(m.ui.List1.rows.size(), 16u);
    EXPECT_EQ(m.ui.List1.rows.front(), "Scala maggiore");
    EXPECT_EQ(m.ui.List1.rows[14], "Triadi");
    EXPECT_EQ(m.ui.List1.rows.back(), " ");
    EXPECT_EQ(m.ui.List1.listIndex, 0);
    EXPECT_EQ(m.ui.List4.rows,
              (std::vector<std::string>{"Quantize None", "Quantize 1/16", "Quantize 1/8", "Quantize 1/4"}));
    EXPECT_EQ(m.ui.Labella.caption, "Scala maggiore: DO");
}

TEST_F(StartUp, SetsTheAtLoadValues) {
    EXPECT_EQ(m.state.TimeSigNumerator, 4);
    EXPECT_EQ(m.state.TimeSigDenominator, 4);
    EXPECT_EQ(m.state.NoteValueTicks, 192);
    EXPECT_EQ(m.state.FollowLeadMs, 6) << "the follower holds back by the lead the synthesiser reports";
    EXPECT_EQ(m.state.RecTicks.size(), 1u);
    EXPECT_EQ(m.ui.PicScore.rect.left, 86);
    EXPECT_EQ(m.state.KeyColors[0], SystemColor(9));
    EXPECT_EQ(m.state.KeyColors[1], SystemColor(7));
    EXPECT_EQ(m.state.KeyColors[23], Rgb(255, 255, 255));
}

TEST_F(StartUp, EndsWithAPlayableCMajorScale) {
    EXPECT_TRUE(m.state.DeviceReady);
    EXPECT_TRUE(std::filesystem::exists(platform.tempDirectory + "scoretemp.mid"));
    EXPECT_EQ(m.state.SmfPath, platform.tempDirectory + "scoretemp.mid");
    EXPECT_EQ(synth->lastLoadedPath, m.state.SmfPath);
    EXPECT_EQ(m.state.NoteEvents.size(), 16u);
    EXPECT_EQ(m.ui.Label9.caption, "120");
    EXPECT_EQ(m.ui.Label10.caption, "1 of 4");
    EXPECT_EQ(m.ui.Label7.caption, "00:08");
    EXPECT_EQ(m.ui.List2.rows.size(), 30u);
    EXPECT_EQ(m.state.TicksPerBeat, 500);
    EXPECT_EQ(synth->rootsMade, 1);
}

TEST_F(StartUp, LoadsInTheDesignedOrder) {
    std::vector<std::string> load;
    for (const std::string& c : synth->calls)
        if (c != "SendMidi" && c.rfind("SetStartPoint", 0) != 0 && c != "Stop") load.push_back(c);
    const std::vector<std::string> expected = {
        "CreateLoader", "CreatePlayer", "CreateLoader", "OpenAudio", "SetupCall 5", "SetupCall 1",
        "LoadSong", "Prepare", "Download", "GetTimeSignature", "SetTempoFactor", "SetMasterVolume -312"};
    EXPECT_EQ(load, expected);
}

TEST_F(StartUp, ExitClosesTheDeviceAndEnds) {
    BtnRec_Click(m);
    EXPECT_TRUE(platform.ended);
    EXPECT_FALSE(m.state.DeviceReady);
    EXPECT_EQ(m.SynthPlayerHandle, nullptr);
    EXPECT_EQ(synth->calls.back(), "TearDown2");
}

TEST_F(StartUp, ClosingWhilePlayingStopsTheSongBeforeThePlayerCloses) {
    m.ui.Timer1.enabled = true;
    synth->calls.clear();
    Form_Unload(m);
    EXPECT_EQ(synth->calls, (std::vector<std::string>{"Stop", "TearDown1", "Unload", "TearDown2"}));
    EXPECT_EQ(platform.doEvents, 1);
    EXPECT_FALSE(m.ui.Timer1.enabled);
    EXPECT_EQ(m.SynthSongHandle, nullptr);
    EXPECT_EQ(m.SynthPlaybackHandle, nullptr);
    EXPECT_EQ(m.state.NoteEvents.size(), 1u);
}

TEST_F(StartUp, KeyColoursComeBackAsSavedIncludingSystemReferences) {
    for (auto& key : m.ui.key) key.backColor = kDarkRed;
    RestoreKeyColors(m);
    EXPECT_EQ(m.ui.key[0].backColor, SystemColor(9));
    EXPECT_EQ(m.ui.key[6].backColor, SystemColor(7));
    EXPECT_EQ(m.ui.key[23].backColor, Rgb(255, 255, 255));
}

TEST(CloseDevice, BeforeAnyLoadAndTwiceInARow) {
    Main m;
    TestPlatform platform;
    m.platform = &platform;
    auto synth = InstallFakeSynth(m);
    CloseDevice(m);
    CloseDevice(m);
    EXPECT_FALSE(m.state.DeviceReady);
    EXPECT_EQ(m.state.NoteEvents.size(), 1u);
    EXPECT_TRUE(synth->calls.empty());
    EXPECT_EQ(platform.doEvents, 0);
}

TEST(CloseDevice, GoesOnPastFailingSteps) {
    Main m;
    TestPlatform platform;
    m.platform = &platform;
    auto synth = InstallFakeSynth(m);
    Form_Load(m);
    synth->failing = {"Stop", "TearDown1", "Unload"};
    synth->calls.clear();
    CloseDevice(m);
    EXPECT_EQ(synth->calls, (std::vector<std::string>{"Stop", "TearDown1", "Unload", "TearDown2"}));
    EXPECT_FALSE(m.state.DeviceReady);
    EXPECT_EQ(m.SynthPlayerHandle, nullptr);
}

TEST(StartUpWithoutSynthesiser, OpensAndSaysSo) {
    Main m;
    TestPlatform platform;
    m.platform = &platform;
    m.makeSynthRoot = [](SoundStatus& status) -> std::unique_ptr<SynthRoot> {
        status.message = "No synthesiser";
        return nullptr;
    };
    Form_Load(m);
    EXPECT_FALSE(m.state.DeviceReady);
    EXPECT_FALSE(m.ui.StatusLine.caption.empty());
    EXPECT_EQ(m.ui.Labella.caption, "Scala maggiore: DO");
}

TEST(TempFiles, JoinAddsExactlyOneSeparator) {
    EXPECT_EQ(JoinTempPath("/tmp", "scoretemp.mid"), "/tmp/scoretemp.mid");
    EXPECT_EQ(JoinTempPath("/tmp/", "scoretemp.mid"), "/tmp/scoretemp.mid");
    const std::string deep = "/" + std::string(300, 'd');
    EXPECT_EQ(JoinTempPath(deep, "madebyme.mid"), deep + "/madebyme.mid");
}

TEST(TempFiles, DirectoryHonoursTmpdir) {
    const char* old = std::getenv("TMPDIR");
    const std::string saved = old ? old : "";
    setenv("TMPDIR", "/var/tmp/tonemark-elsewhere", 1);
    EXPECT_EQ(TempDirectory(), "/var/tmp/tonemark-elsewhere");
    unsetenv("TMPDIR");
    EXPECT_EQ(TempDirectory(), "/tmp/");
    if (old) setenv("TMPDIR", saved.c_str(), 1);
}

TEST(TempFiles, WritingReplacesTheWholeFileAndReportsFailure) {
    TestPlatform platform;
    const std::string path = JoinTempPath(platform.tempDirectory, "x.mid");
    EXPECT_EQ(WriteWholeFile(path, std::string(500, 'a')), "");
    EXPECT_EQ(WriteWholeFile(path, "bc"), "");
    EXPECT_EQ(std::filesystem::file_size(path), 2u);
    EXPECT_NE(WriteWholeFile(platform.tempDirectory + "missing/x.mid", "bc"), "");
}

}  // namespace
}  // namespace tonemark
