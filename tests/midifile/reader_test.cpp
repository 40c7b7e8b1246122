#include "midifile/reader.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <vector>

#include "midi_bytes.h"
#include "midifile/writer.h"
#include "support/temp_path.h"

namespace tonemark {
namespace {

using testing::Bytes;
using testing::HeaderChunk;
using testing::Request;
using testing::SingleTrackFile;
using testing::TrackChunk;

const std::string kEnd = Bytes({0x00, 0xFF, 0x2F, 0x00});

std::vector<int> NoteNumbers(const MainState& s) {
    std::vector<int> notes;
    for (const NoteEvent& e : s.NoteEvents) notes.push_back(e.NoteNumber);
    return notes;
}

// A state that already holds a song, to see what a read leaves alone.
MainState StateWithEarlierSong() {
    MainState s;
    s.Division = 96;
    s.NoteEvents = std::vector<NoteEvent>(3, NoteEvent{1, 2, 70, "LAb - SOL#", 9});
    s.GoodTrack = std::vector<TrackNote>(2, TrackNote{"LA", 69, "7", 0, 1, 0});
    return s;
}

void ExpectEarlierSongKept(const MainState& s) {
    EXPECT_EQ(s.Division, 96);
    ASSERT_EQ(s.NoteEvents.size(), 3u);
    EXPECT_EQ(s.NoteEvents[2].NoteNumber, 70);
    ASSERT_EQ(s.GoodTrack.size(), 2u);
    EXPECT_EQ(s.GoodTrack[1].DurationText, "7");
}

TEST(ReaderTest, MajorScaleReadsBackNoteForNote) {
    MainState s = StateWithEarlierSong();
    s.NoteValueTicks = 192;
    s.MsPerTick = 2.5;
    ASSERT_EQ(ReadFourBytes(s, BuildScaleFile(Request(0, 0, 192)).bytes), ReadStatus::Ok);

    EXPECT_EQ(s.Division, 192);
    ASSERT_EQ(s.NoteEvents.size(), 16u);  // 15 notes and the spare
    EXPECT_EQ(NoteNumbers(s),
              (std::vector<int>{60, 62, 64, 65, 67, 69, 71, 72, 71, 69, 67, 65, 64, 62, 60, 0}));
    EXPECT_EQ(s.NoteEvents[1].StartTick, 192);
    EXPECT_EQ(s.NoteEvents[1].TimeMs, 480);
    EXPECT_EQ(s.NoteEvents[1].NoteName, "RE");
    EXPECT_EQ(s.NoteEvents[14].EndTick - s.NoteEvents[14].StartTick, 384);
    EXPECT_EQ(s.NoteEvents[15].NoteName, "");

    ASSERT_EQ(s.GoodTrack.size(), 15u);
    std::vector<int> bars;
    for (const TrackNote& n : s.GoodTrack) bars.push_back(n.Bar);
    EXPECT_EQ(bars, (std::vector<int>{0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3}));
    EXPECT_EQ(s.GoodTrack[0].DurationText, "192");
    EXPECT_EQ(s.GoodTrack[14].DurationText, "384");
    EXPECT_EQ(s.GoodTrack[6].NoteName, "SI");
}

TEST(ReaderTest, BarsAreCountedByNotesForEachNoteValue) {
    const std::string file = BuildScaleFile(Request(0, 0, 192)).bytes;
    for (auto [ticks, lastBar] : {std::pair{384, 7}, std::pair{96, 1}, std::pair{48, 0}, std::pair{100, 0}}) {
        MainState s;
        s.NoteValueTicks = static_cast<std::int16_t>(ticks);
        ReadFourBytes(s, file);
        EXPECT_EQ(s.GoodTrack.back().Bar, lastBar) << ticks;
    }
}

TEST(ReaderTest, VelocityZeroBeforeAnyNoteChangesNothing) {
    MainState s = StateWithEarlierSong();
    const std::string file = SingleTrackFile(Bytes({0x00, 0x90, 0x3C, 0x00,  //
                                                    0x10, 0x90, 0x3E, 0x64,  //
                                                    0x60, 0x90, 0x3E, 0x00}) + kEnd);
    ASSERT_EQ(ReadFourBytes(s, file), ReadStatus::Ok);
    ASSERT_EQ(s.NoteEvents.size(), 2u);
    EXPECT_EQ(s.NoteEvents[0].NoteNumber, 62);
    EXPECT_EQ(s.NoteEvents[0].StartTick, 16);
    EXPECT_EQ(s.NoteEvents[0].EndTick, 112);
    EXPECT_EQ(s.NoteEvents[1].EndTick, 0);
    ASSERT_EQ(s.GoodTrack.size(), 1u);
    EXPECT_EQ(s.GoodTrack[0].DurationText, "96");
}

TEST(ReaderTest, ChordClosingEventsAllLandOnItsFifth) {
    MainState s;
    const std::string chord = Bytes({0x00, 0x90, 0x3C, 0x64, 0x00, 0x90, 0x40, 0x64, 0x00, 0x90, 0x43, 0x64,
                                     0x83, 0x00, 0x90, 0x3C, 0x00, 0x00, 0x90, 0x40, 0x00, 0x00, 0x90, 0x43, 0x00});
    ASSERT_EQ(ReadFourBytes(s, SingleTrackFile(chord + chord + kEnd)), ReadStatus::Ok);
    ASSERT_EQ(s.NoteEvents.size(), 7u);
    std::vector<double> ends;
    for (const NoteEvent& e : s.NoteEvents) ends.push_back(e.EndTick);
    EXPECT_EQ(ends, (std::vector<double>{0, 0, 384, 0, 0, 768, 0}));
    std::vector<std::string> durations;
    for (const TrackNote& n : s.GoodTrack) durations.push_back(n.DurationText);
    EXPECT_EQ(durations, (std::vector<std::string>{"0", "0", "384", "-384", "-384", "384"}));
}

TEST(ReaderTest, OnlyTheFirstTrackOfAMultiTrackFileIsRead) {
    MainState s;
    const std::string first = TrackChunk(Bytes({0x00, 0x90, 0x45, 0x64, 0x60, 0x90, 0x45, 0x00}) + kEnd);
    const std::string second = TrackChunk(Bytes({0x00, 0x90, 0x30, 0x64, 0x60, 0x90, 0x30, 0x00}) + kEnd);
    ASSERT_EQ(ReadFourBytes(s, HeaderChunk(1, 2) + first + second), ReadStatus::Ok);
    EXPECT_EQ(NoteNumbers(s), (std::vector<int>{69, 0}));
}

TEST(ReaderTest, MultiTrackFileWithNoTracksReadsNone) {
    MainState s = StateWithEarlierSong();
    const std::string track = TrackChunk(Bytes({0x00, 0x90, 0x45, 0x64, 0x60, 0x90, 0x45, 0x00}) + kEnd);
    ASSERT_EQ(ReadFourBytes(s, HeaderChunk(1, 0) + track), ReadStatus::Ok);
    EXPECT_EQ(s.Division, 192);
    EXPECT_EQ(s.NoteEvents.size(), 1u);
    EXPECT_EQ(s.GoodTrack.size(), 2u);  // nothing to rebuild it from
}

TEST(ReaderTest, MetaEventsAreSkippedByTheirLengthBelow0x80Only) {
    MainState s;
    // A text event whose bytes look like a note, then a meta 0x85 whose next byte is a delta.
    const std::string events = Bytes({0x00, 0xFF, 0x01, 0x04, 0x00, 0x90, 0x30, 0x64,  //
                                      0x00, 0xFF, 0x85,                                //
                                      0x10, 0x90, 0x3C, 0x64,                          //
                                      0x20, 0x90, 0x3C, 0x00}) + kEnd;
    ASSERT_EQ(ReadFourBytes(s, SingleTrackFile(events)), ReadStatus::Ok);
    ASSERT_EQ(s.NoteEvents.size(), 2u);
    EXPECT_EQ(s.NoteEvents[0].NoteNumber, 60);
    EXPECT_EQ(s.NoteEvents[0].StartTick, 16);
    EXPECT_EQ(s.NoteEvents[0].EndTick, 48);
}

TEST(ReaderTest, OtherStatusBytesReadNothingMore) {
    MainState s;
    // C0 05 (a program change): the 05 is taken as the next delta time.
    const std::string events = Bytes({0x00, 0xC0, 0x05, 0x90, 0x3C, 0x64, 0x10, 0x90, 0x3C, 0x00}) + kEnd;
    ASSERT_EQ(ReadFourBytes(s, SingleTrackFile(events)), ReadStatus::Ok);
    EXPECT_EQ(s.NoteEvents[0].StartTick, 5);
    EXPECT_EQ(s.NoteEvents[0].EndTick, 21);
}

TEST(ReaderTest, TakeClosingControllersAreWalkedOverWithoutNotes) {
    MainState s;
    const std::string events = Bytes({0x00, 0x90, 0x3C, 0x64, 0x60, 0x90, 0x3C, 0x00,  //
                                      0x60, 0xB0, 0x78, 0x00, 0x60, 0xB0, 0x78, 0x00,  //
                                      0x60, 0xB0, 0x78, 0x00, 0x60, 0xB0, 0x78, 0x00}) + kEnd;
    ASSERT_EQ(ReadFourBytes(s, SingleTrackFile(events)), ReadStatus::Ok);
    EXPECT_EQ(NoteNumbers(s), (std::vector<int>{60, 0}));
    EXPECT_EQ(s.NoteEvents[0].EndTick, 96);
}

TEST(ReaderTest, DeltaTimeStopsAfterFourBytes) {
    MainState s;
    const std::string events = Bytes({0x00, 0x90, 0x3C, 0x64, 0xFF, 0xFF, 0xFF, 0xFF, 0x90, 0x3C, 0x00}) + kEnd;
    ASSERT_EQ(ReadFourBytes(s, SingleTrackFile(events)), ReadStatus::Ok);
    EXPECT_EQ(s.NoteEvents[0].EndTick, 268435455);
}

TEST(ReaderTest, EveryCutOfARealFileStopsCleanly) {
    for (int entry : {0, kTriadsEntry}) {
        const std::string whole = BuildScaleFile(Request(entry, 3, 96)).bytes;
        MainState full;
        ASSERT_EQ(ReadFourBytes(full, whole), ReadStatus::Ok);
        for (std::size_t cut = 0; cut < whole.size(); ++cut) {
            const std::vector<char> prefix(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(cut));
            MainState s = StateWithEarlierSong();
            const ReadStatus status = ReadFourBytes(s, std::string_view(prefix.data(), prefix.size()));
            SCOPED_TRACE("entry " + std::to_string(entry) + " cut at " + std::to_string(cut));
            if (cut < 4) {
                EXPECT_EQ(status, ReadStatus::NotMidi);
            } else {
                EXPECT_EQ(status, ReadStatus::Truncated);
            }
            if (cut < 14) {
                ExpectEarlierSongKept(s);
                continue;
            }
            ASSERT_LE(s.NoteEvents.size(), full.NoteEvents.size());
            for (std::size_t i = 0; i + 1 < s.NoteEvents.size(); ++i) {
                EXPECT_EQ(s.NoteEvents[i].NoteNumber, full.NoteEvents[i].NoteNumber);
                EXPECT_EQ(s.NoteEvents[i].StartTick, full.NoteEvents[i].StartTick);
            }
        }
    }
}

TEST(ReaderTest, RefusedFilesLeaveTheSongAlone) {
    MainState s = StateWithEarlierSong();
    const std::string track = TrackChunk(Bytes({0x00, 0x90, 0x3C, 0x64, 0x60, 0x90, 0x3C, 0x00}) + kEnd);
    EXPECT_EQ(ReadFourBytes(s, HeaderChunk(0, 1, 0xE7, 0x28) + track), ReadStatus::TimecodeDivision);
    ExpectEarlierSongKept(s);
    EXPECT_EQ(ReadFourBytes(s, "RIFF" + HeaderChunk(0, 1).substr(4) + track), ReadStatus::NotMidi);
    ExpectEarlierSongKept(s);
    EXPECT_EQ(ReadFourBytes(s, ""), ReadStatus::NotMidi);
    ExpectEarlierSongKept(s);
}

TEST(ReaderTest, MissingTrackChunkCutsTheNotesButKeepsTheTrack) {
    MainState s = StateWithEarlierSong();
    EXPECT_EQ(ReadFourBytes(s, HeaderChunk(0, 1) + "XTrk" + Bytes({0, 0, 0, 0}) + kEnd), ReadStatus::NoTrack);
    EXPECT_EQ(s.NoteEvents.size(), 1u);
    EXPECT_EQ(s.NoteEvents[0].NoteNumber, 0);
    EXPECT_EQ(s.GoodTrack.size(), 2u);
}

TEST(ReaderTest, ReadFourReadsTheFileNamedBySmfPath) {
    const std::string path = testing::TestTempPath("scale.mid");
    {
        std::ofstream out(path, std::ios::binary);
        out << BuildScaleFile(Request(11, 2, 192)).bytes;
    }
    MainState s = StateWithEarlierSong();
    s.SmfPath = path;
    EXPECT_EQ(ReadFour(s), ReadStatus::Ok);
    EXPECT_EQ(s.NoteEvents.size(), 10u);
    EXPECT_EQ(s.NoteEvents[2].NoteNumber, 67);
    std::filesystem::remove(path);

    MainState missing = StateWithEarlierSong();
    missing.SmfPath = path;
    EXPECT_EQ(ReadFour(missing), ReadStatus::CannotOpen);
    ExpectEarlierSongKept(missing);
    EXPECT_NE(DescribeReadStatus(ReadStatus::CannotOpen, path).find(path), std::string::npos);
    EXPECT_EQ(DescribeReadStatus(ReadStatus::Ok, path), "");
}

// ---- ReadFile: the tempo from the image just built ----

TEST(ReaderTest, ReadFileTakesTheFirstTempoAndTheDivision) {
    Main m;
    m.state.SmfImage = HeaderChunk(0, 1, 0x00, 0x60) +
                       TrackChunk(Bytes({0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20,  //
                                         0x00, 0xFF, 0x51, 0x03, 0x0F, 0x42, 0x40}) + kEnd);
    ReadFile(m);
    EXPECT_EQ(m.state.TempoMicros, 500000);
    EXPECT_EQ(m.state.TempoBPM, 120);
    EXPECT_NEAR(m.state.MsPerTick, 500000.0 / 96 / 1000, 1e-12);
    EXPECT_EQ(m.ui.Label9.caption, "120");

    m.state.SmfImage = BuildScaleFile(Request(0, 0, 192, 7)).bytes;  // 8571428 us: 7.0000003 BPM
    ReadFile(m);
    EXPECT_EQ(m.state.TempoBPM, 7);
    EXPECT_EQ(m.ui.Label9.caption, "7");
}

TEST(ReaderTest, ReadFileWithoutAUsableTempoChangesNothing) {
    const std::string header = HeaderChunk(0, 1);
    for (const std::string& image : {header + TrackChunk(kEnd),                                  // no tempo
                                     header + "MTrk" + Bytes({0, 0, 0, 7, 0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1}),  // cut
                                     Bytes({0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20}),                 // no header
                                     header + TrackChunk(Bytes({0x00, 0xFF, 0x51, 0x03, 0, 0, 0}))}) {  // zero
        Main m;
        m.state.SmfImage = image;
        m.state.TempoBPM = 77;
        m.state.TempoMicros = 779220;
        m.state.MsPerTick = 4.0;
        m.ui.Label9.caption = "77";
        ReadFile(m);
        EXPECT_EQ(m.state.TempoBPM, 77);
        EXPECT_EQ(m.state.TempoMicros, 779220);
        EXPECT_EQ(m.state.MsPerTick, 4.0);
        EXPECT_EQ(m.ui.Label9.caption, "77");
    }
}

}  // namespace
}  // namespace tonemark
