#include "sound/fluid/soundfont_check.h"

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace tonemark {
namespace {

constexpr const char* kConsequence = "; notes play silently.";

std::uint32_t LittleEndian32(const unsigned char* bytes) {
    return static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
           static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

std::string Megabytes(std::uintmax_t bytes) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f MB", static_cast<double>(bytes) / 1e6);
    return text;
}

// "1.0 MB of 148.4 MB", in bytes when the two would read the same.
std::string HowMuchIsThere(std::uintmax_t size, std::uintmax_t whole) {
    if (Megabytes(size) != Megabytes(whole)) return Megabytes(size) + " of " + Megabytes(whole);
    return std::to_string(size) + " of " + std::to_string(whole) + " bytes";
}

}  // namespace

std::string SoundFontFileFault(const std::string& path) {
    std::error_code error;
    const std::uintmax_t size = std::filesystem::file_size(path, error);
    std::ifstream file(path, std::ios::binary);
    if (error || !file) return "The SoundFont " + path + " could not be opened" + kConsequence;
    if (size == 0) return "The SoundFont " + path + " is empty" + kConsequence;
    std::array<unsigned char, 8> header{};
    file.read(reinterpret_cast<char*>(header.data()), header.size());
    if (file.gcount() < 8 || std::memcmp(header.data(), "RIFF", 4) != 0) {
        return "The file " + path + " is not a SoundFont" + kConsequence;
    }
    const std::uintmax_t whole = std::uintmax_t{LittleEndian32(header.data() + 4)} + 8;
    if (size < whole) {
        return "The SoundFont " + path + " is cut short: only " + HowMuchIsThere(size, whole) + " are there" +
               kConsequence;
    }
    return "";
}

std::string DamagedSoundFontMessage(const std::string& path) {
    return "The SoundFont " + path + " is damaged and could not be read" + kConsequence;
}

}  // namespace tonemark
