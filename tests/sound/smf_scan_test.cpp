#include "sound/smf_scan.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "sound/song_data.h"

namespace tonemark {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Format 0, division 192, 120 bpm, two quarter notes (C, D), end at tick 384.
const Bytes kTwoNotes = {
    'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0, 192,
    'M', 'T', 'r', 'k', 0, 0, 0, 29,
    0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20,
    0x00, 0x90, 60, 100,
    0x81, 0x40, 0x90, 60, 0,   // delta 192
    0x00, 0x90, 62, 100,
    0x81, 0x40, 0x90, 62, 0,
    0x00, 0xFF, 0x2F, 0x00,
};

Bytes Header(int format, int tracks, int division) {
    return {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, static_cast<std::uint8_t>(format), 0, static_cast<std::uint8_t>(tracks),
            static_cast<std::uint8_t>(division >> 8), static_cast<std::uint8_t>(division & 0xFF)};
}

Bytes Track(const Bytes& events) {
    Bytes chunk = {'M', 'T', 'r', 'k', 0, 0, static_cast<std::uint8_t>(events.size() >> 8),
                   static_cast<std::uint8_t>(events.size() & 0xFF)};
    chunk.insert(chunk.end(), events.begin(), events.end());
    return chunk;
}

Bytes Join(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

TEST(SmfScanTest, ReadsDivisionAndEndOfTrack) {
    auto summary = ScanSmf(kTwoNotes);
    ASSERT_TRUE(summary.has_value());
    EXPECT_EQ(summary->division, 192);
    EXPECT_EQ(summary->lengthTicks, 384);
    EXPECT_TRUE(summary->meters.empty());
}

TEST(SmfScanTest, LongestTrackGivesTheLengthAndFirstTrackTheMeters) {
    const Bytes bytes = Join({Header(1, 2, 96),
                              Track({0x00, 0xFF, 0x58, 0x04, 0x03, 0x02, 0x18, 0x08,  // 3/4 at 0
                                     0x60, 0xFF, 0x2F, 0x00}),                        // end at 96
                              Track({0x00, 0xFF, 0x58, 0x04, 0x06, 0x03, 0x18, 0x08,  // ignored: not track 1
                                     0x00, 0x90, 64, 90,
                                     0x83, 0x60, 0x80, 64, 0,                         // delta 480
                                     0x00, 0xFF, 0x2F, 0x00})});
    auto summary = ScanSmf(bytes);
    ASSERT_TRUE(summary.has_value());
    EXPECT_EQ(summary->lengthTicks, 480);
    ASSERT_EQ(summary->meters.size(), 1u);
    EXPECT_EQ(summary->meters[0].beatsPerBar, 3);
    EXPECT_EQ(summary->meters[0].beatUnit, 4);
}

TEST(SmfScanTest, FollowsRunningStatusAndOneByteMessages) {
    const Bytes bytes = Join({Header(0, 1, 192),
                              Track({0x00, 0xC0, 5,          // program change: one data byte
                                     0x00, 0x90, 60, 100,
                                     0x10, 64, 100,          // running status note-on at 16
                                     0x10, 60, 0,            // at 32
                                     0x20, 0xFF, 0x2F, 0x00})});  // end at 64
    auto summary = ScanSmf(bytes);
    ASSERT_TRUE(summary.has_value());
    EXPECT_EQ(summary->lengthTicks, 64);
}

TEST(SmfScanTest, RejectsWhatIsNotAPlayableFile) {
    EXPECT_FALSE(ScanSmf(Bytes{}).has_value());
    EXPECT_FALSE(ScanSmf(Bytes{'R', 'I', 'F', 'F', 0, 0, 0, 6, 0, 0, 0, 1, 0, 192}).has_value());
    EXPECT_FALSE(ScanSmf(Join({Header(0, 1, 0xE728), Track({0x00, 0xFF, 0x2F, 0x00})})).has_value());  // SMPTE
    EXPECT_FALSE(ScanSmf(Join({Header(0, 1, 0), Track({0x00, 0xFF, 0x2F, 0x00})})).has_value());
    EXPECT_FALSE(ScanSmf(Header(0, 1, 192)).has_value());  // no track at all
}

TEST(SmfScanTest, DamagedTracksCountUpToTheLastWholeEvent) {
    // Cut in the middle of the last note-off: the end is the preceding note-on.
    Bytes truncated(kTwoNotes.begin(), kTwoNotes.end() - 7);
    auto summary = ScanSmf(truncated);
    ASSERT_TRUE(summary.has_value());
    EXPECT_EQ(summary->lengthTicks, 192);

    // A delta time of five continuation bytes is not a quantity.
    const Bytes badDelta = Join({Header(0, 1, 192),
                                 Track({0x00, 0x90, 60, 100, 0x81, 0x81, 0x81, 0x81, 0x01, 0x80, 60, 0})});
    summary = ScanSmf(badDelta);
    ASSERT_TRUE(summary.has_value());
    EXPECT_EQ(summary->lengthTicks, 0);

    // A meta event claiming more data than there is.
    const Bytes longMeta = Join({Header(0, 1, 192), Track({0x10, 0x90, 60, 100, 0x00, 0xFF, 0x01, 0x7F, 'a'})});
    summary = ScanSmf(longMeta);
    ASSERT_TRUE(summary.has_value());
    EXPECT_EQ(summary->lengthTicks, 16);
}

TEST(SmfScanTest, ChunkLengthsAreNotTrusted) {
    // The track says it holds 0x7FFFFFFF bytes; the data simply ends.
    Bytes lying = kTwoNotes;
    lying[18] = 0x7F;
    lying[19] = 0xFF;
    lying[20] = 0xFF;
    lying[21] = 0xFF;
    auto summary = ScanSmf(lying);
    ASSERT_TRUE(summary.has_value());
    EXPECT_EQ(summary->lengthTicks, 384);

    // An unknown chunk between header and track is skipped.
    const Bytes withExtra = Join({Header(0, 1, 192), Bytes{'X', 'T', 'R', 'A', 0, 0, 0, 2, 1, 2},
                                  Track({0x83, 0x00, 0xFF, 0x2F, 0x00})});
    summary = ScanSmf(withExtra);
    ASSERT_TRUE(summary.has_value());
    EXPECT_EQ(summary->lengthTicks, 384);
}

TEST(SmfScanTest, ConvertsTicksToMusicTime) {
    EXPECT_EQ(TicksToMusicTime(192, 192), 768);
    EXPECT_EQ(TicksToMusicTime(96, 96), 768);
    EXPECT_EQ(TicksToMusicTime(480, 480), 768);
    EXPECT_EQ(TicksToMusicTime(1, 480), 2);  // rounded to nearest
    EXPECT_EQ(MusicTimeToTicks(2000, 192), 500);
    EXPECT_EQ(MusicTimeToTicks(2304, 96), 288);
}

TEST(SongDataTest, MeterAtFindsTheMeterInForceAndTheNextChange) {
    SongData song;
    song.summary.division = 96;
    song.summary.meters = {{0, 3, 4}, {288, 6, 8}};
    std::int32_t next = -1;
    TimeSignature meter = song.MeterAt(2000, next);
    EXPECT_EQ(meter.beatsPerBar, 3);
    EXPECT_EQ(meter.beatUnit, 4);
    EXPECT_EQ(next, 2304);
    meter = song.MeterAt(2304, next);
    EXPECT_EQ(meter.beatsPerBar, 6);
    EXPECT_EQ(meter.beatUnit, 8);
    EXPECT_EQ(next, 0);

    SongData plain;
    plain.summary.division = 192;
    meter = plain.MeterAt(2000, next);
    EXPECT_EQ(meter.beatsPerBar, 4);
    EXPECT_EQ(meter.beatUnit, 4);
    EXPECT_EQ(next, 0);
}

}  // namespace
}  // namespace tonemark
