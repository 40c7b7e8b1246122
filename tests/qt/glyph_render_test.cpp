// The glyph table checked against rendered pixels: every symbol the engravers
// print must land on its staff place, and symbols printed side by side must not
// touch. Pixel rows are named like the staff lines: the line at y is row y.
#include <gtest/gtest.h>

#include "qt/qt_application.h"

#include <QApplication>
#include <QImage>
#include <QRect>
#include <cmath>
#include <string>
#include <vector>

#include "app/controls.h"
#include "score/glyph_table.h"
#include "score/qt/score_painter.h"

namespace tonemark {
namespace {

using testing::EnsureApplication;

DrawOp Text(int x, int y, const std::string& text, double points, const std::string& font = "Keep") {
    DrawOp op{DrawOp::Kind::Text, {}, {x, y, text, font, points}};
    return op;
}

DrawOp Line(int x1, int y1, int x2, int y2, std::uint32_t color, int width = 1) {
    return {DrawOp::Kind::Line, {x1, y1, x2, y2, color, width}, {}};
}

// Dark pixels of an image (darkness 255 - grey at least `threshold`), their
// bounding box and darkness-weighted centroid, optionally within a region.
struct Ink {
    int left = 1 << 30, top = 1 << 30, right = -1, bottom = -1;
    double cx = 0, cy = 0;
    bool Empty() const { return right < 0; }
    bool Overlaps(const Ink& o) const {
        return !Empty() && !o.Empty() && left <= o.right && o.left <= right && top <= o.bottom && o.top <= bottom;
    }
};

constexpr int kInkThreshold = 64;  // a quarter of full black

Ink MeasureInk(const QImage& image, QRect region = {}, int threshold = kInkThreshold) {
    if (region.isNull()) region = image.rect();
    region = region.intersected(image.rect());
    Ink ink;
    double weight = 0;
    for (int y = region.top(); y <= region.bottom(); ++y) {
        for (int x = region.left(); x <= region.right(); ++x) {
            const int dark = 255 - qGray(image.pixel(x, y));
            if (dark < threshold) continue;
            ink.left = std::min(ink.left, x);
            ink.right = std::max(ink.right, x);
            ink.top = std::min(ink.top, y);
            ink.bottom = std::max(ink.bottom, y);
            ink.cx += dark * x;
            ink.cy += dark * y;
            weight += dark;
        }
    }
    if (weight > 0) {
        ink.cx /= weight;
        ink.cy /= weight;
    }
    return ink;
}

constexpr QSize kScoreSize{240, 100};
constexpr QSize kHeaderSize{92, 90};

Ink InkOf(const DrawOp& op, QSize size = kScoreSize, QRect region = {}) {
    return MeasureInk(RenderDisplayList({op}, size), region);
}

class GlyphRenderTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { EnsureApplication(); }
};

// --- what the table gives, before any pixel --------------------------------

TEST(GlyphLayout, RestCharactersArriveAsUtf8OrAsSingleBytes) {
    EXPECT_EQ(LayoutText({0, 11, "Å", "Keep", 16}).at(0).codePoint, 0xE4E7u);  // sixteenth rest
    EXPECT_EQ(LayoutText({0, 11, "ä", "Keep", 16}).at(0).codePoint, 0xE4E6u);  // eighth rest
    EXPECT_EQ(LayoutText({0, 11, "Î", "Keep", 16}).at(0).codePoint, 0xE4E5u);  // quarter rest
    EXPECT_EQ(LayoutText({0, 11, "à", "Keep", 16}).at(0).codePoint, 0xE4E3u);  // whole rest
    EXPECT_EQ(LayoutText({0, 11, "\xC5", "Keep", 16}).at(0).codePoint, 0xE4E7u);
    EXPECT_EQ(LayoutText({0, 11, "-.", "Keep", 16}).size(), 2u);
}

TEST(GlyphLayout, BlanksOnlyMoveThePenAndUnknownTextDrawsNothing) {
    const auto four = LayoutText({20, -1, " 4 ", "Keep", 18});
    ASSERT_EQ(four.size(), 1u);
    EXPECT_NEAR(four[0].x, 20 + 12.5, 1e-9);
    const auto twelve = LayoutText({20, -1, " 12 ", "Keep", 18});
    ASSERT_EQ(twelve.size(), 2u);
    EXPECT_GT(twelve[1].x, twelve[0].x + 8);
    EXPECT_TRUE(LayoutText({0, 0, "", "Keep", 16}).empty());
    EXPECT_TRUE(LayoutText({0, 0, "q", "Arial", 16}).empty());
    EXPECT_FALSE(InkBounds({0, 0, "   ", "Keep", 16}).has_value());
}

// --- rendered ---------------------------------------------------------------

// Each character's metadata box must match its rendered ink: a wrong code
// point or a glyph missing from the font shows here.
TEST_F(GlyphRenderTest, EveryCharacterRendersWhereItsMetadataBoxSays) {
    const std::vector<DrawOp> ops = {
        Text(40, 27, "x", 16), Text(40, 27, "e", 16), Text(40, 27, "q", 16),  Text(40, 27, "h", 16),
        Text(40, 27, "y", 16), Text(40, 11, "Å", 16), Text(40, 11, "ä", 16),  Text(40, 11, "Î", 16),
        Text(40, 11, "-", 16), Text(40, 11, "à", 16), Text(40, 19, "#", 16),  Text(40, 19, "b", 16),
        Text(40, 19, "n", 16), Text(10, 12, "&", 18), Text(40, 32, "|", 16),  Text(40, 33, "\\", 16),
        Text(40, -1, "0123456789", 18), Text(40, -30, "0123456789", 16), Text(20, 40, "u", 20, "MusicalSymbols")};
    for (const DrawOp& op : ops) {
        SCOPED_TRACE(op.text.text + " at " + std::to_string(op.text.points) + " pt");
        const Ink ink = InkOf(op, kScoreSize);
        const auto box = InkBounds(op.text);
        ASSERT_TRUE(box.has_value());
        ASSERT_FALSE(ink.Empty());
        EXPECT_NEAR(ink.left, box->left, 1.0);
        EXPECT_NEAR(ink.right + 1, box->right, 1.0);
        EXPECT_NEAR(ink.top, box->top, 1.0);
        EXPECT_NEAR(ink.bottom + 1, box->bottom, 1.0);
    }
}

// Heads 37 px below the origin: E4 (origin 27) on the bottom line 64, F5
// (origin -5) on the top line 32, F4 (23) in the space 60. The head is measured
// in the columns left of the stem; its ink rows lie symmetrically round the
// row of its line (half a pixel below the mathematical 37 px, as the line).
TEST_F(GlyphRenderTest, NoteHeadsCentreOnTheirStaffPlace) {
    for (const char* glyph : {"x", "e", "q", "h", "y", "h."}) {
        for (int originY : {27, 23, -5}) {
            SCOPED_TRACE(std::string(glyph) + " at y " + std::to_string(originY));
            const Ink head = InkOf(Text(32, originY, glyph, 16), kScoreSize, QRect(30, 0, 10, 100));
            EXPECT_NEAR((head.top + head.bottom) / 2.0, originY + 37, 0.5);
            EXPECT_NEAR(head.cy, originY + 37, 1.0);
        }
    }
}

// A ledger line runs from 5 px left of the note origin to 11 px right of it;
// the head belongs under it.
TEST_F(GlyphRenderTest, NoteHeadsLieUnderTheirLedgerLine) {
    for (const char* glyph : {"x", "e", "q", "h"}) {
        SCOPED_TRACE(glyph);
        const Ink head = InkOf(Text(32, 35, glyph, 16), kScoreSize, QRect(0, 71, 240, 6));  // rows below the flags
        EXPECT_GE(head.left, 32 - 5);
        EXPECT_LE(head.right, 32 + 11);
        EXPECT_NEAR((head.left + head.right) / 2.0, 32 + 3.5, 1.0);
    }
    const Ink whole = InkOf(Text(32, 35, "y", 16), kScoreSize);
    EXPECT_GE(whole.left, 32 - 5);
    EXPECT_LE(whole.right, 32 + 12);
}

// Bravura's G clef has its G line on the baseline; its box reaches 4.392 sp
// above it and 2.632 sp below. At 90 % on the G line 56 (row centre 56.5) that
// is rows 24.9 to 75.5: the check that the curl sits on the G line is that the
// rendered clef covers exactly those rows. It must also stand in the header's
// first 23 px, clear of the first sharp at 24.
TEST_F(GlyphRenderTest, ClefCurlsRoundTheGLine) {
    const Ink clef = InkOf(Text(10, 12, "&", 18), kHeaderSize);
    EXPECT_NEAR(clef.top, 56.5 - 4.392 * 8 * 0.9, 1.0);
    EXPECT_NEAR(clef.bottom + 1, 56.5 + 2.632 * 8 * 0.9, 1.0);
    EXPECT_GE(clef.left, 2);
    EXPECT_LE(clef.right, 23);
    // The spiral crosses the G line: at row 56 the clef's ink shows at least
    // three separate strokes (outer loop, inner loop, stem).
    const QImage image = RenderDisplayList({Text(10, 12, "&", 18)}, kHeaderSize);
    int strokes = 0;
    bool inStroke = false;
    for (int x = 0; x < image.width(); ++x) {
        const bool dark = 255 - qGray(image.pixel(x, 56)) >= 128;
        if (dark && !inStroke) ++strokes;
        inStroke = dark;
    }
    EXPECT_GE(strokes, 3);
}

struct HeaderSymbol {
    int x, y, place;
};
constexpr HeaderSymbol kSharps[] = {{24, -9, 32}, {32, 2, 44}, {40, -13, 28}, {48, -1, 40}, {56, 10, 52}};
constexpr HeaderSymbol kFlats[] = {{28, 6, 48}, {36, -6, 36}, {44, 10, 52}, {52, -2, 40}, {60, 14, 56}, {68, 0, 44}};

TEST_F(GlyphRenderTest, HeaderSharpsCentreOnTheirStaffPlace) {
    for (const HeaderSymbol& s : kSharps) {
        SCOPED_TRACE(s.place);
        const Ink sharp = InkOf(Text(s.x, s.y, "#", 18), kHeaderSize);
        EXPECT_NEAR((sharp.top + sharp.bottom) / 2.0, s.place, 1.5);
    }
}

// A flat's place is the centre of its bowl, measured right of the stem. The
// sixth flat is printed 2 px higher than the others relative to its place
// (origin 0 for the space at 44); it is drawn as printed and must still read
// as standing in that space, between the lines 40 and 48.
TEST_F(GlyphRenderTest, HeaderFlatsCentreOnTheirStaffPlace) {
    for (const HeaderSymbol& f : kFlats) {
        SCOPED_TRACE(f.place);
        const Ink whole = InkOf(Text(f.x, f.y, "b", 18), kHeaderSize);
        const Ink bowl = InkOf(Text(f.x, f.y, "b", 18), kHeaderSize,
                               QRect(whole.left + 2, whole.top, whole.right - whole.left - 1, 100));
        const int expected = f.x == 68 ? f.place - 2 : f.place;
        EXPECT_NEAR(bowl.cy, expected, 1.5);
        EXPECT_GT(bowl.cy, f.place - 4);
        EXPECT_LT(bowl.cy, f.place + 4);
    }
}

// The header of each of the twelve keys: clef, key signature and 4/4 at the
// time signature's x. Each symbol is rendered alone and no two ink boxes may
// meet; all must stay inside the 92-px header box.
std::vector<DrawOp> HeaderOps(int sharps, int flats) {
    std::vector<DrawOp> ops = {Text(10, 12, "&", 18)};
    for (int i = 0; i < sharps; ++i) ops.push_back(Text(kSharps[i].x, kSharps[i].y, "#", 18));
    for (int i = 0; i < flats; ++i) ops.push_back(Text(kFlats[i].x, kFlats[i].y, "b", 18));
    constexpr int kSharpTx[] = {20, 22, 32, 42, 52, 58};
    constexpr int kFlatTx[] = {20, 26, 32, 42, 52, 58, 64};
    const int tx = flats > 0 ? kFlatTx[flats] : kSharpTx[sharps];
    ops.push_back(Text(tx, -1, " 4 ", 18));
    ops.push_back(Text(tx, 14, " 4 ", 18));
    return ops;
}

TEST_F(GlyphRenderTest, NoKeySignatureMakesHeaderSymbolsCollide) {
    std::vector<std::pair<int, int>> keys = {{0, 0}};
    for (int n = 1; n <= 5; ++n) keys.push_back({n, 0});
    for (int n = 1; n <= 6; ++n) keys.push_back({0, n});
    for (const auto& [sharps, flats] : keys) {
        SCOPED_TRACE(std::to_string(sharps) + " sharps, " + std::to_string(flats) + " flats");
        std::vector<Ink> inks;
        for (const DrawOp& op : HeaderOps(sharps, flats)) inks.push_back(InkOf(op, {120, 90}));
        for (std::size_t i = 0; i < inks.size(); ++i) {
            EXPECT_LT(inks[i].right, 92) << "symbol " << i;
            EXPECT_GE(inks[i].left, 0) << "symbol " << i;
            for (std::size_t j = i + 1; j < inks.size(); ++j)
                EXPECT_FALSE(inks[i].Overlaps(inks[j])) << "symbols " << i << " and " << j;
        }
    }
}

// A sign is printed 8 px left of its note at the same origin y; at least one
// clear column must separate it from the head.
TEST_F(GlyphRenderTest, AccidentalsClearTheirNoteHead) {
    for (const char* sign : {"#", "b", "n"}) {
        for (const char* note : {"x", "e", "q", "h", "y", "h."}) {
            for (int originY : {27, 23, 7}) {
                SCOPED_TRACE(std::string(sign) + " before " + note + " at y " + std::to_string(originY));
                const Ink signInk = InkOf(Text(56, originY, sign, 16));
                const Ink noteInk = InkOf(Text(64, originY, note, 16));
                EXPECT_GE(noteInk.left - signInk.right, 2);
                EXPECT_NEAR((signInk.top + signInk.bottom) / 2.0, originY + 37, sign[0] == 'b' ? 5.0 : 1.5);
            }
        }
    }
}

TEST_F(GlyphRenderTest, BarLinesSpanTheStaff) {
    const Ink bar = InkOf(Text(100, 32, "|", 16));
    EXPECT_EQ(bar.top, 32);
    EXPECT_EQ(bar.bottom, 64);
    EXPECT_EQ(bar.left, 100);
    EXPECT_LE(bar.right, 101);
    const Ink endMark = InkOf(Text(232, 33, "\\", 16));  // the take's end, at the picture's width - 8
    EXPECT_EQ(endMark.top, 32);
    EXPECT_EQ(endMark.bottom, 64);
    EXPECT_GE(endMark.left, 232);
    EXPECT_LT(endMark.right, 240);
    // The scale's end bar after a last note at 160: thin stroke where a bar line would stand.
    const Ink endBar = MeasureInk(RenderDisplayList({Text(154, 40, "u", 20, "MusicalSymbols")}, kScoreSize));
    EXPECT_EQ(endBar.top, 32);
    EXPECT_EQ(endBar.bottom, 64);
    EXPECT_EQ(endBar.left, 160 + 16);
    const Ink lastNote = InkOf(Text(160, 19, "h", 16));
    EXPECT_GE(endBar.left - lastNote.right, 4);
}

TEST_F(GlyphRenderTest, TimeSignatureDigitsFillTheStaffHalves) {
    for (int tx : {20, 64}) {
        SCOPED_TRACE(tx);
        const Ink upper = InkOf(Text(tx, -1, " 4 ", 18), kHeaderSize);
        const Ink lower = InkOf(Text(tx, 14, " 4 ", 18), kHeaderSize);
        EXPECT_GE(upper.top, 32);
        EXPECT_LE(upper.bottom, 48);
        EXPECT_GE(lower.top, 48);
        EXPECT_LE(lower.bottom, 64);
        EXPECT_GE(upper.bottom - upper.top + 1, 13);
        EXPECT_GE(lower.bottom - lower.top + 1, 13);
        EXPECT_LT(upper.bottom, lower.top);
        EXPECT_GE(upper.left, tx + 12);
    }
    // Both numbers start at the same x: 12 over 8 reaches further right.
    const Ink twelve = InkOf(Text(20, -1, " 12 ", 18), kHeaderSize);
    const Ink eight = InkOf(Text(20, 14, " 8 ", 18), kHeaderSize);
    EXPECT_NEAR(twelve.left, eight.left, 1.0);
    EXPECT_GT(twelve.right, eight.right + 8);
}

// Bar numbers at (x, -30) in 16 pt, their bar line at x - 8: small digits
// (smaller than the time signature's) that start just right of the line, high
// above the staff: below the picture's top edge and above row 15, the highest
// that the next note's accidental reaches. bar_number_test.cpp checks them in
// every score.
TEST_F(GlyphRenderTest, BarNumbersStandAboveTheStaff) {
    for (const char* number : {"2", "12"}) {
        SCOPED_TRACE(number);
        const Ink ink = InkOf(Text(152, -30, number, 16));
        EXPECT_GE(ink.top, 1);
        EXPECT_LE(ink.bottom, 13);
        EXPECT_GE(ink.left, 144 + 3);
        EXPECT_LE(ink.left, 144 + 5);
        EXPECT_GE(ink.bottom - ink.top + 1, 7);
        EXPECT_LT(ink.bottom - ink.top + 1, 12);
    }
}

// Rests are printed at y 11 whatever the pitch: inside the staff, the whole
// rest hanging from the fourth line (40), the half rest sitting on the middle
// line (48), the dotted half's dot in the space above that line.
TEST_F(GlyphRenderTest, RestsStandOnTheStaff) {
    for (const char* rest : {"Å", "ä", "Î", "-", "-.", "à"}) {
        SCOPED_TRACE(rest);
        const Ink ink = InkOf(Text(32, 11, rest, 16));
        EXPECT_GT(ink.top, 32);
        EXPECT_LT(ink.bottom, 65);
        EXPECT_GE(ink.left, 32 - 3);  // in the note's column, where a head would stand
        EXPECT_LE(ink.right, 32 + 16);
    }
    EXPECT_NEAR(InkOf(Text(32, 11, "à", 16)).top, 40, 1);
    EXPECT_NEAR(InkOf(Text(32, 11, "-", 16)).bottom, 48, 1);
    const Ink halfRest = InkOf(Text(32, 11, "-", 16));
    const Ink dot = InkOf(Text(32, 11, "-.", 16), kScoreSize, QRect(halfRest.right + 1, 0, 40, 100));
    EXPECT_NEAR(dot.cy, 44, 1.0);
    EXPECT_GE(dot.left - halfRest.right, 2);
}

// The dot of a dotted half stands in a space: the space above for a head on a
// line, the head's own space otherwise, and clear of the head.
TEST_F(GlyphRenderTest, AugmentationDotsStandInASpace) {
    struct Case {
        int originY, dotY;
    };
    for (const Case c : {Case{27, 60}, Case{23, 60}, Case{11, 44}, Case{35, 68}}) {
        SCOPED_TRACE(c.originY);
        const Ink half = InkOf(Text(32, c.originY, "h", 16));
        const Ink dot = InkOf(Text(32, c.originY, "h.", 16), kScoreSize, QRect(half.right + 1, 0, 40, 100));
        EXPECT_NEAR(dot.cy, c.dotY, 1.0);
        EXPECT_GE(dot.left - half.right, 2);
    }
}

TEST_F(GlyphRenderTest, LinesTakeTheirColourAndWidth) {
    const QImage image = RenderDisplayList(
        {Line(0, 10, 99, 10, 0), Line(0, 20, 99, 20, Rgb(192, 0, 0)), Line(0, 30, 99, 30, 0x80000008u, 2),
         Line(0, 40, 99, 40, 0), Line(10, 40, 20, 40, 0x80000005u)},
        {100, 50});
    EXPECT_EQ(image.pixelColor(50, 10), QColor(Qt::black));
    EXPECT_EQ(image.pixelColor(50, 9), QColor(Qt::white));
    EXPECT_EQ(image.pixelColor(50, 11), QColor(Qt::white));
    EXPECT_EQ(image.pixelColor(50, 20), QColor(192, 0, 0));
    EXPECT_EQ(MeasureInk(image, QRect(50, 25, 1, 10)).bottom - MeasureInk(image, QRect(50, 25, 1, 10)).top, 1);
    EXPECT_EQ(image.pixelColor(15, 40), QColor(Qt::white));
    EXPECT_EQ(image.pixelColor(30, 40), QColor(Qt::black));
}

TEST_F(GlyphRenderTest, RenderingFollowsTheViewOrigin) {
    const std::vector<DrawOp> ops = {Text(132, 27, "q", 16)};
    const Ink atOrigin = MeasureInk(RenderDisplayList(ops, {240, 100}));
    const Ink scrolled = MeasureInk(RenderDisplayList(ops, {240, 100}, QPoint(100, 0)));
    EXPECT_EQ(scrolled.left, atOrigin.left - 100);
    EXPECT_EQ(scrolled.top, atOrigin.top);
}

}  // namespace
}  // namespace tonemark
