#include "app/temp_files.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

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

// The bytes go to a file of their own beside the target, which then replaces
// the target in one step: a disk that fills up half-way, or any other failed
// write, leaves the earlier file as it was.
std::string WriteWholeFile(const std::string& path, const std::string& bytes) {
    const std::string part = path + ".part-" + std::to_string(::getpid());
    const int fd = ::open(part.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return "cannot write " + path + ": " + std::strerror(errno);
    std::size_t done = 0;
    int error = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            error = n < 0 ? errno : ENOSPC;
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    if (::close(fd) != 0 && error == 0) error = errno;
    if (error == 0 && ::rename(part.c_str(), path.c_str()) != 0) error = errno;
    if (error != 0) {
        ::unlink(part.c_str());
        return "cannot write " + path + ": " + std::strerror(error);
    }
    return {};
}

}  // namespace tonemark
