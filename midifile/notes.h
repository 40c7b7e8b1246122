// The note data read back from every song file: one element per note-on, and
// the per-note view that the score engraves.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <string>

namespace tonemark {

struct NoteEvent {
    double TimeMs = 0;      // start of the note in milliseconds
    double StartTick = 0;   // absolute tick of the note-on
    std::int16_t NoteNumber = 0;
    std::string NoteName;
    double EndTick = 0;     // absolute tick of the closing event, 0 while open
    std::int16_t Velocity = 0;  // of the note-on
    // Tick of the note-off of this note's own pitch, -1 while it sounds: what
    // the synthesiser hears, where EndTick follows the one voice the score reads.
    double OffTick = -1;
};

struct TrackNote {
    std::string NoteName;
    std::int16_t NoteNumber = 0;
    std::string DurationText;  // EndTick - StartTick as whole decimal text
    double RestBefore = 0;
    std::int16_t Bar = 0;
    std::int16_t RestCount = 0;
};

// A length in ticks as a note's DurationText: whole decimal digits, with a
// leading minus sign when negative.
inline std::string WholeNumberText(double value) {
    char text[64];
    std::snprintf(text, sizeof text, "%.0f", value);
    return text;
}

// Italian pitch-class names, indexed by note number mod 12; also the key names.
inline const std::array<std::string, 12> PitchNames = {
    "DO", "REb - DO#", "RE", "MIb - RE#", "MI", "FA",
    "SOLb - FA#", "SOL", "LAb - SOL#", "LA", "SIb - LA#", "SI"};

}  // namespace tonemark
