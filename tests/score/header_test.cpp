#include "score/header.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tonemark {
namespace {

std::string Describe(const TextOp& t) {
    return "'" + t.text + "' at " + std::to_string(t.x) + "," + std::to_string(t.y);
}

struct Header {
    std::vector<LineOp> lines;
    std::vector<std::string> texts;
    std::vector<TextOp> raw;
};

Header Draw(int sharps, int flats, int numerator = 4, int denominator = 4) {
    MainState s;
    s.SharpCount = static_cast<std::int16_t>(sharps);
    s.FlatCount = static_cast<std::int16_t>(flats);
    s.TimeSigNumerator = static_cast<std::int16_t>(numerator);
    s.TimeSigDenominator = static_cast<std::int16_t>(denominator);
    RecordingCanvas pic2(92);
    Intestazione(pic2, s);
    Header h{pic2.Lines(), {}, pic2.Texts()};
    for (const TextOp& t : h.raw) h.texts.push_back(Describe(t));
    return h;
}

using Texts = std::vector<std::string>;

TEST(StaffHeader, PlainKeyDrawsStaffClefAndTimeAtTwenty) {
    const Header h = Draw(0, 0);
    ASSERT_EQ(h.lines.size(), 5u);
    const int ys[] = {32, 40, 48, 56, 64};
    for (int i = 0; i < 5; ++i) EXPECT_EQ(h.lines[i], (LineOp{0, ys[i], 92, ys[i], 0, 1}));
    EXPECT_EQ(h.texts, (Texts{"'&' at 10,12", "' 4 ' at 20,-1", "' 4 ' at 20,14"}));
    for (const TextOp& t : h.raw) {
        EXPECT_EQ(t.font, "Keep");
        EXPECT_EQ(t.points, 18);
    }
}

TEST(StaffHeader, FiveSharpsInOrder) {
    EXPECT_EQ(Draw(5, 0).texts,
              (Texts{"'&' at 10,12", "'#' at 24,-9", "'#' at 32,2", "'#' at 40,-13", "'#' at 48,-1",
                     "'#' at 56,10", "' 4 ' at 58,-1", "' 4 ' at 58,14"}));
    EXPECT_EQ(Draw(2, 0).texts, (Texts{"'&' at 10,12", "'#' at 24,-9", "'#' at 32,2",
                                       "' 4 ' at 32,-1", "' 4 ' at 32,14"}));
}

TEST(StaffHeader, SixFlatsInOrder) {
    EXPECT_EQ(Draw(0, 6).texts,
              (Texts{"'&' at 10,12", "'b' at 28,6", "'b' at 36,-6", "'b' at 44,10", "'b' at 52,-2",
                     "'b' at 60,14", "'b' at 68,0", "' 4 ' at 64,-1", "' 4 ' at 64,14"}));
    EXPECT_EQ(Draw(0, 1).texts,
              (Texts{"'&' at 10,12", "'b' at 28,6", "' 4 ' at 26,-1", "' 4 ' at 26,14"}));
}

TEST(StaffHeader, TimeSignatureXForEveryKeySignature) {
    const int bySharps[] = {20, 22, 32, 42, 52, 58};
    const int byFlats[] = {20, 26, 32, 42, 52, 58, 64};
    for (int n = 0; n <= 5; ++n) {
        EXPECT_EQ(TimeSignatureX(n, 0), bySharps[n]) << n << " sharps";
        EXPECT_EQ(Draw(n, 0).raw.back().x, bySharps[n]) << n << " sharps";
    }
    for (int n = 0; n <= 6; ++n) {
        EXPECT_EQ(TimeSignatureX(0, n), byFlats[n]) << n << " flats";
        EXPECT_EQ(Draw(0, n).raw.back().x, byFlats[n]) << n << " flats";
    }
}

TEST(StaffHeader, CountsOutsideTheTablesDrawNoAccidentals) {
    const Texts plain = Draw(0, 0).texts;
    EXPECT_EQ(Draw(6, 0).texts, plain);
    EXPECT_EQ(Draw(7, 0).texts, plain);
    EXPECT_EQ(Draw(-1, 0).texts, plain);
    EXPECT_EQ(Draw(0, 7).texts, plain);
    EXPECT_EQ(Draw(0, -2).texts, plain);
    EXPECT_EQ(TimeSignatureX(3, 9), 42);  // the sharps' position stays
}

TEST(StaffHeader, BothCountsDrawSharpsThenFlatsAndTakeTheFlatsX) {
    EXPECT_EQ(Draw(1, 1).texts, (Texts{"'&' at 10,12", "'#' at 24,-9", "'b' at 28,6",
                                       "' 4 ' at 26,-1", "' 4 ' at 26,14"}));
    EXPECT_EQ(TimeSignatureX(5, 2), 32);
}

TEST(StaffHeader, NumbersInPrintFormStartAtTheSameX) {
    EXPECT_EQ(Draw(0, 0, 3, 8).texts, (Texts{"'&' at 10,12", "' 3 ' at 20,-1", "' 8 ' at 20,14"}));
    EXPECT_EQ(Draw(3, 0, 12, 8).texts,
              (Texts{"'&' at 10,12", "'#' at 24,-9", "'#' at 32,2", "'#' at 40,-13",
                     "' 12 ' at 42,-1", "' 8 ' at 42,14"}));
    EXPECT_EQ(Draw(0, 0, -2, 0).texts, (Texts{"'&' at 10,12", "'-2 ' at 20,-1", "' 0 ' at 20,14"}));
}

}  // namespace
}  // namespace tonemark
