#include "sound/smf_scan.h"

#include <algorithm>
#include <cstring>

#include "sound/synth.h"

namespace tonemark {
namespace {

// Reads forward through bytes[pos, end) and never past it.
class ByteCursor {
public:
    ByteCursor(std::span<const std::uint8_t> bytes, std::size_t begin, std::size_t end)
        : bytes_(bytes), pos_(begin), end_(std::min(end, bytes.size())) {}

    bool AtEnd() const { return pos_ >= end_; }
    std::size_t Position() const { return pos_; }
    std::size_t Remaining() const { return AtEnd() ? 0 : end_ - pos_; }

    std::optional<std::uint8_t> Byte() {
        if (AtEnd()) return std::nullopt;
        return bytes_[pos_++];
    }
    std::optional<std::uint8_t> Peek() const {
        if (AtEnd()) return std::nullopt;
        return bytes_[pos_];
    }
    std::optional<std::uint32_t> BigEndian(int count) {
        if (Remaining() < static_cast<std::size_t>(count)) return std::nullopt;
        std::uint32_t value = 0;
        for (int i = 0; i < count; ++i) value = (value << 8) | bytes_[pos_++];
        return value;
    }
    // A variable-length quantity of at most four bytes.
    std::optional<std::uint32_t> VarLength() {
        std::uint32_t value = 0;
        for (int i = 0; i < 4; ++i) {
            auto b = Byte();
            if (!b) return std::nullopt;
            value = (value << 7) | (*b & 0x7F);
            if ((*b & 0x80) == 0) return value;
        }
        return std::nullopt;
    }
    bool Skip(std::size_t count) {
        if (Remaining() < count) return false;
        pos_ += count;
        return true;
    }
    bool Matches(const char* tag) const {
        return Remaining() >= 4 && std::memcmp(bytes_.data() + pos_, tag, 4) == 0;
    }

private:
    std::span<const std::uint8_t> bytes_;
    std::size_t pos_;
    std::size_t end_;
};

int DataBytesOf(std::uint8_t status) {
    const int kind = status & 0xF0;
    return (kind == 0xC0 || kind == 0xD0) ? 1 : 2;
}

std::optional<MeterChange> MeterFrom(ByteCursor data, std::int64_t tick) {
    auto numerator = data.Byte();
    auto power = data.Byte();
    if (!numerator || !power || *numerator == 0 || *power > 6) return std::nullopt;
    return MeterChange{tick, *numerator, 1 << *power};
}

struct TrackScan {
    std::int64_t endTick = 0;
    std::vector<MeterChange> meters;
};

// Handles one meta event whose type byte has been read; false ends the track.
bool ReadMeta(ByteCursor& track, std::int64_t tick, TrackScan& scan, bool& ended) {
    auto type = track.Byte();
    auto length = track.VarLength();
    if (!type || !length || track.Remaining() < *length) return false;
    if (*type == 0x58 && *length >= 2) {
        ByteCursor data = track;
        if (auto meter = MeterFrom(data, tick)) scan.meters.push_back(*meter);
    }
    track.Skip(*length);
    ended = (*type == 0x2F);
    return true;
}

TrackScan ScanTrack(ByteCursor track) {
    TrackScan scan;
    std::int64_t tick = 0;
    std::uint8_t runningStatus = 0;
    while (!track.AtEnd()) {
        auto delta = track.VarLength();
        auto first = track.Peek();
        if (!delta || !first) break;
        tick += *delta;
        std::uint8_t status = runningStatus;
        if (*first & 0x80) {
            status = *track.Byte();
        }
        if (status == 0xFF) {
            bool ended = false;
            if (!ReadMeta(track, tick, scan, ended)) break;
            scan.endTick = tick;
            if (ended) break;
        } else if (status == 0xF0 || status == 0xF7) {
            auto length = track.VarLength();
            if (!length || !track.Skip(*length)) break;
            scan.endTick = tick;
        } else if (status >= 0x80 && status < 0xF0) {
            runningStatus = status;
            if (!track.Skip(static_cast<std::size_t>(DataBytesOf(status)))) break;
            scan.endTick = tick;
        } else {
            break;  // a data byte with no status in force, or a system message
        }
    }
    return scan;
}

}  // namespace

std::optional<SmfSummary> ScanSmf(std::span<const std::uint8_t> bytes) {
    ByteCursor file(bytes, 0, bytes.size());
    if (!file.Matches("MThd")) return std::nullopt;
    file.Skip(4);
    auto headerLength = file.BigEndian(4);
    auto format = file.BigEndian(2);
    auto trackCount = file.BigEndian(2);
    auto division = file.BigEndian(2);
    if (!headerLength || !format || !trackCount || !division) return std::nullopt;
    if (*division == 0 || (*division & 0x8000) != 0) return std::nullopt;
    if (*headerLength > 6) file.Skip(std::min<std::size_t>(*headerLength - 6, file.Remaining()));

    SmfSummary summary;
    summary.division = static_cast<int>(*division);
    bool firstTrack = true;
    bool anyTrack = false;
    while (file.Remaining() >= 8) {
        const bool isTrack = file.Matches("MTrk");
        file.Skip(4);
        const std::size_t length = std::min<std::size_t>(*file.BigEndian(4), file.Remaining());
        if (isTrack) {
            TrackScan scan = ScanTrack(ByteCursor(bytes, file.Position(), file.Position() + length));
            summary.lengthTicks = std::max(summary.lengthTicks, scan.endTick);
            if (firstTrack) summary.meters = std::move(scan.meters);
            firstTrack = false;
            anyTrack = true;
        }
        file.Skip(length);
    }
    if (!anyTrack) return std::nullopt;
    return summary;
}

std::int64_t TicksToMusicTime(std::int64_t ticks, int division) {
    if (division <= 0) return 0;
    return (ticks * kMusicTimePerQuarter + division / 2) / division;
}

std::int64_t MusicTimeToTicks(std::int64_t musicTime, int division) {
    return (musicTime * division + kMusicTimePerQuarter / 2) / kMusicTimePerQuarter;
}

}  // namespace tonemark
