// The signs that minor, blues and whole-tone scales need beyond their key signature.
#pragma once

#include <string>

#include "app/main_state.h"

namespace tonemark {

struct SignFlags {
    bool natural = false, sharp = false, flat = false;
};

// Applies the rules for scale-list entry `selection` to note `i`. `prefix` is
// the first four characters of the name as read; may change `placingNote`
// and `noteName`.
SignFlags ApplyScaleRules(int selection, int i, const std::string& prefix, int sharpCount,
                          int flatCount, int noteNumber, int& placingNote, std::string& noteName);

}  // namespace tonemark
