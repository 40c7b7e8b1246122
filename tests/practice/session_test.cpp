// The practice pass driver on a fake synthesiser and a fake clock: presses
// reach the pass from their own stamps however late they are handled, the
// pass clock's zero is the first note as heard, "Wait for me" moves only on
// the right key, and the tap-along offset is kept for the next run.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>

#include "keyboard/keys.h"
#include "keyboard/midi_keys.h"
#include "practice/history.h"
#include "practice/session.h"
#include "support/fake_synth.h"

namespace tonemark {
namespace {

using practice::Verdict;
using testing::FakeSynthState;

class PracticeSession : public testing::StartedProgram {
protected:
    void SetUp() override {
        StartedProgram::SetUp();
        data = platform.root / "data";
        setenv("XDG_DATA_HOME", data.c_str(), 1);  // no real history is touched
        m.practice.historyPath = (data / "tonemark" / "practice.sqlite").string();
        synth->leadNow = 40;  // the sound is heard 40 ms after it is handed over
    }

    // Moves the clock to `t` in steps of one millisecond, ticking the pass as the ticker would.
    void RunTo(MonotonicMicros t) {
        while (platform.now < t) {
            platform.now = std::min(platform.now + 1000, t);
            PracticeTick(m);
        }
    }
    MonotonicMicros At(double passMs) const {
        return m.practice.zero + static_cast<MonotonicMicros>(std::llround(passMs * 1000));
    }
    // The on-screen key of a note of the C major scale.
    static int KeyOf(int pitch) { return pitch - 60; }

    std::filesystem::path data;
};

TEST_F(PracticeSession, KeepGoingJudgesEachPressFromItsOwnStamp) {
    const RecordingCanvas engraved = m.PicScore;
    const MonotonicMicros started = platform.now;
    ASSERT_TRUE(StartPracticePass(m));
    const PracticeState& p = m.practice;
    ASSERT_EQ(p.expected.size(), 15u);
    // One bar of count-in: four clicks before the first note, the first of
    // them handed over 250 ms after the start; zero is the first note as
    // heard, so its click is handed over 40 ms before it.
    EXPECT_TRUE(synth->scheduled.empty()) << "nothing is handed over earlier than it must be";
    RunTo(started + 100'000);
    ASSERT_FALSE(synth->scheduled.empty());
    EXPECT_EQ(synth->scheduled[0].dueMicros, started + 250'000);
    EXPECT_EQ(synth->scheduled[0].message, (std::array<int, 4>{9, 144, 33, 127}));
    EXPECT_EQ(p.zero, started + 250'000 + 4 * 500'000 + 40'000);
    EXPECT_EQ(PracticeProgressText(m), "Count-in");
    // Before it is due the first note's key is lit in the colour of the note ahead.
    EXPECT_EQ(m.ui.key[0].backColor, kAheadBlue);

    // Each press is handled 9 ms after it happened; its stamp decides.
    auto play = [&](int pitch, double onMs, double offMs) {
        RunTo(At(onMs) + 9000);
        KeyDownAt(m, KeyOf(pitch), At(onMs));
        RunTo(At(offMs) + 9000);
        KeyUpAt(m, KeyOf(pitch), At(offMs));
    };
    const std::vector<int> scale = {60, 62, 64, 65, 67, 69, 71, 72, 71, 69, 67, 65, 64, 62, 60};
    for (int i = 0; i < 15; ++i) {
        const double due = 500.0 * i;
        if (i == 3) continue;                               // left out
        if (i == 1) play(scale[i], due + 40, due + 400);   // 40 ms late
        else if (i == 2) play(scale[i], due - 30, due + 400);  // 30 ms early
        else if (i == 4) play(scale[i] + 1, due, due + 400);   // the wrong note
        else if (i == 5) play(scale[i], due, due + 250);       // held half its length
        else play(scale[i], due, due + 450);
        if (i == 6) {
            // Mid-pass the cursor stands on the note due and the next one is shown ahead.
            EXPECT_EQ(m.ui.Line1.x1, m.music.notes[6].x);
            EXPECT_EQ(m.ui.LabNext.caption, m.state.NoteEvents[7].NoteName);
        }
    }
    RunTo(At(p.endMs) + 1000);
    ASSERT_EQ(p.phase, PracticePhase::Idle);
    ASSERT_TRUE(p.judged);
    const auto& notes = p.judged->notes;
    ASSERT_GE(notes.size(), 15u);
    EXPECT_EQ(notes[0].verdict, Verdict::OnTime);
    EXPECT_NEAR(notes[0].onsetErrorMs, 0, 0.01);
    EXPECT_EQ(notes[1].verdict, Verdict::Late);
    EXPECT_NEAR(notes[1].onsetErrorMs, 40, 0.01);
    EXPECT_EQ(notes[2].verdict, Verdict::Early);
    EXPECT_NEAR(notes[2].onsetErrorMs, -30, 0.01);
    EXPECT_EQ(notes[3].verdict, Verdict::Missed);
    EXPECT_EQ(notes[4].verdict, Verdict::Wrong);
    EXPECT_EQ(notes[4].playedPitch, 68);
    EXPECT_NEAR(notes[5].heldFraction, 0.5, 0.01);
    EXPECT_EQ(notes[14].verdict, Verdict::OnTime);
    EXPECT_TRUE(p.reviewOn);
    EXPECT_FALSE(p.summary.empty());
    // The pass is in the history, under the material on show.
    practice::History history(m.practice.historyPath);
    const PracticeMaterial material = CurrentMaterial(m);
    EXPECT_EQ(material.key, "C");
    const auto recent = history.Recent(material.material, material.key, material.noteValue);
    ASSERT_EQ(recent.size(), 1u);
    EXPECT_EQ(recent[0].expected, 15);
    EXPECT_EQ(recent[0].right, 13);
    // A click on a reviewed note tells its figures; a new pass takes the review off.
    EXPECT_TRUE(PracticeReviewClick(m, 1));
    EXPECT_FALSE(m.ui.StatusLine.caption.empty());
    ASSERT_TRUE(StartPracticePass(m));
    EXPECT_EQ(m.PicScore.Texts(), engraved.Texts());
    EXPECT_EQ(m.PicScore.Lines(), engraved.Lines());
    EXPECT_FALSE(PracticeReviewClick(m, 1));
    // Escape ends it early: judged, not kept.
    RunTo(At(600));
    PracticeEscape(m);
    EXPECT_EQ(p.phase, PracticePhase::Idle);
    EXPECT_TRUE(p.judgedEarly);
    EXPECT_EQ(history.Recent(material.material, material.key, material.noteValue).size(), 1u);
}

TEST_F(PracticeSession, WaitForMeMovesOnlyOnTheRightKeyFromAnyInput) {
    SetPracticeMode(m, PracticeMode::WaitForMe);
    ASSERT_TRUE(StartPracticePass(m));
    const PracticeState& p = m.practice;
    EXPECT_EQ(p.at, 0);
    EXPECT_EQ(m.ui.Line1.x1, m.music.notes[0].x);
    EXPECT_EQ(m.ui.key[2].backColor, kAheadBlue) << "D, the note after the cursor, is lit ahead";
    platform.now += 2'000'000;
    PracticeTick(m);
    EXPECT_EQ(p.at, 0) << "the cursor waits however long it takes";
    KeyDownAt(m, 1, platform.now);  // C sharp: wrong
    KeyUpAt(m, 1, platform.now + 100'000);
    EXPECT_EQ(p.at, 0);
    platform.now += 300'000;
    KeyDownAt(m, 0, platform.now - 50'000);  // C, stamped 50 ms before it is handled
    KeyUpAt(m, 0, platform.now);
    EXPECT_EQ(p.at, 1);
    EXPECT_NEAR(p.waitNotes[0].msToRight, 2250, 0.01);
    // The rest from a MIDI keyboard, with velocities.
    const std::vector<int> rest = {62, 64, 65, 67, 69, 71, 72, 71, 69, 67, 65, 64, 62, 60};
    for (int pitch : rest) {
        platform.now += 200'000;
        MidiInputEvent on;
        on.kind = MidiInputEvent::Kind::NoteOn;
        on.note = static_cast<std::uint8_t>(pitch);
        on.velocity = 80;
        on.when = platform.now;
        MidiNoteAt(m, on);
        MidiInputEvent off = on;
        off.kind = MidiInputEvent::Kind::NoteOff;
        off.velocity = 0;
        off.when = platform.now + 100'000;
        MidiNoteAt(m, off);
    }
    ASSERT_EQ(p.phase, PracticePhase::Idle);
    ASSERT_TRUE(p.judged);
    ASSERT_EQ(p.judged->notes.size(), 15u);
    EXPECT_EQ(p.judged->notes[0].verdict, Verdict::Wrong);
    EXPECT_EQ(p.judged->notes[0].playedPitch, 61);
    EXPECT_EQ(p.judged->notes[1].verdict, Verdict::OnTime);
    EXPECT_EQ(p.judged->notes[1].velocity, 80);
    EXPECT_EQ(p.judged->summary.onTime, 14);
    practice::History history(m.practice.historyPath);
    const PracticeMaterial material = CurrentMaterial(m);
    EXPECT_EQ(history.Recent(material.material, material.key, material.noteValue).size(), 1u);
}

TEST_F(PracticeSession, HearItTooSoundsTheMaterialSoftlyOnItsOwnChannelAheadOfTime) {
    m.practice.options.hearItToo = true;
    ASSERT_TRUE(StartPracticePass(m));
    RunTo(At(600));
    std::vector<FakeSynthState::Scheduled> notes;
    for (const auto& s : synth->scheduled)
        if (s.message[0] == 1 && s.message[1] == 144) notes.push_back(s);
    // Notes 0 and 1, and note 2 (due at 1000 ms) is not handed over yet at 600 ms.
    ASSERT_EQ(notes.size(), 2u);
    EXPECT_EQ(notes[0].dueMicros, At(0) - 40'000) << "heard when the note is due";
    EXPECT_EQ(notes[1].dueMicros, At(500) - 40'000);
    EXPECT_EQ(notes[0].message[2], 60);
    EXPECT_LT(notes[0].message[3], 64) << "softly";
    const int cancelsBefore = synth->cancels;
    PracticeEscape(m);
    EXPECT_EQ(synth->cancels, cancelsBefore + 1) << "what was handed over and not heard yet is dropped";
}

TEST_F(PracticeSession, LoopTheWeakestBarPlaysItWithOneBarBeforeIt) {
    m.practice.options.loopWeakest = true;
    ASSERT_TRUE(StartPracticePass(m));
    const PracticeState& p = m.practice;
    // Bar 3 (notes 8 to 11) is left out, every other note is played on time.
    for (const practice::ExpectedNote& e : std::vector<practice::ExpectedNote>(p.expected)) {
        if (e.bar == 3) continue;
        RunTo(At(e.dueMs) + 3000);
        KeyDownAt(m, KeyOf(e.pitch), At(e.dueMs));
        RunTo(At(e.dueMs + 400));
        KeyUpAt(m, KeyOf(e.pitch), At(e.dueMs + 400));
    }
    RunTo(At(p.endMs) + 1000);
    ASSERT_TRUE(p.judged);
    ASSERT_TRUE(StartPracticePass(m));
    ASSERT_EQ(p.loopBar, 3);
    ASSERT_EQ(p.expected.size(), 8u);
    EXPECT_EQ(p.expected.front().idx, 4);
    EXPECT_EQ(p.expected.back().idx, 11);
    EXPECT_DOUBLE_EQ(p.expected.front().dueMs, 0) << "the loop's own clock starts at its first note";
    EXPECT_DOUBLE_EQ(p.clickMs.front(), -2000) << "one bar of count-in before bar 2";
    EXPECT_EQ(PracticeProgressText(m), "Count-in");
}

TEST_F(PracticeSession, TapAlongKeepsTheMedianOffsetForTheNextRun) {
    StartTapAlong(m);
    const PracticeState& p = m.practice;
    ASSERT_EQ(p.clickMs.size(), 8u);
    for (int i = 0; i < 8; ++i) {
        const double tap = p.clickMs[static_cast<std::size_t>(i)] + (i == 3 ? 60 : 25);
        RunTo(At(tap) + 15'000);
        ComputerKeyDownAt(m, 4, At(tap));
        ComputerKeyUpAt(m, 4, At(tap + 80));
    }
    RunTo(At(p.clickMs.back() + p.beatMs + 10));
    EXPECT_EQ(p.phase, PracticePhase::Idle);
    EXPECT_TRUE(p.offsetTapped);
    EXPECT_NEAR(p.offsetMs, 25, 0.01);

    // A new run reads it back, with the mode last chosen.
    SetPracticeMode(m, PracticeMode::WaitForMe);
    Main again;
    again.practice.historyPath = m.practice.historyPath;
    again.platform = &platform;
    EXPECT_FALSE(StartPracticePass(again)) << "nothing is on show in it";
    EXPECT_NEAR(again.practice.offsetMs, 25, 0.01);
    EXPECT_TRUE(again.practice.offsetTapped);
    EXPECT_EQ(again.practice.options.mode, PracticeMode::WaitForMe);
}

}  // namespace
}  // namespace tonemark
