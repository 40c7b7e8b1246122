// The take score's own marks checked against rendered pixels: the end mark and
// the opening stroke on the staff, a rest on the staff, and the sharp and the
// natural clear of their note heads. Pixel rows are named like the staff lines.
#include <gtest/gtest.h>

#include "qt/qt_application.h"

#include <QImage>
#include <QRect>
#include <algorithm>
#include <string>
#include <vector>

#include "score/glyphs.h"
#include "score/qt/score_painter.h"
#include "score/take_score.h"

namespace tonemark {
namespace {

using testing::EnsureApplication;

constexpr int kWidth = 240;
constexpr QSize kPicture{kWidth, 100};

struct Ink {
    int left = 1 << 30, top = 1 << 30, right = -1, bottom = -1;
    double cy = 0;
    bool Empty() const { return right < 0; }
};

// Pixels at least a quarter dark, within `region` of the image.
Ink MeasureInk(const QImage& image, QRect region) {
    region = region.intersected(image.rect());
    Ink ink;
    double weight = 0;
    for (int y = region.top(); y <= region.bottom(); ++y) {
        for (int x = region.left(); x <= region.right(); ++x) {
            const int dark = 255 - qGray(image.pixel(x, y));
            if (dark < 64) continue;
            ink.left = std::min(ink.left, x);
            ink.right = std::max(ink.right, x);
            ink.top = std::min(ink.top, y);
            ink.bottom = std::max(ink.bottom, y);
            ink.cy += dark * y;
            weight += dark;
        }
    }
    if (weight > 0) ink.cy /= weight;
    return ink;
}

// Rendered a little wider than the picture, so that ink past its edge would show.
constexpr QSize kCanvas{kWidth + 24, 100};

Ink InkOf(const std::vector<DrawOp>& ops, QRect region = QRect(0, 0, kCanvas.width(), 100)) {
    return MeasureInk(RenderDisplayList(ops, kCanvas), region);
}

// A quarter rest's gap, then C sharp 5 and C 5: rest at 32, "#" before the
// note at 64, "n" before the note at 96.
Main EngravedTake() {
    Main m;
    m.PicScore.SetWidth(kWidth);
    m.state.DeviceReady = true;
    m.state.TimeSigNumerator = m.state.TimeSigDenominator = 4;
    m.state.NoteEvents = {NoteEvent{500, 192, 73, "REb - DO#", 384}, NoteEvent{1000, 384, 72, "DO", 576},
                          NoteEvent{}};
    PutInScore2(m);
    return m;
}

// The engraving's marks without its staff lines, so each mark's own ink shows.
std::vector<DrawOp> MarksOnly(const Main& m) {
    std::vector<DrawOp> marks;
    for (const DrawOp& op : m.PicScore.Ops())
        if (!(op.kind == DrawOp::Kind::Line && op.line.x1 == 0 && op.line.x2 == kWidth)) marks.push_back(op);
    return marks;
}

const DrawOp& TextAt(const Main& m, const std::string& text, int x) {
    for (const DrawOp& op : m.PicScore.Ops())
        if (op.kind == DrawOp::Kind::Text && op.text.text == text && op.text.x == x) return op;
    ADD_FAILURE() << "no '" << text << "' at x " << x;
    static const DrawOp none{};
    return none;
}

class TakeScoreRenderTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { EnsureApplication(); }
};

TEST_F(TakeScoreRenderTest, EndMarkAndOpeningStrokeSpanTheStaffInsideThePicture) {
    const Main m = EngravedTake();
    const std::vector<DrawOp> marks = MarksOnly(m);

    const Ink end = InkOf(marks, QRect(160, 0, kCanvas.width() - 160, 100));
    ASSERT_FALSE(end.Empty());
    EXPECT_EQ(end.top, 32);
    EXPECT_EQ(end.bottom, 64);
    EXPECT_GE(end.left, kWidth - 8);
    EXPECT_LE(end.right, kWidth - 1);  // wholly inside the picture

    const Ink stroke = InkOf(marks, QRect(0, 0, 6, 100));
    ASSERT_FALSE(stroke.Empty());
    EXPECT_EQ(stroke.left, 0);
    EXPECT_LE(stroke.right, 1);
    EXPECT_EQ(stroke.top, 32);
    EXPECT_EQ(stroke.bottom, 64);

    // The staff the marks close runs through the whole picture.
    const QImage full = RenderDisplayList(m.PicScore.Ops(), kPicture);
    for (int y : {32, 40, 48, 56, 64}) EXPECT_EQ(255 - qGray(full.pixel(kWidth - 12, y)), 255) << y;
}

TEST_F(TakeScoreRenderTest, RestAtY11StandsOnTheStaffInItsColumn) {
    const Main m = EngravedTake();
    const DrawOp& rest = TextAt(m, kQuarterRest, 32);
    EXPECT_EQ(rest.text.y, 11);
    const Ink ink = InkOf(MarksOnly(m), QRect(20, 0, 34, 100));  // up to the sharp at 56
    ASSERT_FALSE(ink.Empty());
    EXPECT_GT(ink.top, 32);
    EXPECT_LT(ink.bottom, 65);
    EXPECT_GE(ink.left, 32 - 3);
    EXPECT_LE(ink.right, 32 + 16);
}

TEST_F(TakeScoreRenderTest, SharpAndNaturalClearTheirNoteHead) {
    const Main m = EngravedTake();
    for (const auto& [sign, noteX] : {std::pair<std::string, int>{"#", 64}, {"n", 96}}) {
        SCOPED_TRACE(sign);
        const DrawOp& signOp = TextAt(m, sign, noteX - 8);
        const DrawOp& noteOp = TextAt(m, "q", noteX);
        const Ink signInk = InkOf({signOp});
        const Ink noteInk = InkOf({noteOp});
        ASSERT_FALSE(signInk.Empty());
        ASSERT_FALSE(noteInk.Empty());
        EXPECT_GE(noteInk.left - signInk.right, 2);
        // On the note's own place: the head of C 5 sits at row 44.
        EXPECT_NEAR((signInk.top + signInk.bottom) / 2.0, noteOp.text.y + 37, 1.5);
    }
}

}  // namespace
}  // namespace tonemark
