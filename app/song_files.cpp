#include "app/song_files.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "app/temp_files.h"

namespace tonemark {
namespace {

namespace fs = std::filesystem;

constexpr char kDefaultSongName[] = "Tonemark";
constexpr char kSongExtension[] = ".mid";
constexpr std::size_t kLongestSongName = 200;  // bytes, well inside the 255 a file name may have
constexpr std::size_t kLongestTakeNumber = 18;  // digits, so that one more still fits in 64 bits

std::string ErrorText(int error) { return std::strerror(error); }

struct FileBytes {
    std::string bytes;
    std::string error;  // empty when the file was read
};

FileBytes ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return {{}, "cannot read " + path + ": " + ErrorText(errno)};
    FileBytes file{{std::istreambuf_iterator<char>(in), {}}, {}};
    if (in.bad()) file.error = "cannot read " + path + ": " + ErrorText(errno);
    return file;
}

bool SameFile(const std::string& a, const std::string& b) {
    std::error_code ec1, ec2;
    const fs::path pa = fs::weakly_canonical(a, ec1);
    const fs::path pb = fs::weakly_canonical(b, ec2);
    return !ec1 && !ec2 && pa == pb;
}

std::string TakePath(const Main& m) { return JoinTempPath(m.platform->TempDirectory(), kTakeFileName); }
std::string ScorePath(const Main& m) { return JoinTempPath(m.platform->TempDirectory(), kScoreFileName); }

std::string Fail(Main& m, const std::string& reason) {
    m.Notify("Not saved: " + reason + ". Nothing was lost.");
    return reason;
}

// Cuts a name to at most `limit` bytes without splitting a UTF-8 character.
void CutAtCharacter(std::string& name, std::size_t limit) {
    if (name.size() <= limit) return;
    std::size_t end = limit;
    while (end > 0 && (static_cast<unsigned char>(name[end]) & 0xC0) == 0x80) --end;
    name.resize(end);
    while (!name.empty() && name.back() == ' ') name.pop_back();
}

// The numbered takes: "madebyme-7.mid" is take 7.
std::string KeptTakeName(std::uint64_t number) {
    const fs::path take(kTakeFileName);
    return take.stem().string() + "-" + std::to_string(number) + take.extension().string();
}

bool TakeNumberOf(const std::string& name, std::uint64_t& number) {
    const fs::path take(kTakeFileName);
    const std::string prefix = take.stem().string() + "-";
    const std::string suffix = take.extension().string();
    if (name.size() <= prefix.size() + suffix.size() || name.compare(0, prefix.size(), prefix) != 0 ||
        name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0)
        return false;
    const std::string digits = name.substr(prefix.size(), name.size() - prefix.size() - suffix.size());
    if (digits.size() > kLongestTakeNumber || digits[0] == '0') return false;
    if (!std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) return false;
    number = std::stoull(digits);
    return true;
}

// The numbers of the takes kept in `folder`, lowest first.
std::vector<std::uint64_t> KeptTakeNumbers(const std::string& folder) {
    std::vector<std::uint64_t> numbers;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        std::uint64_t number = 0;
        if (it->is_regular_file(ec) && TakeNumberOf(it->path().filename().string(), number)) numbers.push_back(number);
    }
    std::sort(numbers.begin(), numbers.end());
    return numbers;
}

bool HoldsBytes(const std::string& path, const std::string& bytes) {
    const FileBytes file = ReadWholeFile(path);
    return file.error.empty() && file.bytes == bytes;
}

void DeleteOldTakes(const std::string& folder, const std::vector<std::uint64_t>& numbers) {
    std::error_code ec;
    const std::size_t limit = kKeptTakeLimit;
    for (std::size_t i = 0; i + limit < numbers.size(); ++i)
        fs::remove(JoinTempPath(folder, KeptTakeName(numbers[i])), ec);
}

}  // namespace

std::string ProposedSongFileName(const Main& m) {
    std::string name;
    bool separator = false;
    bool blank = false;
    for (char c : m.ui.Labella.caption) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == ':' || c == '/' || c == '\\') {
            separator = true;
        } else if (c == ' ' || byte < 0x20 || byte == 0x7F) {
            blank = true;
        } else {
            // A name never starts with a dot: that would hide the file.
            if (name.empty() && c == '.') continue;
            if (!name.empty() && separator) name += " - ";
            else if (!name.empty() && blank) name += ' ';
            name += c;
            separator = blank = false;
        }
    }
    CutAtCharacter(name, kLongestSongName);
    return (name.empty() ? kDefaultSongName : name) + kSongExtension;
}

std::string SaveSongCopy(Main& m, const std::string& destination) {
    const std::string source = m.state.SmfPath;
    if (source.empty()) return Fail(m, "there is no song on show");
    if (destination.empty()) return Fail(m, "no file name was given");
    for (const std::string& working : {ScorePath(m), TakePath(m)}) {
        if (SameFile(destination, working))
            return Fail(m, destination + " is a working file that Tonemark rewrites; choose another name");
    }
    const FileBytes song = ReadWholeFile(source);
    if (!song.error.empty()) return Fail(m, song.error);
    const std::string error = ReplaceFileAtOnce(destination, song.bytes);
    if (!error.empty()) return Fail(m, error);
    if (source == TakePath(m) || SameFile(source, TakePath(m))) m.state.TakeSaved = true;
    m.Notify("Saved as " + destination + ".");
    return {};
}

std::string KeepPreviousTake(Main& m) {
    if (m.state.TakeSaved) return {};
    const std::string folder = m.platform->TempDirectory();
    const std::string take = TakePath(m);
    std::error_code ec;
    if (!fs::is_regular_file(take, ec)) return {};
    const FileBytes previous = ReadWholeFile(take);
    if (!previous.error.empty()) {
        m.Notify("The previous take could not be kept: " + previous.error + ".");
        return {};
    }

    std::vector<std::uint64_t> numbers = KeptTakeNumbers(folder);
    std::string kept;
    // A take already kept under the highest number (a "Rec" that recorded
    // nothing leaves the take's file as it was) is not kept twice.
    if (!numbers.empty() && HoldsBytes(JoinTempPath(folder, KeptTakeName(numbers.back())), previous.bytes)) {
        kept = JoinTempPath(folder, KeptTakeName(numbers.back()));
    } else {
        const std::uint64_t next = numbers.empty() ? 1 : numbers.back() + 1;
        kept = JoinTempPath(folder, KeptTakeName(next));
        const std::string error = ReplaceFileAtOnce(kept, previous.bytes);
        if (!error.empty()) {
            m.Notify("The previous take could not be kept: " + error + ".");
            return {};
        }
        numbers.push_back(next);
    }
    DeleteOldTakes(folder, numbers);
    m.Notify("The previous take is kept as " + kept + ".");
    return kept;
}

}  // namespace tonemark
