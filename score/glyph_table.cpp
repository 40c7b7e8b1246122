#include "score/glyph_table.h"

#include <algorithm>
#include <cmath>
#include <span>

namespace tonemark {
namespace {

// ---------------------------------------------------------------------------
// How the offsets were derived.
//
// Bravura is drawn at the staff size (32 px, staff space 8 px) whatever the
// point size of the logical font: every "Keep" symbol belongs to the one 8-px
// staff. Only the character cell grows with the point size, so the vertical
// drop from the text origin to a glyph's baseline scales with points: note
// heads lie 37 px below the origin at 16 pt, and the header's 18-pt origins put
// its symbols 41-42 px above their staff places (37 x 18/16 = 41.6). Vertical
// drops below (dy) are therefore given at the font's reference size (16 pt for
// "Keep", 20 pt for "MusicalSymbols") and scaled by points / reference.
// Horizontal offsets (dx) and pen advances are plain pixels, as the glyphs.
//
// A staff line at y is drawn as the pixel row y, whose centre is y + 0.5, so
// every baseline gets half a pixel more: a head centred on y + 0.5 covers the
// rows around its line symmetrically.
//
// Boxes are metadata.json's glyphBBoxes (staff spaces, y upward from the
// baseline). SMuFL draws note heads, sharps, naturals and time-signature digits
// centred on the baseline, a flat with its bowl on it, the G clef with the G
// line on it, rests on the middle line (the whole rest hangs from its line) and
// bar lines upward from the bottom line.
//
// Horizontal layout of a note column (glyph at x, sign at x - 8, ledger line
// from x - 5 to x + 11, i.e. pixels centred on x + 3.5):
//   * every note head starts about 1 px left of the origin (dx = -1): the black
//     head, 1.18 sp = 9.4 px wide, is then centred under the ledger line;
//   * accidentals are drawn at 85 % and right-aligned 6 px right of their own
//     origin, i.e. 2 px left of the note origin and 1 clear pixel before the
//     head. At full size Bravura's sharp (0.996 sp = 8 px) would fill the whole
//     8-px step between the header's sharps; at 85 % it is 6.8 px wide, leaving
//     1.2 px between neighbours. dx = 6 - 0.85 x width x 8.
//   * rests are centred where a black head's centre stands (x + 3.7):
//     dx = 3.7 - (box centre x 8).
// ---------------------------------------------------------------------------

struct Box {
    double swX, swY, neX, neY;  // staff spaces, y upward
};

struct GlyphEntry {
    char32_t character;  // as the program prints it (code page 1252 value)
    char32_t codePoint;  // Bravura; 0 for a blank
    double dx;           // px from the text origin (or pen) to the baseline origin
    double dy;           // px at the reference size, scaled with the point size
    double scale;        // of the staff-sized glyph
    double advance;      // px the pen moves on
    Box box;
};

constexpr double kKeepReferencePoints = 16.0;
constexpr double kSymbolsReferencePoints = 20.0;
constexpr double kHeadDrop = 37.0;         // note-head centre below the origin at 16 pt
constexpr double kLineRowCentre = 0.5;     // a line at y is the pixel row y
// Every note head starts about 1 px left of the origin; stemmed notes are moved
// by a fraction more so that the stem's right edge falls on a pixel edge and the
// stem (0.12 sp, ~1 px) is drawn as one crisp column: the stem of an up-stem
// quarter ends 1.328 sp = 10.62 px right of the glyph origin, a half note's
// 1.364 sp = 10.91 px.
constexpr double kHeadLeft = -1.0;
constexpr double kBlackNoteLeft = -0.62;
constexpr double kHalfNoteLeft = -0.91;
constexpr double kAccidentalScale = 0.85;
constexpr double kClefScale = 0.9;
// The clef on the G line: origin (10, 12) at 18 pt, G line 56 -> 44 px at 18 pt.
constexpr double kClefDrop = 44.0 * kKeepReferencePoints / 18.0;
// Its box (2.684 sp x 0.9 = 19.3 px) from x = 3.5 to 22.8, clear of the first
// header sharp, which starts at 24 - 0.77 = 23.2.
constexpr double kClefLeft = -6.5;
// Bar lines (4 sp = 32 px tall) from the top line's row centre 32.5 to the
// bottom line's 64.5: "|" is printed at y 32, the take's end mark "\" at 33.
constexpr double kBarLineDrop = 32.0;
constexpr double kEndMarkDrop = 31.0;
// Time-signature digits (2 sp tall) at 90 %, 14.4 px: printed at y -1 and 14
// (15 px apart, the halves are 16 apart) so the upper is centred 0.5 px low in
// 32..48 and the lower 0.5 px high in 48..64: baselines at 41 and 56 = origin
// + 0.5 + 41.5 at 18 pt. 90 % also keeps a two-space-wide "4" (13 px) inside
// the 92-px header box behind six flats.
constexpr double kTimeSigScale = 0.9;
constexpr double kTimeSigDrop = 41.5 * kKeepReferencePoints / 18.0;
// Bar numbers, printed at 16 pt at (bar line + 8, -30): small digits (55 %,
// 9 px tall) standing at the start of their bar, high above the staff. Their
// neighbours in every scale, key and note value:
//   * the note before the bar line has its stem 7 px left of the line, and an
//     eighth's or sixteenth's flag reaches 1 px past it: from the top
//     notes F#5 to A5 the flag covers the line's column from the picture's top
//     edge down to the staff, so no number can stand centred on the line.
//     The digits' ink starts 4 px right of the line instead, 2 px clear of
//     every flag;
//   * the note after it has its accidental from 7 px right of the line and
//     its ledger lines from 11 px, none of them above row 15: the digits are
//     centred at y = 7 (ink rows 2.5 to 11.5), below the picture's top edge
//     and at least 3 px above them.
constexpr double kBarNumberScale = 0.55;
constexpr double kBarNumberDrop = 36.5;
constexpr double kBarNumberInkLeft = -4.0;  // from the text origin: 4 px right of the bar line
// Digits at this size and above are time-signature numerals (the header's 18 pt).
constexpr double kTimeSigMinPoints = 17.0;
// A blank is 12.5 px at 18 pt: the header prints " 4 " and the digits must
// start clear of the last key-signature symbol (the sixth flat ends at 74.0,
// the time signature's origin is 64, its digits start at 77.1).
constexpr double kBlankAdvance = 12.5 * kKeepReferencePoints / 18.0;

constexpr double Centred(Box b) { return 3.7 - (b.swX + b.neX) / 2 * kStaffSpacePx; }
constexpr double RightAligned(Box b) { return 6.0 - b.neX * kStaffSpacePx * kAccidentalScale; }

constexpr Box kSixteenthBox{0, -0.552, 2.324, 3.492};
constexpr Box kEighthBox{0, -0.552, 2.264, 3.492};
constexpr Box kQuarterBox{0, -0.564, 1.328, 3.5};
constexpr Box kHalfBox{0, -0.58, 1.364, 3.5};
constexpr Box kWholeHeadBox{0, -0.5, 1.688, 0.5};
constexpr Box kBlackHeadBox{0, -0.5, 1.18, 0.5};
constexpr Box kDotBox{0, -0.2, 0.4, 0.2};
constexpr Box kRest16Box{0, -2.0, 1.28, 0.716};
constexpr Box kRest8Box{0, -1.004, 0.988, 0.696};
constexpr Box kRestQuarterBox{0.004, -1.5, 1.08, 1.492};
constexpr Box kRestHalfBox{0, -0.008, 1.128, 0.568};
constexpr Box kRestWholeBox{0, -0.54, 1.128, 0.036};
constexpr Box kSharpBox{0, -1.392, 0.996, 1.4};
constexpr Box kFlatBox{0, -0.7, 0.904, 1.756};
constexpr Box kNaturalBox{0, -1.34, 0.672, 1.364};
constexpr Box kGClefBox{0, -2.632, 2.684, 4.392};
constexpr Box kBarLineBox{0, 0, 0.144, 4.0};
constexpr Box kFinalBarBox{0, 0, 0.912, 4.0};

// Pen advance after a note or rest that may carry a dot: the dot starts 12 px
// right of the origin, 3.5 px clear of a half note's head.
constexpr double kDottedAdvance = 12.0;

constexpr GlyphEntry kKeep[] = {
    // notes (stem up), heads on the baseline
    {U'x', 0xE1D9, kBlackNoteLeft, kHeadDrop, 1.0, kDottedAdvance, kSixteenthBox},  // note16thUp
    {U'e', 0xE1D7, kBlackNoteLeft, kHeadDrop, 1.0, kDottedAdvance, kEighthBox},     // note8thUp
    {U'q', 0xE1D5, kBlackNoteLeft, kHeadDrop, 1.0, kDottedAdvance, kQuarterBox},    // noteQuarterUp
    {U'h', 0xE1D3, kHalfNoteLeft, kHeadDrop, 1.0, kDottedAdvance, kHalfBox},       // noteHalfUp
    {U'y', 0xE0A2, kHeadLeft, kHeadDrop, 1.0, 16.0, kWholeHeadBox},           // noteheadWhole
    // a head alone, for marks beside a note (the review's played pitch)
    {U'o', 0xE0A4, kHeadLeft, kHeadDrop, 1.0, 12.0, kBlackHeadBox},           // noteheadBlack
    {U'.', 0xE1E7, 0.0, kHeadDrop, 1.0, 4.0, kDotBox},                         // augmentationDot
    // rests, printed at y 11: 11 + 37 = 48, the middle line
    {0xC5, 0xE4E7, Centred(kRest16Box), kHeadDrop, 1.0, kDottedAdvance, kRest16Box},            // rest16th
    {0xE4, 0xE4E6, Centred(kRest8Box), kHeadDrop, 1.0, kDottedAdvance, kRest8Box},              // rest8th
    {0xCE, 0xE4E5, Centred(kRestQuarterBox), kHeadDrop, 1.0, kDottedAdvance, kRestQuarterBox},  // restQuarter
    {U'-', 0xE4E4, Centred(kRestHalfBox), kHeadDrop, 1.0, kDottedAdvance, kRestHalfBox},        // restHalf
    // the whole rest hangs from the fourth line, one space above the middle line
    {0xE0, 0xE4E3, Centred(kRestWholeBox), kHeadDrop - kStaffSpacePx, 1.0, kDottedAdvance, kRestWholeBox},
    // accidentals. A flat sits with its bowl on its place; the header's sixth
    // flat is printed 2 px higher than the others (origin 0 for the space at
    // 44) and is drawn as printed: one character cannot be corrected for one
    // position, and 2 px high it still stands plainly in its space.
    {U'#', 0xE262, RightAligned(kSharpBox), kHeadDrop, kAccidentalScale, 8.0, kSharpBox},      // accidentalSharp
    {U'b', 0xE260, RightAligned(kFlatBox), kHeadDrop, kAccidentalScale, 8.0, kFlatBox},        // accidentalFlat
    {U'n', 0xE261, RightAligned(kNaturalBox), kHeadDrop, kAccidentalScale, 8.0, kNaturalBox},  // accidentalNatural
    // clef and bar lines
    {U'&', 0xE050, kClefLeft, kClefDrop, kClefScale, 24.0, kGClefBox},         // gClef
    {U'|', 0xE030, 0.0, kBarLineDrop, 1.0, 2.0, kBarLineBox},                  // barlineSingle
    {U'\\', 0xE032, 0.0, kEndMarkDrop, 1.0, 8.0, kFinalBarBox},                // barlineFinal
    {U' ', 0, 0.0, 0.0, 1.0, kBlankAdvance, {}},
};

// The end bar of the scale score, "u" at 20 pt printed at (x - 6, 40) after
// the last note at x: thin stroke at x + 16, where a bar line would stand;
// bottom at the bottom line's row centre 64.5 = 40 + 0.5 + 24.
constexpr GlyphEntry kSymbols[] = {
    {U'u', 0xE032, 22.0, 24.0, 1.0, 8.0, kFinalBarBox},
};

// timeSig0..timeSig9: boxes and advances from the metadata.
constexpr Box kDigitBoxes[10] = {
    {0.08, -1.0, 1.8, 1.004},   {0.08, -1.0, 1.256, 1.004}, {0.08, -1.028, 1.704, 1.016},
    {0.08, -1.004, 1.604, 0.996}, {0.08, -1.0, 1.8, 1.004}, {0.08, -1.004, 1.532, 0.984},
    {0.08, -0.996, 1.656, 1.004}, {0.08, -1.0, 1.684, 0.996}, {0.08, -1.036, 1.664, 1.036},
    {0.08, -0.996, 1.656, 1.004},
};
constexpr double kDigitAdvances[10] = {1.88, 1.336, 1.784, 1.684, 1.88, 1.612, 1.736, 1.764, 1.744, 1.736};

GlyphEntry DigitEntry(char32_t c, double points) {
    const int d = static_cast<int>(c - U'0');
    const bool timeSignature = points >= kTimeSigMinPoints;
    const double scale = timeSignature ? kTimeSigScale : kBarNumberScale;
    const double drop = timeSignature ? kTimeSigDrop : kBarNumberDrop;
    const double left = timeSignature ? 0.0 : kBarNumberInkLeft - kDigitBoxes[d].swX * kStaffSpacePx * scale;
    return {c, static_cast<char32_t>(0xE080 + d), left, drop, scale, kDigitAdvances[d] * kStaffSpacePx * scale,
            kDigitBoxes[d]};
}

std::optional<GlyphEntry> FindEntry(std::span<const GlyphEntry> table, char32_t c) {
    const auto it = std::find_if(table.begin(), table.end(), [c](const GlyphEntry& e) { return e.character == c; });
    if (it == table.end()) return std::nullopt;
    return *it;
}

struct FontMetrics {
    std::span<const GlyphEntry> table;
    double referencePoints;
    bool hasDigits;
};

std::optional<FontMetrics> MetricsOf(const std::string& font) {
    if (font == "Keep") return FontMetrics{kKeep, kKeepReferencePoints, true};
    if (font == "MusicalSymbols") return FontMetrics{kSymbols, kSymbolsReferencePoints, false};
    return std::nullopt;
}

std::optional<GlyphEntry> Lookup(const FontMetrics& font, char32_t c, double points) {
    if (font.hasDigits && c >= U'0' && c <= U'9') return DigitEntry(c, points);
    return FindEntry(font.table, c);
}

// UTF-8 to code points; a byte that does not start a valid sequence stands for
// itself (code page 1252 and Latin-1 agree on the characters used here).
std::vector<char32_t> DecodeText(const std::string& text) {
    std::vector<char32_t> out;
    for (std::size_t i = 0; i < text.size();) {
        const auto b = static_cast<unsigned char>(text[i]);
        const int extra = b >= 0xF0 ? 3 : b >= 0xE0 ? 2 : b >= 0xC0 ? 1 : 0;
        char32_t cp = extra == 0 ? b : b & (0x3F >> extra);
        bool valid = i + extra < text.size() || extra == 0;
        for (int k = 1; valid && k <= extra; ++k) {
            const auto c = static_cast<unsigned char>(text[i + k]);
            valid = (c & 0xC0) == 0x80;
            cp = (cp << 6) | (c & 0x3F);
        }
        if (!valid || (b >= 0x80 && extra == 0)) {
            out.push_back(b);
            ++i;
        } else {
            out.push_back(cp);
            i += extra + 1;
        }
    }
    return out;
}

// An augmentation dot stands in a space: after a head on a line it moves up
// half a staff space. Lines (and ledger lines) lie on multiples of 8 from 32.
double DotLift(double headY) {
    const long place = std::lround(headY);
    const bool onLine = ((place - 32) % 8 + 8) % 8 == 0;
    return onLine ? kStaffSpacePx / 2 : 0.0;
}

struct GlyphWithBox {
    PlacedGlyph glyph;
    Box box;
};

std::vector<GlyphWithBox> PlaceText(const TextOp& text) {
    std::vector<GlyphWithBox> out;
    const auto font = MetricsOf(text.font);
    if (!font) return out;
    const double staff = text.staffScale;
    const double dropScale = text.points / font->referencePoints * staff;
    double pen = text.x;
    for (char32_t c : DecodeText(text.text)) {
        const auto entry = Lookup(*font, c, text.points);
        if (!entry) continue;
        if (entry->codePoint != 0) {
            double y = text.y + kLineRowCentre + entry->dy * dropScale;
            if (c == U'.') y -= DotLift(text.y + kHeadDrop * dropScale) * staff;
            out.push_back({{entry->codePoint, pen + entry->dx * staff, y, kBravuraStaffPixelSize * entry->scale * staff},
                           entry->box});
        }
        pen += c == U' ' ? entry->advance * dropScale : entry->advance * staff;
    }
    return out;
}

}  // namespace

std::vector<PlacedGlyph> LayoutText(const TextOp& text) {
    std::vector<PlacedGlyph> out;
    for (const GlyphWithBox& g : PlaceText(text)) out.push_back(g.glyph);
    return out;
}

std::optional<InkBox> InkBounds(const TextOp& text) {
    std::optional<InkBox> box;
    for (const auto& [g, b] : PlaceText(text)) {
        const double unit = g.pixelSize / 4.0;  // one staff space at this glyph's size
        const InkBox ink{g.x + b.swX * unit, g.y - b.neY * unit, g.x + b.neX * unit, g.y - b.swY * unit};
        if (!box) box = ink;
        box->left = std::min(box->left, ink.left);
        box->top = std::min(box->top, ink.top);
        box->right = std::max(box->right, ink.right);
        box->bottom = std::max(box->bottom, ink.bottom);
    }
    return box;
}

}  // namespace tonemark
