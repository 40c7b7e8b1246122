#include "sound/fluid/fluid_player.h"

#include <algorithm>
#include <cmath>

#include "sound/fluid/fluid_song.h"
#include "sound/fluid/midi_message.h"

namespace tonemark {
namespace {

// FluidSynth's gain range.
constexpr double kLoudestGain = 10.0;

}  // namespace

FluidPlayer::FluidPlayer(std::shared_ptr<FluidEngine> engine)
    : core_(std::make_shared<PlayerCore>(std::move(engine))) {}

FluidPlayer::~FluidPlayer() {
    core_->Release();
}

// The engine's sound output is opened once, with the root; a player only
// needs it to be there.
bool FluidPlayer::OpenAudio(std::uintptr_t, int, const std::array<std::int32_t, 7>&, int, int) {
    return !core_->Released();
}

bool FluidPlayer::SetupCall(int) {
    return !core_->Released();
}

std::optional<TimeSignature> FluidPlayer::GetTimeSignature(std::int32_t musicTime, std::int32_t& next) {
    const auto& song = core_->Downloaded();
    if (!song || musicTime < 0) return std::nullopt;
    return song->MeterAt(musicTime, next);
}

bool FluidPlayer::SetTempoFactor(float factor) {
    return core_->SetTempoFactor(factor);
}

// `volume` is in hundredths of a decibel relative to the normal gain.
bool FluidPlayer::SetMasterVolume(std::int32_t volume) {
    if (core_->Released()) return false;
    FluidEngine& engine = core_->Engine();
    const double gain = engine.NormalGain() * std::pow(10.0, volume / 2000.0);
    engine.SetGain(static_cast<float>(std::clamp(gain, 0.0, kLoudestGain)));
    return true;
}

std::unique_ptr<SynthPlayback> FluidPlayer::Play(SynthSong& song, int, std::int64_t) {
    auto* fluidSong = dynamic_cast<FluidSong*>(&song);
    if (!fluidSong || !core_->Start(fluidSong->Data(), fluidSong->StartPoint())) return nullptr;
    return std::make_unique<FluidPlayback>(core_);
}

bool FluidPlayer::SendMidi(std::int64_t, int, int channel, int status, int data1, int data2) {
    if (core_->Released()) return false;
    return SendChannelMessage(core_->Engine().Synth(), channel, status, data1, data2);
}

bool FluidPlayer::SendMidiAt(std::int64_t dueMicros, int channel, int status, int data1, int data2) {
    if (core_->Released() || !IsSendableChannelMessage(channel, status, data1, data2)) return false;
    core_->Engine().Schedule(ScheduledMessage{dueMicros, channel, status, data1, data2});
    return true;
}

// Any player, even one already released, may cancel what any other scheduled.
void FluidPlayer::CancelScheduled() {
    core_->Engine().CancelScheduled();
}

bool FluidPlayer::Stop(SynthSong&, std::int64_t, int) {
    return core_->Stop();
}

bool FluidPlayer::TearDown1() {
    return !core_->Released();
}

bool FluidPlayer::TearDown2(int) {
    core_->Release();
    return true;
}

bool FluidPlayer::Accept(std::shared_ptr<const SongData> song) {
    if (core_->Released() || !song) return false;
    core_->Download(std::move(song));
    return true;
}

bool FluidPlayer::Forget(const SongData& song) {
    core_->Unload(&song);
    return true;
}

}  // namespace tonemark
