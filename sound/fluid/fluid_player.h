// A player of one song at a time on the shared FluidSynth engine, and the
// handle of a song while it plays.
#pragma once

#include <memory>

#include "sound/fluid/player_core.h"
#include "sound/synth.h"

namespace tonemark {

class FluidPlayback : public SynthPlayback {
public:
    explicit FluidPlayback(std::shared_ptr<PlayerCore> core) : core_(std::move(core)) {}
    std::optional<std::int32_t> Position() override { return core_->Position(); }

private:
    std::shared_ptr<PlayerCore> core_;
};

class FluidPlayer : public SynthPlayer {
public:
    explicit FluidPlayer(std::shared_ptr<FluidEngine> engine);
    ~FluidPlayer() override;

    bool OpenAudio(std::uintptr_t window, int flags, const std::array<std::int32_t, 7>& params, int pathType,
                   int channels) override;
    bool SetupCall(int value) override;
    std::optional<TimeSignature> GetTimeSignature(std::int32_t musicTime, std::int32_t& next) override;
    bool SetTempoFactor(float factor) override;
    bool SetMasterVolume(std::int32_t volume) override;
    std::unique_ptr<SynthPlayback> Play(SynthSong& song, int flags, std::int64_t startTime) override;
    bool SendMidi(std::int64_t time, int flags, int channel, int status, int data1, int data2) override;
    // The messages wait in the engine, which outlives the player.
    bool SendMidiAt(std::int64_t dueMicros, int channel, int status, int data1, int data2) override;
    void CancelScheduled() override;
    bool Stop(SynthSong& song, std::int64_t stopTime, int flags) override;
    bool TearDown1() override;
    bool TearDown2(int value) override;

    // Download and unload of a song (called by FluidSong).
    bool Accept(std::shared_ptr<const SongData> song);
    bool Forget(const SongData& song);

private:
    std::shared_ptr<PlayerCore> core_;
};

}  // namespace tonemark
