#include "sound/stand_in_synth.h"

#include "sound/song_data.h"

namespace tonemark {
namespace {

class StandInPlayer : public SynthPlayer {
public:
    bool OpenAudio(std::uintptr_t, int, const std::array<std::int32_t, 7>&, int, int) override { return true; }
    bool SetupCall(int) override { return true; }
    std::optional<TimeSignature> GetTimeSignature(std::int32_t musicTime, std::int32_t& next) override {
        if (!downloaded_ || musicTime < 0) return std::nullopt;
        return downloaded_->MeterAt(musicTime, next);
    }
    bool SetTempoFactor(float) override { return true; }
    bool SetMasterVolume(std::int32_t) override { return true; }
    std::unique_ptr<SynthPlayback> Play(SynthSong&, int, std::int64_t) override { return nullptr; }
    bool SendMidi(std::int64_t, int, int, int, int, int) override { return false; }
    bool Stop(SynthSong&, std::int64_t, int) override { return true; }
    bool TearDown1() override { return true; }
    bool TearDown2(int) override { return true; }

    std::shared_ptr<const SongData> downloaded_;
};

class StandInSong : public SynthSong {
public:
    explicit StandInSong(std::shared_ptr<const SongData> data) : data_(std::move(data)) {}

    bool Prepare() override { return true; }
    bool Download(SynthPlayer& player) override {
        auto* standIn = dynamic_cast<StandInPlayer*>(&player);
        if (standIn == nullptr) return false;
        standIn->downloaded_ = data_;
        return true;
    }
    std::optional<std::int32_t> Length() override { return data_->ReportedLength(); }
    bool SetStartPoint(std::int32_t musicTime) override { return musicTime >= 0; }
    bool Unload(SynthPlayer& player) override {
        if (auto* standIn = dynamic_cast<StandInPlayer*>(&player)) standIn->downloaded_.reset();
        return true;
    }

private:
    std::shared_ptr<const SongData> data_;
};

class StandInLoader : public SongLoader {
public:
    std::unique_ptr<SynthSong> LoadSong(const std::string& path) override {
        auto data = ReadSongData(path);
        if (!data) return nullptr;
        return std::make_unique<StandInSong>(std::move(data));
    }
};

class StandInRoot : public SynthRoot {
public:
    std::unique_ptr<SongLoader> CreateLoader() override { return std::make_unique<StandInLoader>(); }
    std::unique_ptr<SynthPlayer> CreatePlayer() override { return std::make_unique<StandInPlayer>(); }
};

}  // namespace

std::unique_ptr<SynthRoot> MakeStandInSynth() { return std::make_unique<StandInRoot>(); }

}  // namespace tonemark
