// Writes the chosen scale, mode or chord sequence as "scoretemp.mid".
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "app/main_form.h"

namespace tonemark {

// The pieces every file the program writes begins and ends with: format 0,
// one track, 192 ticks per quarter note.
constexpr int kTicksPerQuarter = 192;
std::string SmfHeaderChunk();
// "MTrk" and the track's length as four bytes, most significant first.
std::string SmfTrackHeader(std::size_t trackLength);
// Delta 0, FF 51 03 and MicrosPerQuarter(tempoBpm) as three bytes.
std::string SmfTempoEvent(int tempoBpm);
std::string SmfEndOfTrack();
// 60000000 / tempoBpm rounded down (a tempo below 1 counts as 1), at most what three bytes hold.
std::uint32_t MicrosPerQuarter(int tempoBpm);
// Most significant 7-bit group first; every byte but the last has its top bit set.
void AppendVarLen(std::string& out, std::uint32_t value);

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
