#include "sound/song_data.h"

#include <fstream>
#include <iterator>

namespace tonemark {
namespace {

// Far beyond any file the program writes; keeps a wrong path from filling memory.
constexpr std::streamoff kLargestSong = 16 * 1024 * 1024;

std::optional<std::vector<std::uint8_t>> ReadAllBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in) return std::nullopt;
    const std::streamoff size = in.tellg();
    if (size <= 0 || size > kLargestSong) return std::nullopt;
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
    in.seekg(0);
    if (!in.read(reinterpret_cast<char*>(bytes.data()), size)) return std::nullopt;
    return bytes;
}

}  // namespace

TimeSignature SongData::MeterAt(std::int64_t musicTime, std::int32_t& next) const {
    const std::int64_t tick = MusicTimeToTicks(musicTime, summary.division);
    TimeSignature meter;
    std::int64_t inForceSince = -1;
    next = 0;
    for (const auto& change : summary.meters) {
        if (change.tick <= tick) {
            if (change.tick >= inForceSince) {
                meter = {change.beatsPerBar, change.beatUnit};
                inForceSince = change.tick;
            }
        } else {
            const auto changeTime = static_cast<std::int32_t>(TicksToMusicTime(change.tick, summary.division));
            if (next == 0 || changeTime < next) next = changeTime;
        }
    }
    return meter;
}

std::shared_ptr<const SongData> ReadSongData(const std::string& path) {
    auto bytes = ReadAllBytes(path);
    if (!bytes) return nullptr;
    auto summary = ScanSmf(*bytes);
    if (!summary) return nullptr;
    auto data = std::make_shared<SongData>();
    data->bytes = std::move(*bytes);
    data->summary = std::move(*summary);
    return data;
}

}  // namespace tonemark
