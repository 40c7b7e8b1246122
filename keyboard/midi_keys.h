// A MIDI keyboard on the on-screen keys and in the take. Its notes sound on
// the input's own thread (midi_input/); here, on the user-interface thread,
// each note lights its key while it is held, several at once if several are
// held, and a take records it with its own velocity at the moment it was
// played. Only the on-screen keyboard's notes, middle C to C6, light and are
// recorded; the others only sound.
#pragma once

#include "app/main_form.h"
#include "midi_input/midi_event.h"

namespace tonemark {

inline constexpr int kLowestKeyNote = 60;
inline constexpr int kHighestKeyNote = 84;

void MidiNoteAt(Main& m, const MidiInputEvent& event);

// Darkens every key a MIDI keyboard holds (its source went away).
void ReleaseMidiKeys(Main& m, MonotonicMicros when);

}  // namespace tonemark
