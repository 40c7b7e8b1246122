#include "midi_input/devices/open_midi_input.h"

namespace tonemark {

std::vector<std::unique_ptr<MidiInputBackend>> OpenMidiInputs(MidiInputSink& sink, std::vector<std::string>& problems) {
    std::vector<std::unique_ptr<MidiInputBackend>> open;
    std::string problem;
    if (auto alsa = OpenAlsaMidiInput(sink, problem)) open.push_back(std::move(alsa));
    else problems.push_back("ALSA: " + problem);
    problem.clear();
    if (auto jack = OpenJackMidiInput(sink, open.empty(), problem)) open.push_back(std::move(jack));
    else problems.push_back("JACK: " + problem);
    return open;
}

}  // namespace tonemark
