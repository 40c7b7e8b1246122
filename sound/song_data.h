// The bytes of a loaded MIDI file and what the program learnt from them. It is
// read once, when the song is loaded, and shared (never changed) by the song,
// the player it was downloaded to and the FluidSynth file player.
#pragma once

#include <climits>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "sound/smf_scan.h"
#include "sound/synth.h"

namespace tonemark {

struct SongData {
    std::vector<std::uint8_t> bytes;
    SmfSummary summary;

    std::int64_t LengthInMusicTime() const { return TicksToMusicTime(summary.lengthTicks, summary.division); }
    // The length as a song reports it: nothing when it does not fit 32 bits.
    std::optional<std::int32_t> ReportedLength() const {
        const std::int64_t length = LengthInMusicTime();
        if (length > INT32_MAX) return std::nullopt;
        return static_cast<std::int32_t>(length);
    }
    // The meter in force at `musicTime`; `next` gets the music time of the
    // following change, or 0 when there is none. 4/4 before the first one.
    TimeSignature MeterAt(std::int64_t musicTime, std::int32_t& next) const;
};

// Nothing when the file cannot be read or is not a MIDI file.
std::shared_ptr<const SongData> ReadSongData(const std::string& path);

}  // namespace tonemark
