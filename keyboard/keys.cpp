#include "keyboard/keys.h"

#include "app/lifecycle.h"

namespace tonemark {

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

}  // namespace tonemark
