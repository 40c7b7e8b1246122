// Pitch to staff place, and the written form of a note in the current key.
#pragma once

#include <string>

#include "app/main_state.h"

namespace tonemark {

// Sets s.NoteY for note NOTX; gives its pitch class and "#" for black keys.
void CALCOLONOTA(MainState& s, int NOTX, int& NotaDaCalc, std::string& DIESIS);

// The key notation of the scale score: the note number whose staff place the
// note takes, possibly renaming `noteName` to its written form in the key.
int KeyNotation(int noteNumber, std::string& noteName, int sharpCount, int flatCount);

}  // namespace tonemark
