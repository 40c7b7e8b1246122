#include "midifile/take_writer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "midi_bytes.h"
#include "midifile/reader.h"

namespace tonemark {
namespace {

using testing::Bytes;

// Event-log rows as the recorder writes them. Times are milliseconds; at
// 120 BPM a tick is 2.6041666 ms, so the tick of a time is floor(ms × 0.384).
std::string Row(int ms, int status, int note, int velocity, const std::string& description) {
    return std::to_string(ms) + "\t" + std::to_string(status) + "\t" + std::to_string(note) + "\t" +
           std::to_string(velocity) + "\t" + description;
}
std::string Press(int ms, int note) { return Row(ms, 144, note, 100, "Note ON"); }
std::string Release(int ms, int note) { return Row(ms, 128, note, 0, "Note OFF"); }

// The two rows the recorder adds at the moment Stop was pressed.
std::vector<std::string> Stopped(std::vector<std::string> rows, int ms) {
    rows.push_back(Row(ms, 176, 120, 0, "All Sounds OFF"));
    rows.push_back(Row(ms, 176, 123, 0, "All Notes OFF"));
    return rows;
}

TakeFileRequest Take(std::vector<std::string> rows, int transpose = 0, int tempoBpm = 120, int quantize = 0) {
    return {std::move(rows), transpose, tempoBpm, quantize};
}

const std::string kFileStart = Bytes({'M', 'T', 'h', 'd', 0x00, 0x00, 0x00, 0x06, 0x00, 0x00, 0x00, 0x01, 0x00, 0xC0});
const std::string kTempo120 = Bytes({0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20});
const std::string kFileEnd = Bytes({0x60, 0xB0, 0x78, 0x00, 0x60, 0xB0, 0x78, 0x00, 0x60, 0xB0, 0x78, 0x00,
                                    0x60, 0xB0, 0x78, 0x00, 0x00, 0xFF, 0x2F, 0x00});
constexpr std::size_t kEventsAt = 14 + 8 + 7;  // header chunk, track header, tempo event

// The events written for the rows: everything between the tempo event and the closing controllers.
std::string RowEvents(const std::string& file) {
    if (file.size() < kEventsAt + kFileEnd.size()) return "file too short: " + std::to_string(file.size());
    return file.substr(kEventsAt, file.size() - kEventsAt - kFileEnd.size());
}

// ---- The whole image ----

TEST(TakeWriterTest, SmallTakeIsTheExpectedImage) {
    const std::vector<std::string> rows = Stopped({Press(0, 60), Release(499, 60), Press(750, 64), Release(1000, 64)},
                                                  1200);
    const std::string expected = kFileStart + Bytes({'M', 'T', 'r', 'k', 0x00, 0x00, 0x00, 0x34}) +  // L = 52
                                 kTempo120 +
                                 Bytes({0x00, 0x90, 0x3C, 0x64,          // tick 0
                                        0x81, 0x3F, 0x90, 0x3C, 0x00,    // 499 ms, tick 191
                                        0x61, 0x90, 0x40, 0x64,          // 750 ms, tick 288
                                        0x60, 0x90, 0x40, 0x00,          // 1000 ms, tick 384
                                        0x4C, 0x90, 0x78, 0x00,          // Stop at 1200 ms, tick 460
                                        0x00, 0x90, 0x7B, 0x00}) +
                                 kFileEnd;
    ASSERT_EQ(expected.size(), 74u);
    EXPECT_EQ(BuildTakeFile(Take(rows)), expected);
}

TEST(TakeWriterTest, TakeWithoutRowsHoldsOnlyTheFixedPieces) {
    const std::string expected = kFileStart + Bytes({'M', 'T', 'r', 'k', 0x00, 0x00, 0x00, 0x1B}) +  // 16 + 4 + 7
                                 kTempo120 + kFileEnd;
    EXPECT_EQ(BuildTakeFile(Take({})), expected);
}

TEST(TakeWriterTest, TrackLengthIsWrittenInFourBytes) {
    // Small takes: the two high bytes are 0.
    const std::string small = BuildTakeFile(Take(Stopped({Press(0, 60), Release(500, 60)}, 600)));
    EXPECT_EQ(small.substr(14, 8), Bytes({'M', 'T', 'r', 'k', 0x00, 0x00, 0x00, 0x2C}));  // 9 + 8 + 16 + 11
    EXPECT_EQ(small.size(), 22u + 0x2Cu);

    // 16380 presses in the same tick, four bytes each: L = 65520 + 16 + 11 = 65547, past what two bytes hold.
    const std::string large = BuildTakeFile(Take(std::vector<std::string>(16380, Press(0, 60))));
    EXPECT_EQ(large.substr(14, 8), Bytes({'M', 'T', 'r', 'k', 0x00, 0x01, 0x00, 0x0B}));
    EXPECT_EQ(large.size(), 22u + 65547u);
}

TEST(TakeWriterTest, EveryTakeEndsWithFourAllSoundsOffAndTheEndOfTrack) {
    for (int quantize = 0; quantize <= 3; ++quantize) {
        const std::string file = BuildTakeFile(Take(Stopped({Press(10, 61), Release(777, 61)}, 901), 3, 90, quantize));
        ASSERT_GT(file.size(), kFileEnd.size());
        EXPECT_EQ(file.substr(file.size() - kFileEnd.size()), kFileEnd) << "quantize " << quantize;
    }
}

// ---- Times: milliseconds to ticks, deltas, the cap ----

TEST(TakeWriterTimeTest, PressAndReleaseHalfASecondApart) {
    EXPECT_EQ(RowEvents(BuildTakeFile(Take({Press(0, 60), Release(500, 60)}))),
              Bytes({0x00, 0x90, 0x3C, 0x64, 0x81, 0x40, 0x90, 0x3C, 0x00}));
}

TEST(TakeWriterTimeTest, MillisecondsBecomeWholeTicksWithoutRoundingError) {
    struct Case {
        int bpm;
        int ms;
        std::string delta;
    };
    const Case cases[] = {
        {120, 250, Bytes({0x60})},        // 96
        {120, 500, Bytes({0x81, 0x40})},  // 192
        {120, 333, Bytes({0x7F})},        // 127.87: the longest one-byte delta
        {120, 334, Bytes({0x81, 0x00})},  // 128.25: the shortest two-byte delta
        // At 75 BPM (800000 µs) a tick is 4.1666 ms; dividing by that double gives 29, 59 and 119.
        {75, 125, Bytes({0x1E})},
        {75, 250, Bytes({0x3C})},
        {75, 500, Bytes({0x78})},
        // The tempo as written (666666 µs) decides, not 60000 / 90 ms a beat, which would give 8008.
        {90, 27809, Bytes({0xBE, 0x49})},  // 8009
    };
    for (const Case& c : cases) {
        const std::string expected = Bytes({0x00, 0x90, 0x3C, 0x64}) + c.delta + Bytes({0x90, 0x3C, 0x00});
        EXPECT_EQ(RowEvents(BuildTakeFile(Take({Press(0, 60), Release(c.ms, 60)}, 0, c.bpm))), expected)
            << c.bpm << " BPM, " << c.ms << " ms";
    }
}

TEST(TakeWriterTimeTest, TempoEventIsTheTempoTheTakeIsWrittenAt) {
    EXPECT_EQ(BuildTakeFile(Take({}, 0, 120)).substr(22, 7), kTempo120);
    EXPECT_EQ(BuildTakeFile(Take({}, 0, 90)).substr(22, 7), Bytes({0x00, 0xFF, 0x51, 0x03, 0x0A, 0x2C, 0x2A}));
    EXPECT_EQ(BuildTakeFile(Take({}, 0, 250)).substr(22, 7), Bytes({0x00, 0xFF, 0x51, 0x03, 0x03, 0xA9, 0x80}));
}

TEST(TakeWriterTimeTest, DeltasAreMeasuredBetweenTrueTickTimes) {
    // 1, 2, 3 ms are ticks 0, 0 and 1: the third row gets the tick that the fractions add up to.
    EXPECT_EQ(RowEvents(BuildTakeFile(Take({Press(1, 60), Release(2, 60), Press(3, 62)}))),
              Bytes({0x00, 0x90, 0x3C, 0x64, 0x00, 0x90, 0x3C, 0x00, 0x01, 0x90, 0x3E, 0x64}));
}

TEST(TakeWriterTimeTest, LongGapsAreCutTo16383AndTheNextGapIsNotShortened) {
    const std::vector<std::string> rows = {
        Press(0, 60),
        Release(50000, 60),   // tick 19200: cut
        Press(50250, 62),     // tick 19296: 96 after the release's true time
        Release(92915, 62),   // tick 35679: 16383, kept
        Press(135581, 64),    // tick 52063: 16384, cut
    };
    EXPECT_EQ(RowEvents(BuildTakeFile(Take(rows))),
              Bytes({0x00, 0x90, 0x3C, 0x64, 0xFF, 0x7F, 0x90, 0x3C, 0x00, 0x60, 0x90, 0x3E, 0x64,
                     0xFF, 0x7F, 0x90, 0x3E, 0x00, 0xFF, 0x7F, 0x90, 0x40, 0x64}));
    // A press is put on the grid first and then cut: 19296 → 19200 → 16383, not 16383 → 16320.
    EXPECT_EQ(RowEvents(BuildTakeFile(Take({Press(50250, 60)}, 0, 120, 2))), Bytes({0xFF, 0x7F, 0x90, 0x3C, 0x64}));
}

TEST(TakeWriterTimeTest, RowEarlierThanTheOneBeforeIsWrittenAtOnce) {
    // 1000 ms (tick 384), then 500 ms (tick 192): delta 0; the next row counts from tick 192.
    EXPECT_EQ(RowEvents(BuildTakeFile(Take({Press(1000, 60), Release(500, 60), Press(750, 62)}))),
              Bytes({0x83, 0x00, 0x90, 0x3C, 0x64, 0x00, 0x90, 0x3C, 0x00, 0x60, 0x90, 0x3E, 0x64}));
    // Ticks are rounded down below 0 too: -1 ms is tick -1, so 250 ms (tick 96) comes 97 after it.
    EXPECT_EQ(RowEvents(BuildTakeFile(Take({Press(-1, 60), Release(250, 60)}))),
              Bytes({0x00, 0x90, 0x3C, 0x64, 0x61, 0x90, 0x3C, 0x00}));
}

// ---- Quantizing the gap before each key press ----

TEST(TakeWriterQuantizeTest, GapBeforeAPressIsRoundedDownToTheGrid) {
    const std::vector<std::string> rows = Stopped({
        Press(0, 60),
        Release(500, 60),  // tick 192
        Press(891, 62),    // tick 342: 150 after the release
        Release(1152, 62), // tick 442: 100 after the press, whatever the grid
    }, 1542);              // tick 592: 150 after the release
    struct Case {
        int choice;
        std::string pressDelta;
    };
    const Case cases[] = {
        {0, Bytes({0x81, 0x16})},  // 150
        {1, Bytes({0x81, 0x10})},  // 144, three sixteenths
        {2, Bytes({0x60})},        // 96, one eighth
        {3, Bytes({0x00})},        // under a quarter: on the release
    };
    for (const Case& c : cases) {
        const std::string expected = Bytes({0x00, 0x90, 0x3C, 0x64, 0x81, 0x40, 0x90, 0x3C, 0x00}) + c.pressDelta +
                                     Bytes({0x90, 0x3E, 0x64, 0x64, 0x90, 0x3E, 0x00,  // release: 100
                                            0x81, 0x16, 0x90, 0x78, 0x00,              // Stop: 150
                                            0x00, 0x90, 0x7B, 0x00});
        EXPECT_EQ(RowEvents(BuildTakeFile(Take(rows, 0, 120, c.choice))), expected) << "quantize " << c.choice;
    }
}

TEST(TakeWriterQuantizeTest, StatusDecidesWhatIsQuantized) {
    // A first press late in the take is quantized too; a row of status 144 with velocity 0
    // (how a generated song logs its note offs) counts as a press; an unknown choice is no grid.
    const std::vector<std::string> rows = {Press(391, 60), Row(782, 144, 60, 0, "Note OFF")};  // ticks 150, 300
    EXPECT_EQ(RowEvents(BuildTakeFile(Take(rows, 0, 120, 2))),
              Bytes({0x60, 0x90, 0x3C, 0x64, 0x60, 0x90, 0x3C, 0x00}));  // both gaps of 150 become 96
    EXPECT_EQ(BuildTakeFile(Take(rows, 0, 120, 7)), BuildTakeFile(Take(rows, 0, 120, 0)));
}

// ---- Notes and velocities ----

TEST(TakeWriterNoteTest, KeyTransposesEveryRowIncludingTheClosingOnes) {
    const std::string events = RowEvents(BuildTakeFile(Take(Stopped({Press(0, 60), Release(500, 60)}, 500), 2)));
    EXPECT_EQ(events, Bytes({0x00, 0x90, 0x3E, 0x64, 0x81, 0x40, 0x90, 0x3E, 0x00,
                             0x00, 0x90, 0x7A, 0x00, 0x00, 0x90, 0x7D, 0x00}));  // 62, 122, 125
}

TEST(TakeWriterNoteTest, DataBytesStayWithin0To127) {
    // The closing rows pass 127 from key 5 (123 + 5) and key 8 (120 + 8) on.
    for (int key = 0; key <= 11; ++key) {
        const std::string events = RowEvents(BuildTakeFile(Take(Stopped({Press(0, 84), Release(500, 84)}, 500), key)));
        const int note = 84 + key;
        EXPECT_EQ(events, Bytes({0x00, 0x90, note, 0x64, 0x81, 0x40, 0x90, note, 0x00,
                                 0x00, 0x90, std::min(120 + key, 127), 0x00,
                                 0x00, 0x90, std::min(123 + key, 127), 0x00}))
            << "key " << key;
    }
    // Rows no key could have made: note and velocity are held to the range as well.
    EXPECT_EQ(RowEvents(BuildTakeFile(Take({Row(0, 144, -3, 200, "Note ON"), Row(0, 144, 300, -1, "Note OFF")}, 0))),
              Bytes({0x00, 0x90, 0x00, 0x7F, 0x00, 0x90, 0x7F, 0x00}));
}

// ---- Rows that are not events ----

TEST(TakeWriterRowTest, RowsWithoutFourNumbersArePassedOver) {
    const std::vector<std::string> good = {Press(0, 60), Release(500, 60)};
    const std::vector<std::string> mixed = {
        "",
        Press(0, 60),
        "10000\t144\t60",                  // three fields
        "10000\t144\t60\t",                // an empty fourth
        "x\t144\t60\t100\tNote ON",
        "10000\t144\tDO\t100\tNote ON",
        "10000.5\t144\t60\t100\tNote ON",
        "99999999999\t144\t60\t100\tNote ON",  // not a 32-bit number
        Release(500, 60),
    };
    EXPECT_EQ(BuildTakeFile(Take(mixed)), BuildTakeFile(Take(good)));
    // Four numbers are enough; the description is not read.
    EXPECT_EQ(RowEvents(BuildTakeFile(Take({"0\t144\t60\t100", "500\t128\t60\t0\tanything"}))),
              Bytes({0x00, 0x90, 0x3C, 0x64, 0x81, 0x40, 0x90, 0x3C, 0x00}));
}

// ---- The program's own reader reads the take back ----

class TakeWriterReadBackTest : public ::testing::Test {
protected:
    // Reads the image as the pipeline does, with the milliseconds per tick of its tempo.
    void ReadBack(const TakeFileRequest& request) {
        s_.MsPerTick = 60000000 / request.tempoBpm / 192.0 / 1000.0;
        ASSERT_EQ(ReadFourBytes(s_, BuildTakeFile(request)), ReadStatus::Ok);
    }
    void ExpectNote(std::size_t i, int note, double start, double end) {
        ASSERT_LT(i, s_.NoteEvents.size());
        EXPECT_EQ(s_.NoteEvents[i].NoteNumber, note) << "note " << i;
        EXPECT_EQ(s_.NoteEvents[i].StartTick, start) << "note " << i;
        EXPECT_EQ(s_.NoteEvents[i].EndTick, end) << "note " << i;
    }
    MainState s_;
};

const std::vector<std::string> kThreeNotes = Stopped(
    {Press(0, 60), Release(499, 60), Press(750, 64), Release(1000, 64), Press(1300, 67), Release(1500, 67)}, 2000);
// Ticks at 120 BPM: 0, 191, 288, 384, 499, 576; Stop at 768.

TEST_F(TakeWriterReadBackTest, NotesStartAndEndWhereTheyWerePlayedAndStopClosesTheLast) {
    ReadBack(Take(kThreeNotes));
    EXPECT_EQ(s_.Division, 192);
    ASSERT_EQ(s_.NoteEvents.size(), 4u);  // three notes and the spare
    ExpectNote(0, 60, 0, 191);
    ExpectNote(1, 64, 288, 384);
    ExpectNote(2, 67, 499, 768);  // released at 576, closed again when Stop was pressed
    EXPECT_NEAR(s_.NoteEvents[1].TimeMs, 750, 1e-9);
}

TEST_F(TakeWriterReadBackTest, QuantizedPressesMoveEverythingAfterThemEarlier) {
    ReadBack(Take(kThreeNotes, 0, 120, 2));
    ASSERT_EQ(s_.NoteEvents.size(), 4u);
    ExpectNote(0, 60, 0, 191);
    ExpectNote(1, 64, 287, 383);  // gap 97 written as 96
    ExpectNote(2, 67, 479, 748);  // gap 115 written as 96: 20 ticks earlier from here on
}

TEST_F(TakeWriterReadBackTest, EveryKeyReadsBackTransposedWithTheLastNoteClosedAtStop) {
    for (int key = 0; key <= 11; ++key) {
        ReadBack(Take(kThreeNotes, key));
        ASSERT_EQ(s_.NoteEvents.size(), 4u) << "key " << key;
        ExpectNote(0, 60 + key, 0, 191);
        ExpectNote(1, 64 + key, 288, 384);
        ExpectNote(2, 67 + key, 499, 768);
    }
}

}  // namespace
}  // namespace tonemark
