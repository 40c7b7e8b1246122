#include "keyboard/keys.h"

#include "app/lifecycle.h"
#include "keyboard/recorder.h"
#include "practice/session.h"

namespace tonemark {
namespace {
constexpr int kKeyCount = 25;
}  // namespace

void key_MouseDown(Main& m, int index) {
    m.state.TakeStarted = true;
    m.state.PendingKeyDown = static_cast<std::int16_t>(index + 128);
    RestoreKeyColors(m);
    m.ui.key[static_cast<size_t>(index)].backColor = kDarkRed;
    m.ui.key[static_cast<size_t>(index)].pressed = true;
    if (m.state.DeviceReady && m.SynthPlayerHandle) m.SynthPlayerHandle->SendMidi(0, 1, 0, 144, KeyNote(index), 100);
}

void key_MouseUp(Main& m, int index) {
    m.state.PendingKeyUp = static_cast<std::int16_t>(index - 128);
    m.ui.key[static_cast<size_t>(index)].pressed = false;
    RestoreKeyColors(m);
    if (m.state.DeviceReady && m.SynthPlayerHandle) m.SynthPlayerHandle->SendMidi(0, 1, 0, 176, 120, 0);
}

int KeyOfNote(int note) {
    int base = (note / 12 - 5) * 12;
    if (base >= 24) base -= 12;
    const int key = base + note % 12;
    return note >= 0 && key >= 0 && key < kKeyCount ? key : -1;
}

void LightKeyOfNote(Main& m, int note) {
    const int key = KeyOfNote(note);
    if (key >= 0) m.ui.key[static_cast<std::size_t>(key)].backColor = kDarkRed;
}

void KeyDownAt(Main& m, int index, MonotonicMicros when) {
    RunTimer3Until(m, when);
    const bool wasRecording = m.state.TakeStarted;
    key_MouseDown(m, index);
    PlaceLateKeyMarks(m, when, wasRecording);
    PracticeKeyAt(m, KeyNote(index), 0, true, when);
    RunTimer3Until(m, m.platform->Now());
}

void KeyUpAt(Main& m, int index, MonotonicMicros when) {
    RunTimer3Until(m, when);
    const bool wasRecording = m.state.TakeStarted;
    key_MouseUp(m, index);
    PlaceLateKeyMarks(m, when, wasRecording);
    PracticeKeyAt(m, KeyNote(index), 0, false, when);
    RunTimer3Until(m, m.platform->Now());
}

namespace {

// Keys still held (by other fingers or a MIDI keyboard) stay lit.
void RelightHeldKeys(Main& m) {
    for (std::size_t i = 0; i < m.ui.key.size(); ++i)
        if (m.ui.key[i].pressed || m.midiHeld[i] > 0) m.ui.key[i].backColor = kDarkRed;
}

}  // namespace

void ComputerKeyDownAt(Main& m, int index, MonotonicMicros when) {
    KeyDownAt(m, index, when);
    RelightHeldKeys(m);
}

void ComputerKeyUpAt(Main& m, int index, MonotonicMicros when) {
    RunTimer3Until(m, when);
    const bool wasRecording = m.state.TakeStarted;
    m.state.PendingKeyUp = static_cast<std::int16_t>(index - 128);
    m.ui.key[static_cast<size_t>(index)].pressed = false;
    RestoreKeyColors(m);
    RelightHeldKeys(m);
    // Its own note only: a key still held keeps sounding, so legato sounds as played.
    if (m.state.DeviceReady && m.SynthPlayerHandle) m.SynthPlayerHandle->SendMidi(0, 1, 0, 128, KeyNote(index), 0);
    PlaceLateKeyMarks(m, when, wasRecording);
    PracticeKeyAt(m, KeyNote(index), 0, false, when);
    RunTimer3Until(m, m.platform->Now());
}

}  // namespace tonemark
