#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>

#include "app/lifecycle.h"
#include "app/song_files.h"
#include "app/temp_files.h"
#include "keyboard/recorder.h"
#include "keyboard/tempo.h"
#include "midifile/take_pipeline.h"
#include "midifile/take_writer.h"
#include "sound/transport.h"
#include "support/fake_synth.h"
#include "support/take_recording.h"
#include "theory/keys.h"
#include "theory/scales.h"

namespace tonemark {
namespace {

using testing::PlayedKey;

std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// C, a rest, D sharp and E, at 120 BPM: C from 0 to 500 ms, D sharp from 750
// to 1000 ms, E from 1010 to 1250 ms, "Stop" at 1500 ms.
const std::vector<PlayedKey> kMelody = {{0, 0.5, 500.5}, {3, 750.5, 1000.5}, {4, 1010.5, 1250.5}};
const std::vector<std::string> kMelodyRows = {
    "0\t144\t60\t100\tNote ON",         "500\t128\t60\t0\tNote OFF",        "750\t144\t63\t100\tNote ON",
    "1000\t128\t63\t0\tNote OFF",       "1010\t144\t64\t100\tNote ON",      "1250\t128\t64\t0\tNote OFF",
    "1500\t176\t120\t0\tAll Sounds OFF", "1500\t176\t123\t0\tAll Notes OFF"};

class TakePipeline : public testing::StartedProgram {
protected:
    void Record(const std::vector<PlayedKey>& keys = kMelody, double stopMs = 1500) {
        testing::RecordTake(m, platform, keys, stopMs);
    }
    std::string TakePath() const { return platform.tempDirectory + "madebyme.mid"; }
    std::string ScorePath() const { return platform.tempDirectory + "scoretemp.mid"; }
    std::vector<double> StartTicks() const {
        std::vector<double> ticks;
        for (std::size_t i = 0; i + 1 < m.state.NoteEvents.size(); ++i) ticks.push_back(m.state.NoteEvents[i].StartTick);
        return ticks;
    }
    std::vector<int> Notes() const {
        std::vector<int> notes;
        for (std::size_t i = 0; i + 1 < m.state.NoteEvents.size(); ++i) notes.push_back(m.state.NoteEvents[i].NoteNumber);
        return notes;
    }
    bool EngravedAsTake() const {
        for (const TextOp& t : m.PicScore.Texts())
            if (t.text == "\\" && t.x == m.PicScore.Width() - 8 && t.y == 33) return true;
        return false;
    }
    TakeFileRequest Request(int transpose, int quantize) const {
        TakeFileRequest r;
        r.rows = kMelodyRows;
        r.transpose = transpose;
        r.tempoBpm = 120;
        r.quantizeChoice = quantize;
        return r;
    }
};

TEST_F(TakePipeline, StopWritesReadsLoadsAndEngravesTheTake) {
    Record();
    EXPECT_EQ(m.ui.List3.rows, kMelodyRows);
    EXPECT_EQ(m.ui.List2.rows, kMelodyRows);
    EXPECT_EQ(m.state.SmfPath, TakePath());
    EXPECT_EQ(synth->lastLoadedPath, TakePath());
    EXPECT_EQ(ReadBytes(TakePath()), BuildTakeFile(Request(0, 0)));
    EXPECT_TRUE(m.state.DeviceReady);
    EXPECT_EQ(Notes(), (std::vector<int>{60, 63, 64}));
    // 750 ms is 288 ticks at 2.6 ms a tick, 1010 ms is 387.8.
    EXPECT_EQ(StartTicks(), (std::vector<double>{0, 288, 387}));
    EXPECT_TRUE(EngravedAsTake());
    EXPECT_EQ(m.ui.Labella.caption, "Recorded SMF: Song 1");
    EXPECT_EQ(m.ui.List1.rows[15], "Recorded SMF");
    EXPECT_EQ(m.state.SharpCount + m.state.FlatCount, 0);
    EXPECT_EQ(m.state.NotePositions.size(), 3u);
    EXPECT_EQ(m.state.NotePositions[1].StartTick, 96) << "a rest column stands before D sharp";
}

TEST_F(TakePipeline, QuantizeAndKeyChangesRebuildTheTakeFromItsRows) {
    Record();
    m.ui.List4.listIndex = 2;  // "Quantize 1/8"
    List4_Click(m);
    EXPECT_EQ(ReadBytes(TakePath()), BuildTakeFile(Request(0, 2)));
    // The gap of 96 ticks before D sharp stays, the 3 ticks before E go.
    EXPECT_EQ(StartTicks(), (std::vector<double>{0, 288, 384}));

    m.ui.Tonality.value = 2;
    Tonality_Change(m);
    EXPECT_EQ(ReadBytes(TakePath()), BuildTakeFile(Request(2, 2)));
    EXPECT_EQ(Notes(), (std::vector<int>{62, 65, 66}));
    EXPECT_EQ(m.ui.Labella.caption, "Recorded SMF: Song 1");
    EXPECT_EQ(m.ui.List3.rows, kMelodyRows) << "the rows are not rewritten, only the file";
    EXPECT_TRUE(EngravedAsTake());
}

TEST_F(TakePipeline, QuantizeWhileAScaleIsShownOnlyStoresTheChoice) {
    Record();
    m.ui.List1.listIndex = 0;
    List1_Click(m);
    const std::string take = ReadBytes(TakePath());
    m.ui.List4.listIndex = 3;
    List4_Click(m);
    EXPECT_EQ(m.state.QuantizeChoice, 3);
    EXPECT_EQ(ReadBytes(TakePath()), take);
    EXPECT_EQ(m.state.SmfPath, ScorePath());
}

TEST_F(TakePipeline, ATempoChangeKeepsTheTakeAsRecorded) {
    Record();
    const std::string take = ReadBytes(TakePath());
    m.ui.SpeedValue.value = 60;
    SpeedValue_Change(m);
    EXPECT_EQ(ReadBytes(TakePath()), take);
    EXPECT_EQ(m.state.SmfPath, TakePath());
    EXPECT_EQ(StartTicks(), (std::vector<double>{0, 288, 387}));
    EXPECT_TRUE(EngravedAsTake()) << "still engraved as a take, rests and all";
    EXPECT_EQ(m.ui.List2.rows, kMelodyRows) << "the event list still shows the take";
    EXPECT_EQ(m.state.TempoBPM, 120);
    EXPECT_EQ(m.state.TicksPerBeat, 1000) << "the metronome follows the new tempo";

    // A quantize change afterwards rebuilds the take at its own tempo.
    m.ui.List4.listIndex = 2;
    List4_Click(m);
    EXPECT_EQ(ReadBytes(TakePath()), BuildTakeFile(Request(0, 2)));
    EXPECT_EQ(Notes(), (std::vector<int>{60, 63, 64}));
}

TEST_F(TakePipeline, NoSequenceOfChangesLosesTheTake) {
    Record();
    const std::string take = ReadBytes(TakePath());
    m.ui.SpeedValue.value = 90;
    SpeedValue_Change(m);
    m.ui.List1.listIndex = 3;
    List1_Click(m);
    ValNote_Click(m, 2);
    Command2_Click(m);  // "Rec" clears both event lists ...
    RunTimer3Until(m, platform.now + 400'000);
    Command3_Click(m);  // ... and "Stop" without a key writes no new take
    m.ui.Tonality.value = 5;
    Tonality_Change(m);
    EXPECT_EQ(ReadBytes(TakePath()), take) << "nothing rewrote the take's file";

    m.ui.List1.listIndex = kTakeEntry;  // choosing the take again shows it again
    List1_Click(m);
    EXPECT_EQ(m.state.SmfPath, TakePath());
    EXPECT_EQ(Notes(), (std::vector<int>{65, 68, 69}));
    EXPECT_EQ(m.ui.List2.rows, kMelodyRows);
    EXPECT_EQ(m.ui.List3.rows, kMelodyRows);
    EXPECT_TRUE(EngravedAsTake());
}

TEST_F(TakePipeline, TheTakeEntryBeforeAnyTakeChangesNothingButTheTitle) {
    const auto opsBefore = m.PicScore.Ops().size();
    m.ui.List1.listIndex = kTakeEntry;
    List1_Click(m);
    EXPECT_EQ(m.ui.Labella.caption, " : Song 1");
    EXPECT_EQ(m.state.SmfPath, ScorePath());
    EXPECT_FALSE(std::filesystem::exists(TakePath()));
    EXPECT_EQ(m.PicScore.Ops().size(), opsBefore);
}

TEST_F(TakePipeline, AnUnwritableFolderKeepsTheRowsAndTheSongOnShow) {
    std::ofstream(platform.tempDirectory + "blocked") << "a file, not a folder";
    const std::string goodFolder = platform.tempDirectory;
    platform.tempDirectory = goodFolder + "blocked/";
    Record();
    EXPECT_NE(m.ui.StatusLine.caption.find("take could not be written"), std::string::npos) << m.ui.StatusLine.caption;
    EXPECT_EQ(m.ui.List3.rows, kMelodyRows);
    EXPECT_EQ(m.ui.List2.rows, kMelodyRows);
    EXPECT_EQ(m.state.SmfPath, goodFolder + "scoretemp.mid");
    EXPECT_TRUE(m.state.DeviceReady) << "the scale is still loaded and playable";
    BtnPlay_Click(m);
    EXPECT_TRUE(m.state.FilePlaying);
    BtnStop_Click(m);

    platform.tempDirectory = goodFolder;
    m.ui.Tonality.value = 1;
    Tonality_Change(m);
    EXPECT_EQ(m.state.SmfPath, goodFolder + "madebyme.mid");
    EXPECT_EQ(Notes(), (std::vector<int>{61, 64, 65}));
    EXPECT_TRUE(m.ui.StatusLine.caption.empty()) << m.ui.StatusLine.caption;
}

TEST_F(TakePipeline, PlayOfTheRecorderPlaysTheTakeToItsEnd) {
    Record();
    Command4_Click(m);
    EXPECT_TRUE(m.state.FilePlaying);
    EXPECT_EQ(m.ui.RecLed.backColor, kGreen);
    EXPECT_FALSE(m.ui.Command2.enabled);
    synth->position = synth->length;
    Timer1_Timer(m);
    EXPECT_FALSE(m.state.FilePlaying);
    EXPECT_EQ(m.ui.RecLed.backColor, kLampGrey);
    EXPECT_TRUE(m.ui.Command2.enabled && m.ui.Command3.enabled && m.ui.Command4.enabled);
    EXPECT_EQ(m.state.SmfPath, TakePath()) << "the end of the take is no new take";
}

TEST_F(TakePipeline, TheFollowerWalksATakeWithItsRestsAndTurnsThePage) {
    // Ten short notes, each after a rest: note k is drawn at x = 32 + 64 k.
    std::vector<PlayedKey> keys;
    for (int k = 0; k < 10; ++k) keys.push_back({k % 2 == 0 ? 0 : 2, 250.0 * k + 0.5, 250.0 * k + 100.5});
    Record(keys, 2600);
    ASSERT_EQ(m.state.NotePositions.size(), 10u);
    EXPECT_EQ(m.state.NotePositions[8].StartTick, 544);
    BtnPlay_Click(m);
    std::vector<int> cursor, left;
    for (std::size_t i = 0; i < 10; ++i) {
        const double ms = m.state.NotePositions[i].TimeMs + m.state.FollowLeadMs;
        synth->position = static_cast<std::int32_t>(std::ceil(ms * 768000.0 / m.state.TempoMicros));
        Timer1_Timer(m);
        cursor.push_back(m.ui.Line1.x1);
        left.push_back(m.ui.PicScore.rect.left);
    }
    EXPECT_EQ(cursor, (std::vector<int>{32, 96, 160, 224, 288, 352, 416, 480, 544, 608}));
    EXPECT_EQ(left[7], 86);
    EXPECT_EQ(left[8], 650 - 544 - 544) << "544 mod 576 is past 500: the page turns";
}

TEST_F(TakePipeline, RecKeepsATakeNeverSavedAndSaysWhere) {
    Record();
    const std::string take = ReadBytes(TakePath());
    m.ui.List4.listIndex = 2;  // the take on show is re-quantized by Rec's own reset of the grid
    List4_Click(m);
    const std::string quantized = ReadBytes(TakePath());
    Command2_Click(m);
    const std::string kept = platform.tempDirectory + "madebyme-1.mid";
    EXPECT_EQ(m.ui.StatusLine.caption, "The previous take is kept as " + kept + ".");
    EXPECT_EQ(ReadBytes(kept), quantized) << "kept as it was before Rec touched it";
    EXPECT_NE(take, quantized);
    RunTimer3Until(m, platform.now + 100'000);
    Command3_Click(m);

    // A saved take is not kept.
    Record();
    ASSERT_EQ(SaveSongCopy(m, platform.tempDirectory + "mine.mid"), "");
    auto keptTakes = [this] {
        int count = 0;
        for (const auto& entry : std::filesystem::directory_iterator(platform.tempDirectory))
            count += entry.path().filename().string().rfind("madebyme-", 0) == 0;
        return count;
    };
    const int before = keptTakes();
    Command2_Click(m);
    EXPECT_EQ(keptTakes(), before);
    EXPECT_EQ(m.ui.StatusLine.caption.find("kept"), std::string::npos) << m.ui.StatusLine.caption;
}

}  // namespace
}  // namespace tonemark
