// The review of a judged pass drawn over a real engraving of "Scala minore
// armonica" in C (three flats; the raised B shows its natural).
#include "score/review.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "score/glyph_table.h"
#include "score/glyphs.h"
#include "support/music_songs.h"

namespace tonemark {
namespace {

using practice::Verdict;

class ReviewTest : public testing::StartedProgram {};

std::vector<const DrawOp*> OpsOf(const RecordingCanvas& score, int note) {
    std::vector<const DrawOp*> out;
    for (const DrawOp& op : score.Ops())
        if (op.note == note) out.push_back(&op);
    return out;
}

const DrawOp* HeadOf(const RecordingCanvas& score, int note) {
    for (const DrawOp* op : OpsOf(score, note))
        if (op->kind == DrawOp::Kind::Text && op->text.text == "q") return op;
    return nullptr;
}

const TextOp* OverlayText(const RecordingCanvas& score, const std::string& text, int fromX, int toX) {
    for (const DrawOp* op : OpsOf(score, kOverlayNote))
        if (op->kind == DrawOp::Kind::Text && op->text.text == text && op->text.x >= fromX && op->text.x <= toX)
            return &op->text;
    return nullptr;
}

TEST_F(ReviewTest, HeadsColouredFiguresAboveAndTheWrongPitchBeside) {
    testing::ShowHarmonicMinorInC(m, 192);
    const MusicModel& music = m.music;
    ASSERT_EQ(music.notes.size(), 15u);
    const std::vector<practice::ExpectedNote> expected = practice::ExpectedFromModel(music, 1.0, 0, 14);
    std::vector<practice::PlayedNote> played;
    for (const practice::ExpectedNote& e : expected) {
        if (e.idx == 5) continue;  // A flat left out
        int pitch = e.pitch;
        if (e.idx == 2) pitch = 64;  // E natural for E flat
        if (e.idx == 6) pitch = 70;  // B flat for the raised B
        const double error = e.idx == 2 ? 23 : e.idx == 3 ? -30 : 0;
        played.push_back({pitch, e.dueMs + error, e.dueMs + error + 450, 80});
    }
    const practice::PassJudgement judged = practice::JudgePass(expected, played, 0);
    ASSERT_EQ(judged.notes[2].verdict, Verdict::Wrong);
    ASSERT_EQ(judged.notes[3].verdict, Verdict::Early);

    const std::size_t engraved = m.PicScore.Ops().size();
    DrawPracticeReview(m.PicScore, music, judged);
    DrawPracticeReview(m.PicScore, music, judged);  // a second time takes the first off
    const RecordingCanvas& score = m.PicScore;

    EXPECT_EQ(HeadOf(score, 0)->text.color, kReviewOnTime);
    EXPECT_EQ(HeadOf(score, 2)->text.color, kReviewWrong);
    EXPECT_EQ(HeadOf(score, 3)->text.color, kReviewOffTime);
    EXPECT_EQ(HeadOf(score, 5)->text.color, kReviewMissed);
    // The natural of the raised B and the ledger lines keep their black.
    for (const DrawOp* op : OpsOf(score, 6)) {
        if (op->kind == DrawOp::Kind::Line) {
            EXPECT_EQ(op->line.color, 0u);
        } else if (op->text.text == "n") {
            EXPECT_EQ(op->text.color, 0u);
        }
    }

    // Note 2: "+23" above it, in its column; E natural beside it, grey, on
    // the bottom line (row 64, its centre 64.5) with the natural the three
    // flats need.
    const int x2 = music.notes[2].x;
    const TextOp* figures = OverlayText(score, "+23", x2 - 12, x2 + 4);
    ASSERT_NE(figures, nullptr);
    EXPECT_LT(figures->y + 11, 32) << "above the staff";
    EXPECT_EQ(figures->color, kReviewWrong);
    const TextOp* played2 = OverlayText(score, kBareHead, x2 + 1, x2 + 24);
    ASSERT_NE(played2, nullptr);
    auto centreY = [](const TextOp& t) { return (InkBounds(t)->top + InkBounds(t)->bottom) / 2; };
    EXPECT_NEAR(centreY(*played2), 64.5, 0.5);
    EXPECT_GT(InkBounds(*played2)->left, InkBounds(HeadOf(score, 2)->text)->right) << "clear of the note and its stem";
    EXPECT_EQ(played2->color, kReviewPlayed);
    const TextOp* natural = OverlayText(score, "n", x2 + 1, played2->x - 1);
    ASSERT_NE(natural, nullptr);
    EXPECT_NEAR(centreY(*natural), 64.5, 0.5);
    EXPECT_EQ(natural->color, kReviewPlayed);
    ASSERT_NE(OverlayText(score, "\xE2\x88\x92" "30", music.notes[3].x - 12, music.notes[3].x + 4), nullptr);

    // Note 6: B flat is in the key, so it stands on the middle line with no sign.
    const int x6 = music.notes[6].x;
    const TextOp* played6 = OverlayText(score, kBareHead, x6 + 1, x6 + 24);
    ASSERT_NE(played6, nullptr);
    EXPECT_NEAR(centreY(*played6), 48.5, 0.5);
    EXPECT_EQ(OverlayText(score, "b", x6 + 1, x6 + 24), nullptr);
    EXPECT_EQ(OverlayText(score, "n", x6 + 1, x6 + 24), nullptr);

    // Fourteen figures (every note but the missed one) and two played heads,
    // one with its sign: drawn once, however often the review is drawn.
    EXPECT_EQ(score.Ops().size(), engraved + 14 + 3);
    EXPECT_EQ(NoteReviewText(judged.notes[2], music.fifths), "Note 3, Eb4: wrong, played E4 +23 ms, held 90 %, velocity 80");
    EXPECT_EQ(NoteReviewText(judged.notes[5], music.fifths), "Note 6, Ab4: missed");

    ClearPracticeReview(m.PicScore);
    EXPECT_EQ(score.Ops().size(), engraved);
    EXPECT_EQ(HeadOf(score, 2)->text.color, 0u);
}

}  // namespace
}  // namespace tonemark
