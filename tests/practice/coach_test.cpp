// What practice decides between passes: the tap-along offset, the bar to
// loop and the tempo steps.
#include "practice/coach.h"

#include <gtest/gtest.h>

#include <vector>

namespace tonemark::practice {
namespace {

TEST(CoachTest, CalibrationIsTheMedianOfOneTapPerClick) {
    std::vector<double> clicks;
    for (int k = 0; k < 8; ++k) clicks.push_back(1000 + 500.0 * k);
    const std::vector<double> taps = {
        1030, 1532, 2028,
        2090,        // a second tap on the third click: the nearer one counts
        2531, 3029,
        3700,        // a stray tap 200 ms late, within half a beat
        4030, 4533,
        4900,        // past half a beat after the last click: dropped
    };
    // Kept: 30 32 28 31 29 200 30 33.
    const std::optional<double> offset = CalibratedOffsetMs(clicks, taps);
    ASSERT_TRUE(offset.has_value());
    EXPECT_DOUBLE_EQ(*offset, 30.5);

    EXPECT_FALSE(CalibratedOffsetMs(clicks, {1030, 1532, 2028}).has_value()) << "three taps are too few";
    EXPECT_FALSE(CalibratedOffsetMs({1000}, {1010, 1020, 990, 1005}).has_value()) << "one click has no beat";
}

TEST(CoachTest, WeakestBar) {
    std::vector<ExpectedNote> expected;
    PassJudgement pass;
    for (int k = 0; k < 12; ++k) {
        expected.push_back({k, 60 + k, 500.0 * k, 500, -1, k / 4 + 1});
        NoteResult r;
        r.idx = k;
        r.verdict = Verdict::OnTime;
        pass.notes.push_back(r);
    }
    EXPECT_FALSE(WeakestBar(expected, pass).has_value());
    pass.notes[1].verdict = Verdict::Late;     // bar 1: one
    pass.notes[5].verdict = Verdict::Missed;   // bar 2: two, one of them an extra press
    NoteResult extra;
    extra.idx = 6;
    extra.verdict = Verdict::Extra;
    pass.notes.push_back(extra);
    pass.notes[8].verdict = Verdict::Wrong;    // bar 3: two as well, but later
    pass.notes[11].verdict = Verdict::Early;
    EXPECT_EQ(WeakestBar(expected, pass), 2);
}

PassSummary Pass(int onTime, int wrong, int missed, int expected = 20) {
    PassSummary s;
    s.expected = expected;
    s.onTime = onTime;
    s.wrong = wrong;
    s.missed = missed;
    s.right = expected - wrong - missed;
    return s;
}

TEST(CoachTest, TempoStepsUpAfterThreeCleanPassesAndDownToHalfTheStart) {
    TempoStep step{100, 100, 0};
    const PassSummary clean = Pass(20, 0, 0);
    StepTempo(step, clean);
    StepTempo(step, clean);
    StepTempo(step, Pass(19, 0, 0));  // one note late breaks the run, and does not slow down
    EXPECT_DOUBLE_EQ(step.bpm, 100);
    StepTempo(step, clean);
    StepTempo(step, clean);
    EXPECT_DOUBLE_EQ(step.bpm, 100);
    StepTempo(step, clean);
    EXPECT_DOUBLE_EQ(step.bpm, 105);
    EXPECT_EQ(step.cleanRun, 0);

    StepTempo(step, Pass(15, 5, 0));  // a quarter wrong is not more than a quarter
    EXPECT_DOUBLE_EQ(step.bpm, 105);
    StepTempo(step, Pass(14, 3, 3));  // six of twenty not played right
    EXPECT_DOUBLE_EQ(step.bpm, 105 * 0.95);
    for (int k = 0; k < 30; ++k) StepTempo(step, Pass(0, 20, 0));
    EXPECT_DOUBLE_EQ(step.bpm, 50);
}

}  // namespace
}  // namespace tonemark::practice
