// The on-screen keyboard.
#pragma once

#include "app/main_form.h"

namespace tonemark {

void key_MouseDown(Main& m, int index);
void key_MouseUp(Main& m, int index);

// A press or release that happened at `when` on the monotonic clock: the
// recording ticks due by then run first, so the take stores it on its own
// tick however late the event is handled; the ticks due since run after it.
// The on-screen key that shows note `note`: notes 60 to 83 light keys 0 to 23,
// 84 to 95 keys 12 to 23 again, and 96 key 24. -1 for a note out of reach.
int KeyOfNote(int note);
// Lights the key of `note`, if it has one (the other keys are left as they are).
void LightKeyOfNote(Main& m, int note);

void KeyDownAt(Main& m, int index, MonotonicMicros when);
void KeyUpAt(Main& m, int index, MonotonicMicros when);

// The computer keyboard's keys, which several fingers can hold at once: a
// release silences its own note only (the mouse's release silences all), and
// keys still held stay lit.
void ComputerKeyDownAt(Main& m, int index, MonotonicMicros when);
void ComputerKeyUpAt(Main& m, int index, MonotonicMicros when);

}  // namespace tonemark
