// What is wrong with a SoundFont file, as far as its first bytes and its size
// tell. A SoundFont is a RIFF file whose header gives the length of the whole;
// a download or a copy that broke off leaves a file shorter than that.
#pragma once

#include <string>

namespace tonemark {

// The message for the SoundFont at `path` when it cannot be opened, is
// empty, does not start like a RIFF file or is shorter than its header says;
// empty when it looks whole (FluidSynth then has the last word).
std::string SoundFontFileFault(const std::string& path);

// The message for a SoundFont that looked whole but FluidSynth could not read.
std::string DamagedSoundFontMessage(const std::string& path);

}  // namespace tonemark
