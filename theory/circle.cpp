#include "theory/circle.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "score/glyphs.h"
#include "theory/keys.h"
#include "theory/scales.h"

namespace tonemark {
namespace {

struct TwipsRect {
    int left, top, width, height;
};

constexpr char kClickHint[] = "Cliccare su una tonalit\xC3\xA0";
constexpr TwipsRect kLabel1{210, 270, 1845, 375};
constexpr TwipsRect kLabel2{8250, 270, 1845, 375};
constexpr TwipsRect kCloseButton{0, 7650, 1365, 495};

// The click areas by index: C at the top, then the keys a fourth apart
// counter-clockwise (index i selects 5 i semitones above C, modulo 12).
constexpr std::array<TwipsRect, kCircleKeys> kAreas = {{
    {4590, 60, 1335, 885},    // DO
    {3180, 570, 1335, 885},   // FA
    {1830, 1530, 1635, 885},  // SIb
    {1110, 2610, 1605, 885},  // MIb
    {990, 3630, 1605, 885},   // LAb
    {1170, 4710, 2715, 1635},  // REb = DO#
    {4050, 5580, 2865, 1785},  // SOLb = FA#
    {6930, 4680, 2805, 1755},  // SI = DOb
    {7380, 3570, 2145, 1005},  // MI
    {7410, 2460, 2025, 1005},  // LA
    {7260, 1500, 1395, 885},  // RE
    {6120, 390, 1425, 915},   // SOL
}};

Control Designed(ControlKind kind, const char* name, const std::string& caption, TwipsRect r, int index = -1) {
    Control c;
    c.kind = kind;
    c.name = name;
    c.index = index;
    c.caption = caption;
    c.rect = {Px(r.left), Px(r.top), Px(r.width), Px(r.height)};
    c.backColor = kWhite;
    return c;
}

Rect AreaRect(int index) {
    const TwipsRect r = kAreas[static_cast<std::size_t>(index)];
    return {Px(r.left), Px(r.top), Px(r.width), Px(r.height)};
}

// ---------------------------------------------------------------------------
// Names. Each place shows the major key over its relative minor; the three
// places at the bottom show both spellings of the key.

struct Spelling {
    const char* major;
    const char* minor;
    KeySignature signature;
};

constexpr std::array<const char*, kCircleKeys> kMajorNames = {"DO",   "FA",   "SIb", "MIb", "LAb", "REb",
                                                              "SOLb", "SI",   "MI",  "LA",  "RE",  "SOL"};
constexpr std::array<const char*, kCircleKeys> kMinorNames = {"LAm",  "REm",   "SOLm", "DOm",  "FAm", "SIbm",
                                                              "MIbm", "SOL#m", "DO#m", "FA#m", "SIm", "MIm"};

struct OtherSpelling {
    int area;
    const char* major;
    const char* minor;
};
constexpr std::array<OtherSpelling, 3> kOtherSpellings = {{
    {5, "DO#", "LA#m"},
    {6, "FA#", "RE#m"},
    {7, "DOb", "LAbm"},
}};

// The same key spelt with the other accidental: 5 flats are 7 sharps.
KeySignature Enharmonic(KeySignature s) {
    if (s.sharps > 0) return {0, 12 - s.sharps};
    return {12 - s.flats, 0};
}

std::vector<Spelling> SpellingsOf(int area) {
    const KeySignature signature = KeySignatureFor(0, CircleAreaKey(area));
    std::vector<Spelling> out{{kMajorNames[static_cast<std::size_t>(area)],
                               kMinorNames[static_cast<std::size_t>(area)], signature}};
    for (const OtherSpelling& o : kOtherSpellings)
        if (o.area == area) out.push_back({o.major, o.minor, Enharmonic(signature)});
    return out;
}

// ---------------------------------------------------------------------------
// Plain text: the names, in a sans-serif font. The view draws a point as 4/3
// of a pixel; the widths below are DejaVu Sans's advances in em, close enough
// for other sans-serif faces to centre a short name.

constexpr char kNameFont[] = "Sans";
constexpr double kMajorPoints = 11;
constexpr double kMinorPoints = 9;
constexpr double kArrowPoints = 12;
constexpr double kPixelsPerPoint = 96.0 / 72.0;
constexpr int kMajorLine = 17;  // px from a major name's top to the minor's below it
constexpr int kNamesHeight = 31;

double EmWidth(char c) {
    switch (c) {
        case 'A': return 0.684;
        case 'D': return 0.770;
        case 'E': return 0.632;
        case 'F': return 0.575;
        case 'I': return 0.295;
        case 'L': return 0.557;
        case 'M': return 0.863;
        case 'O': return 0.787;
        case 'R': return 0.695;
        case 'S': return 0.635;
        case 'a': return 0.613;
        case 'b': case 'g': case 'n': return 0.635;
        case 'e': case 'o': return 0.613;
        case 'i': case 'l': return 0.278;
        case 'm': return 0.974;
        case 'r': return 0.411;
        case 't': return 0.392;
        case 'v': return 0.592;
        case '#': case '=': return 0.838;
        case ' ': return 0.318;
        default: return c >= '0' && c <= '9' ? 0.636 : 0.7;
    }
}

int TextWidth(const std::string& text, double points) {
    double em = 0;
    for (char c : text)
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) em += EmWidth(c);  // one per UTF-8 character
    return static_cast<int>(std::ceil(em * std::round(points * kPixelsPerPoint)));
}

void CentredText(Canvas& c, int centreX, int top, const std::string& text, double points) {
    c.Text(centreX - TextWidth(text, points) / 2, top, text, kNameFont, points);
}

int NamesWidth(const Spelling& s) {
    return std::max(TextWidth(s.major, kMajorPoints), TextWidth(s.minor, kMinorPoints));
}

void DrawNames(Canvas& c, int centreX, int top, const Spelling& s) {
    CentredText(c, centreX, top, s.major, kMajorPoints);
    CentredText(c, centreX, top + kMajorLine, s.minor, kMinorPoints);
}

// ---------------------------------------------------------------------------
// Small staves. They are the staff header scaled down: clef and accidentals
// keep the header's origins (header pixels, staff lines at 32 to 64), scaled
// about the staff's top line. The sixth and seventh sharps and the seventh
// flat continue the header's rows; the sixth flat stands in its space like
// the others.

constexpr double kStaffScale = 0.75;  // staff space 6 px
constexpr double kHeaderPoints = 18;
constexpr int kHeaderTopLine = 32;
constexpr int kHeaderMiddleLine = 48;

struct HeaderOrigin {
    int x, y;
};
constexpr HeaderOrigin kClef{10, 12};
constexpr std::array<HeaderOrigin, 7> kSharps = {
    {{24, -9}, {32, 2}, {40, -13}, {48, -1}, {56, 10}, {64, -6}, {72, 7}}};  // F C G D A E B
constexpr std::array<HeaderOrigin, 7> kFlats = {
    {{28, 6}, {36, -6}, {44, 10}, {52, -2}, {60, 14}, {68, 2}, {76, 18}}};  // B E A D G C F

// Ink of a small staff relative to its top line: the third sharp reaches
// 10 px above it, the clef 33 px below.
constexpr int kStaffInkAbove = 10;
constexpr int kStaffInkHeight = 43;

// Header pixels on the small staff. Heights round half up, so that every
// accidental lands within a quarter pixel of its line or space; widths round
// down, which keeps the clef (at 7.5 px) clear of the first sharp.
int Scaled(double headerPx) { return static_cast<int>(std::floor(headerPx * kStaffScale + 0.5)); }
int ScaledX(double headerPx) { return static_cast<int>(std::floor(headerPx * kStaffScale)); }

std::size_t SignCount(int count) { return static_cast<std::size_t>(std::clamp(count, 0, 7)); }

// Length of a small staff: a little past the last accidental (which ends 6
// header pixels right of its origin), and never shorter than clef and a margin.
int StaffLength(KeySignature s) {
    int end = 34;
    if (s.sharps > 0) end = kSharps[SignCount(s.sharps) - 1].x + 6;
    if (s.flats > 0) end = kFlats[SignCount(s.flats) - 1].x + 6;
    return ScaledX(end + 10);
}

void DrawStaffGlyph(Canvas& c, int left, int topLine, HeaderOrigin o, const char* glyph) {
    c.ScaledText(left + ScaledX(o.x), topLine + Scaled(o.y - kHeaderTopLine), glyph, kKeepFont, kHeaderPoints,
                 kStaffScale);
}

void DrawStaff(Canvas& c, int left, int topLine, KeySignature s) {
    const int length = StaffLength(s);
    for (int line = 0; line < 5; ++line) {
        const int y = topLine + Scaled(8 * line);
        c.Line(left, y, left + length, y, kBlack, 1);
    }
    DrawStaffGlyph(c, left, topLine, kClef, "&");
    for (std::size_t i = 0; i < SignCount(s.sharps); ++i) DrawStaffGlyph(c, left, topLine, kSharps[i], "#");
    for (std::size_t i = 0; i < SignCount(s.flats); ++i) DrawStaffGlyph(c, left, topLine, kFlats[i], "b");
}

// ---------------------------------------------------------------------------
// Places. Each is centred in its click area; drawing one gives the box its
// ink fills.

constexpr int kNamesGap = 6;
constexpr int kEqualsColumn = 20;

int CentreX(const Rect& r) { return r.left + r.width / 2; }
int CentreY(const Rect& r) { return r.top + r.height / 2; }

// One spelling: the names beside the staff, centred on its middle line (and
// so within the staff's height).
Rect DrawSinglePlace(Canvas& c, const Rect& area, const Spelling& s) {
    const int namesWidth = NamesWidth(s);
    const int width = namesWidth + kNamesGap + StaffLength(s.signature);
    const int left = CentreX(area) - width / 2;
    const int top = CentreY(area) - kStaffInkHeight / 2;
    const int topLine = top + kStaffInkAbove;
    const int middleLine = topLine + Scaled(kHeaderMiddleLine - kHeaderTopLine);
    DrawNames(c, left + namesWidth / 2, middleLine - kNamesHeight / 2, s);
    DrawStaff(c, left + namesWidth + kNamesGap, topLine, s.signature);
    return {left, top, width, kStaffInkHeight};
}

// Two spellings side by side, "=" between them, each with its staff below.
Rect DrawTwoSpellings(Canvas& c, const Rect& area, const Spelling& a, const Spelling& b) {
    const int widthA = std::max(NamesWidth(a), StaffLength(a.signature));
    const int widthB = std::max(NamesWidth(b), StaffLength(b.signature));
    const int width = widthA + kEqualsColumn + widthB;
    const int height = kNamesHeight + kStaffInkHeight;
    const int left = CentreX(area) - width / 2;
    const int top = CentreY(area) - height / 2;
    const int topLine = top + kNamesHeight + kStaffInkAbove;
    const int centreA = left + widthA / 2;
    const int centreB = left + widthA + kEqualsColumn + widthB / 2;
    DrawNames(c, centreA, top, a);
    DrawNames(c, centreB, top, b);
    const int equals = left + widthA + kEqualsColumn / 2;
    CentredText(c, equals, top, "=", kMajorPoints);
    CentredText(c, equals, top + kMajorLine, "=", kMinorPoints);
    DrawStaff(c, centreA - StaffLength(a.signature) / 2, topLine, a.signature);
    DrawStaff(c, centreB - StaffLength(b.signature) / 2, topLine, b.signature);
    return {left, top, width, height};
}

Rect DrawPlace(Canvas& c, int area) {
    const std::vector<Spelling> spellings = SpellingsOf(area);
    if (spellings.size() == 2) return DrawTwoSpellings(c, AreaRect(area), spellings[0], spellings[1]);
    return DrawSinglePlace(c, AreaRect(area), spellings[0]);
}

// ---------------------------------------------------------------------------
// The ring, its spokes and the arrows. Angles are degrees clockwise from the top.

constexpr double kCentreX = 345;
constexpr double kCentreY = 236;
constexpr double kRingRadius = 120;
constexpr double kArrowRadius = 100;
constexpr double kSpokeGap = 6;  // px between a spoke's end and its place
constexpr Color kRingColor = Rgb(96, 96, 96);
constexpr Color kSpokeColor = Rgb(176, 176, 176);
constexpr Color kArrowColor = kDarkRed;
constexpr double kPi = 3.14159265358979323846;

struct Point {
    double x, y;
};

Point OnCircle(double degrees, double radius) {
    const double a = degrees * kPi / 180;
    return {kCentreX + radius * std::sin(a), kCentreY - radius * std::cos(a)};
}

void StraightLine(Canvas& c, Point a, Point b, Color color, int width) {
    c.Line(static_cast<int>(std::lround(a.x)), static_cast<int>(std::lround(a.y)),
           static_cast<int>(std::lround(b.x)), static_cast<int>(std::lround(b.y)), color, width);
}

void Arc(Canvas& c, double from, double to, double radius, Color color, int width) {
    const int steps = std::max(1, static_cast<int>(std::lround(std::fabs(to - from) / 3)));
    for (int i = 0; i < steps; ++i)
        StraightLine(c, OnCircle(from + (to - from) * i / steps, radius),
                     OnCircle(from + (to - from) * (i + 1) / steps, radius), color, width);
}

// Two barbs at the end of an arc drawn from `from` to `to`.
void ArrowHead(Canvas& c, double from, double to, double radius, Color color) {
    const Point tip = OnCircle(to, radius);
    const double a = to * kPi / 180;
    const double sense = to > from ? 1 : -1;
    const double backX = -sense * std::cos(a), backY = -sense * std::sin(a);
    for (double turn : {-0.5, 0.5}) {
        const double bx = backX * std::cos(turn) - backY * std::sin(turn);
        const double by = backX * std::sin(turn) + backY * std::cos(turn);
        StraightLine(c, tip, {tip.x + 10 * bx, tip.y + 10 * by}, color, 2);
    }
}

void DrawArrow(Canvas& c, double from, double to, const char* label) {
    Arc(c, from, to, kArrowRadius, kArrowColor, 2);
    ArrowHead(c, from, to, kArrowRadius, kArrowColor);
    const Point at = OnCircle((from + to) / 2, kArrowRadius - 28);
    const int height = static_cast<int>(std::lround(kArrowPoints * kPixelsPerPoint * 1.16));
    c.Text(static_cast<int>(std::lround(at.x)) - TextWidth(label, kArrowPoints) / 2,
           static_cast<int>(std::lround(at.y)) - height / 2, label, kNameFont, kArrowPoints);
}

// In the middle, what the two names of a place are.
void DrawLegend(Canvas& c) {
    const int x = static_cast<int>(kCentreX), y = static_cast<int>(kCentreY) - kNamesHeight / 2;
    CentredText(c, x, y, "maggiore", kMajorPoints);
    CentredText(c, x, y + kMajorLine, "minore relativa", kMinorPoints);
}

// Distance from the centre, along the ray towards the middle of `box`, at
// which the ray reaches the box grown by `margin`.
double RayToBox(const Rect& box, double margin) {
    const double dx = CentreX(box) - kCentreX, dy = CentreY(box) - kCentreY;
    const double length = std::hypot(dx, dy);
    double t = 0;
    if (dx != 0) {
        const double nearX = dx > 0 ? box.left - margin : box.left + box.width + margin;
        t = std::max(t, (nearX - kCentreX) / dx);
    }
    if (dy != 0) {
        const double nearY = dy > 0 ? box.top - margin : box.top + box.height + margin;
        t = std::max(t, (nearY - kCentreY) / dy);
    }
    return t * length;
}

// A thin line from the ring out to a place.
void DrawSpoke(Canvas& c, const Rect& place) {
    const double degrees = std::atan2(CentreX(place) - kCentreX, kCentreY - CentreY(place)) * 180 / kPi;
    const double end = RayToBox(place, kSpokeGap);
    if (end > kRingRadius + kSpokeGap)
        StraightLine(c, OnCircle(degrees, kRingRadius), OnCircle(degrees, end), kSpokeColor, 1);
}

}  // namespace

CircleForm MakeCircleForm() {
    CircleForm f;
    f.caption = kCircleCaption;
    f.width = Px(kCircleClientWidthTwips);
    f.height = Px(kCircleClientHeightTwips);
    f.Label1 = Designed(ControlKind::Label, "Label1", kClickHint, kLabel1);
    f.Label2 = Designed(ControlKind::Label, "Label2", kClickHint, kLabel2);
    f.Command1 = Designed(ControlKind::Button, "Command1", "Close", kCloseButton);
    for (int i = 0; i < kCircleKeys; ++i) {
        Control& area = f.Image1[static_cast<std::size_t>(i)];
        area = Designed(ControlKind::Picture, "Image1", "", kAreas[static_cast<std::size_t>(i)], i);
        area.transparent = true;
    }
    return f;
}

void CICLO_Form_Load(CircleForm& f) {
    f.Command1.rect.left = f.width / 2 - f.Command1.rect.width / 2;
    f.picture.Clear();
    DrawCircle(f.picture);
}

void DrawCircle(Canvas& picture) {
    Arc(picture, 0, 360, kRingRadius, kRingColor, 2);
    DrawArrow(picture, 25, 155, "5\xC2\xAA");
    DrawArrow(picture, -25, -155, "4\xC2\xAA");
    DrawLegend(picture);
    for (int area = 0; area < kCircleKeys; ++area) DrawSpoke(picture, DrawPlace(picture, area));
}

int CircleAreaKey(int index) { return ((5 * index) % 12 + 12) % 12; }

void Image1_Click(Main& m, int index) {
    if (index < 0 || index >= kCircleKeys) return;
    const int k = CircleAreaKey(index);
    m.ui.List1.listIndex = 0;
    List1_Click(m);
    if (k != m.ui.Tonality.value) {
        m.ui.Tonality.value = k;
        Tonality_Change(m);
    }
}

}  // namespace tonemark
