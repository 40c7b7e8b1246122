// What a player shares with the playbacks it hands out: the FluidSynth file
// player of the current run, the song downloaded to it and its tempo factor.
// The playbacks keep it alive, so asking a playback for its position after the
// player is gone is safe (it answers nothing). All FluidSynth file-player calls
// run under the engine's render lock, since the sound thread drives that player.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include <fluidsynth.h>

#include "sound/fluid/fluid_engine.h"
#include "sound/song_data.h"

namespace tonemark {

class PlayerCore {
public:
    explicit PlayerCore(std::shared_ptr<FluidEngine> engine);
    ~PlayerCore();
    PlayerCore(const PlayerCore&) = delete;
    PlayerCore& operator=(const PlayerCore&) = delete;

    FluidEngine& Engine() { return *engine_; }
    bool Released() const { return released_; }

    void Download(std::shared_ptr<const SongData> song);
    void Unload(const SongData* song);
    const std::shared_ptr<const SongData>& Downloaded() const { return downloaded_; }

    // Plays `song` from `startMusicTime` on a fresh file player, ending any run
    // still going.
    bool Start(std::shared_ptr<const SongData> song, std::int64_t startMusicTime);
    bool Stop();
    bool SetTempoFactor(double factor);
    // Music time of the current run; at least the song's length once it ended.
    std::optional<std::int32_t> Position();
    // Stops and frees the file player; the core answers nothing afterwards.
    void Release();

private:
    fluid_player_t* NewFilePlayer(const SongData& song, std::int64_t startTick);
    void DeleteFilePlayer();

    std::shared_ptr<FluidEngine> engine_;
    fluid_player_t* filePlayer_ = nullptr;
    std::shared_ptr<const SongData> playing_;
    std::shared_ptr<const SongData> downloaded_;
    double tempoFactor_ = 1.0;
    bool stopped_ = false;
    bool released_ = false;
};

}  // namespace tonemark
