// Small helpers shared by the MIDI file tests: byte literals and file images.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>

#include "midifile/writer.h"
#include "theory/scales.h"

namespace tonemark::testing {

// A byte string from literal values, as the file must hold them.
inline std::string Bytes(std::initializer_list<int> values) {
    std::string out;
    for (int v : values) out += static_cast<char>(static_cast<std::uint8_t>(v));
    return out;
}

// Header chunk "MThd", length 6, then format, track count and division as given.
inline std::string HeaderChunk(int format, int tracks, int divisionHigh = 0x00, int divisionLow = 0xC0) {
    return "MThd" + Bytes({0, 0, 0, 6, 0, format, 0, tracks, divisionHigh, divisionLow});
}

// "MTrk" with the right length, then the events.
inline std::string TrackChunk(const std::string& events) {
    const auto n = events.size();
    return "MTrk" + Bytes({0, 0, static_cast<int>(n >> 8), static_cast<int>(n & 0xFF)}) + events;
}

// A single-track file at 192 ticks per quarter.
inline std::string SingleTrackFile(const std::string& events) { return HeaderChunk(0, 1) + TrackChunk(events); }

inline ScaleFileRequest Request(int entry, int key, int noteValueTicks, int tempoBpm = 120) {
    return {entry, ScaleStepsFor(entry), key, tempoBpm, noteValueTicks};
}

}  // namespace tonemark::testing
