#include "score/ledger.h"

#include <array>
#include <vector>

namespace tonemark {

namespace {

constexpr int kLedgerLength = 16;

struct LedgerRow {
    int noteY;
    std::array<int, 3> lineY;
    int lineCount;
};

// Heights fitted to the note heads of "Keep" at 16 points, not to the staff
// grid: some lie a pixel off the 8-pixel spacing on purpose.
constexpr std::array<LedgerRow, 10> kLedgerRows = {{
    {-29, {8, 16, 23}, 3},  // E6
    {-25, {23, 16}, 2},     // D6
    {-21, {23, 16}, 2},     // C6
    {-17, {23}, 1},         // B5
    {-13, {24}, 1},         // A5
    {35, {71}, 1},          // C4
    {39, {72}, 1},          // B3
    {43, {73, 79}, 2},      // A3
    {47, {73, 79}, 2},      // G3
    {51, {73, 79, 87}, 3},  // F3
}};

constexpr int kLowestFixedRow = 51;

std::vector<int> LedgerHeights(int noteY) {
    if (noteY > kLowestFixedRow) return {noteY + 22, noteY + 28, noteY + 34};
    for (const LedgerRow& row : kLedgerRows)
        if (row.noteY == noteY) return {row.lineY.begin(), row.lineY.begin() + row.lineCount};
    return {};
}

}  // namespace

void TAGLI(Canvas& canvas, int VERTSLOPE, int GXX) {
    for (int y : LedgerHeights(VERTSLOPE)) canvas.Line(GXX, y, GXX + kLedgerLength, y, 0, 1);
}

}  // namespace tonemark
