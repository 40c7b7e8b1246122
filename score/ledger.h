#pragma once

#include "score/canvas.h"

namespace tonemark {

// Ledger lines for a note printed with text-origin y VERTSLOPE, starting at x GXX.
void TAGLI(Canvas& canvas, int VERTSLOPE, int GXX);

}  // namespace tonemark
