// Reads an engraved scale from its display lists as a musician reads the staff:
// the key signature in the header, each head's line or space on the treble
// staff, the head's own sign, and the signs met earlier in its bar.
#pragma once

#include <string>
#include <vector>

#include "score/canvas.h"

namespace tonemark::testing {

struct ReadHead {
    int x = 0;           // column of the head on the score picture
    int midi = 0;        // the pitch a musician reads
    std::string written; // e.g. "Ab4", "F#5", "Cn5" (own natural), "B4"
};

struct StaffReading {
    int sharps = 0, flats = 0;       // the header's key signature
    std::vector<ReadHead> heads;     // in drawing order; a chord's heads share x
    std::vector<std::string> doubts; // what a reader could not make sense of
};

// `header` is the header box, `score` the score picture.
StaffReading ReadStaff(const RecordingCanvas& header, const RecordingCanvas& score);

// Pitches by column: the heads that share an x, lowest first, one group per column.
std::vector<std::vector<int>> Columns(const StaffReading& reading);

}  // namespace tonemark::testing
