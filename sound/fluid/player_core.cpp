#include "sound/fluid/player_core.h"

#include <algorithm>

namespace tonemark {
namespace {

constexpr double kSlowestTempoFactor = 0.001;
constexpr double kFastestTempoFactor = 1000.0;

}  // namespace

PlayerCore::PlayerCore(std::shared_ptr<FluidEngine> engine) : engine_(std::move(engine)) {}

PlayerCore::~PlayerCore() {
    Release();
}

void PlayerCore::Download(std::shared_ptr<const SongData> song) {
    downloaded_ = std::move(song);
}

void PlayerCore::Unload(const SongData* song) {
    if (downloaded_.get() == song) downloaded_.reset();
}

fluid_player_t* PlayerCore::NewFilePlayer(const SongData& song, std::int64_t startTick) {
    fluid_player_t* player = new_fluid_player(engine_->Synth());
    if (!player) return nullptr;
    const bool ready = fluid_player_add_mem(player, song.bytes.data(), song.bytes.size()) == FLUID_OK &&
                       fluid_player_set_tempo(player, FLUID_PLAYER_TEMPO_INTERNAL, tempoFactor_) == FLUID_OK &&
                       (startTick == 0 || fluid_player_seek(player, static_cast<int>(startTick)) == FLUID_OK) &&
                       fluid_player_play(player) == FLUID_OK;
    if (!ready) {
        delete_fluid_player(player);
        return nullptr;
    }
    return player;
}

// Caller holds the render lock.
void PlayerCore::DeleteFilePlayer() {
    if (!filePlayer_) return;
    const bool wasPlaying = fluid_player_get_status(filePlayer_) == FLUID_PLAYER_PLAYING;
    fluid_player_stop(filePlayer_);
    delete_fluid_player(filePlayer_);
    filePlayer_ = nullptr;
    playing_.reset();
    // A deleted file player no longer ends the notes it started.
    if (wasPlaying) fluid_synth_all_notes_off(engine_->Synth(), -1);
}

bool PlayerCore::Start(std::shared_ptr<const SongData> song, std::int64_t startMusicTime) {
    if (released_ || !song) return false;
    const std::int64_t startTick =
        std::clamp<std::int64_t>(MusicTimeToTicks(startMusicTime, song->summary.division), 0, song->summary.lengthTicks);
    auto lock = engine_->RenderLock();
    DeleteFilePlayer();
    filePlayer_ = NewFilePlayer(*song, startTick);
    if (!filePlayer_) return false;
    playing_ = std::move(song);
    stopped_ = false;
    return true;
}

bool PlayerCore::Stop() {
    if (released_) return false;
    {
        auto lock = engine_->RenderLock();
        if (filePlayer_) fluid_player_stop(filePlayer_);
        stopped_ = true;
    }
    fluid_synth_all_sounds_off(engine_->Synth(), -1);
    return true;
}

bool PlayerCore::SetTempoFactor(double factor) {
    if (released_ || !(factor >= kSlowestTempoFactor && factor <= kFastestTempoFactor)) return false;
    tempoFactor_ = factor;
    auto lock = engine_->RenderLock();
    return !filePlayer_ || fluid_player_set_tempo(filePlayer_, FLUID_PLAYER_TEMPO_INTERNAL, factor) == FLUID_OK;
}

std::optional<std::int32_t> PlayerCore::Position() {
    if (released_) return std::nullopt;
    auto lock = engine_->RenderLock();
    if (!filePlayer_ || !playing_) return 0;
    const int division = playing_->summary.division;
    std::int64_t position = TicksToMusicTime(fluid_player_get_current_tick(filePlayer_), division);
    // FluidSynth lingers a little after the last event before it calls the
    // file done; either way a finished run is at its end.
    if (!stopped_ && fluid_player_get_status(filePlayer_) == FLUID_PLAYER_DONE) {
        position = std::max(position, playing_->LengthInMusicTime());
    }
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(position, 0, INT32_MAX));
}

void PlayerCore::Release() {
    if (released_) return;
    {
        auto lock = engine_->RenderLock();
        DeleteFilePlayer();
    }
    downloaded_.reset();
    released_ = true;
}

}  // namespace tonemark
