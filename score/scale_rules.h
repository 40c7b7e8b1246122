// The signs that minor, blues and whole-tone scales need beyond their key signature.
#pragma once

#include <map>
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

// What a reader holds for each line and space while reading a bar: the key
// signature, then the last sign written there in the bar. A note that would
// read otherwise than it sounds gets the sign that says what it is, as the
// natural on the fifth after a flattened fifth in the same bar.
class HeldSigns {
public:
    HeldSigns(int sharpCount, int flatCount);
    void NewBar() { held_.clear(); }
    // The signs note `noteNumber`, written on the place of `placingNote`, is
    // drawn with: `signs` (the rules' choice) when it has one, else the sign
    // it needs if the place holds another alteration. Remembers the result.
    SignFlags Settle(int noteNumber, int placingNote, SignFlags signs);

private:
    int signature_[12] = {};          // alteration by the natural's pitch class
    std::map<int, int> held_;         // natural note number -> alteration
};

}  // namespace tonemark
