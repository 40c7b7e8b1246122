#pragma once

#include "app/main_form.h"

namespace tonemark {

// GoodTrack for a recorded take: each note's length, the gap before it and the
// running count of rests, for every element of NoteEvents including the spare.
void AggiornaBuona2(MainState& s);

// Engraves the recorded take on PicScore (and the header on Pic2).
void PutInScore2(Main& m);

}  // namespace tonemark
