#include "app/temp_files.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>

namespace tonemark {

std::string TempDirectory() {
    const char* tmpdir = std::getenv("TMPDIR");
    if (tmpdir != nullptr && *tmpdir != '\0') return tmpdir;
    return "/tmp/";
}

std::string JoinTempPath(std::string_view directory, std::string_view file) {
    std::string path(directory);
    if (path.empty() || path.back() != '/') path += '/';
    path += file;
    return path;
}

std::string WriteWholeFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) return "cannot write " + path + ": " + std::strerror(errno);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) return "cannot write " + path + ": " + std::strerror(errno);
    return {};
}

}  // namespace tonemark
