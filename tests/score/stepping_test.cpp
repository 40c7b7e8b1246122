#include <gtest/gtest.h>

#include "app/lifecycle.h"
#include "score/stepping.h"
#include "sound/transport.h"
#include "support/fake_synth.h"
#include "theory/scales.h"

namespace tonemark {
namespace {

class Stepping : public testing::StartedProgram {
protected:
    void SetUp() override {
        StartedProgram::SetUp();
        synth->midi.clear();
    }
    void Right() { PicScore_KeyDown(m, kKeyRightArrow, 0); }
    void Left() { PicScore_KeyDown(m, kKeyLeftArrow, 0); }
    int LitKey() const {
        int lit = -1;
        for (std::size_t i = 0; i < m.ui.key.size(); ++i)
            if (m.ui.key[i].backColor == kDarkRed) lit = lit == -1 ? static_cast<int>(i) : 99;
        return lit;
    }
    std::vector<int> LitKeys() const {
        std::vector<int> lit;
        for (std::size_t i = 0; i < m.ui.key.size(); ++i)
            if (m.ui.key[i].backColor == kDarkRed) lit.push_back(static_cast<int>(i));
        return lit;
    }
    std::vector<int> NotesSounded() const {
        std::vector<int> notes;
        for (const auto& msg : synth->midi)
            if (msg[0] == 0 && msg[1] == 144) notes.push_back(msg[2]);
        return notes;
    }
    // A take on show whose notes stand at `xs`, with `notes` as note numbers.
    void ShowTake(const std::vector<int>& xs, std::vector<int> notes = {}) {
        if (notes.empty()) notes.assign(xs.size(), 64);
        MainState& s = m.state;
        s.NoteEvents.assign(xs.size() + 1, NoteEvent{});
        s.NotePositions.assign(xs.size(), NoteEvent{});
        s.GoodTrack.assign(xs.size() + 1, TrackNote{});
        for (std::size_t i = 0; i < xs.size(); ++i) {
            s.NoteEvents[i].NoteNumber = static_cast<std::int16_t>(notes[i]);
            s.NoteEvents[i].NoteName = PitchNames[static_cast<std::size_t>(notes[i] % 12)];
            s.NotePositions[i].StartTick = xs[i];
            s.GoodTrack[i].RestCount = static_cast<std::int16_t>(xs[i] / 32 - 1 - static_cast<int>(i));
        }
        s.ScaleIndex = kTakeEntry;
        m.ui.List1.listIndex = kTakeEntry;
        m.ui.Labella.caption = "Recorded SMF: Song 1";
        m.ui.List2.rows.assign(2 * xs.size() + 2, "0\t144\t64\t100\tNote ON");
    }
};

TEST_F(Stepping, ArrowsWalkTheScaleAndStopAtBothEnds) {
    const std::vector<int> cMajor = {60, 62, 64, 65, 67, 69, 71, 72, 71, 69, 67, 65, 64, 62, 60};
    Left();  // from note 0: note 0 again
    for (int i = 1; i < 15; ++i) {
        Right();
        EXPECT_EQ(m.state.SelectedNote, i);
        EXPECT_EQ(m.state.FollowIndex, i);
        EXPECT_EQ(m.ui.Line1.x1, 32 * (i + 1));
        EXPECT_EQ(m.ui.Line1.x2, 32 * (i + 1));
        EXPECT_EQ(m.ui.LabNote.rect.left, 32 * (i + 1));
        EXPECT_EQ(m.ui.List2.listIndex, 2 * i);
        EXPECT_EQ(m.ui.LabNote.caption, m.state.NoteEvents[static_cast<std::size_t>(i)].NoteName);
    }
    Right();  // past the end: the last note again
    EXPECT_EQ(m.state.SelectedNote, 14);
    std::vector<int> expected = {60};
    expected.insert(expected.end(), cMajor.begin() + 1, cMajor.end());
    expected.push_back(60);
    EXPECT_EQ(NotesSounded(), expected);
    EXPECT_EQ(LitKey(), 0);
    EXPECT_TRUE(m.ui.Timer2.enabled);
    EXPECT_EQ(m.ui.PicScore.rect.left, 86) << "a scale never scrolls";
}

TEST_F(Stepping, TriadsStepByChordAndSelectTheChordsFirstRow) {
    m.ui.List1.listIndex = kTriadsEntry;
    List1_Click(m);
    synth->midi.clear();
    m.state.SelectedNote = 0;
    Left();
    EXPECT_EQ(NotesSounded(), (std::vector<int>{60, 64, 67}));
    EXPECT_EQ(LitKeys(), (std::vector<int>{0, 4, 7}));
    EXPECT_EQ(m.ui.List2.listIndex, 2) << "chord 0 selects row 2";
    EXPECT_EQ(m.ui.LabNote.caption, "DO mag.");
    Right();
    EXPECT_EQ(m.ui.List2.listIndex, 6);
    EXPECT_EQ(m.ui.LabNote.caption, "RE min.");
    EXPECT_EQ(m.ui.Line1.x1, 64);
    for (int i = 0; i < 20; ++i) Right();
    EXPECT_EQ(m.state.SelectedNote, 14) << "the last chord";
    EXPECT_EQ(m.ui.List2.listIndex, 84);
    synth->midi.clear();
    Right();
    EXPECT_EQ(NotesSounded(), (std::vector<int>{60, 64, 67}));
}

TEST_F(Stepping, OtherKeysAndAnUnloadedSongDoNothing) {
    m.state.SelectedNote = 3;
    m.state.FollowIndex = 2;
    PicScore_KeyDown(m, 38, 0);  // up arrow
    PicScore_KeyDown(m, 65, 0);
    EXPECT_EQ(m.state.SelectedNote, 3);
    EXPECT_EQ(m.state.FollowIndex, 2);
    EXPECT_TRUE(synth->midi.empty());
    CloseDevice(m);
    Right();
    EXPECT_EQ(m.state.SelectedNote, 3);
}

TEST_F(Stepping, ATakeNoteStandsWhereItIsDrawnAndTheScoreSlidesToIt) {
    // A rest before note 0 and before note 3.
    ShowTake({64, 96, 128, 192, 224});
    m.state.SelectedNote = 1;
    m.state.FollowIndex = 1;
    Left();
    EXPECT_EQ(m.ui.Line1.x1, 64);
    // Stepping from note 1 (x 96, 96 mod 576 = 96) slides the score.
    m.state.FollowIndex = 1;
    m.state.SelectedNote = 2;
    Right();
    EXPECT_EQ(m.ui.Line1.x1, 192);
    EXPECT_EQ(m.ui.PicScore.rect.left, 86 - 32 * (3 + 2)) << "note 3, after two rests, drawn 118 px into the view";
}

TEST_F(Stepping, TheScoreStaysWhenTheNoteSteppedFromIsAtAPageEdge) {
    ShowTake({64, 96, 512, 544, 576});
    m.ui.PicScore.rect.left = 86;
    m.state.FollowIndex = 0;  // x 64
    m.state.SelectedNote = 0;
    Right();
    EXPECT_EQ(m.ui.PicScore.rect.left, 86);
    m.state.FollowIndex = 2;  // x 512
    m.state.SelectedNote = 2;
    Right();
    EXPECT_EQ(m.ui.PicScore.rect.left, 86);
    // Following ran past the last note: the test uses the last note's x (576 mod 576 = 0).
    m.state.FollowIndex = 5;
    m.state.SelectedNote = 1;
    Right();
    EXPECT_EQ(m.ui.PicScore.rect.left, 86);
}

TEST_F(Stepping, NotesLightTheirKeysOrNone) {
    ShowTake({32, 64, 96, 128}, {84, 96, 59, 97});
    m.state.SelectedNote = 1;
    Left();
    EXPECT_EQ(LitKey(), 12);
    Right();
    EXPECT_EQ(LitKey(), 24);
    Right();
    EXPECT_EQ(LitKey(), -1);
    Right();
    EXPECT_EQ(LitKey(), -1);
    EXPECT_EQ(NotesSounded(), (std::vector<int>{84, 96, 59, 97}));
}

TEST_F(Stepping, AnEventListTooShortSelectsNoRow) {
    m.ui.List2.rows.resize(5);
    m.state.SelectedNote = 2;
    Right();
    EXPECT_EQ(m.state.SelectedNote, 3);
    EXPECT_EQ(m.ui.List2.listIndex, -1);
}

TEST_F(Stepping, AClickPresentsTheNoteOfItsColumn) {
    // Five notes.
    m.state.NoteEvents.resize(6);
    m.state.NoteEvents[5] = NoteEvent{};
    m.state.NotePositions.resize(5);
    m.ui.List2.listIndex = 7;
    PicScore_MouseDown(m, 1, 0, 40, 50);
    EXPECT_EQ(m.state.SelectedNote, 0);
    EXPECT_EQ(m.ui.Line1.x1, 32);
    PicScore_MouseDown(m, 2, 0, 191, 120);  // right button
    EXPECT_EQ(m.state.SelectedNote, 4);
    EXPECT_EQ(m.ui.Line1.x1, 160);
    EXPECT_EQ(m.ui.LabNote.caption, m.state.NoteEvents[4].NoteName);
    EXPECT_EQ(LitKey(), 7);
    PicScore_MouseDown(m, 1, 1, 192, 0);  // shift
    EXPECT_EQ(m.state.SelectedNote, 5) << "past the last note: nothing, but the column is kept";
    EXPECT_EQ(NotesSounded(), (std::vector<int>{60, 67}));
    Right();
    EXPECT_EQ(m.state.SelectedNote, 4);
    PicScore_MouseDown(m, 1, 0, 10, 0);
    EXPECT_EQ(m.state.SelectedNote, -1);
    Right();
    EXPECT_EQ(m.state.SelectedNote, 0);
    EXPECT_EQ(m.ui.List2.listIndex, 0) << "the step selects its row";
}

TEST_F(Stepping, AClickLeavesFollowingTheEventListAndTheScrollAlone) {
    ShowTake({32, 96, 128});
    BtnPlay_Click(m);
    m.state.FollowIndex = 2;
    m.ui.List2.listIndex = 3;
    m.ui.PicScore.rect.left = -100;
    PicScore_MouseDown(m, 1, 0, 100, 0);
    EXPECT_EQ(m.state.SelectedNote, 1);
    EXPECT_EQ(m.state.FollowIndex, 2);
    EXPECT_EQ(m.ui.List2.listIndex, 3);
    EXPECT_EQ(m.ui.PicScore.rect.left, -100);
}

TEST_F(Stepping, AClickOnATakePresentsTheNoteDrawnThereNotTheNextOne) {
    ShowTake({64, 96, 160}, {60, 62, 64});  // rests before notes 0 and 2
    PicScore_MouseDown(m, 1, 0, 70, 0);  // on note 0's glyph
    EXPECT_EQ(m.state.SelectedNote, 0);
    EXPECT_EQ(NotesSounded(), (std::vector<int>{60}));
    EXPECT_EQ(m.ui.Line1.x1, 64);
    // A rest column presents nothing; Right then goes to the note after the rest.
    synth->midi.clear();
    PicScore_MouseDown(m, 1, 0, 130, 0);
    EXPECT_TRUE(synth->midi.empty());
    EXPECT_EQ(m.state.SelectedNote, 1);
    Right();
    EXPECT_EQ(NotesSounded(), (std::vector<int>{64}));
    PicScore_MouseDown(m, 1, 0, 40, 0);  // the rest before note 0
    EXPECT_EQ(m.state.SelectedNote, -1);
    Right();
    EXPECT_EQ(m.state.SelectedNote, 0);
}

TEST_F(Stepping, AClickedChordSoundsTogetherAndShowsItsName) {
    m.ui.List1.listIndex = kTriadsEntry;
    List1_Click(m);
    synth->midi.clear();
    PicScore_MouseDown(m, 1, 0, 100, 0);  // column 2: the chord on E
    EXPECT_EQ(NotesSounded(), (std::vector<int>{64, 67, 71}));
    EXPECT_EQ(LitKeys(), (std::vector<int>{4, 7, 11}));
    EXPECT_EQ(m.ui.LabNote.caption, "MI min.");
    EXPECT_EQ(m.ui.Line1.x1, 96);
    EXPECT_TRUE(m.ui.Timer2.enabled);
}

TEST_F(Stepping, ATriadsColumnWithoutAWholeChordPresentsNothing) {
    m.ui.List1.listIndex = kTriadsEntry;
    List1_Click(m);
    m.state.NoteEvents.resize(45);  // the last chord loses its fifth
    m.state.NoteEvents.back() = NoteEvent{};
    synth->midi.clear();
    PicScore_MouseDown(m, 1, 0, 32 * 15 + 5, 0);  // column 14
    EXPECT_TRUE(synth->midi.empty());
    m.state.SelectedNote = 14;
    PicScore_KeyDown(m, kKeyLeftArrow, 0);  // chord 13 is whole
    EXPECT_EQ(NotesSounded(), (std::vector<int>{62, 65, 69}));
}

TEST_F(Stepping, WithoutALoadedSongAClickOnlyKeepsItsColumn) {
    CloseDevice(m);
    PicScore_MouseDown(m, 1, 0, 130, 0);
    EXPECT_EQ(m.state.SelectedNote, 3);
    EXPECT_TRUE(synth->midi.empty());
}

}  // namespace
}  // namespace tonemark
