#include "sound/fluid/soundfont_search.h"

#include <filesystem>
#include <fstream>
#include <system_error>

namespace tonemark {

std::vector<std::string> SoundFontCandidates(const std::string& givenPath) {
    if (!givenPath.empty()) return {givenPath};
    return {
        "/usr/share/sounds/sf2/default-GM.sf2",
        "/usr/share/sounds/sf2/FluidR3_GM.sf2",
        "/usr/share/soundfonts/default.sf2",
        "/usr/share/soundfonts/FluidR3_GM.sf2",
    };
}

std::optional<std::string> FindSoundFont(const std::vector<std::string>& candidates) {
    for (const auto& path : candidates) {
        std::error_code error;
        if (!std::filesystem::is_regular_file(path, error)) continue;
        if (std::ifstream(path, std::ios::binary).good()) return path;
    }
    return std::nullopt;
}

}  // namespace tonemark
