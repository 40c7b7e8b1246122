#include "sound/fluid/midi_message.h"

namespace tonemark {
namespace {

bool IsDataByte(int value) {
    return value >= 0 && value <= 127;
}

}  // namespace

bool IsSendableChannelMessage(int channel, int status, int data1, int data2) {
    if (status < 0x80 || status > 0xEF || channel < 0 || channel > 15 || !IsDataByte(data1) || !IsDataByte(data2)) return false;
    switch (status & 0xF0) {
        case 0x80:
        case 0x90:
        case 0xB0:
        case 0xC0:
            return true;
        default:
            return false;
    }
}

// FluidSynth refuses a note when no instrument is loaded and a note-off for a
// key that is not sounding; neither is the caller's mistake, so only the
// message itself decides the answer.
bool SendChannelMessage(fluid_synth_t* synth, int channel, int status, int data1, int data2) {
    if (!synth || !IsSendableChannelMessage(channel, status, data1, data2)) return false;
    switch (status & 0xF0) {
        case 0x80:
            fluid_synth_noteoff(synth, channel, data1);
            return true;
        case 0x90:
            fluid_synth_noteon(synth, channel, data1, data2);
            return true;
        case 0xB0:
            return fluid_synth_cc(synth, channel, data1, data2) == FLUID_OK;
        case 0xC0:
            fluid_synth_program_change(synth, channel, data1);
            return true;
        default:
            return false;
    }
}

}  // namespace tonemark
