#include <gtest/gtest.h>

#include <algorithm>

#include "app/lifecycle.h"
#include "keyboard/keys.h"
#include "keyboard/metronome.h"
#include "keyboard/recorder.h"
#include "keyboard/tempo.h"
#include "sound/transport.h"
#include "support/fake_synth.h"
#include "theory/scales.h"

namespace tonemark {
namespace {

constexpr MonotonicMicros kMs = 1000;

// The window after start-up, with a recorder driven by the test's clock.
class Recorder : public testing::StartedProgram {
protected:
    // "Rec" at the current time; tick n is then due n ms later.
    void Rec() {
        Command2_Click(m);
        t0 = platform.now;
        synth->scheduled.clear();
        synth->midi.clear();
    }
    // Moves the clock to `ms` after "Rec" and runs the ticks due.
    void At(double ms) {
        platform.now = t0 + static_cast<MonotonicMicros>(ms * kMs);
        RunTimer3Until(m, platform.now);
    }
    // A press or release that happened at `ms` after "Rec", handled when the clock shows `handledMs`.
    void Press(int key, double ms, double handledMs = -1) {
        platform.now = t0 + static_cast<MonotonicMicros>(std::max(ms, handledMs) * kMs);
        KeyDownAt(m, key, t0 + static_cast<MonotonicMicros>(ms * kMs));
    }
    void Release(int key, double ms, double handledMs = -1) {
        platform.now = t0 + static_cast<MonotonicMicros>(std::max(ms, handledMs) * kMs);
        KeyUpAt(m, key, t0 + static_cast<MonotonicMicros>(ms * kMs));
    }
    // Due times of the clicks handed to the synthesiser, in ms after "Rec".
    std::vector<double> ClickTimes() const {
        std::vector<double> times;
        for (const auto& s : synth->scheduled)
            if (s.message == (std::array<int, 4>{9, 144, 33, 100})) times.push_back((s.dueMicros - t0) / 1000.0);
        return times;
    }
    int LitBeat() const {
        int lit = -1;
        for (int i = 0; i < 4; ++i)
            if (m.ui.Beat[i].backColor == kDarkRed) lit = lit == -1 ? i : 99;
        return lit;
    }

    MonotonicMicros t0 = 0;
};

TEST_F(Recorder, RecArmsTheClockAndSetsTheWindowUp) {
    Rec();
    EXPECT_TRUE(m.ui.Timer3.enabled);
    ASSERT_EQ(m.ui.List1.rows.size(), 16u);
    EXPECT_EQ(m.ui.List1.rows[15], "Recorded SMF");
    EXPECT_EQ(m.ui.Labella.caption, "Recorded SMF: Song 1");
    EXPECT_EQ(m.ui.List4.listIndex, 0);
    EXPECT_TRUE(m.ui.Command3.enabled);
    EXPECT_FALSE(m.ui.Command4.enabled);
    EXPECT_FALSE(m.ui.BtnPlay.enabled);
    EXPECT_EQ(m.ui.RecLed.backColor, kRed);
    EXPECT_TRUE(m.ui.List2.rows.empty());
    EXPECT_TRUE(m.ui.List3.rows.empty());
    EXPECT_FALSE(m.state.TakeStarted) << "armed, not recording";
}

TEST_F(Recorder, APressAndItsReleaseBecomeTwoRowsTimedAsTheLogCountsThem) {
    Rec();
    Press(0, 0.5);    // before the first tick: stored at index 0
    Release(0, 300.5);  // 300 ticks later: index 300
    At(400.5);
    EXPECT_EQ(m.state.RecTicks.size(), 400u);
    EXPECT_EQ(m.state.RecTicks[0], 128);
    EXPECT_EQ(m.state.RecTicks[300], -128);
    Command3_Click(m);
    // Every tick is a millisecond of the take, those with a key in them too.
    const std::vector<std::string> expected = {"0\t144\t60\t100\tNote ON", "300\t128\t60\t0\tNote OFF",
                                               "400\t176\t120\t0\tAll Sounds OFF", "400\t176\t123\t0\tAll Notes OFF"};
    EXPECT_EQ(m.ui.List3.rows, expected);
    EXPECT_EQ(m.ui.List1.listIndex, kTakeEntry);
    EXPECT_EQ(m.state.ScaleIndex, kTakeEntry);
    EXPECT_FALSE(m.state.TakeStarted);
    EXPECT_FALSE(m.ui.Timer3.enabled);
    EXPECT_TRUE(m.ui.Command2.enabled);
    EXPECT_TRUE(m.ui.Command4.enabled);
    EXPECT_TRUE(m.ui.BtnPlay.enabled);
    EXPECT_EQ(m.ui.RecLed.backColor, kLampGrey);
}

TEST_F(Recorder, NotesOfEveryKeyAreTheNotesTheKeysPlay) {
    Rec();
    Press(24, 10);
    Release(24, 20);
    Press(13, 30);
    Release(13, 40);
    At(50);
    const auto rows = RawTakeLog(m.state.RecTicks);
    ASSERT_EQ(rows.size(), 6u);
    EXPECT_EQ(rows[0].substr(rows[0].find('\t')), "\t144\t84\t100\tNote ON");
    EXPECT_EQ(rows[1].substr(rows[1].find('\t')), "\t128\t84\t0\tNote OFF");
    EXPECT_EQ(rows[2].substr(rows[2].find('\t')), "\t144\t73\t100\tNote ON");
}

TEST_F(Recorder, APressAndAReleaseInOneTickLeaveOnlyTheRelease) {
    Rec();
    Press(5, 10.1);
    At(12);
    Press(7, 20.2);
    Release(7, 20.6);
    At(25);
    EXPECT_EQ(m.state.RecTicks[10], 7 - 128);
    EXPECT_EQ(std::count(m.state.RecTicks.begin(), m.state.RecTicks.end(), 7 + 128), 0);
}

TEST_F(Recorder, MetronomeClicksOnEveryBeatAndLightsTheFirstLampEveryBar) {
    Rec();
    ASSERT_EQ(m.state.TicksPerBeat, 500);
    std::vector<int> firstLampAt;
    int litBefore = -1;
    for (int tick = 1; tick <= 4600; ++tick) {
        At(tick);
        if (LitBeat() == 0 && litBefore != 0) firstLampAt.push_back(tick);
        litBefore = LitBeat();
    }
    // The first tick after "Rec" is the metronome's tick 0.
    std::vector<double> expected;
    for (int beat = 0; beat * 500 + 1 <= 4600 + 100; ++beat) expected.push_back(beat * 500 + 1);
    EXPECT_EQ(ClickTimes(), expected) << "one click per beat, each at its tick's time, none twice";
    EXPECT_EQ(firstLampAt, (std::vector<int>{1, 2001, 4001}));
    At(1500);  // nothing: time does not go back
    At(4601);
    EXPECT_EQ(LitBeat(), 1);
    EXPECT_TRUE(synth->midi.empty()) << "clicks are never sent without their time";
}

TEST_F(Recorder, ClicksAreHandedOverAheadOfTheirBeatSoAStallDoesNotMoveThem) {
    Rec();
    At(1);
    std::size_t seen = synth->scheduled.size();
    for (double ms = 1; ms < 3000; ms += 20) {  // the event loop wakes every 20 ms
        At(ms);
        for (; seen < synth->scheduled.size(); ++seen)
            EXPECT_GT(synth->scheduled[seen].dueMicros, platform.now) << "handed over before it was due";
    }
    EXPECT_EQ(ClickTimes(), (std::vector<double>{1, 501, 1001, 1501, 2001, 2501, 3001}));
}

TEST_F(Recorder, ANewTempoWithdrawsTheClicksHandedOverAtTheOldOne) {
    Rec();
    At(950);
    ASSERT_EQ(ClickTimes().back(), 1001);
    m.ui.SpeedValue.value = 60;
    SpeedValue_Change(m);
    const int cancelsBefore = synth->cancels;
    synth->scheduled.clear();
    At(951);
    EXPECT_GT(synth->cancels, cancelsBefore);
    for (double ms = 951; ms <= 3100; ms += 10) At(ms);
    // The beat counter goes on counting; at 1000 per beat it clicks when it
    // reaches 1000, 2000 and 3000, at ticks 1001, 2001 and 3001.
    EXPECT_EQ(ClickTimes(), (std::vector<double>{1001, 2001, 3001}));
}

TEST_F(Recorder, StopsByItselfAfterTheLastTickOfTheLimit) {
    Rec();
    Press(0, 0.5);
    Release(0, 100.5);
    At(30000);
    EXPECT_TRUE(m.ui.Timer3.enabled);
    At(30001);
    EXPECT_FALSE(m.ui.Timer3.enabled);
    EXPECT_EQ(m.state.RecTicks.size(), 30001u);
    EXPECT_EQ(m.ui.List3.rows.size(), 4u);
    EXPECT_EQ(m.state.ScaleIndex, kTakeEntry);
}

TEST_F(Recorder, StopWithoutAKeyWritesNothingAndKeepsTheScale) {
    Rec();
    At(800);
    Command3_Click(m);
    EXPECT_TRUE(m.ui.List3.rows.empty());
    EXPECT_EQ(m.ui.List1.listIndex, 0);
    EXPECT_EQ(m.state.ScaleIndex, 0);
    for (const Control& lamp : m.ui.Beat) EXPECT_EQ(lamp.backColor, kBeatGrey);
    EXPECT_EQ(synth->cancels, 2) << "Rec and Stop both withdraw clicks not yet heard";
}

TEST_F(Recorder, AKeyPlayedBeforeRecStartsTheTakeAtTheFirstTick) {
    key_MouseDown(m, 4);
    key_MouseUp(m, 4);
    Rec();
    At(1);
    ASSERT_EQ(m.state.RecTicks.size(), 1u);
    EXPECT_EQ(m.state.RecTicks[0], 4 - 128);
}

TEST_F(Recorder, ASecondRecDoesNotCarryTheFirstTakesOpeningPress) {
    Rec();
    Press(9, 0.5);
    Release(9, 50.5);
    At(100);
    Rec();  // "Rec" again while recording: a new take
    At(200);
    Command3_Click(m);
    ASSERT_EQ(m.ui.List3.rows.size(), 2u) << "no key was played in the second take";
}

TEST_F(Recorder, StopAtTheEndOfASongDoesNotTurnKeysPlayedAlongIntoATake) {
    BtnPlay_Click(m);
    key_MouseDown(m, 2);
    key_MouseUp(m, 2);
    synth->position = synth->length;
    Timer1_Timer(m);  // the song ends: the follower runs the recorder's Stop
    EXPECT_FALSE(m.state.FilePlaying);
    EXPECT_EQ(m.state.ScaleIndex, 0);
    EXPECT_EQ(m.ui.Labella.caption, "Scala maggiore: DO");
    EXPECT_FALSE(m.state.TakeStarted);
}

TEST_F(Recorder, APressHandledLateLandsOnTheTickOfItsOwnTime) {
    Rec();
    Press(0, 0.5);
    At(100);
    // The event loop was busy from 100 ms to 160 ms; the release happened at 120.3.
    Release(0, 120.3, 160);
    At(200);
    EXPECT_EQ(m.state.RecTicks[120], -128);
    EXPECT_EQ(m.state.RecTickCount, 200);
}

TEST_F(Recorder, AnEventHandledAfterLaterTicksRanStillLandsOnItsOwnTick) {
    Rec();
    At(50);
    // The event loop ran the timer's ticks up to 90 ms before it handed over
    // a press that happened at 60.4 ms: the take starts at that press.
    At(90);
    Press(6, 60.4, 90);
    Release(6, 70.2, 95);  // and a release whose tick ran too
    At(100);
    ASSERT_EQ(m.state.RecTicks.size(), 40u);
    EXPECT_EQ(m.state.RecTicks[0], 6 + 128);
    EXPECT_EQ(m.state.RecTicks[10], 6 - 128);
    EXPECT_EQ(std::count_if(m.state.RecTicks.begin(), m.state.RecTicks.end(), [](int v) { return v != 0; }), 2);
    EXPECT_EQ(m.state.RecTickCount, 40);
    // A late press in a take that is already recording.
    At(130);
    Press(6, 100.5, 130);
    EXPECT_EQ(m.state.RecTicks[40], 6 + 128);
}

TEST_F(Recorder, TicksMissedByABusyEventLoopAllRunButClicksLongPastAreSkipped) {
    Rec();
    Press(3, 0.5);
    At(7000);  // seven seconds without a wake-up
    EXPECT_EQ(m.state.RecTickCount, 7000);
    EXPECT_EQ(m.Timer3Clock.Done(), 7000);
    EXPECT_EQ(m.state.RecTicks[0], 3 + 128);
    // A burst of clicks after the stall would be no beat at all: the clicks
    // long past are dropped, the next one is handed over ahead of its beat.
    EXPECT_EQ(ClickTimes(), (std::vector<double>{7001}));
}

TEST_F(Recorder, ARowClickSoundsItsMessageUnlessASongPlays) {
    m.ui.List2.listIndex = 0;  // "0 144 60 100 Note ON"
    synth->midi.clear();
    List2_MouseDown(m);
    EXPECT_EQ(synth->midi, (std::vector<std::array<int, 4>>{{0, 144, 60, 100}}));
    BtnPlay_Click(m);
    synth->midi.clear();
    List2_MouseDown(m);
    EXPECT_TRUE(std::none_of(synth->midi.begin(), synth->midi.end(),
                             [](const auto& msg) { return msg[1] == 144 && msg[2] == 60; }));
}

TEST_F(Recorder, ARowClickWithoutASelectionOrWithShortRowsSendsNothing) {
    synth->midi.clear();
    m.ui.List2.listIndex = -1;
    List2_MouseDown(m);
    m.ui.List2.rows = {"0\t144\t60"};
    m.ui.List2.listIndex = 0;
    List2_MouseDown(m);
    m.ui.List2.rows = {"0\tabc\t60\t100\tx"};
    List2_MouseDown(m);
    EXPECT_TRUE(synth->midi.empty());
}

TEST_F(Recorder, PlayOfTheRecorderPlaysTheLoadedSongAndLightsGreen) {
    Command4_Click(m);
    EXPECT_TRUE(m.state.FilePlaying);
    EXPECT_FALSE(m.state.TakeStarted);
    EXPECT_FALSE(m.ui.Command2.enabled);
    EXPECT_FALSE(m.ui.Command3.enabled);
    EXPECT_EQ(m.ui.RecLed.backColor, kGreen);
    BtnStop_Click(m);
    EXPECT_TRUE(m.ui.Command2.enabled);
    EXPECT_EQ(m.ui.RecLed.backColor, kGreen) << "the transport's Stop leaves the lamp as it is";
}

TEST(BeatLogic, ActsOnTheFirstRuleThatHolds) {
    EXPECT_TRUE(BeatActionAt(0, 500).click);
    EXPECT_EQ(BeatActionAt(0, 500).light, 0);
    EXPECT_EQ(BeatActionAt(500, 500).grey, 0);
    EXPECT_EQ(BeatActionAt(1500, 500).light, 3);
    EXPECT_TRUE(BeatActionAt(2000, 500).restart);
    EXPECT_FALSE(BeatActionAt(1999, 500).click);
    // Before any song set the tempo only the very first tick clicks.
    EXPECT_TRUE(BeatActionAt(0, 0).click);
    EXPECT_FALSE(BeatActionAt(1, 0).click);
}

}  // namespace
}  // namespace tonemark
