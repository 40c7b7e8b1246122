// The working files meet a full disk, a failing writer and another program
// meddling with them: each time the window says so and the song on show, and
// the take, stay loaded and playable.
#include <gtest/gtest.h>

#include <sys/resource.h>

#include <csignal>
#include <filesystem>
#include <fstream>

#include "support/file_size_limit.h"
#include "app/lifecycle.h"
#include "app/temp_files.h"
#include "keyboard/tempo.h"
#include "sound/transport.h"
#include "support/fake_synth.h"
#include "support/take_recording.h"
#include "theory/keys.h"
#include "theory/scales.h"

namespace tonemark {
namespace {

std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

using testing::FileSizeLimit;

class WorkingFileFaults : public testing::StartedProgram {
protected:
    std::string ScorePath() const { return platform.tempDirectory + "scoretemp.mid"; }
    std::string TakePath() const { return platform.tempDirectory + "madebyme.mid"; }
    void ExpectStillPlayable() {
        EXPECT_TRUE(m.state.DeviceReady);
        BtnPlay_Click(m);
        EXPECT_TRUE(m.state.FilePlaying);
        BtnStop_Click(m);
    }
    std::vector<int> Notes() const {
        std::vector<int> notes;
        for (std::size_t i = 0; i + 1 < m.state.NoteEvents.size(); ++i) notes.push_back(m.state.NoteEvents[i].NoteNumber);
        return notes;
    }
    void Choose(int entry) {
        m.ui.List1.listIndex = entry;
        List1_Click(m);
    }
    void Key(int k) {
        m.ui.Tonality.value = k;
        Tonality_Change(m);
    }
};

TEST_F(WorkingFileFaults, AFullDiskLeavesTheScaleFileAndTheSongAsTheyWere) {
    const std::string before = ReadBytes(ScorePath());
    const auto notes = Notes();
    {
        FileSizeLimit full(100);  // the next scale (168 bytes) stops at byte 100
        Choose(1);
    }
    EXPECT_NE(m.ui.StatusLine.caption.find("could not be written"), std::string::npos) << m.ui.StatusLine.caption;
    EXPECT_NE(m.ui.StatusLine.caption.find("previous song is kept"), std::string::npos);
    EXPECT_EQ(ReadBytes(ScorePath()), before) << "the earlier file is whole";
    EXPECT_EQ(Notes(), notes);
    EXPECT_EQ(synth->lastLoadedPath, ScorePath());
    ExpectStillPlayable();
    for (const auto& entry : std::filesystem::directory_iterator(platform.tempDirectory))
        EXPECT_EQ(entry.path().string().find(".saving"), std::string::npos) << "no half-written file is left behind";
    Choose(2);  // room again
    EXPECT_NE(ReadBytes(ScorePath()), before);
    EXPECT_TRUE(m.ui.StatusLine.caption.empty()) << m.ui.StatusLine.caption;
}

TEST_F(WorkingFileFaults, AFullDiskLeavesTheTakeFileAndTheTakeAsTheyWere) {
    testing::RecordTake(m, platform, {{0, 0.5, 400.5}, {4, 600.5, 900.5}}, 1200);
    const std::string take = ReadBytes(TakePath());
    const auto rows = m.ui.List3.rows;
    {
        FileSizeLimit full(40);
        Key(3);
    }
    EXPECT_NE(m.ui.StatusLine.caption.find("take could not be written"), std::string::npos) << m.ui.StatusLine.caption;
    EXPECT_EQ(ReadBytes(TakePath()), take);
    EXPECT_EQ(Notes(), (std::vector<int>{60, 64})) << "the take as it was is still loaded";
    EXPECT_EQ(m.ui.List3.rows, rows);
    EXPECT_EQ(m.state.TakeRows, rows);
    ExpectStillPlayable();
    Key(4);
    EXPECT_EQ(Notes(), (std::vector<int>{64, 68}));
}

TEST_F(WorkingFileFaults, AWriterThatStopsHalfWayIsReportedAndRecoveredFrom) {
    // A writer without the replace-in-one-step: half the bytes reach the file.
    platform.writeFile = [](const std::string& path, const std::string& bytes) {
        std::ofstream(path, std::ios::binary) << bytes.substr(0, bytes.size() / 2);
        return std::string("cannot write " + path + ": No space left on device");
    };
    const auto notes = Notes();
    Choose(4);
    EXPECT_NE(m.ui.StatusLine.caption.find("No space left on device"), std::string::npos);
    EXPECT_EQ(Notes(), notes);
    ExpectStillPlayable();
    // The cut file on disk is never read as the song: a tempo change with the
    // scale shown writes it anew once the disk has room again.
    platform.writeFile = nullptr;
    m.ui.SpeedValue.value = 100;
    SpeedValue_Change(m);
    EXPECT_EQ(m.ui.Labella.caption, "Modo Dorico: DO");
    EXPECT_EQ(Notes(), (std::vector<int>{60, 62, 63, 65, 67, 69, 70, 72, 70, 69, 67, 65, 63, 62, 60}));
}

TEST_F(WorkingFileFaults, AFileChangedBeforeItIsReadBackIsNotTakenForTheSong) {
    // Another program cuts the file the moment it has been written.
    platform.writeFile = [](const std::string& path, const std::string& bytes) {
        const std::string error = WriteWholeFile(path, bytes);
        std::filesystem::resize_file(path, 30);
        return error;
    };
    const auto notes = Notes();
    Choose(6);
    EXPECT_NE(m.ui.StatusLine.caption.find("changed by another program"), std::string::npos) << m.ui.StatusLine.caption;
    EXPECT_EQ(Notes(), notes);
    ExpectStillPlayable();

    platform.writeFile = nullptr;
    testing::RecordTake(m, platform, {{2, 0.5, 300.5}}, 600);
    platform.writeFile = [](const std::string& path, const std::string& bytes) {
        std::string other = bytes;
        other[other.size() - 10] = 0x7F;  // a note changed behind our back
        return WriteWholeFile(path, other);
    };
    Key(5);
    EXPECT_NE(m.ui.StatusLine.caption.find("changed by another program"), std::string::npos);
    EXPECT_EQ(Notes(), (std::vector<int>{62})) << "the take as last read";
    ExpectStillPlayable();
}

TEST_F(WorkingFileFaults, ATakeThatRunsToItsLimitStopsAndSaysSo) {
    testing::RecordTake(m, platform, {{7, 0.5, 1000.5}}, 31000);
    EXPECT_EQ(m.state.RecTicks.size(), 30001u);
    EXPECT_EQ(m.ui.StatusLine.caption.rfind("The take reached its limit of 30 seconds and was stopped.", 0), 0u)
        << m.ui.StatusLine.caption;
    EXPECT_EQ(Notes(), (std::vector<int>{67}));
    ExpectStillPlayable();
}

TEST(StartUpOnAFullDisk, SaysNothingCanPlayYetAndRecoversWhenThereIsRoom) {
    testing::TestPlatform platform;
    Main m;
    m.platform = &platform;
    auto synth = testing::InstallFakeSynth(m);
    {
        FileSizeLimit full(10);
        Form_Load(m);
    }
    EXPECT_NE(m.ui.StatusLine.caption.find("nothing can be played until it can be written"), std::string::npos)
        << m.ui.StatusLine.caption;
    EXPECT_FALSE(m.state.DeviceReady);
    BtnPlay_Click(m);
    EXPECT_FALSE(m.state.FilePlaying);
    m.ui.List1.listIndex = 0;
    List1_Click(m);
    EXPECT_TRUE(m.state.DeviceReady);
    EXPECT_EQ(m.state.NoteEvents.size(), 16u);
}

}  // namespace
}  // namespace tonemark
