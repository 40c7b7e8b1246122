#include "theory/keys.h"

#include <array>

namespace tonemark {
namespace {

// One cell of the signature table: positive counts sharps, negative counts flats.
using SignatureRow = std::array<int, 12>;

// Rows by scale-list entry, columns by key (semitones above C). A mode takes
// the signature of the major key it is drawn from, a minor scale (and the
// minor pentatonic) that of its relative major, with flats for the flat keys.
// Where both spellings of a key read right ("Pentatonica Maggiore" on REb as
// C sharp, "Modo Locrio" on SIb as A sharp, "Pentatonica Minore" on DO with
// the two flats it needs) the row keeps the one it has always shown.
constexpr SignatureRow kMajorRow = {0, -5, 2, -3, 4, -1, -6, 1, -4, 3, -2, 5};
constexpr SignatureRow kMinorRow = {-3, 4, -1, -6, 1, -4, 3, -2, 5, 0, -5, 2};
constexpr SignatureRow kDorianRow = {-2, 5, 0, -5, 2, -3, 4, -1, -6, 1, -4, 3};

constexpr std::array<SignatureRow, 16> kSignatures = {{
    kMajorRow,                                         // 0 Scala maggiore
    kMinorRow,                                         // 1 Scala minore naturale
    kMinorRow,                                         // 2 Scala minore melodica
    kMinorRow,                                         // 3 Scala minore armonica
    kDorianRow,                                        // 4 Modo Dorico
    {-4, 3, -2, 5, 0, -5, 2, -3, 4, -1, -6, 1},        // 5 Modo Frigio
    {1, -4, 3, -2, 5, 0, -5, 2, -3, 4, -1, -6},        // 6 Modo Lidio
    {-1, -6, 1, -4, 3, -2, 5, 0, -5, 2, -3, 4},        // 7 Modo Misolidio
    kMinorRow,                                         // 8 Modo Eolio
    {-5, 2, -3, 4, -1, -6, 1, -4, 3, -2, 5, 0},        // 9 Modo Locrio
    kDorianRow,                                        // 10 Scala Blues
    {0, 5, 2, -3, 4, -1, -6, 1, -4, 3, -2, 5},         // 11 Pentatonica Maggiore
    {-2, 4, -1, -6, 1, -4, 3, -2, 5, 0, -5, 2},        // 12 Pentatonica Minore
    kMajorRow,                                         // 13 Toni interi
    kMajorRow,                                         // 14 Triadi
    {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},              // 15 the recorded take
}};

}  // namespace

KeySignature KeySignatureFor(int scaleIndex, int k) {
    if (scaleIndex < 0 || scaleIndex >= static_cast<int>(kSignatures.size()) || k < 0 || k >= 12) return {};
    const int cell = kSignatures[static_cast<std::size_t>(scaleIndex)][static_cast<std::size_t>(k)];
    return cell >= 0 ? KeySignature{cell, 0} : KeySignature{0, -cell};
}

}  // namespace tonemark
