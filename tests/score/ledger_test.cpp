#include "score/ledger.h"

#include <gtest/gtest.h>

#include <vector>

namespace tonemark {
namespace {

// The y of each ledger line drawn, after checking each is a black 16-px line from x0.
std::vector<int> LedgerYs(int noteY, int x0) {
    RecordingCanvas canvas(1000);
    TAGLI(canvas, noteY, x0);
    std::vector<int> ys;
    for (const LineOp& l : canvas.Lines()) {
        EXPECT_EQ(l.x1, x0);
        EXPECT_EQ(l.x2, x0 + 16);
        EXPECT_EQ(l.y1, l.y2);
        EXPECT_EQ(l.color, 0u);
        EXPECT_EQ(l.width, 1);
        ys.push_back(l.y1);
    }
    EXPECT_EQ(canvas.Texts().size(), 0u);
    return ys;
}

TEST(LedgerLines, MiddleCHasOneLineUnderTheStaff) {
    RecordingCanvas canvas(1000);
    TAGLI(canvas, 35, 27);
    ASSERT_EQ(canvas.Lines().size(), 1u);
    EXPECT_EQ(canvas.Lines()[0], (LineOp{27, 71, 43, 71, 0, 1}));
}

TEST(LedgerLines, FixedRowsAboveTheStaffInDrawingOrder) {
    EXPECT_EQ(LedgerYs(-29, 27), (std::vector<int>{8, 16, 23}));
    EXPECT_EQ(LedgerYs(-25, 27), (std::vector<int>{23, 16}));
    EXPECT_EQ(LedgerYs(-21, 59), (std::vector<int>{23, 16}));
    EXPECT_EQ(LedgerYs(-17, 27), (std::vector<int>{23}));
    EXPECT_EQ(LedgerYs(-13, 91), (std::vector<int>{24}));
}

TEST(LedgerLines, FixedRowsBelowTheStaff) {
    EXPECT_EQ(LedgerYs(35, 475), (std::vector<int>{71}));
    EXPECT_EQ(LedgerYs(39, 27), (std::vector<int>{72}));
    EXPECT_EQ(LedgerYs(43, 26), (std::vector<int>{73, 79}));
    EXPECT_EQ(LedgerYs(47, 27), (std::vector<int>{73, 79}));
    EXPECT_EQ(LedgerYs(51, 27), (std::vector<int>{73, 79, 87}));
}

TEST(LedgerLines, BelowF3TheLinesMoveWithTheNote) {
    EXPECT_EQ(LedgerYs(52, 27), (std::vector<int>{74, 80, 86}));
    EXPECT_EQ(LedgerYs(55, 27), (std::vector<int>{77, 83, 89}));
    EXPECT_EQ(LedgerYs(59, 27), (std::vector<int>{81, 87, 93}));
    EXPECT_EQ(LedgerYs(175, 27), (std::vector<int>{197, 203, 209}));
}

TEST(LedgerLines, NotesOnTheStaffOrAboveE6HaveNone) {
    for (int noteY : {-33, -121, -9, -5, -1, 3, 7, 11, 15, 19, 23, 27, 31, 36, 34, -28, -30, 0})
        EXPECT_TRUE(LedgerYs(noteY, 27).empty()) << "NoteY " << noteY;
}

}  // namespace
}  // namespace tonemark
