#include "theory/circle.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "score/glyph_table.h"
#include "support/fake_synth.h"
#include "theory/keys.h"
#include "theory/scales.h"

namespace tonemark {
namespace {

// The click areas in pixels (the designed twips divided by 15), by index.
const std::array<Rect, kCircleKeys> kAreaPixels = {{
    {306, 4, 89, 59},
    {212, 38, 89, 59},
    {122, 102, 109, 59},
    {74, 174, 107, 59},
    {66, 242, 107, 59},
    {78, 314, 181, 109},
    {270, 372, 191, 119},
    {462, 312, 187, 117},
    {492, 238, 143, 67},
    {494, 164, 135, 67},
    {484, 100, 93, 59},
    {408, 26, 95, 61},
}};

// The key each area selects and its name in the title.
const std::array<int, kCircleKeys> kAreaKeys = {0, 5, 10, 3, 8, 1, 6, 11, 4, 9, 2, 7};

TEST(CircleForm, HasTheDesignedCaptionSizeAndControls) {
    CircleForm f = MakeCircleForm();
    EXPECT_EQ(f.caption, "CICLO DELLE QUARTE E DELLE QUINTE");
    EXPECT_EQ(f.width, 678);
    EXPECT_EQ(f.height, 561);
    EXPECT_EQ(f.Label1.caption, "Cliccare su una tonalit\xC3\xA0");
    EXPECT_EQ(f.Label2.caption, "Cliccare su una tonalit\xC3\xA0");
    EXPECT_EQ(f.Label1.rect, (Rect{14, 18, 123, 25}));
    EXPECT_EQ(f.Label2.rect, (Rect{550, 18, 123, 25}));
    EXPECT_EQ(f.Command1.caption, "Close");
    EXPECT_EQ(f.Command1.kind, ControlKind::Button);
    for (int i = 0; i < kCircleKeys; ++i) {
        EXPECT_EQ(f.Image1[static_cast<size_t>(i)].rect, kAreaPixels[static_cast<size_t>(i)]) << "area " << i;
        EXPECT_EQ(f.Image1[static_cast<size_t>(i)].index, i);
        EXPECT_EQ(f.Image1[static_cast<size_t>(i)].caption, "");
    }
    EXPECT_TRUE(f.picture.Ops().empty()) << "the circle is drawn when the window loads";
}

TEST(CircleForm, LoadingCentresCloseAndDrawsTheCircle) {
    CircleForm f = MakeCircleForm();
    CICLO_Form_Load(f);
    const Rect close = f.Command1.rect;
    EXPECT_EQ(close.top, 510);
    EXPECT_EQ(close.width, 91);
    EXPECT_EQ(close.height, 33);
    const int rightMargin = f.width - close.left - close.width;
    EXPECT_LE(std::abs(close.left - rightMargin), 1) << "left " << close.left;
    EXPECT_EQ(f.picture.Width(), 700);
    EXPECT_FALSE(f.picture.Texts().empty());

    // Loading again draws the same picture, not a second one over it.
    const size_t ops = f.picture.Ops().size();
    CICLO_Form_Load(f);
    EXPECT_EQ(f.picture.Ops().size(), ops);
}

TEST(CircleAreas, EachSelectsTheKeyAFourthOnFromTheLast) {
    for (int i = 0; i < kCircleKeys; ++i) EXPECT_EQ(CircleAreaKey(i), kAreaKeys[static_cast<size_t>(i)]) << i;
}

// ---------------------------------------------------------------------------
// Clicking a key in a started program.

using CircleClick = testing::StartedProgram;

std::vector<int> NoteNumbers(const MainState& s) {
    std::vector<int> out;
    for (const NoteEvent& e : s.NoteEvents) out.push_back(e.NoteNumber);
    return out;
}

TEST_F(CircleClick, EveryAreaShowsTheMajorScaleOfItsKey) {
    for (int i = 0; i < kCircleKeys; ++i) {
        const int k = kAreaKeys[static_cast<size_t>(i)];
        Image1_Click(m, i);
        EXPECT_EQ(m.ui.Tonality.value, k) << "area " << i;
        EXPECT_EQ(m.ui.TransLab.caption, std::to_string(k));
        EXPECT_EQ(m.ui.Labella.caption, "Scala maggiore: " + PitchNames[static_cast<size_t>(k)]);
        const KeySignature expected = KeySignatureFor(0, k);
        EXPECT_EQ(m.state.SharpCount, expected.sharps) << "area " << i;
        EXPECT_EQ(m.state.FlatCount, expected.flats) << "area " << i;
    }
}

TEST_F(CircleClick, SolFlatAreaGivesSixFlats) {
    Image1_Click(m, 6);
    EXPECT_EQ(m.ui.Tonality.value, 6);
    const std::string title = m.ui.Labella.caption;
    ASSERT_GE(title.size(), 10u);
    EXPECT_EQ(title.substr(title.size() - 10), "SOLb - FA#");
    EXPECT_EQ(m.state.FlatCount, 6);
    EXPECT_EQ(m.state.SharpCount, 0);
}

TEST_F(CircleClick, LeavesAnotherScaleForTheMajorScaleInTheNewKey) {
    m.ui.List1.listIndex = 10;  // "Scala Blues" in MIb
    List1_Click(m);
    m.ui.Tonality.value = 3;
    Tonality_Change(m);
    ASSERT_EQ(m.state.ScaleLast, 12);

    Image1_Click(m, 10);  // RE
    EXPECT_EQ(m.ui.List1.listIndex, 0);
    EXPECT_EQ(m.state.ScaleIndex, 0);
    EXPECT_EQ(m.state.ScaleSteps, ScaleStepsFor(0));
    EXPECT_EQ(m.state.ScaleLast, 14);
    EXPECT_EQ(m.ui.Labella.caption, "Scala maggiore: RE");
    EXPECT_EQ(m.state.SharpCount, 2);
    EXPECT_EQ(m.state.FlatCount, 0);
    // The file was written again in RE, read back and loaded.
    const std::vector<int> notes = NoteNumbers(m.state);
    ASSERT_GE(notes.size(), 15u);
    EXPECT_EQ(std::vector<int>(notes.begin(), notes.begin() + 15),
              (std::vector<int>{62, 64, 66, 67, 69, 71, 73, 74, 73, 71, 69, 67, 66, 64, 62}));
    EXPECT_EQ(synth->lastLoadedPath, m.state.SmfPath);
}

TEST_F(CircleClick, TheKeyAlreadyShownStillBringsBackTheMajorScale) {
    m.ui.List1.listIndex = 1;  // "Scala minore naturale" on DO: three flats
    List1_Click(m);
    ASSERT_EQ(m.state.FlatCount, 3);

    Image1_Click(m, 0);  // DO
    EXPECT_EQ(m.ui.Tonality.value, 0);
    EXPECT_EQ(m.state.ScaleIndex, 0);
    EXPECT_EQ(m.ui.Labella.caption, "Scala maggiore: DO");
    EXPECT_EQ(m.state.FlatCount, 0);
    EXPECT_EQ(NoteNumbers(m.state)[2], 64) << "E natural: the major scale";
}

TEST_F(CircleClick, AnIndexOutsideTheCircleChangesNothing) {
    Image1_Click(m, 4);
    const std::string title = m.ui.Labella.caption;
    for (int index : {-1, 12}) {
        Image1_Click(m, index);
        EXPECT_EQ(m.ui.Labella.caption, title);
        EXPECT_EQ(m.ui.Tonality.value, 8);
    }
}

// ---------------------------------------------------------------------------
// The drawing, read from the display list.

struct Box {
    double left, top, right, bottom;
    bool Inside(const Rect& r) const {
        return left >= r.left && top >= r.top && right <= r.left + r.width && bottom <= r.top + r.height;
    }
    bool Overlaps(const Box& o) const {
        return left < o.right && o.left < right && top < o.bottom && o.top < bottom;
    }
    double CentreX() const { return (left + right) / 2; }
};

Box BoxOf(const Rect& r) {
    return {double(r.left), double(r.top), double(r.left + r.width), double(r.top + r.height)};
}

bool IsMusic(const TextOp& t) { return t.font == "Keep" || t.font == "MusicalSymbols"; }

// Plain text: a generous box, one em per character (no letter used is wider)
// and 1.25 em tall from the origin, a point being 4/3 px.
Box PlainTextBox(const TextOp& t) {
    const double em = std::round(t.points * 4.0 / 3.0);
    int characters = 0;
    for (char c : t.text) characters += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    return {double(t.x), double(t.y), t.x + characters * em, t.y + 1.25 * em};
}

Box TextBox(const TextOp& t) {
    if (!IsMusic(t)) return PlainTextBox(t);
    const std::optional<InkBox> ink = InkBounds(t);
    if (!ink) return {double(t.x), double(t.y), double(t.x), double(t.y)};
    return {ink->left, ink->top, ink->right, ink->bottom};
}

Box LineBox(const LineOp& l) {
    const double half = l.width / 2.0;
    return {std::min(l.x1, l.x2) - half, std::min(l.y1, l.y2) - half, std::max(l.x1, l.x2) + half,
            std::max(l.y1, l.y2) + half};
}

std::string Describe(const TextOp& t) {
    return "'" + t.text + "' at " + std::to_string(t.x) + "," + std::to_string(t.y);
}

// The area a text lies inside, or -1.
int AreaOf(const Box& b) {
    for (int i = 0; i < kCircleKeys; ++i)
        if (b.Inside(kAreaPixels[static_cast<size_t>(i)])) return i;
    return -1;
}

class CircleDrawing : public ::testing::Test {
protected:
    void SetUp() override { DrawCircle(picture); }
    RecordingCanvas picture{kCirclePictureWidth};
};

TEST_F(CircleDrawing, StaysInsideThePictureAndClearOfTheLabels) {
    // The window is 678 px wide: the picture's last 22 columns are never seen.
    const Rect visible{0, 0, 678, kCirclePictureHeight};
    const Box label1 = BoxOf(MakeCircleForm().Label1.rect), label2 = BoxOf(MakeCircleForm().Label2.rect);
    for (const TextOp& t : picture.Texts()) {
        const Box b = TextBox(t);
        EXPECT_TRUE(b.Inside(visible)) << Describe(t);
        EXPECT_FALSE(b.Overlaps(label1) || b.Overlaps(label2)) << Describe(t);
    }
    for (const LineOp& l : picture.Lines()) {
        const Box b = LineBox(l);
        EXPECT_TRUE(b.Inside(visible)) << l.x1 << "," << l.y1 << " " << l.x2 << "," << l.y2;
        EXPECT_FALSE(b.Overlaps(label1) || b.Overlaps(label2));
    }
}

// Each place's major and relative minor; both spellings at the bottom.
const std::array<std::vector<std::string>, kCircleKeys> kNames = {{
    {"DO", "LAm"},
    {"FA", "REm"},
    {"SIb", "SOLm"},
    {"MIb", "DOm"},
    {"LAb", "FAm"},
    {"REb", "SIbm", "DO#", "LA#m"},
    {"SOLb", "MIbm", "FA#", "RE#m"},
    {"SI", "SOL#m", "DOb", "LAbm"},
    {"MI", "DO#m"},
    {"LA", "FA#m"},
    {"RE", "SIm"},
    {"SOL", "MIm"},
}};

TEST_F(CircleDrawing, EveryPlaceNamesItsMajorOverItsRelativeMinorInsideItsArea) {
    std::map<std::string, std::vector<TextOp>> byText;
    for (const TextOp& t : picture.Texts())
        if (!IsMusic(t)) byText[t.text].push_back(t);
    for (int i = 0; i < kCircleKeys; ++i) {
        const std::vector<std::string>& names = kNames[static_cast<size_t>(i)];
        for (size_t n = 0; n < names.size(); ++n) {
            ASSERT_EQ(byText[names[n]].size(), 1u) << names[n];
            const TextOp& t = byText[names[n]][0];
            EXPECT_TRUE(PlainTextBox(t).Inside(kAreaPixels[static_cast<size_t>(i)])) << Describe(t) << " area " << i;
            if (n % 2 == 1) {
                const TextOp& major = byText[names[n - 1]][0];
                EXPECT_GT(t.y, major.y) << names[n] << " stands under " << names[n - 1];
                EXPECT_NEAR(PlainTextBox(t).CentreX(), PlainTextBox(major).CentreX(), 12) << names[n];
                EXPECT_LE(t.points, major.points) << names[n];
            }
        }
    }
    // Both spellings at the bottom are joined by "=", on the majors' and the minors' line.
    EXPECT_EQ(byText["="].size(), 6u);
    for (const TextOp& t : byText["="]) EXPECT_GE(AreaOf(PlainTextBox(t)), 5) << Describe(t);
}

// A staff: five black lines, 6 px apart, of the same extent.
struct Staff {
    int left, right, top;
    std::vector<TextOp> sharps, flats, clefs;
};

std::vector<Staff> FindStaves(const RecordingCanvas& picture) {
    std::map<std::pair<int, int>, std::vector<int>> rows;  // (x1, x2) -> ys
    for (const LineOp& l : picture.Lines())
        if (l.y1 == l.y2 && l.color == kBlack) rows[{l.x1, l.x2}].push_back(l.y1);
    std::vector<Staff> staves;
    for (auto& [extent, ys] : rows) {
        std::sort(ys.begin(), ys.end());
        for (size_t i = 0; i + 4 < ys.size(); i += 5) {
            bool evenlySpaced = true;
            for (size_t j = 1; j < 5; ++j) evenlySpaced = evenlySpaced && ys[i + j] - ys[i + j - 1] == 6;
            EXPECT_TRUE(evenlySpaced) << "staff at " << extent.first << "," << ys[i];
            staves.push_back({extent.first, extent.second, ys[i], {}, {}, {}});
        }
    }
    for (const TextOp& t : picture.Texts()) {
        if (t.font != "Keep") continue;
        const Box b = TextBox(t);
        for (Staff& s : staves) {
            if (b.CentreX() < s.left || b.CentreX() > s.right || b.bottom < s.top - 12 || b.top > s.top + 36)
                continue;
            if (t.text == "#") s.sharps.push_back(t);
            else if (t.text == "b") s.flats.push_back(t);
            else if (t.text == "&") s.clefs.push_back(t);
        }
    }
    return staves;
}

// Where the key signature's accidentals stand, in px below the top line:
// sharps F C G D A E B, flats B E A D G C F (lines every 6 px, spaces between).
constexpr std::array<double, 7> kSharpPlaces = {0, 9, -3, 6, 15, 3, 12};
constexpr std::array<double, 7> kFlatPlaces = {12, 3, 15, 6, 18, 9, 21};

double Baseline(const TextOp& t) { return LayoutText(t).at(0).y; }

void ExpectSignature(const Staff& s, KeySignature expected, const std::string& where) {
    ASSERT_EQ(s.clefs.size(), 1u) << where;
    EXPECT_NEAR(Baseline(s.clefs[0]), s.top + 18 + 0.5, 0.5) << where << ": the clef curls round the G line";
    EXPECT_EQ(static_cast<int>(s.sharps.size()), expected.sharps) << where;
    EXPECT_EQ(static_cast<int>(s.flats.size()), expected.flats) << where;
    const bool sharps = !s.sharps.empty();
    const std::vector<TextOp>& signs = sharps ? s.sharps : s.flats;
    const auto& places = sharps ? kSharpPlaces : kFlatPlaces;
    double previousRight = TextBox(s.clefs[0]).right;
    for (size_t i = 0; i < signs.size() && i < places.size(); ++i) {
        EXPECT_NEAR(Baseline(signs[i]), s.top + places[i] + 0.5, 0.5) << where << " sign " << i + 1;
        const Box b = TextBox(signs[i]);
        EXPECT_GT(b.left, previousRight) << where << " sign " << i + 1 << " stands clear of the one before";
        EXPECT_LT(b.right, s.right) << where << " sign " << i + 1 << " lies on the staff";
        previousRight = b.right;
    }
}

TEST_F(CircleDrawing, EveryPlaceShowsItsKeySignatureOnASmallStaff) {
    const std::vector<Staff> staves = FindStaves(picture);
    EXPECT_EQ(staves.size(), 15u) << "one staff a place, two at the three at the bottom";
    std::array<std::vector<Staff>, kCircleKeys> byArea;
    for (const Staff& s : staves) {
        const int area = AreaOf({double(s.left), double(s.top) - 10, double(s.right), double(s.top) + 33});
        ASSERT_GE(area, 0) << "staff at " << s.left << "," << s.top << " lies in no click area";
        byArea[static_cast<size_t>(area)].push_back(s);
    }
    // The other spelling at the bottom: REb's five flats are DO#'s seven
    // sharps, SOLb's six flats FA#'s six sharps, SI's five sharps DOb's seven flats.
    const std::map<int, KeySignature> otherSpelling = {{5, {7, 0}}, {6, {6, 0}}, {7, {0, 7}}};
    for (int i = 0; i < kCircleKeys; ++i) {
        std::vector<Staff>& here = byArea[static_cast<size_t>(i)];
        std::sort(here.begin(), here.end(), [](const Staff& a, const Staff& b) { return a.left < b.left; });
        const bool twoSpellings = otherSpelling.count(i) != 0;
        ASSERT_EQ(here.size(), twoSpellings ? 2u : 1u) << "area " << i;
        const std::string where = "area " + std::to_string(i);
        ExpectSignature(here[0], KeySignatureFor(0, kAreaKeys[static_cast<size_t>(i)]), where);
        if (twoSpellings) ExpectSignature(here[1], otherSpelling.at(i), where + ", other spelling");
    }
}

TEST_F(CircleDrawing, EveryMusicGlyphBelongsToAPlace) {
    int glyphs = 0;
    for (const TextOp& t : picture.Texts()) {
        if (!IsMusic(t)) continue;
        ++glyphs;
        EXPECT_EQ(t.font, "Keep");
        EXPECT_GE(AreaOf(TextBox(t)), 0) << Describe(t);
    }
    // 15 clefs; 0 + 1 + 2 + 3 + 4 + (5 + 7) + (6 + 6) + (5 + 7) + 4 + 3 + 2 + 1 accidentals.
    EXPECT_EQ(glyphs, 15 + 56);
}

// Ring, spokes and arrows pass between the places, never through one.
TEST_F(CircleDrawing, TheRingAndArrowsLeaveThePlacesFree) {
    std::array<std::optional<Box>, kCircleKeys> places;
    auto grow = [&](const Box& b) {
        const int area = AreaOf(b);
        if (area < 0) return;
        auto& p = places[static_cast<size_t>(area)];
        p = p ? Box{std::min(p->left, b.left), std::min(p->top, b.top), std::max(p->right, b.right),
                    std::max(p->bottom, b.bottom)}
              : b;
    };
    for (const TextOp& t : picture.Texts()) grow(TextBox(t));
    for (const LineOp& l : picture.Lines())
        if (l.color == kBlack) grow(LineBox(l));
    int strokes = 0;
    for (const LineOp& l : picture.Lines()) {
        if (l.color == kBlack) continue;
        ++strokes;
        const double length = std::hypot(l.x2 - l.x1, l.y2 - l.y1);
        for (double d = 0; d <= length; d += 0.5) {
            const double x = l.x1 + (l.x2 - l.x1) * d / length, y = l.y1 + (l.y2 - l.y1) * d / length;
            for (int i = 0; i < kCircleKeys; ++i) {
                const Box& p = *places[static_cast<size_t>(i)];
                EXPECT_FALSE(x >= p.left && x <= p.right && y >= p.top && y <= p.bottom)
                    << "line " << l.x1 << "," << l.y1 << " " << l.x2 << "," << l.y2 << " crosses place " << i;
            }
        }
    }
    EXPECT_GT(strokes, 100) << "ring, spokes and arrows";
}

// Fifths run clockwise: the arrow on the right points down from the top, and
// so does the arrow of fourths on the left, running counter-clockwise.
TEST_F(CircleDrawing, ArrowsOfFifthsOnTheRightAndFourthsOnTheLeft) {
    std::map<std::string, TextOp> labels;
    for (const TextOp& t : picture.Texts()) labels[t.text] = t;
    ASSERT_EQ(labels.count("5\xC2\xAA"), 1u);
    ASSERT_EQ(labels.count("4\xC2\xAA"), 1u);
    const Box top = BoxOf(kAreaPixels[0]);
    const double middle = top.CentreX();
    EXPECT_GT(PlainTextBox(labels["5\xC2\xAA"]).left, middle);
    EXPECT_LT(PlainTextBox(labels["4\xC2\xAA"]).right, middle);

    for (bool right : {true, false}) {
        std::vector<LineOp> arrow;
        for (const LineOp& l : picture.Lines())
            if (l.color == kDarkRed && (l.x1 > middle) == right) arrow.push_back(l);
        ASSERT_GT(arrow.size(), 10u);
        // The head: the one point where three strokes meet, the arc's end and both barbs.
        std::map<std::pair<int, int>, int> ends;
        for (const LineOp& l : arrow) {
            ++ends[{l.x1, l.y1}];
            ++ends[{l.x2, l.y2}];
        }
        std::vector<std::pair<int, int>> heads;
        for (const auto& [point, count] : ends)
            if (count >= 3) heads.push_back(point);
        ASSERT_EQ(heads.size(), 1u) << (right ? "fifths" : "fourths");
        const int tipY = heads[0].second;
        int highest = tipY;
        for (const LineOp& l : arrow) highest = std::min({highest, l.y1, l.y2});
        EXPECT_GT(tipY - highest, 100) << "the head is at the bottom of an arrow running down the side";
    }
}

}  // namespace
}  // namespace tonemark
