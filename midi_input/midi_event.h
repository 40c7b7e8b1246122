// What a MIDI keyboard plays, as the rest of the program sees it: note-ons,
// note-offs and the sustain pedal, each with the moment it happened on the
// program's monotonic clock (app/clock.h), not the moment it was read.
#pragma once

#include <cstdint>

#include "app/clock.h"

namespace tonemark {

struct MidiInputEvent {
    enum class Kind : std::uint8_t { NoteOn, NoteOff, Sustain };
    Kind kind = Kind::NoteOn;
    std::uint8_t channel = 0;   // 0-15, as sent
    std::uint8_t note = 0;      // 0-127; the pedal's value for Sustain
    std::uint8_t velocity = 0;  // 1-127 for NoteOn
    MonotonicMicros when = 0;
};

}  // namespace tonemark
