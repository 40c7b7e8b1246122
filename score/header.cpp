#include "score/header.h"

#include <array>
#include <string>

#include "score/glyphs.h"

namespace tonemark {

namespace {

constexpr double kHeaderPoints = 18;
constexpr std::array<int, 5> kStaffLineY = {32, 40, 48, 56, 64};

struct Origin {
    int x, y;
};

constexpr std::array<Origin, 5> kSharpOrigins = {{{24, -9}, {32, 2}, {40, -13}, {48, -1}, {56, 10}}};
constexpr std::array<Origin, 6> kFlatOrigins = {
    {{28, 6}, {36, -6}, {44, 10}, {52, -2}, {60, 14}, {68, 0}}};

// How far the time signature stands left of x = 58, by the accidentals drawn.
constexpr int kTimeSignatureBaseX = 58;
constexpr int kPlainKeyShift = 38;
constexpr std::array<int, 5> kShiftAfterSharps = {36, 26, 16, 6, 0};
constexpr std::array<int, 6> kShiftAfterFlats = {32, 26, 16, 6, 0, -6};

bool Drawn(int count, std::size_t tableSize) {
    return count >= 1 && static_cast<std::size_t>(count) <= tableSize;
}

// A number as printed: a blank (or minus) for the sign, the digits, a trailing blank.
std::string PrintForm(int value) {
    const std::string digits = std::to_string(value < 0 ? -value : value);
    return (value < 0 ? "-" : " ") + digits + " ";
}

void DrawSignature(Canvas& pic2, char sign, const Origin* origins, int count) {
    for (int i = 0; i < count; ++i)
        pic2.Text(origins[i].x, origins[i].y, std::string(1, sign), kKeepFont, kHeaderPoints);
}

}  // namespace

int TimeSignatureX(int sharpCount, int flatCount) {
    int shift = kPlainKeyShift;
    if (Drawn(sharpCount, kShiftAfterSharps.size())) shift = kShiftAfterSharps[sharpCount - 1];
    if (Drawn(flatCount, kShiftAfterFlats.size())) shift = kShiftAfterFlats[flatCount - 1];
    return kTimeSignatureBaseX - shift;
}

// The flats are drawn last, over any sharps.
int DrawnKeyFifths(const MainState& s) {
    if (Drawn(s.FlatCount, kFlatOrigins.size())) return -s.FlatCount;
    if (Drawn(s.SharpCount, kSharpOrigins.size())) return s.SharpCount;
    return 0;
}

void Intestazione(Canvas& pic2, const MainState& s) {
    for (int y : kStaffLineY) pic2.Line(0, y, pic2.Width(), y, 0, 1);
    pic2.Text(10, 12, "&", kKeepFont, kHeaderPoints);
    if (Drawn(s.SharpCount, kSharpOrigins.size()))
        DrawSignature(pic2, '#', kSharpOrigins.data(), s.SharpCount);
    if (Drawn(s.FlatCount, kFlatOrigins.size()))
        DrawSignature(pic2, 'b', kFlatOrigins.data(), s.FlatCount);
    const int tx = TimeSignatureX(s.SharpCount, s.FlatCount);
    pic2.Text(tx, -1, PrintForm(s.TimeSigNumerator), kKeepFont, kHeaderPoints);
    pic2.Text(tx, 14, PrintForm(s.TimeSigDenominator), kKeepFont, kHeaderPoints);
}

}  // namespace tonemark
