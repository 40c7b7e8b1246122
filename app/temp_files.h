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

// Writes `bytes` to `path`, replacing what was there, all at once: written in
// full to a new file beside it, then renamed over it, keeping an existing
// file's permissions. On failure nothing at `path` has changed. Returns an
// empty string on success, otherwise a short description of what went wrong.
std::string WriteWholeFile(const std::string& path, const std::string& bytes);
// The same, and on the disk before it returns: for the user's own files.
std::string ReplaceFileAtOnce(const std::string& path, const std::string& bytes);

}  // namespace tonemark
