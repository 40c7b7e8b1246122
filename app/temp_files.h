// Where the program's two working MIDI files live.
#pragma once

#include <string>
#include <string_view>

namespace tonemark {

inline constexpr char kScoreFileName[] = "scoretemp.mid";
inline constexpr char kTakeFileName[] = "madebyme.mid";

// The user's temporary directory as the system gives it (TMPDIR, else /tmp).
std::string TempDirectory();

// `directory` and `file` joined by exactly one separator.
std::string JoinTempPath(std::string_view directory, std::string_view file);

// Writes `bytes` to `path`, replacing what was there. Returns an empty string
// on success, otherwise a short description of what went wrong.
std::string WriteWholeFile(const std::string& path, const std::string& bytes);

}  // namespace tonemark
