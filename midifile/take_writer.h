// Builds the recorded take's file, "madebyme.mid", from the rows of the event log.
#pragma once

#include <string>
#include <vector>

namespace tonemark {

struct TakeFileRequest {
    std::vector<std::string> rows;  // event-log rows: time, status, note, velocity, description, tab separated
    int transpose = 0;              // key, 0..11
    int tempoBpm = 120;             // tempo the take is written at
    int quantizeChoice = 0;         // 0 none, 1 sixteenths (48), 2 eighths (96), 3 quarters (192)
};

// The whole madebyme.mid image, one character per byte. Every row becomes a
// note-on on channel 1 at its time in milliseconds turned into ticks of the
// tempo written; the gap before each key press is rounded down to the
// quantize grid. Rows without four whole numbers first are passed over.
std::string BuildTakeFile(const TakeFileRequest& request);

}  // namespace tonemark
