// Every generated file read back: what the reader gives is what the writer wrote.
#include <gtest/gtest.h>

#include <array>

#include "midi_bytes.h"
#include "midifile/reader.h"
#include "midifile/writer.h"
#include "theory/scales.h"

namespace tonemark {
namespace {

using testing::Request;

struct Written {
    int note;
    double start;
    double end;  // 0 when the reader leaves the note open
};

// Third and fifth of the chord on each step of "Triadi".
constexpr std::array<std::array<int, 2>, 15> kChordIntervals = {{{4, 7}, {3, 7}, {3, 7}, {4, 7}, {4, 7}, {3, 7}, {3, 6},
                                                                 {4, 7}, {3, 6}, {3, 7}, {4, 7}, {4, 7}, {3, 7}, {3, 7},
                                                                 {4, 7}}};

std::vector<Written> ExpectedNotes(int entry, int key, int ticks) {
    const std::vector<std::int16_t> steps = ScaleStepsFor(entry);
    std::vector<Written> notes;
    double start = 0;
    for (std::size_t i = 0; i < steps.size(); ++i) {
        const double length = i + 1 == steps.size() ? 384 : ticks;
        const int root = 60 + key + steps[i];
        if (entry == kTriadsEntry) {
            notes.push_back({root, start, 0});
            notes.push_back({root + kChordIntervals[i][0], start, 0});
            notes.push_back({root + kChordIntervals[i][1], start, start + length});
        } else {
            notes.push_back({root, start, start + length});
        }
        start += length;
    }
    return notes;
}

int NotesPerBar(int ticks) { return 768 / ticks; }

void ExpectReadBack(int entry, int key, int ticks) {
    SCOPED_TRACE("entry " + std::to_string(entry) + " key " + std::to_string(key) + " ticks " + std::to_string(ticks));
    MainState s;
    s.NoteValueTicks = static_cast<std::int16_t>(ticks);
    s.MsPerTick = 2.0;
    ASSERT_EQ(ReadFourBytes(s, BuildScaleFile(Request(entry, key, ticks)).bytes), ReadStatus::Ok);

    const std::vector<Written> expected = ExpectedNotes(entry, key, ticks);
    ASSERT_EQ(s.NoteEvents.size(), expected.size() + 1);
    ASSERT_EQ(s.GoodTrack.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const NoteEvent& e = s.NoteEvents[i];
        EXPECT_EQ(e.NoteNumber, expected[i].note) << i;
        EXPECT_EQ(e.NoteName, PitchNames[expected[i].note % 12]) << i;
        EXPECT_EQ(e.StartTick, expected[i].start) << i;
        EXPECT_EQ(e.TimeMs, expected[i].start * 2.0) << i;
        EXPECT_EQ(e.EndTick, expected[i].end) << i;
        const TrackNote& n = s.GoodTrack[i];
        EXPECT_EQ(n.DurationText, std::to_string(static_cast<long>(expected[i].end - expected[i].start))) << i;
        EXPECT_EQ(n.Bar, static_cast<int>(i) / NotesPerBar(ticks)) << i;
    }
}

TEST(ReaderWriterRoundTrip, EveryEntryKeyAndNoteValue) {
    for (int entry = 0; entry <= kTriadsEntry; ++entry)
        for (int key = 0; key < 12; ++key)
            for (int ticks : {384, 192, 96, 48}) ExpectReadBack(entry, key, ticks);
}

}  // namespace
}  // namespace tonemark
