// Runs the reader's fuzz target over files, so that it builds and runs without
// libFuzzer:  reader_fuzz_replay FILE_OR_DIR...
// With --write-seeds DIR it instead writes a starting corpus of generated songs.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "midifile/writer.h"
#include "theory/scales.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace fs = std::filesystem;

namespace {

std::string Contents(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void Replay(const fs::path& path, int& count) {
    const std::string bytes = Contents(path);
    // A copy of exactly the file's size, so a read past the end is a read past the buffer.
    std::vector<std::uint8_t> exact(bytes.begin(), bytes.end());
    LLVMFuzzerTestOneInput(exact.data(), exact.size());
    ++count;
}

int WriteSeeds(const fs::path& dir) {
    fs::create_directories(dir);
    int count = 0;
    for (int entry : {0, 2, 10, 11, 13, tonemark::kTriadsEntry}) {
        for (int ticks : {384, 192, 96, 48}) {
            tonemark::ScaleFileRequest request{entry, tonemark::ScaleStepsFor(entry), (entry + ticks) % 12, 120, ticks};
            const std::string name = "scale-" + std::to_string(entry) + "-" + std::to_string(ticks) + ".mid";
            std::ofstream(dir / name, std::ios::binary) << tonemark::BuildScaleFile(request).bytes;
            ++count;
        }
    }
    std::printf("wrote %d seed files to %s\n", count, dir.c_str());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "--write-seeds") return WriteSeeds(argv[2]);
    int count = 0;
    for (int i = 1; i < argc; ++i) {
        const fs::path path(argv[i]);
        if (fs::is_directory(path)) {
            for (const auto& entry : fs::directory_iterator(path))
                if (entry.is_regular_file()) Replay(entry.path(), count);
        } else {
            Replay(path, count);
        }
    }
    std::printf("replayed %d inputs\n", count);
    return 0;
}
