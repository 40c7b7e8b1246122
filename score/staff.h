// Pitch to staff place, and the written form of a note in the current key.
#pragma once

#include <string>

#include "app/main_state.h"
#include "music/music_model.h"

namespace tonemark {

// The text-origin y of a head for `note` (a black key stands on the place of
// the natural below it): what CALCOLONOTA sets NoteY to.
int StaffNoteY(int note);

// Sets s.NoteY for note NOTX; gives its pitch class and "#" for black keys.
void CALCOLONOTA(MainState& s, int NOTX, int& NotaDaCalc, std::string& DIESIS);

// The note written by a head whose text origin stands at `noteY` (as
// CALCOLONOTA sets NoteY): its step and octave are the head's line or space,
// its alteration what that place needs to sound `pitch`.
Spelling SpellingAt(int noteY, int pitch);

// The key notation of the scale score: the note number whose staff place the
// note takes, possibly renaming `noteName` to its written form in the key.
int KeyNotation(int noteNumber, std::string& noteName, int sharpCount, int flatCount);

}  // namespace tonemark
