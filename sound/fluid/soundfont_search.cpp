#include "sound/fluid/soundfont_search.h"

#include <filesystem>
#include <fstream>
#include <system_error>

namespace tonemark {
namespace {

// Why a candidate that exists cannot be used, in words that follow its path;
// nothing for one that is not there or can be used.
std::optional<std::string> WhyPassedOver(const std::string& path) {
    std::error_code error;
    const auto status = std::filesystem::status(path, error);
    if (error || !std::filesystem::exists(status)) return std::nullopt;
    if (std::filesystem::is_directory(status)) return "is a folder, not a file";
    if (!std::filesystem::is_regular_file(status)) return "is not a regular file";
    if (!std::ifstream(path, std::ios::binary).good()) return "cannot be opened";
    return std::nullopt;
}

std::string JoinPaths(const std::vector<std::string>& paths) {
    std::string joined;
    for (const auto& path : paths) joined += (joined.empty() ? "" : ", ") + path;
    return joined;
}

}  // namespace

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

std::string NoSoundFontMessage(const std::vector<std::string>& candidates) {
    constexpr const char* kConsequence = "; notes play silently.";
    std::vector<std::string> reasons;
    for (const auto& path : candidates) {
        if (const auto why = WhyPassedOver(path)) reasons.push_back(path + " " + *why);
    }
    // The one file the user named: say what it is.
    if (candidates.size() == 1 && reasons.size() == 1) return "The SoundFont " + reasons.front() + kConsequence;
    std::string message = "No SoundFont found (looked for " + JoinPaths(candidates);
    for (const auto& reason : reasons) message += "; " + reason;
    return message + ")" + kConsequence;
}

}  // namespace tonemark
