#include <gtest/gtest.h>

#include "keyboard/keys.h"
#include "keyboard/recorder.h"
#include "keyboard/tempo.h"
#include "keyboard/timing_report.h"
#include "support/fake_synth.h"
#include "support/take_recording.h"

namespace tonemark {
namespace {

std::vector<std::int16_t> PressesAt(const std::vector<int>& indices, int length) {
    std::vector<std::int16_t> ticks(static_cast<std::size_t>(length), 0);
    for (int i : indices) ticks[static_cast<std::size_t>(i)] = 130;
    ticks[static_cast<std::size_t>(indices.back()) + 5] = -126;  // a release does not count
    return ticks;
}

TEST(TakeTiming, MeasuresEveryPressFromTheNearestGridLine) {
    // Grid of 250 ms from the metronome's first click at clock tick 1; the take starts at tick 1.
    const auto timing = MeasureTakeTiming(PressesAt({0, 262, 490, 760, 1000}, 1100), 1, 1, 250);
    ASSERT_TRUE(timing.has_value());
    EXPECT_EQ(timing->notes, 5);
    EXPECT_DOUBLE_EQ(timing->medianMs, 10);
    EXPECT_DOUBLE_EQ(timing->latestMs, 12);
    EXPECT_DOUBLE_EQ(timing->earliestMs, -10);
    EXPECT_EQ(TimingReportText(*timing, 0), "5 notes; on the eighths within 10 ms median, 12 ms late and 10 ms early at most.");
}

TEST(TakeTiming, CountsFromTheMetronomesFirstClickNotFromTheTakesStart) {
    // The take began 130 ticks after the first click: index 0 is 130 ms after it.
    const auto timing = MeasureTakeTiming(PressesAt({0, 120}, 200), 131, 1, 250);
    ASSERT_TRUE(timing.has_value());
    EXPECT_DOUBLE_EQ(timing->earliestMs, -120);  // 130 from the click: 120 before the next eighth
    EXPECT_DOUBLE_EQ(timing->latestMs, 0);       // 250: on it
    EXPECT_EQ(TimingReportText(*timing, 0), "2 notes; on the eighths within 60 ms median, 120 ms early at most.");
}

TEST(TakeTiming, GridsFollowTheTempoAndTheQuantizeChoice) {
    EXPECT_DOUBLE_EQ(TimingGridMs(500, 0), 250);
    EXPECT_DOUBLE_EQ(TimingGridMs(500, 1), 125);
    EXPECT_DOUBLE_EQ(TimingGridMs(500, 2), 250);
    EXPECT_DOUBLE_EQ(TimingGridMs(461, 3), 461);
    EXPECT_FALSE(MeasureTakeTiming(std::vector<std::int16_t>(50, 0), 1, 1, 250).has_value()) << "no press, no report";
    EXPECT_FALSE(MeasureTakeTiming(PressesAt({3}, 10), 1, 1, 0).has_value());
    const auto one = MeasureTakeTiming(PressesAt({0}, 10), 251, 1, 250);
    EXPECT_EQ(TimingReportText(*one, 3), "1 note; on the beat within 0 ms median, every press exactly on it.");
}

using TimingReport = testing::StartedProgram;

TEST_F(TimingReport, StopSaysHowTheTakeSatOnTheBeat) {
    // At 120 BPM the metronome clicks at 1, 501, 1001 ... ms after "Rec"; the
    // eighths lie 250 ms apart from the first click.
    testing::RecordTake(m, platform, {{0, 500.5, 600.5}, {2, 760.3, 800.5}, {4, 990.3, 1100.5}, {5, 1268.5, 1300.5}},
                        1500);
    EXPECT_EQ(m.ui.StatusLine.caption.rfind("4 notes; on the eighths within 10 ms median, 18 ms late and 10 ms early at most.", 0), 0u)
        << m.ui.StatusLine.caption;
}

TEST_F(TimingReport, AChosenQuantizeGridIsTheGridOfTheReport) {
    Command2_Click(m);
    m.ui.List4.listIndex = 1;  // "Quantize 1/16", chosen while recording
    List4_Click(m);
    const MonotonicMicros rec = platform.now;
    for (double ms : {125.5, 262.5}) {
        platform.now = rec + static_cast<MonotonicMicros>(ms * 1000);
        KeyDownAt(m, 0, platform.now);
        platform.now += 20'000;
        KeyUpAt(m, 0, platform.now);
    }
    platform.now = rec + 400'000;
    RunTimer3Until(m, platform.now);
    Command3_Click(m);
    EXPECT_EQ(m.ui.StatusLine.caption.rfind("2 notes; on the sixteenths within 6 ms median, 12 ms late at most.", 0), 0u)
        << m.ui.StatusLine.caption;
}

}  // namespace
}  // namespace tonemark
