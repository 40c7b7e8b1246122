#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>

#include "app/lifecycle.h"
#include "keyboard/tempo.h"
#include "sound/transport.h"
#include "support/fake_synth.h"
#include "theory/keys.h"
#include "theory/scales.h"

namespace tonemark {
namespace {

std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// The window after start-up: C major loaded at 120 BPM, 4 bars of 3072.
class Transport : public testing::StartedProgram {
protected:
    // Position for an audible time in milliseconds at 120 BPM.
    std::int32_t PositionAtMs(double ms) const {
        return static_cast<std::int32_t>(std::ceil((ms + 6) * 768000.0 / 500000.0));
    }
    int LitKey() const {
        for (size_t i = 0; i < m.ui.key.size(); ++i)
            if (m.ui.key[i].backColor == kDarkRed) return static_cast<int>(i);
        return -1;
    }
};

TEST(TimeTextFormat, MinutesAndSecondsWithTwoDigitsEach) {
    EXPECT_EQ(TimeText(125), "02:05");
    EXPECT_EQ(TimeText(0), "00:00");
    EXPECT_EQ(TimeText(15), "00:15");
    EXPECT_EQ(TimeText(6000), "100:00");
}

TEST_F(Transport, BarDisplayCountsTheBarsTheSongSpansAndNeverPassesThem) {
    EXPECT_EQ(m.state.BarCount, 4);
    BtnPlay_Click(m);
    synth->position = 3072 * 2 + 10;
    Timer1_Timer(m);
    EXPECT_EQ(m.ui.Label10.caption, "3 of 4");
    synth->position = 12287;
    Timer1_Timer(m);
    EXPECT_EQ(m.ui.Label10.caption, "4 of 4");

    synth->length = 3072 * 8 + 1536;  // eight and a half bars
    OpenMIDI_Click(m);
    EXPECT_EQ(m.ui.Label10.caption, "1 of 9");
}

TEST_F(Transport, TimeDisplaysFollowTheTempo) {
    synth->length = 30 * 768;  // 30 quarter notes
    OpenMIDI_Click(m);
    EXPECT_EQ(m.ui.Label7.caption, "00:15");
    EXPECT_EQ(m.state.TicksPerBeat, 500);
    BtnPlay_Click(m);
    synth->position = 768 * 250;  // 125 seconds at 120 BPM
    synth->length = 768 * 300;
    Timer1_Timer(m);
    EXPECT_EQ(m.ui.Label8.caption, "02:05");

    m.ui.SpeedValue.value = 50;
    SpeedValue_Change(m);
    EXPECT_EQ(m.state.TicksPerBeat, 1200);
    EXPECT_EQ(m.ui.LabSpeed.caption, "50");
    EXPECT_EQ(m.ui.Label9.caption, "50");
}

TEST_F(Transport, HighlightsANoteWhenItBecomesAudible) {
    BtnPlay_Click(m);
    // The second note of the scale (RE, note 62) starts at 500 ms.
    synth->position = PositionAtMs(0);
    Timer1_Timer(m);
    EXPECT_EQ(m.state.FollowIndex, 1);
    EXPECT_EQ(m.ui.LabNote.caption, "DO");
    EXPECT_EQ(LitKey(), 0);

    synth->position = PositionAtMs(498);
    Timer1_Timer(m);
    EXPECT_EQ(m.state.FollowIndex, 1) << "not yet audible";

    synth->position = PositionAtMs(501);
    Timer1_Timer(m);
    EXPECT_EQ(m.state.FollowIndex, 2);
    EXPECT_EQ(m.ui.LabNote.caption, "RE");
    EXPECT_EQ(m.ui.Line1.x1, 64);
    EXPECT_EQ(m.ui.Line1.x2, 64);
    EXPECT_EQ(m.ui.LabNote.rect.left, 64);
    EXPECT_EQ(LitKey(), 2);
}

// The output's buffer grows on a busy machine and shrinks again while a song
// plays: the cursor must wait for the sound by what the latency is now.
TEST_F(Transport, FollowerHoldsBackByTheLatencyTheOutputHasNow) {
    BtnPlay_Click(m);
    synth->position = PositionAtMs(0);
    Timer1_Timer(m);
    ASSERT_EQ(m.state.FollowIndex, 1);

    synth->leadNow = 46;  // the buffer grew by 40 ms
    synth->position = PositionAtMs(501);
    Timer1_Timer(m);
    EXPECT_EQ(m.state.FollowIndex, 1) << "RE is still 40 ms from being heard";
    EXPECT_EQ(m.state.FollowLeadMs, 46);
    synth->position = PositionAtMs(541);
    Timer1_Timer(m);
    EXPECT_EQ(m.state.FollowIndex, 2);
    EXPECT_EQ(m.ui.LabNote.caption, "RE");

    synth->leadNow = 16;  // and shrank again
    synth->position = PositionAtMs(1000 + 11);
    Timer1_Timer(m);
    EXPECT_EQ(m.state.FollowIndex, 3) << "MI (at 1000 ms) is heard by now through the smaller buffer";
}

TEST_F(Transport, ReachesAtMostOneNotePerTick) {
    BtnPlay_Click(m);
    synth->position = PositionAtMs(2600);  // five notes are due
    for (int tick = 1; tick <= 5; ++tick) {
        Timer1_Timer(m);
        EXPECT_EQ(m.state.FollowIndex, tick);
    }
    Timer1_Timer(m);
    EXPECT_EQ(m.state.FollowIndex, 6);
    EXPECT_EQ(m.ui.LabNote.caption, "LA");
}

TEST_F(Transport, LightsTheKeyOfEachNote) {
    BtnPlay_Click(m);
    m.state.NotePositions.assign(4, NoteEvent{});
    m.state.NoteEvents.assign(5, NoteEvent{});
    const int notes[] = {84, 96, 83, 40};
    const int keys[] = {12, 24, 23, -1};
    for (int i = 0; i < 4; ++i) {
        m.state.NoteEvents[static_cast<size_t>(i)].NoteNumber = static_cast<std::int16_t>(notes[i]);
        synth->position = PositionAtMs(0);
        Timer1_Timer(m);
        EXPECT_EQ(LitKey(), keys[i]) << "note " << notes[i];
    }
}

TEST_F(Transport, TurnsThePageWhenTheNoteNearsTheRightEdge) {
    BtnPlay_Click(m);
    m.state.NotePositions.assign(2, NoteEvent{});
    m.state.NotePositions[0].StartTick = 500;
    m.state.NotePositions[1].StartTick = 501;
    synth->position = PositionAtMs(0);
    Timer1_Timer(m);
    EXPECT_EQ(m.ui.PicScore.rect.left, 86) << "500 does not turn the page";
    Timer1_Timer(m);
    EXPECT_EQ(m.ui.PicScore.rect.left, 650 - 501 - 501);
    EXPECT_EQ(m.ui.PicScore.rect.left + 501, 149) << "the note lands near the left of the view";
}

TEST_F(Transport, PlayLampButtonsAndTimers) {
    BtnPlay_Click(m);
    EXPECT_EQ(m.ui.PlayLed.backColor, kGreen);
    EXPECT_FALSE(m.ui.Command2.enabled);
    EXPECT_FALSE(m.ui.Command3.enabled);
    EXPECT_FALSE(m.ui.Command4.enabled);
    EXPECT_TRUE(m.ui.Timer1.enabled);
    EXPECT_TRUE(m.state.FilePlaying);
    const std::vector<std::array<int, 4>> programs = {{0, 192, 0, 0}, {9, 192, 0, 0}};
    const std::vector<std::array<int, 4>> sent(synth->midi.end() - 2, synth->midi.end());
    EXPECT_EQ(sent, programs);

    synth->position = PositionAtMs(0);
    Timer1_Timer(m);
    BtnStop_Click(m);
    EXPECT_EQ(m.ui.PlayLed.backColor, kLampGrey);
    EXPECT_TRUE(m.ui.Command2.enabled && m.ui.Command3.enabled && m.ui.Command4.enabled);
    EXPECT_FALSE(m.ui.Timer1.enabled);
    EXPECT_FALSE(m.state.FilePlaying);
    EXPECT_EQ(m.ui.Line1.x1, 0);
    EXPECT_EQ(m.state.FollowIndex, 0);
    EXPECT_EQ(LitKey(), -1);
    EXPECT_EQ(synth->midi.back(), (std::array<int, 4>{0, 176, 120, 0}));
}

TEST_F(Transport, PlayWhilePlayingRestartsWithoutLosingTheFollowedNote) {
    BtnPlay_Click(m);
    synth->position = PositionAtMs(600);
    Timer1_Timer(m);
    Timer1_Timer(m);
    ASSERT_EQ(m.state.FollowIndex, 2);
    const int plays = synth->Count("Play");
    BtnPlay_Click(m);
    EXPECT_EQ(synth->Count("Play"), plays + 1);
    EXPECT_EQ(synth->calls[synth->calls.size() - 4], "SetStartPoint 0");
    EXPECT_EQ(m.state.FollowIndex, 2);
}

TEST_F(Transport, StopsByItselfAtTheEndOfTheSong) {
    BtnPlay_Click(m);
    synth->position = synth->length;
    Timer1_Timer(m);
    EXPECT_FALSE(m.state.FilePlaying);
    EXPECT_FALSE(m.ui.Timer1.enabled);
    EXPECT_EQ(m.ui.PlayLed.backColor, kLampGrey);
    EXPECT_EQ(m.ui.Line1.x1, 0);
    EXPECT_EQ(m.ui.Label10.caption, "1 of 4");
}

TEST_F(Transport, NothingPlaysWithoutALoadedSong) {
    CloseDevice(m);
    synth->calls.clear();
    BtnPlay_Click(m);
    EXPECT_EQ(m.ui.PlayLed.backColor, kGreen);
    EXPECT_FALSE(m.state.FilePlaying);
    m.state.FilePlaying = true;
    BtnStop_Click(m);
    EXPECT_FALSE(m.state.FilePlaying);
    m.ui.Timer2.enabled = true;
    Timer2_Timer(m);
    EXPECT_FALSE(m.ui.Timer2.enabled);
    EXPECT_TRUE(synth->calls.empty());
}

TEST_F(Transport, NoteReleaseSilencesChannelZero) {
    m.ui.Timer2.enabled = true;
    Timer2_Timer(m);
    EXPECT_FALSE(m.ui.Timer2.enabled);
    EXPECT_EQ(synth->midi.back(), (std::array<int, 4>{0, 176, 120, 0}));
}

TEST_F(Transport, EveryChoiceRewritesTheFile) {
    const std::string path = platform.tempDirectory + "scoretemp.mid";
    m.ui.Tonality.value = 2;
    Tonality_Change(m);
    EXPECT_EQ(m.ui.Labella.caption, "Scala maggiore: RE");
    EXPECT_EQ(static_cast<unsigned char>(ReadBytes(path)[31]), 62) << "first note-on of the track";
    EXPECT_EQ(m.state.SharpCount, 2);

    m.ui.List1.listIndex = 10;
    List1_Click(m);
    EXPECT_EQ(m.state.NoteEvents.size(), 14u) << "13 blues notes and the spare";
    EXPECT_EQ(m.state.FlatCount, 0);
    EXPECT_EQ(m.state.SharpCount, 0) << "Scala Blues on RE has no signature";

    ValNote_Click(m, 3);
    EXPECT_EQ(m.state.NoteValueTicks, 48);
    EXPECT_EQ(m.state.NoteEvents[1].StartTick, 48);

    m.ui.SpeedValue.value = 200;
    SpeedValue_Change(m);
    const std::string bytes = ReadBytes(path);
    EXPECT_EQ(bytes.substr(26, 3), std::string("\x04\x93\xE0", 3)) << "300000 us per quarter";
    EXPECT_TRUE(m.state.DeviceReady);
}

TEST_F(Transport, UnwritableTempDirectoryKeepsTheLoadedSong) {
    const auto notes = m.state.NoteEvents.size();
    const auto log = m.ui.List2.rows;
    const std::string path = m.state.SmfPath;
    platform.tempDirectory = platform.root.string() + "/no-such-folder/";
    const int loads = synth->Count("LoadSong");
    m.ui.List1.listIndex = 14;
    List1_Click(m);
    EXPECT_FALSE(m.ui.StatusLine.caption.empty());
    EXPECT_TRUE(m.state.DeviceReady);
    EXPECT_NE(m.SynthSongHandle, nullptr);
    EXPECT_EQ(synth->Count("LoadSong"), loads);
    EXPECT_EQ(m.state.NoteEvents.size(), notes);
    EXPECT_EQ(m.ui.List2.rows, log);
    EXPECT_EQ(m.state.SmfPath, path);
    BtnPlay_Click(m);
    EXPECT_TRUE(m.state.FilePlaying) << "the previous song still plays";

    platform.tempDirectory = platform.root.string() + "/";
    List1_Click(m);
    EXPECT_EQ(m.ui.StatusLine.caption, "") << "the message goes once the problem is over";
    EXPECT_EQ(m.state.NoteEvents.size(), 46u);
}

TEST_F(Transport, CorruptFileBetweenWritingAndReadingKeepsTheLoadedSong) {
    // With the take entry chosen nothing is written and the file named by
    // SmfPath is read again: here it has been damaged in the meantime.
    std::ofstream(m.state.SmfPath, std::ios::binary | std::ios::trunc) << "not a MIDI file";
    const auto notes = m.state.NoteEvents;
    m.state.ScaleIndex = kTakeEntry;
    EXPECT_FALSE(OpenMIDI_Click(m));
    EXPECT_FALSE(m.ui.StatusLine.caption.empty());
    EXPECT_TRUE(m.state.DeviceReady);
    ASSERT_EQ(m.state.NoteEvents.size(), notes.size());
    EXPECT_EQ(m.state.NoteEvents[7].NoteNumber, 72);

    std::filesystem::remove(m.state.SmfPath);
    EXPECT_FALSE(OpenMIDI_Click(m));
    EXPECT_TRUE(m.state.DeviceReady);
}

TEST_F(Transport, FailedLoadIsReported) {
    synth->failing = {"LoadSong"};
    m.ui.Tonality.value = 5;
    Tonality_Change(m);
    EXPECT_FALSE(m.state.DeviceReady);
    EXPECT_FALSE(m.ui.StatusLine.caption.empty());
}

}  // namespace
}  // namespace tonemark
