// A quick, bounds-checked look at a Standard MIDI File's bytes: its division,
// the tick of its last end-of-track and the meters of its first track. The
// synthesiser plays the file itself; this tells the program what it does not
// report (the length and the time signature).
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace tonemark {

struct MeterChange {
    std::int64_t tick = 0;
    int beatsPerBar = 4;
    int beatUnit = 4;
};

struct SmfSummary {
    int division = 0;             // ticks per quarter note
    std::int64_t lengthTicks = 0; // end of the longest track
    std::vector<MeterChange> meters;  // first track, in file order
};

// Nothing when the bytes are not a MIDI file with a ticks-per-quarter division
// and at least one track. A damaged track counts up to its last whole event.
std::optional<SmfSummary> ScanSmf(std::span<const std::uint8_t> bytes);

// Conversions between a file's ticks and music time (768 per quarter note).
std::int64_t TicksToMusicTime(std::int64_t ticks, int division);
std::int64_t MusicTimeToTicks(std::int64_t musicTime, int division);

}  // namespace tonemark
