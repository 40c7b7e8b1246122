#pragma once

#include "app/main_state.h"
#include "score/canvas.h"

namespace tonemark {

// Header x of the time signature for the key signature drawn.
int TimeSignatureX(int sharpCount, int flatCount);

// The key signature the header draws, as a count of fifths: sharps above 0,
// flats below.
int DrawnKeyFifths(const MainState& s);

// Staff, clef, key signature and time signature on the header box.
void Intestazione(Canvas& pic2, const MainState& s);

}  // namespace tonemark
