// How the program's two logical music fonts, "Keep" and "MusicalSymbols", are
// drawn with Bravura (SMuFL). A text operation places its characters by the
// top-left corner of the character cell; this table turns each character into
// a Bravura glyph with the baseline origin and size at which it must be drawn
// so that the symbol lands on the staff where the engravers mean it to.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "score/canvas.h"

namespace tonemark {

// The score's staff: lines 8 px apart. Bravura's em is four staff spaces, so
// Bravura at 32 px draws on this staff.
inline constexpr double kStaffSpacePx = 8.0;
inline constexpr double kBravuraStaffPixelSize = 4.0 * kStaffSpacePx;

// One glyph ready to draw: Bravura code point, baseline origin in pixels of the
// picture (x to the right, y downward) and Bravura pixel size.
struct PlacedGlyph {
    char32_t codePoint;
    double x, y;
    double pixelSize;
    bool operator==(const PlacedGlyph&) const = default;
};

// Ink box of a text in pixels, from the glyphs' bounding boxes in the font's
// metadata (not from rendered pixels).
struct InkBox {
    double left, top, right, bottom;
};

// The glyphs of a text operation in drawing order. Characters the font does
// not have draw nothing; a blank only moves the pen.
std::vector<PlacedGlyph> LayoutText(const TextOp& text);

// Where the glyphs of a text operation put ink; nothing for a blank text.
std::optional<InkBox> InkBounds(const TextOp& text);

}  // namespace tonemark
