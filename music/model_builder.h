// Making the model of the music on show at each rebuild. The engravers hand
// over what they decided for each note as they draw it (the head's place, the
// sign beside it, the column); the rest comes from the song as read back.
#pragma once

#include "app/main_form.h"
#include "music/music_model.h"

namespace tonemark {

// Starts a new model for the song just read back: title, tempo, meter and the
// key signature the header drew (as fifths); no notes yet.
void StartMusicModel(Main& m, bool isTake, int fifths);

// Engraved note `index` (its place in NotePositions): head text origin at
// `noteY`, `shown` the sign drawn beside it, glyph at `x`. Its pitch, timing
// and velocity come from the read-back note of the same index.
void AddEngravedNote(Main& m, int index, int noteY, ShownAccidental shown, int x);

// A rest column drawn at `x` before engraved note `beforeNote`, for a gap of
// `gapTicks`.
void AddEngravedRest(Main& m, int beforeNote, double gapTicks, int x);

// Marks the notes struck together once every note is in.
void FinishMusicModel(Main& m);

}  // namespace tonemark
