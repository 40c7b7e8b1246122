#include "score/glyphs.h"

#include <cstdlib>

namespace tonemark {

namespace {

struct LengthRange {
    double from, to;  // inclusive
    const char* glyph;
};

constexpr double kNoUpperBound = 1e300;

// Each length takes the largest value not above it; everything from a whole up is a whole.
constexpr LengthRange kNoteRanges[] = {
    {1, 95, "x"},    {96, 191, "e"},  {192, 383, "q"},
    {384, 575, "h"}, {576, 767, "h."}, {768, kNoUpperBound, "y"},
};

constexpr LengthRange kRestRanges[] = {
    {48, 95, kSixteenthRest}, {96, 191, kEighthRest},       {192, 383, kQuarterRest},
    {384, 575, kHalfRest},    {576, 767, kDottedHalfRest}, {768, kNoUpperBound, kWholeRest},
};

template <std::size_t N>
std::string GlyphForLength(const LengthRange (&ranges)[N], double ticks) {
    for (const LengthRange& r : ranges)
        if (ticks >= r.from && ticks <= r.to) return r.glyph;
    return {};
}

}  // namespace

std::string CalcolaDurata(double Notadurata) { return GlyphForLength(kNoteRanges, Notadurata); }

std::string CalcolaDurata(const std::string& Notadurata) {
    const char* begin = Notadurata.c_str();
    char* end = nullptr;
    const double ticks = std::strtod(begin, &end);
    if (end == begin) return {};
    while (*end == ' ') ++end;
    if (*end != '\0') return {};
    return CalcolaDurata(ticks);
}

std::string CalcolaPausa(double PausaDurata) { return GlyphForLength(kRestRanges, PausaDurata); }

}  // namespace tonemark
