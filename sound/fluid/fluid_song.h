// A MIDI file loaded for the synthesiser, and the loader that reads it. The
// file's bytes are read whole at load time, so rewriting the file on disk
// later does not change the loaded song.
#pragma once

#include <memory>
#include <string>

#include "sound/song_data.h"
#include "sound/synth.h"

namespace tonemark {

class FluidSong : public SynthSong {
public:
    explicit FluidSong(std::shared_ptr<const SongData> data) : data_(std::move(data)) {}

    bool Prepare() override;
    bool Download(SynthPlayer& player) override;
    std::optional<std::int32_t> Length() override;
    bool SetStartPoint(std::int32_t musicTime) override;
    bool Unload(SynthPlayer& player) override;

    const std::shared_ptr<const SongData>& Data() const { return data_; }
    std::int32_t StartPoint() const { return startPoint_; }

private:
    std::shared_ptr<const SongData> data_;
    std::int32_t startPoint_ = 0;
};

class FluidSongLoader : public SongLoader {
public:
    // Nothing when the file cannot be read or is not a MIDI file.
    std::unique_ptr<SynthSong> LoadSong(const std::string& path) override;
};

}  // namespace tonemark
