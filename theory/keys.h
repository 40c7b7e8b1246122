// The key selector: key names, key signatures and the title line.
#pragma once

#include "app/main_form.h"

namespace tonemark {

struct KeySignature {
    int sharps = 0;
    int flats = 0;
    bool operator==(const KeySignature&) const = default;
};

// Signature for a scale-list entry (0..15) in key k (0..11).
KeySignature KeySignatureFor(int scaleIndex, int k);

void Tonality_Change(Main& m);

}  // namespace tonemark
