// Walking the engraved score note by note with the arrow keys, and clicking a
// note on it: the note (or the chord, for "Triadi") sounds for a moment, its
// name stands under it, the cursor stands on it and its keys light.
#pragma once

#include "app/main_form.h"

namespace tonemark {

inline constexpr int kKeyLeftArrow = 37;
inline constexpr int kKeyRightArrow = 39;

// `keyCode`: 37 Left, 39 Right; any other key does nothing.
void PicScore_KeyDown(Main& m, int keyCode, int shift);
// Presents the note or chord at SelectedNote.
void AggiornaScore(Main& m);
// A press of any mouse button at (x, y) on the score picture.
void PicScore_MouseDown(Main& m, int button, int shift, int x, int y);

}  // namespace tonemark
