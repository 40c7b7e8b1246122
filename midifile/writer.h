// Writes the chosen scale, mode or chord sequence as "scoretemp.mid".
#pragma once

#include <string>
#include <vector>

#include "app/main_form.h"

namespace tonemark {

struct ScaleFileRequest {
    int scaleIndex = 0;              // 14 writes chords
    std::vector<std::int16_t> steps; // semitones above the root, indices 0..ScaleLast
    int transpose = 0;               // key, 0..11
    int tempoBpm = 120;
    int noteValueTicks = 192;
};

struct ScaleFile {
    std::string bytes;              // the whole file, one character per byte
    std::vector<std::string> log;   // event-log rows, tab separated
};

ScaleFile BuildScaleFile(const ScaleFileRequest& request);

// Builds the file for the current choice, fills List2, writes the file and
// takes the tempo back with ReadFile. Returns false (after telling the user)
// when the file could not be written; nothing else is changed then.
bool MakeSMF(Main& m);

}  // namespace tonemark
