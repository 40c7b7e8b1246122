// Where the program looks for a General MIDI SoundFont.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace tonemark {

// The path the user gave (if any), then the usual places on Linux systems.
std::vector<std::string> SoundFontCandidates(const std::string& givenPath);

// The first candidate that is a readable regular file.
std::optional<std::string> FindSoundFont(const std::vector<std::string>& candidates);

// What the user is told when no candidate can be used: where the program
// looked, and why a candidate that is there was passed over (a folder, a file
// that cannot be opened).
std::string NoSoundFontMessage(const std::vector<std::string>& candidates);

}  // namespace tonemark
