#include "sound/fluid/fluid_song.h"

#include <algorithm>

#include "sound/fluid/fluid_player.h"

namespace tonemark {

bool FluidSong::Prepare() {
    return data_ != nullptr;
}

bool FluidSong::Download(SynthPlayer& player) {
    auto* fluidPlayer = dynamic_cast<FluidPlayer*>(&player);
    return fluidPlayer && fluidPlayer->Accept(data_);
}

std::optional<std::int32_t> FluidSong::Length() {
    if (!data_) return std::nullopt;
    return data_->ReportedLength();
}

bool FluidSong::SetStartPoint(std::int32_t musicTime) {
    if (musicTime < 0) return false;
    startPoint_ = musicTime;
    return true;
}

bool FluidSong::Unload(SynthPlayer& player) {
    auto* fluidPlayer = dynamic_cast<FluidPlayer*>(&player);
    return fluidPlayer && data_ && fluidPlayer->Forget(*data_);
}

std::unique_ptr<SynthSong> FluidSongLoader::LoadSong(const std::string& path) {
    auto data = ReadSongData(path);
    if (!data) return nullptr;
    return std::make_unique<FluidSong>(std::move(data));
}

}  // namespace tonemark
