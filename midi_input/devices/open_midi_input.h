// The machine's MIDI inputs: ALSA's sequencer and JACK.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "midi_input/midi_input.h"

namespace tonemark {

// Starts the backends that open, ALSA's sequencer first, then JACK. A
// desktop with PipeWire serves both, and shows each hardware keyboard on
// both: with the sequencer open, JACK takes only the sources connected to it
// by hand, so that a keyboard is heard once. None when neither is there,
// which is no error: most machines have no MIDI keyboard. `problems` gets why
// each one did not open.
std::vector<std::unique_ptr<MidiInputBackend>> OpenMidiInputs(MidiInputSink& sink, std::vector<std::string>& problems);

std::unique_ptr<MidiInputBackend> OpenAlsaMidiInput(MidiInputSink& sink, std::string& problem);
// `takeHardware`: connect JACK's hardware sources by itself.
std::unique_ptr<MidiInputBackend> OpenJackMidiInput(MidiInputSink& sink, bool takeHardware, std::string& problem);

}  // namespace tonemark
