// The music on show as data: what the score shows and the loudspeaker plays,
// made once per rebuild from the song as read back and from what the
// engraver decided (each note's spelling and the sign shown beside it).
// Everything that works on the music itself (exports, MIDI input, practice)
// reads this, never captions, list rows or the drawing.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tonemark {

// A note's name as written: step 'C' to 'B', alteration in semitones (-1 flat,
// 0 natural, +1 sharp) and octave, C4 being middle C (MIDI 60).
struct Spelling {
    char step = 'C';
    int alter = 0;
    int octave = 4;
    bool operator==(const Spelling&) const = default;
};

// The sign drawn beside a note head, if any.
enum class ShownAccidental { None, Sharp, Flat, Natural };

struct ModelNote {
    int index = 0;     // place among the engraved notes (NotePositions), from 0
    int pitch = 60;    // MIDI note number that sounds
    Spelling spelling;
    ShownAccidental shown = ShownAccidental::None;
    std::int64_t onsetTicks = 0;     // in the file's ticks (Division per quarter)
    std::int64_t durationTicks = 0;  // until its own note-off, as it sounds
    double onsetMs = 0;              // from the song's start, at its tempo
    double durationMs = 0;
    int velocity = 100;
    int bar = 1;                     // from 1
    double beat = 1.0;               // from 1.0 at the bar line, in beat units
    int chord = -1;                  // notes struck together share a number; -1 alone
    int x = 0;                       // the note's column on PicScore, pixels
};

// A rest column of the score: the gap the engraver saw before note
// `beforeNote` (the time since the note before it ended, as the score reads
// the song's one voice).
struct ModelRest {
    int beforeNote = 0;
    std::int64_t onsetTicks = 0;
    std::int64_t durationTicks = 0;
    int bar = 1;
    int x = 0;                       // the rest's column on PicScore, pixels
};

struct MusicModel {
    std::string title;               // the title line's text
    bool isTake = false;             // a recorded take, else generated material
    int division = 192;              // ticks per quarter note
    double tempoBpm = 120;
    double tempoMicros = 500000;     // microseconds per quarter note
    int beatsPerBar = 4;
    int beatUnit = 4;
    int fifths = 0;                  // key signature: sharps > 0, flats < 0
    std::vector<ModelNote> notes;    // in score order
    std::vector<ModelRest> rests;    // the rests the score shows
};

}  // namespace tonemark
