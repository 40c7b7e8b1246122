// The judge on hand-made passes: what the score asked for, what was played
// (stamped, with a steady offset of the learner's), and the verdicts.
#include "practice/judge.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace tonemark::practice {
namespace {

constexpr double kOffset = 50;  // the learner's calibrated steady offset

// C major up and down at 120 BPM in quarter notes (500 ms), the last a half
// note, as the model of the score gives it: every pitch but the top one comes
// twice.
MusicModel CMajorUpAndDown() {
    const std::vector<int> pitches = {60, 62, 64, 65, 67, 69, 71, 72, 71, 69, 67, 65, 64, 62, 60};
    MusicModel model;
    for (int k = 0; k < 15; ++k) {
        ModelNote n;
        n.index = k;
        n.pitch = pitches[k];
        n.onsetMs = 500.0 * k;
        n.durationMs = k == 14 ? 1000 : 500;
        n.bar = k / 4 + 1;
        n.x = 32 * (k + 1);
        model.notes.push_back(n);
    }
    return model;
}

// A press `errorMs` off note `due`'s time, as stamped (the offset still in).
PlayedNote Press(int pitch, double dueMs, double errorMs, double heldMs = 450, int velocity = 80) {
    const double on = dueMs + kOffset + errorMs;
    return {pitch, on, on + heldMs, velocity};
}

TEST(JudgeTest, EveryVerdictOnAScaleUpAndDown) {
    const std::vector<ExpectedNote> expected = ExpectedFromModel(CMajorUpAndDown(), 1.0, 0, 14);
    ASSERT_EQ(expected.size(), 15u);
    std::vector<PlayedNote> played = {
        // 0: the first C left out; the last C of the scale must not stand for it.
        Press(62, 500, +10, 250),      // 1: on time, held half its length
        Press(64, 1000, +40),          // 2: late (on time is within 25 ms of a 500 ms note)
        Press(65, 1500, -30),          // 3: early
        Press(68, 2000, +5),           // 4: wrong, G sharp for G
        Press(69, 2500, -12),          // 5
        Press(71, 3000, +3),           // 6
        Press(72, 3500, 0, 450, 100),  // 7: the top C, louder
        Press(72, 3500, +300),         // played again 300 ms on: too far for 7, and nearer 8
        Press(71, 4000, -8),           // 8
        Press(69, 4500, -120),         // 9: struck early by mistake, then again just in time:
        Press(69, 4500, +6),           //    the nearer press counts, the first is extra
        Press(67, 5000, +300),         // 10: 300 ms late is past half its length: missed, the press extra
        Press(65, 5500, -4),           // 11
        Press(64, 6000, +2),           // 12
        Press(62, 6500, -6, 800),      // 13: held on past its length
    };
    PlayedNote last = Press(60, 7000, +15);  // 14: a half note, still held when the pass ends
    last.offMs = NAN;
    played.push_back(last);

    const PassJudgement judged = JudgePass(expected, played, kOffset);
    ASSERT_EQ(judged.notes.size(), 18u);
    const std::vector<Verdict> verdicts = {
        Verdict::Missed, Verdict::OnTime, Verdict::Late,   Verdict::Early,  Verdict::Wrong,
        Verdict::OnTime, Verdict::OnTime, Verdict::OnTime, Verdict::OnTime, Verdict::OnTime,
        Verdict::Missed, Verdict::OnTime, Verdict::OnTime, Verdict::OnTime, Verdict::OnTime};
    for (int k = 0; k < 15; ++k) {
        SCOPED_TRACE(k);
        EXPECT_EQ(judged.notes[k].idx, k);
        EXPECT_EQ(judged.notes[k].verdict, verdicts[k]) << VerdictText(judged.notes[k].verdict);
    }
    // The offset is taken off: the errors are what was played against the score.
    EXPECT_DOUBLE_EQ(judged.notes[1].onsetErrorMs, 10);
    EXPECT_DOUBLE_EQ(judged.notes[2].onsetErrorMs, 40);
    EXPECT_DOUBLE_EQ(judged.notes[3].onsetErrorMs, -30);
    EXPECT_DOUBLE_EQ(judged.notes[9].onsetErrorMs, 6);
    EXPECT_DOUBLE_EQ(judged.notes[14].onsetErrorMs, 15) << "the last C took its own press, not the first's";
    EXPECT_TRUE(std::isnan(judged.notes[0].onsetErrorMs));
    EXPECT_EQ(judged.notes[0].playedPitch, -1);
    EXPECT_TRUE(std::isnan(judged.notes[10].onsetErrorMs));
    // The wrong note keeps what was played.
    EXPECT_EQ(judged.notes[4].playedPitch, 68);
    EXPECT_EQ(judged.notes[4].expectedPitch, 67);
    EXPECT_DOUBLE_EQ(judged.notes[4].onsetErrorMs, 5);
    // Held: half of note 1; the last note held from its press to the end of
    // its written length, where the pass ends.
    EXPECT_DOUBLE_EQ(judged.notes[1].heldFraction, 0.5);
    EXPECT_DOUBLE_EQ(judged.notes[2].heldFraction, 0.9);
    EXPECT_NEAR(judged.notes[14].heldFraction, (8000.0 - 7065.0) / 1000.0, 1e-9);
    EXPECT_DOUBLE_EQ(judged.notes[13].heldFraction, 1.6);
    // The extra presses, filed under the notes they came nearest.
    const NoteResult& againC = judged.notes[15];
    EXPECT_EQ(againC.verdict, Verdict::Extra);
    EXPECT_EQ(againC.playedPitch, 72);
    EXPECT_EQ(againC.idx, 8);
    EXPECT_EQ(againC.expectedPitch, 71);
    EXPECT_DOUBLE_EQ(againC.onsetErrorMs, -200);
    const NoteResult& earlyA = judged.notes[16];
    EXPECT_EQ(earlyA.verdict, Verdict::Extra);
    EXPECT_EQ(earlyA.idx, 9);
    EXPECT_DOUBLE_EQ(earlyA.onsetErrorMs, -120);
    const NoteResult& lateG = judged.notes[17];
    EXPECT_EQ(lateG.verdict, Verdict::Extra);
    EXPECT_EQ(lateG.playedPitch, 67);
    EXPECT_EQ(lateG.idx, 11);

    const PassSummary& s = judged.summary;
    EXPECT_EQ(s.expected, 15);
    EXPECT_EQ(s.right, 12);
    EXPECT_EQ(s.onTime, 10);
    EXPECT_EQ(s.wrong, 1);
    EXPECT_EQ(s.missed, 2);
    EXPECT_EQ(s.extra, 3);
    // |errors| of the right notes: 10 40 30 12 3 0 8 6 4 2 6 15.
    EXPECT_DOUBLE_EQ(s.medianAbsErrorMs, 7);
    EXPECT_NEAR(s.p90AbsErrorMs, 15 + 0.9 * 15, 1e-9);  // between 15 and 30, at 0.9 of the way
    // One velocity of 100 among eleven of 80.
    EXPECT_NEAR(s.velocitySpread, 20 * std::sqrt(11.0) / 12, 1e-9);
    // Held: 0.5, 0.935, note 13 counted as 1, nine at 0.9.
    EXPECT_NEAR(s.meanHeldFraction, (0.5 + 0.935 + 1 + 9 * 0.9) / 12, 1e-9);

    // An explicit pass end holds the last note to it.
    const PassJudgement later = JudgePass(expected, played, kOffset, 9000);
    EXPECT_NEAR(later.notes[14].heldFraction, (9000.0 - 7065.0) / 1000.0, 1e-9);
}

TEST(JudgeTest, SpeedFactorAndEvenness) {
    // A take played at half speed: due times and lengths double; the window with them.
    const std::vector<ExpectedNote> slow = ExpectedFromModel(CMajorUpAndDown(), 0.5, 2, 6, 2000);
    ASSERT_EQ(slow.size(), 5u);
    EXPECT_EQ(slow[0].idx, 2);
    EXPECT_DOUBLE_EQ(slow[0].dueMs, 2000);
    EXPECT_DOUBLE_EQ(slow[1].dueMs, 3000);
    EXPECT_DOUBLE_EQ(slow[1].lengthMs, 1000);
    EXPECT_EQ(slow[4].bar, 2);
    EXPECT_TRUE(ExpectedFromModel(CMajorUpAndDown(), 0, 0, 14).empty());

    // Played steadily 30 ms behind: even, whatever the lateness. 40 ms late
    // is on time for a 1000 ms note (within 50 ms).
    std::vector<PlayedNote> behind;
    for (const ExpectedNote& e : slow) behind.push_back({e.pitch, e.dueMs + 30, e.dueMs + 900, 0});
    PassJudgement judged = JudgePass(slow, behind, 0);
    EXPECT_EQ(judged.summary.onTime, 5);
    EXPECT_DOUBLE_EQ(judged.summary.evennessMs, 0);
    EXPECT_TRUE(std::isnan(judged.summary.velocitySpread)) << "no MIDI velocities";

    // Intervals 20 ms long, 20 short, 0, 0: a spread of sqrt(200).
    const std::vector<double> errors = {0, 20, 0, 0, 0};
    for (std::size_t k = 0; k < 5; ++k) behind[k].onMs = slow[k].dueMs + errors[k];
    judged = JudgePass(slow, behind, 0);
    EXPECT_NEAR(judged.summary.evennessMs, std::sqrt(200.0), 1e-9);
    EXPECT_NEAR(judged.summary.medianAbsErrorMs, 0, 1e-9);
}

// Three-note chords of "Triadi", 500 ms each: on time is within 25 ms.
std::vector<ExpectedNote> Triads(int count) {
    std::vector<ExpectedNote> out;
    for (int c = 0; c < count; ++c)
        for (int k = 0; k < 3; ++k)
            out.push_back({3 * c + k, 60 + 2 * c + 4 * k - (k == 2), 500.0 * c, 500, c, 1});
    return out;
}

TEST(JudgeTest, ChordsStruckTogetherOrSpread) {
    const std::vector<ExpectedNote> chords = Triads(4);
    std::vector<PlayedNote> played;
    auto strike = [&](int chord, std::vector<double> errors, int wrongMember = -1) {
        for (int k = 0; k < 3; ++k) {
            const ExpectedNote& e = chords[3 * chord + k];
            played.push_back({k == wrongMember ? e.pitch + 1 : e.pitch, e.dueMs + errors[k], e.dueMs + 480, 90});
        }
    };
    strike(0, {0, 15, 35});      // within 40 ms: together, and on time though +35 alone is late
    strike(1, {-20, 0, 22});     // 42 ms wide: the third came late to the chord, though +22 alone is on time
    strike(2, {-30, -20, -10});  // together, early as its first note
    strike(3, {5, 10, 12}, 1);   // the middle note wrong
    const PassJudgement judged = JudgePass(chords, played, 0);
    auto verdictOf = [&](int chord, int k) { return judged.notes[3 * chord + k].verdict; };
    for (int k = 0; k < 3; ++k) EXPECT_EQ(verdictOf(0, k), Verdict::OnTime) << k;
    EXPECT_EQ(verdictOf(1, 0), Verdict::OnTime);
    EXPECT_EQ(verdictOf(1, 1), Verdict::OnTime);
    EXPECT_EQ(verdictOf(1, 2), Verdict::Late);
    for (int k = 0; k < 3; ++k) EXPECT_EQ(verdictOf(2, k), Verdict::Early) << k;
    EXPECT_EQ(verdictOf(3, 0), Verdict::OnTime);
    EXPECT_EQ(verdictOf(3, 1), Verdict::Wrong);
    EXPECT_EQ(judged.notes[10].playedPitch, chords[10].pitch + 1);
    EXPECT_EQ(verdictOf(3, 2), Verdict::OnTime);
    // Each note keeps its own error.
    EXPECT_DOUBLE_EQ(judged.notes[2].onsetErrorMs, 35);
    EXPECT_DOUBLE_EQ(judged.notes[8].onsetErrorMs, -10);
    EXPECT_EQ(judged.summary.extra, 0);
    // Evenness takes one onset per chord, its first: 0, -20, -30, +5, so the
    // intervals change by -20, -10 and +35.
    const double mean = 5.0 / 3;
    const double squares = std::pow(-20 - mean, 2) + std::pow(-10 - mean, 2) + std::pow(35 - mean, 2);
    EXPECT_NEAR(judged.summary.evennessMs, std::sqrt(squares / 3), 1e-9);
}

}  // namespace
}  // namespace tonemark::practice
