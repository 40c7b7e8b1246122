#include "midifile/writer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "midi_bytes.h"
#include "theory/scales.h"

namespace tonemark {
namespace {

using testing::Bytes;
using testing::Request;

// ---- BuildScaleFile: the bytes and the event log ----

TEST(WriterTest, MajorScaleInCIsTheExpectedImage) {
    const std::string expected =
        Bytes({'M', 'T', 'h', 'd', 0x00, 0x00, 0x00, 0x06, 0x00, 0x00, 0x00, 0x01, 0x00, 0xC0}) +
        Bytes({'M', 'T', 'r', 'k', 0x00, 0x00, 0x00, 0x92}) +  // L = 146
        Bytes({0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20}) +
        Bytes({0x00, 0x90, 0x3C, 0x64, 0x81, 0x40, 0x90, 0x3C, 0x00}) +
        Bytes({0x00, 0x90, 0x3E, 0x64, 0x81, 0x40, 0x90, 0x3E, 0x00}) +
        Bytes({0x00, 0x90, 0x40, 0x64, 0x81, 0x40, 0x90, 0x40, 0x00}) +
        Bytes({0x00, 0x90, 0x41, 0x64, 0x81, 0x40, 0x90, 0x41, 0x00}) +
        Bytes({0x00, 0x90, 0x43, 0x64, 0x81, 0x40, 0x90, 0x43, 0x00}) +
        Bytes({0x00, 0x90, 0x45, 0x64, 0x81, 0x40, 0x90, 0x45, 0x00}) +
        Bytes({0x00, 0x90, 0x47, 0x64, 0x81, 0x40, 0x90, 0x47, 0x00}) +
        Bytes({0x00, 0x90, 0x48, 0x64, 0x81, 0x40, 0x90, 0x48, 0x00}) +
        Bytes({0x00, 0x90, 0x47, 0x64, 0x81, 0x40, 0x90, 0x47, 0x00}) +
        Bytes({0x00, 0x90, 0x45, 0x64, 0x81, 0x40, 0x90, 0x45, 0x00}) +
        Bytes({0x00, 0x90, 0x43, 0x64, 0x81, 0x40, 0x90, 0x43, 0x00}) +
        Bytes({0x00, 0x90, 0x41, 0x64, 0x81, 0x40, 0x90, 0x41, 0x00}) +
        Bytes({0x00, 0x90, 0x40, 0x64, 0x81, 0x40, 0x90, 0x40, 0x00}) +
        Bytes({0x00, 0x90, 0x3E, 0x64, 0x81, 0x40, 0x90, 0x3E, 0x00}) +
        Bytes({0x00, 0x90, 0x3C, 0x64, 0x83, 0x00, 0x90, 0x3C, 0x00}) +
        Bytes({0x00, 0xFF, 0x2F, 0x00});
    ASSERT_EQ(expected.size(), 168u);

    const ScaleFile file = BuildScaleFile(Request(0, 0, 192));

    EXPECT_EQ(file.bytes, expected);
    ASSERT_EQ(file.log.size(), 30u);
    EXPECT_EQ(file.log[0], "0\t144\t60\t100\tNote ON");
    EXPECT_EQ(file.log[1], "192\t144\t60\t0\tNote OFF");
    EXPECT_EQ(file.log[14], "0\t144\t72\t100\tNote ON");  // the eighth note is the octave
    EXPECT_EQ(file.log[29], "384\t144\t60\t0\tNote OFF");
}

TEST(WriterTest, ShortNoteValuesTakeOneDeltaByteAndTheLastNoteStaysAHalf) {
    for (auto [ticks, deltaByte] : {std::pair{48, 0x30}, std::pair{96, 0x60}}) {
        const ScaleFile file = BuildScaleFile(Request(0, 0, ticks));
        ASSERT_EQ(file.bytes.size(), 168u - 14u) << ticks;  // one byte less for each of 14 note offs
        EXPECT_EQ(file.bytes.substr(29, 8), Bytes({0x00, 0x90, 0x3C, 0x64, deltaByte, 0x90, 0x3C, 0x00}));
        EXPECT_EQ(file.bytes.substr(file.bytes.size() - 13), Bytes({0x00, 0x90, 0x3C, 0x64, 0x83, 0x00, 0x90, 0x3C,
                                                                    0x00, 0x00, 0xFF, 0x2F, 0x00}));
        EXPECT_EQ(file.log[1], std::to_string(ticks) + "\t144\t60\t0\tNote OFF");
        EXPECT_EQ(file.log[29], "384\t144\t60\t0\tNote OFF");
    }
}

TEST(WriterTest, WholeNoteValueIsWrittenAsTwoBytes) {
    const ScaleFile file = BuildScaleFile(Request(0, 0, 384));
    EXPECT_EQ(file.bytes.substr(29, 9), Bytes({0x00, 0x90, 0x3C, 0x64, 0x83, 0x00, 0x90, 0x3C, 0x00}));
}

TEST(WriterTest, TempoIsMicrosecondsPerQuarterRoundedDown) {
    EXPECT_EQ(BuildScaleFile(Request(0, 0, 192, 90)).bytes.substr(22, 7),
              Bytes({0x00, 0xFF, 0x51, 0x03, 0x0A, 0x2C, 0x2A}));  // 666666
    EXPECT_EQ(BuildScaleFile(Request(0, 0, 192, 7)).bytes.substr(22, 7),
              Bytes({0x00, 0xFF, 0x51, 0x03, 0x82, 0xCA, 0x24}));  // 8571428
}

TEST(WriterTest, KeyElevenRaisesEveryNote) {
    const ScaleFile file = BuildScaleFile(Request(0, 11, 192));
    EXPECT_EQ(file.log[0], "0\t144\t71\t100\tNote ON");
    EXPECT_EQ(file.log[14], "0\t144\t83\t100\tNote ON");
    EXPECT_EQ(file.bytes.substr(29, 4), Bytes({0x00, 0x90, 0x47, 0x64}));
}

TEST(WriterTest, TriadsWriteOneChordPerStepWithItsQuality) {
    const ScaleFile file = BuildScaleFile(Request(kTriadsEntry, 0, 192));
    // Each chord: three note-ons, the root's off after the note value, the others at once.
    const std::string firstChord = Bytes({0x00, 0x90, 0x3C, 0x64, 0x00, 0x90, 0x40, 0x64, 0x00, 0x90, 0x43, 0x64,
                                          0x81, 0x40, 0x90, 0x3C, 0x00, 0x00, 0x90, 0x40, 0x00, 0x00, 0x90, 0x43, 0x00});
    const std::string secondChord = Bytes({0x00, 0x90, 0x3E, 0x64, 0x00, 0x90, 0x41, 0x64, 0x00, 0x90, 0x45, 0x64,
                                           0x81, 0x40, 0x90, 0x3E, 0x00, 0x00, 0x90, 0x41, 0x00, 0x00, 0x90, 0x45, 0x00});
    const std::string lastChord = Bytes({0x00, 0x90, 0x3C, 0x64, 0x00, 0x90, 0x40, 0x64, 0x00, 0x90, 0x43, 0x64,
                                         0x83, 0x00, 0x90, 0x3C, 0x00, 0x00, 0x90, 0x40, 0x00, 0x00, 0x90, 0x43, 0x00});
    // 15 chords of 25 bytes: L = 375 + 11 = 386, the largest track the program writes.
    ASSERT_EQ(file.bytes.size(), 14u + 8u + 7u + 15u * 25u + 4u);
    EXPECT_EQ(file.bytes.substr(14, 8), Bytes({'M', 'T', 'r', 'k', 0x00, 0x00, 0x01, 0x82}));
    EXPECT_EQ(file.bytes.substr(29, 25), firstChord);
    EXPECT_EQ(file.bytes.substr(54, 25), secondChord);
    EXPECT_EQ(file.bytes.substr(29 + 14 * 25, 25), lastChord);

    ASSERT_EQ(file.log.size(), 90u);
    EXPECT_EQ(file.log[3], "192\t144\t60\t0\tNote OFF");
    EXPECT_EQ(file.log[4], "0\t144\t64\t0\tNote OFF");
    // Step 6 (SI) is diminished: 71, 74, 77.
    EXPECT_EQ(file.log[36], "0\t144\t71\t100\tNote ON");
    EXPECT_EQ(file.log[37], "0\t144\t74\t100\tNote ON");
    EXPECT_EQ(file.log[38], "0\t144\t77\t100\tNote ON");
}

TEST(WriterTest, TriadsInKeyElevenReachNote90) {
    const ScaleFile file = BuildScaleFile(Request(kTriadsEntry, 11, 192));
    int highest = 0;
    for (const std::string& row : file.log) {
        const auto noteField = row.find('\t', row.find('\t') + 1) + 1;
        highest = std::max(highest, std::atoi(row.c_str() + noteField));
    }
    EXPECT_EQ(highest, 90);
    EXPECT_EQ(file.log[44], "0\t144\t90\t100\tNote ON");  // the fifth of the chord on the octave
}

TEST(WriterTest, ShorterScalesWriteFewerNotes) {
    EXPECT_EQ(BuildScaleFile(Request(10, 0, 192)).log.size(), 2u * 13u);  // Scala Blues
    EXPECT_EQ(BuildScaleFile(Request(11, 0, 192)).log.size(), 2u * 9u);   // Pentatonica Maggiore
    EXPECT_EQ(BuildScaleFile(Request(12, 0, 192)).log.size(), 2u * 9u);   // Pentatonica Minore
    EXPECT_EQ(BuildScaleFile(Request(10, 0, 192)).bytes.size(), 14u + 8u + 7u + 13u * 4u + 12u * 5u + 5u + 4u);
}

// ---- MakeSMF: the window's choice written to the temporary directory ----

class FixedTempDirectory : public Platform {
public:
    explicit FixedTempDirectory(std::string dir) : dir_(std::move(dir)) {}
    std::string TempDirectory() override { return dir_; }

private:
    std::string dir_;
};

std::string FileContents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class MakeSmfWriterTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/tonemark-writer-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
        ChooseScale(0);
        m_.ui.TransLab.caption = "0";
        m_.ui.LabSpeed.caption = "120";
        m_.state.NoteValueTicks = 192;
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    void ChooseScale(int entry) {
        m_.state.ScaleIndex = static_cast<std::int16_t>(entry);
        m_.state.ScaleSteps = ScaleStepsFor(entry);
        m_.state.ScaleLast = static_cast<std::int16_t>(m_.state.ScaleSteps.size() - 1);
    }
    void UseTempDirectory(const std::string& dir) {
        platform_ = std::make_unique<FixedTempDirectory>(dir);
        m_.platform = platform_.get();
    }
    void PretendAnEarlierSong() {
        m_.state.SmfImage = "earlier image";
        m_.state.SmfPath = m_.state.TempFilePath = "/earlier/song.mid";
        m_.state.TempoBPM = 77;
        m_.ui.List2.rows = {"earlier row"};
    }
    void ExpectEarlierSongKept() {
        EXPECT_EQ(m_.state.SmfImage, "earlier image");
        EXPECT_EQ(m_.state.SmfPath, "/earlier/song.mid");
        EXPECT_EQ(m_.state.TempFilePath, "/earlier/song.mid");
        EXPECT_EQ(m_.state.TempoBPM, 77);
        EXPECT_EQ(m_.ui.List2.rows, std::vector<std::string>{"earlier row"});
    }

    std::string dir_;
    std::unique_ptr<Platform> platform_;
    Main m_;
};

TEST_F(MakeSmfWriterTest, WritesScoreFileAndTakesTheTempoBack) {
    UseTempDirectory(dir_);
    ASSERT_TRUE(MakeSMF(m_));

    const std::string path = dir_ + "/scoretemp.mid";
    EXPECT_EQ(m_.state.SmfPath, path);
    EXPECT_EQ(m_.state.TempFilePath, path);
    EXPECT_EQ(m_.state.SmfImage, BuildScaleFile(Request(0, 0, 192)).bytes);
    EXPECT_EQ(FileContents(path), m_.state.SmfImage);
    EXPECT_EQ(m_.ui.List2.rows, BuildScaleFile(Request(0, 0, 192)).log);
    EXPECT_EQ(m_.state.TempoBPM, 120);
    EXPECT_EQ(m_.state.TempoMicros, 500000);
    EXPECT_NEAR(m_.state.MsPerTick, 2.6041666666, 1e-9);
    EXPECT_EQ(m_.ui.Label9.caption, "120");
}

TEST_F(MakeSmfWriterTest, ReadsKeyAndTempoFromTheCaptionsAndOverwrites) {
    UseTempDirectory(dir_ + "/");  // a separator already there is not doubled
    ASSERT_TRUE(MakeSMF(m_));
    ChooseScale(12);
    m_.ui.TransLab.caption = "11";
    m_.ui.LabSpeed.caption = "90";
    m_.state.NoteValueTicks = 96;
    ASSERT_TRUE(MakeSMF(m_));

    EXPECT_EQ(m_.state.SmfPath, dir_ + "/scoretemp.mid");
    EXPECT_EQ(FileContents(m_.state.SmfPath), BuildScaleFile(Request(12, 11, 96, 90)).bytes);
    EXPECT_EQ(m_.ui.List2.rows.size(), 18u);
    EXPECT_EQ(m_.ui.List2.rows[0], "0\t144\t71\t100\tNote ON");
    EXPECT_EQ(m_.state.TempoMicros, 666666);
    EXPECT_EQ(m_.state.TempoBPM, 90);
    EXPECT_EQ(m_.ui.Label9.caption, "90");
}

TEST_F(MakeSmfWriterTest, UnwritableDirectoryKeepsThePreviousSong) {
    PretendAnEarlierSong();
    const std::string plainFile = dir_ + "/not-a-directory";
    std::ofstream(plainFile) << "x";
    for (const std::string& dir : {dir_ + "/missing/dir", plainFile}) {
        UseTempDirectory(dir);
        m_.Notify("");
        EXPECT_FALSE(MakeSMF(m_)) << dir;
        EXPECT_NE(m_.ui.StatusLine.caption.find("could not be written"), std::string::npos) << dir;
        ExpectEarlierSongKept();
    }
}

TEST_F(MakeSmfWriterTest, TempoThatIsNotANumberIsRefused) {
    UseTempDirectory(dir_);
    PretendAnEarlierSong();
    m_.ui.LabSpeed.caption = "";
    EXPECT_FALSE(MakeSMF(m_));
    EXPECT_FALSE(m_.ui.StatusLine.caption.empty());
    ExpectEarlierSongKept();
    EXPECT_FALSE(std::filesystem::exists(dir_ + "/scoretemp.mid"));
}

TEST_F(MakeSmfWriterTest, RecordedTakeEntryBuildsNothingAndListsTheTakesRows) {
    UseTempDirectory(dir_);
    PretendAnEarlierSong();
    m_.state.ScaleIndex = kTakeEntry;
    EXPECT_TRUE(MakeSMF(m_));
    EXPECT_TRUE(m_.ui.List2.rows.empty()) << "no take yet";
    m_.state.TakeRows = {"0\t144\t60\t100\tNote ON", "10\t128\t60\t0\tNote OFF"};
    EXPECT_TRUE(MakeSMF(m_));
    EXPECT_EQ(m_.ui.List2.rows, m_.state.TakeRows);
    EXPECT_EQ(m_.state.SmfImage, "earlier image");
    EXPECT_EQ(m_.state.SmfPath, "/earlier/song.mid");
    EXPECT_EQ(m_.state.TempoBPM, 77);
    EXPECT_FALSE(std::filesystem::exists(dir_ + "/scoretemp.mid"));
}

}  // namespace
}  // namespace tonemark
