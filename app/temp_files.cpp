#include "app/temp_files.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <random>

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

namespace {

namespace fs = std::filesystem;

constexpr int kTemporaryNameTries = 16;

// A new file beside `destination`, opened for writing, that no one else uses.
struct NewFile {
    int fd = -1;
    std::string path;
    int error = 0;
};

NewFile CreateBeside(const fs::path& destination) {
    std::random_device random;
    const fs::path folder = destination.has_parent_path() ? destination.parent_path() : fs::path(".");
    NewFile file;
    for (int i = 0; i < kTemporaryNameTries; ++i) {
        const std::string name = "." + destination.filename().string() + ".saving-" + std::to_string(random());
        file.path = (folder / name).string();
        file.fd = ::open(file.path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        file.error = errno;
        if (file.fd >= 0 || file.error != EEXIST) break;
    }
    return file;
}

int WriteAll(int fd, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return errno;
        if (n == 0) return ENOSPC;
        done += static_cast<std::size_t>(n);
    }
    return 0;
}

// A replaced file keeps the permissions it had.
void KeepPermissions(int fd, const fs::path& destination) {
    struct stat old {};
    if (::stat(destination.c_str(), &old) == 0 && S_ISREG(old.st_mode)) ::fchmod(fd, old.st_mode & 07777);
}

// A disk that fills up half-way, or any other failed write, leaves the
// earlier file as it was and no half file behind.
std::string ReplaceFile(const std::string& destination, const std::string& bytes, bool durable) {
    const fs::path target(destination);
    std::error_code ec;
    if (fs::is_directory(target, ec)) return destination + " is a folder";
    NewFile file = CreateBeside(target);
    if (file.fd < 0)
        return "cannot write in " + fs::path(file.path).parent_path().string() + ": " + std::strerror(file.error);
    KeepPermissions(file.fd, target);
    int error = WriteAll(file.fd, bytes);
    if (error == 0 && durable && ::fsync(file.fd) != 0) error = errno;
    if (::close(file.fd) != 0 && error == 0) error = errno;
    if (error == 0 && ::rename(file.path.c_str(), destination.c_str()) != 0) error = errno;
    if (error == 0) return {};
    ::unlink(file.path.c_str());
    return "cannot write " + destination + ": " + std::strerror(error);
}

}  // namespace

// Working files are scratch: they need not reach the disk before the program reads them back.
std::string WriteWholeFile(const std::string& path, const std::string& bytes) { return ReplaceFile(path, bytes, false); }

std::string ReplaceFileAtOnce(const std::string& path, const std::string& bytes) { return ReplaceFile(path, bytes, true); }

}  // namespace tonemark
