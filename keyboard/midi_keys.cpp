#include "keyboard/midi_keys.h"

#include "app/lifecycle.h"
#include "keyboard/recorder.h"
#include "practice/session.h"

namespace tonemark {

void MidiNoteAt(Main& m, const MidiInputEvent& event) {
    if (event.kind == MidiInputEvent::Kind::Sustain) return;
    const bool on = event.kind == MidiInputEvent::Kind::NoteOn;
    if (event.note < kLowestKeyNote || event.note > kHighestKeyNote) {
        RunTimer3Until(m, event.when);
        if (on && m.ui.Timer3.enabled && !m.midiRangeTold) {
            m.midiRangeTold = true;
            m.Notify("Only middle C to C6 is recorded: notes outside it sound but are not kept in the take.");
        }
        PracticeKeyAt(m, event.note, on ? event.velocity : 0, on, event.when);
        return;
    }
    const int key = event.note - kLowestKeyNote;
    auto& shown = m.ui.key[static_cast<std::size_t>(key)];
    int& held = m.midiHeld[static_cast<std::size_t>(key)];
    if (on) {
        held += 1;
        shown.backColor = kDarkRed;
        shown.pressed = true;
    } else {
        if (held == 0) return;  // a release of a note pressed before the program heard it
        held -= 1;
        if (held == 0) {
            shown.backColor = m.state.KeyColors[static_cast<std::size_t>(key)];
            shown.pressed = false;
        }
    }
    const auto mark = static_cast<std::int16_t>(on ? key + 128 : key - 128);
    PlaceKeyMarkAt(m, mark, on ? event.velocity : 0, event.when);
    PracticeKeyAt(m, event.note, on ? event.velocity : 0, on, event.when);
    RunTimer3Until(m, m.platform->Now());
}

void ReleaseMidiKeys(Main& m, MonotonicMicros when) {
    for (int key = 0; key < static_cast<int>(m.midiHeld.size()); ++key) {
        while (m.midiHeld[static_cast<std::size_t>(key)] > 0) {
            MidiInputEvent off;
            off.kind = MidiInputEvent::Kind::NoteOff;
            off.note = static_cast<std::uint8_t>(key + kLowestKeyNote);
            off.when = when;
            MidiNoteAt(m, off);
        }
    }
}

}  // namespace tonemark
