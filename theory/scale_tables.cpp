#include "theory/scales.h"

namespace tonemark {

const std::array<std::string, 16> kScaleNames = {
    "Scala maggiore",  "Scala minore naturale", "Scala minore melodica", "Scala minore armonica",
    "Modo Dorico",     "Modo Frigio",           "Modo Lidio",            "Modo Misolidio",
    "Modo Eolio",      "Modo Locrio",           "Scala Blues",           "Pentatonica Maggiore",
    "Pentatonica Minore", "Toni interi",        "Triadi",                " "};

namespace {

// Semitones above the root, up one octave and back down, one row per list entry.
// "Triadi" holds the roots of its chords: the major scale.
const std::array<std::vector<std::int16_t>, 15> kScaleSteps = {{
    {0, 2, 4, 5, 7, 9, 11, 12, 11, 9, 7, 5, 4, 2, 0},     // Scala maggiore
    {0, 2, 3, 5, 7, 8, 10, 12, 10, 8, 7, 5, 3, 2, 0},     // Scala minore naturale
    {0, 2, 3, 5, 7, 9, 11, 12, 10, 8, 7, 5, 3, 2, 0},     // Scala minore melodica
    {0, 2, 3, 5, 7, 8, 11, 12, 11, 8, 7, 5, 3, 2, 0},     // Scala minore armonica
    {0, 2, 3, 5, 7, 9, 10, 12, 10, 9, 7, 5, 3, 2, 0},     // Modo Dorico
    {0, 1, 3, 5, 7, 8, 10, 12, 10, 8, 7, 5, 3, 1, 0},     // Modo Frigio
    {0, 2, 4, 6, 7, 9, 11, 12, 11, 9, 7, 6, 4, 2, 0},     // Modo Lidio
    {0, 2, 4, 5, 7, 9, 10, 12, 10, 9, 7, 5, 4, 2, 0},     // Modo Misolidio
    {0, 2, 3, 5, 7, 8, 10, 12, 10, 8, 7, 5, 3, 2, 0},     // Modo Eolio
    {0, 1, 3, 5, 6, 8, 10, 12, 10, 8, 6, 5, 3, 1, 0},     // Modo Locrio
    {0, 3, 5, 6, 7, 10, 12, 10, 7, 6, 5, 3, 0},           // Scala Blues
    {0, 2, 5, 7, 9, 7, 5, 2, 0},                          // Pentatonica Maggiore
    {0, 3, 5, 7, 10, 7, 5, 3, 0},                         // Pentatonica Minore
    {0, 2, 4, 6, 8, 10, 12, 10, 8, 6, 4, 2, 0},           // Toni interi
    {0, 2, 4, 5, 7, 9, 11, 12, 11, 9, 7, 5, 4, 2, 0},     // Triadi
}};

}  // namespace

std::vector<std::int16_t> ScaleStepsFor(int index) {
    if (index < 0 || index >= static_cast<int>(kScaleSteps.size())) return {};
    return kScaleSteps[static_cast<std::size_t>(index)];
}

}  // namespace tonemark
