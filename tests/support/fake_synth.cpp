#include "support/fake_synth.h"

#include "app/lifecycle.h"

#include <algorithm>
#include <random>

namespace tonemark::testing {
namespace {

using State = std::shared_ptr<FakeSynthState>;

bool Record(const State& st, const std::string& op) {
    st->calls.push_back(op);
    return !st->Fails(op);
}

class FakePlayback : public SynthPlayback {
public:
    explicit FakePlayback(State st) : st_(std::move(st)) {}
    std::optional<std::int32_t> Position() override {
        if (st_->Fails("Position")) return std::nullopt;
        return st_->position;
    }

private:
    State st_;
};

class FakeSong : public SynthSong {
public:
    explicit FakeSong(State st) : st_(std::move(st)) {}
    bool Prepare() override { return Record(st_, "Prepare"); }
    bool Download(SynthPlayer&) override { return Record(st_, "Download"); }
    std::optional<std::int32_t> Length() override {
        if (st_->Fails("Length")) return std::nullopt;
        return st_->length;
    }
    bool SetStartPoint(std::int32_t t) override { return Record(st_, "SetStartPoint " + std::to_string(t)); }
    bool Unload(SynthPlayer&) override { return Record(st_, "Unload"); }

private:
    State st_;
};

class FakeLoader : public SongLoader {
public:
    explicit FakeLoader(State st) : st_(std::move(st)) {}
    std::unique_ptr<SynthSong> LoadSong(const std::string& path) override {
        if (!Record(st_, "LoadSong")) return nullptr;
        st_->lastLoadedPath = path;
        return std::make_unique<FakeSong>(st_);
    }

private:
    State st_;
};

class FakePlayer : public SynthPlayer {
public:
    explicit FakePlayer(State st) : st_(std::move(st)) {}
    bool OpenAudio(std::uintptr_t, int, const std::array<std::int32_t, 7>&, int, int) override {
        return Record(st_, "OpenAudio");
    }
    bool SetupCall(int v) override { return Record(st_, "SetupCall " + std::to_string(v)); }
    std::optional<TimeSignature> GetTimeSignature(std::int32_t, std::int32_t& next) override {
        next = 0;
        if (!Record(st_, "GetTimeSignature")) return std::nullopt;
        return st_->meter;
    }
    bool SetTempoFactor(float) override { return Record(st_, "SetTempoFactor"); }
    bool SetMasterVolume(std::int32_t v) override { return Record(st_, "SetMasterVolume " + std::to_string(v)); }
    std::unique_ptr<SynthPlayback> Play(SynthSong&, int, std::int64_t) override {
        if (!Record(st_, "Play")) return nullptr;
        return std::make_unique<FakePlayback>(st_);
    }
    bool SendMidi(std::int64_t, int, int channel, int status, int d1, int d2) override {
        st_->midi.push_back({channel, status, d1, d2});
        return Record(st_, "SendMidi");
    }
    bool SendMidiAt(std::int64_t due, int channel, int status, int d1, int d2) override {
        st_->scheduled.push_back({due, {channel, status, d1, d2}});
        return Record(st_, "SendMidiAt");
    }
    void CancelScheduled() override {
        ++st_->cancels;
        st_->calls.push_back("CancelScheduled");
    }
    bool Stop(SynthSong&, std::int64_t, int) override { return Record(st_, "Stop"); }
    bool TearDown1() override { return Record(st_, "TearDown1"); }
    bool TearDown2(int) override { return Record(st_, "TearDown2"); }

private:
    State st_;
};

class FakeRoot : public SynthRoot {
public:
    explicit FakeRoot(State st) : st_(std::move(st)) {}
    std::unique_ptr<SongLoader> CreateLoader() override {
        if (!Record(st_, "CreateLoader")) return nullptr;
        return std::make_unique<FakeLoader>(st_);
    }
    std::unique_ptr<SynthPlayer> CreatePlayer() override {
        if (!Record(st_, "CreatePlayer")) return nullptr;
        return std::make_unique<FakePlayer>(st_);
    }
    std::optional<SoundStatus> StatusNow() override { return st_->statusNow; }
    bool PlayNow(int channel, int status, int data1, int data2) override {
        std::lock_guard lock(st_->liveMutex);
        st_->live.push_back({channel, status, data1, data2});
        return true;
    }
    std::optional<int> PositionLeadMsNow() override { return st_->leadNow; }

private:
    State st_;
};

}  // namespace

int FakeSynthState::Count(const std::string& op) const {
    return static_cast<int>(std::count(calls.begin(), calls.end(), op));
}

std::shared_ptr<FakeSynthState> InstallFakeSynth(Main& m, int latencyMs) {
    auto st = std::make_shared<FakeSynthState>();
    m.makeSynthRoot = [st, latencyMs](SoundStatus& status) -> std::unique_ptr<SynthRoot> {
        ++st->rootsMade;
        status = SoundStatus{};
        status.soundFontLoaded = status.audioOutput = true;
        status.outputLatencyMs = status.positionLeadMs = latencyMs;
        status.driver = "fake";
        return std::make_unique<FakeRoot>(st);
    };
    return st;
}

TestPlatform::TestPlatform() {
    std::random_device rd;
    root = std::filesystem::temp_directory_path() / ("tonemark-test-" + std::to_string(rd()));
    std::filesystem::create_directories(root);
    tempDirectory = root.string() + "/";
}

TestPlatform::~TestPlatform() {
    std::error_code ec;
    std::filesystem::remove_all(root, ec);
}

void StartedProgram::SetUp() {
    m.platform = &platform;
    synth = InstallFakeSynth(m);
    Form_Load(m);
}

}  // namespace tonemark::testing
