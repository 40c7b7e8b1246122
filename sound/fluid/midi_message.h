// Checks and sends one channel message straight to the synthesiser.
#pragma once

#include <fluidsynth.h>

namespace tonemark {

// Note-off (0x80), note-on (0x90), control change (0xB0, including 120 all
// sounds off and 123 all notes off) and program change (0xC0); the low four
// bits of `status` are ignored in favour of `channel`. False for any other
// message, a channel outside 0-15 or a data byte outside 0-127.
bool SendChannelMessage(fluid_synth_t* synth, int channel, int status, int data1, int data2);
// Whether SendChannelMessage would take the message at all.
bool IsSendableChannelMessage(int channel, int status, int data1, int data2);

}  // namespace tonemark
