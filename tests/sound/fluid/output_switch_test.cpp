// The root's sound output through a sound device that stops asking for sound
// in the middle of a song (its server went away) and comes back later: the
// song plays on, on the silent clock, the status says so, and the next player
// after the device is back sounds through it again.
#include "sound/fluid/fluid_synth.h"

#include <gtest/gtest.h>

#include "sound/fluid/silent_clock.h"
#include "sound/fluid/song_bytes.h"
#include "support/private_sound_server.h"
#include "support/temp_path.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace tonemark {
namespace {

using Clock = std::chrono::steady_clock;

constexpr double kRate = 44100.0;
constexpr int kBlock = 128;
constexpr int kNoteOn = 0x90;
// A quarter of the tempo: the four-note song lasts 8 s, music time 384 a second.
constexpr float kSlow = 0.25f;
// The piano peaks near 0.1 and a click near 0.26; silence is 0.
constexpr float kAudible = 0.01f;
// Each wait gives up after 20 s; a working root gets there within a few seconds.
using testing::WaitFor;

// What the test sees of one device the root opened.
struct DeviceState {
    std::mutex mutex;  // held through each render call
    bool asking = true;
    bool closed = false;
    float peak = 0;  // the loudest sample since the last TakePeak
    // What the device reports; read inside render calls, so not under `mutex`.
    std::atomic<int> latencyMs{3};
    std::mutex troubleMutex;
    std::string trouble;

    // The device stops asking for sound, as a driver does whose server went
    // away; once this returns no render call is under way.
    void StopAsking() {
        std::lock_guard<std::mutex> lock(mutex);
        asking = false;
    }
    void AskAgain() {
        std::lock_guard<std::mutex> lock(mutex);
        asking = true;
    }
    float TakePeak() {
        std::lock_guard<std::mutex> lock(mutex);
        return std::exchange(peak, 0.0f);
    }
    bool Closed() {
        std::lock_guard<std::mutex> lock(mutex);
        return closed;
    }
};

// A sound device that asks for a block at a time at real-time pace.
class FakeDevice : public SoundOutput {
public:
    FakeDevice(RenderCall render, std::shared_ptr<DeviceState> state)
        : render_(std::move(render)), state_(std::move(state)), left_(kBlock), right_(kBlock) {
        pace_ = std::make_unique<SilentClock>([this](int frames) { Ask(frames); }, kRate, kBlock);
    }
    ~FakeDevice() override {
        pace_.reset();
        std::lock_guard<std::mutex> lock(state_->mutex);
        state_->closed = true;
    }
    std::string Name() const override { return "fake"; }
    int LatencyMs() const override { return state_->latencyMs; }
    std::string Trouble() const override {
        std::lock_guard<std::mutex> lock(state_->troubleMutex);
        return state_->trouble;
    }

private:
    void Ask(int frames) {
        std::lock_guard<std::mutex> lock(state_->mutex);
        if (!state_->asking) return;
        render_(left_.data(), right_.data(), frames);
        for (int i = 0; i < frames; ++i) {
            state_->peak = std::max({state_->peak, std::fabs(left_[i]), std::fabs(right_[i])});
        }
    }

    RenderCall render_;
    std::shared_ptr<DeviceState> state_;
    std::vector<float> left_, right_;
    std::unique_ptr<SilentClock> pace_;
};

// The machine's sound system: whether a device opens, and every one that did.
// Only the test's thread opens devices (the root does so in CreatePlayer).
struct FakeSoundSystem {
    bool available = true;
    int tries = 0;
    std::vector<std::shared_ptr<DeviceState>> devices;

    OpenSoundOutput Opener() {
        return [this](RenderCall render) -> std::unique_ptr<SoundOutput> {
            ++tries;
            if (!available) return nullptr;
            devices.push_back(std::make_shared<DeviceState>());
            return std::make_unique<FakeDevice>(std::move(render), devices.back());
        };
    }
};

class SongFile {
public:
    SongFile() : path_(testing::TestTempPath("song.mid")) {
        const auto& bytes = testing::kFourQuarterNotes;
        std::ofstream out(path_, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }
    ~SongFile() { std::filesystem::remove(path_); }
    std::string Path() const { return path_.string(); }

private:
    std::filesystem::path path_;
};

class OutputSwitchTest : public ::testing::Test {
protected:
    std::unique_ptr<FluidSynthRoot> MakeRoot() {
        FluidOptions options;
        options.openOutput = system_.Opener();
        auto root = CreateFluidSynthRoot(options);
        if (root) WaitFor([&] { return root->SoundFontReady(); });
        return root;
    }

    // A song on a new player, as the window starts each one.
    struct Song {
        std::unique_ptr<SynthPlayer> player;
        std::unique_ptr<SynthSong> song;
        std::unique_ptr<SynthPlayback> playback;
        std::int32_t Position() const { return playback->Position().value_or(-1); }
    };
    Song StartSong(FluidSynthRoot& root) {
        Song s;
        s.player = root.CreatePlayer();
        s.song = root.CreateLoader()->LoadSong(file_.Path());
        if (!s.song || !s.song->Download(*s.player)) return s;
        s.player->SetTempoFactor(kSlow);
        s.playback = s.player->Play(*s.song, 0, 0);
        return s;
    }

    FakeSoundSystem system_;
    SongFile file_;
};

TEST_F(OutputSwitchTest, TheSongPlaysOnWhenTheDeviceStopsAndTheNextOneSoundsWhenItIsBack) {
    auto root = MakeRoot();
    ASSERT_NE(root, nullptr);
    ASSERT_TRUE(root->SoundFontReady());
    SoundStatus status = root->StatusNow().value();
    EXPECT_TRUE(status.audioOutput);
    EXPECT_EQ(status.driver, "fake");
    EXPECT_EQ(status.outputLatencyMs, 3);
    // The position is read a render call (128 frames at 44.1 kHz) ahead of the device's buffers.
    EXPECT_EQ(status.positionLeadMs, 3 + 3);
    EXPECT_EQ(status.message, "");
    ASSERT_EQ(system_.devices.size(), 1u);
    const auto first = system_.devices[0];

    Song song = StartSong(*root);
    ASSERT_NE(song.playback, nullptr);
    ASSERT_TRUE(WaitFor([&] { return song.Position() >= 192; }));
    EXPECT_GT(first->TakePeak(), kAudible) << "the song sounds through the device";

    // The server goes away: the device stops asking, and cannot be opened again.
    system_.available = false;
    first->StopAsking();
    const std::int32_t atTheStop = song.Position();
    ASSERT_TRUE(WaitFor([&] { return !root->StatusNow()->audioOutput; }));
    status = root->StatusNow().value();
    EXPECT_EQ(status.driver, "");
    EXPECT_EQ(status.outputLatencyMs, 0);
    EXPECT_EQ(status.positionLeadMs, 3) << "the silent clock renders in the same calls, with no buffers after them";
    EXPECT_NE(status.message.find("sound output stopped"), std::string::npos) << status.message;
    EXPECT_NE(status.message.find("without sound"), std::string::npos) << status.message;
    EXPECT_TRUE(WaitFor([&] { return first->Closed(); })) << "the stopped device is closed";

    // On the silent clock the song moves on by another second.
    std::int32_t last = atTheStop;
    EXPECT_TRUE(WaitFor([&] {
        const std::int32_t now = song.Position();
        EXPECT_GE(now, last) << "the song went back";
        last = now;
        return now >= atTheStop + 384;
    })) << "stopped at " << atTheStop << ", now at " << last;

    // The next song tries the device at once; the one after does not try again so soon.
    const int triesBefore = system_.tries;
    Song whileAway = StartSong(*root);
    Song soonAfter = StartSong(*root);
    EXPECT_EQ(system_.tries, triesBefore + 1);
    EXPECT_FALSE(root->StatusNow()->audioOutput);
    EXPECT_NE(root->StatusNow()->message.find("sound output stopped"), std::string::npos);
    soonAfter.player->Stop(*soonAfter.song, 0, 0);
    whileAway.player->Stop(*whileAway.song, 0, 0);
    song.player->Stop(*song.song, 0, 0);

    // The server is back: a later player opens the device again.
    system_.available = true;
    std::vector<std::unique_ptr<SynthPlayer>> players;
    ASSERT_TRUE(WaitFor([&] {
        players.push_back(root->CreatePlayer());
        return root->StatusNow()->audioOutput;
    }));
    status = root->StatusNow().value();
    EXPECT_EQ(status.driver, "fake");
    EXPECT_EQ(status.message, "");
    ASSERT_EQ(system_.devices.size(), 2u);
    const auto second = system_.devices[1];

    // A click scheduled after the switch is heard through the device.
    second->TakePeak();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_LT(second->TakePeak(), kAudible / 100) << "nothing plays yet";
    ASSERT_TRUE(players.back()->SendMidiAt(MonotonicNow() + 200'000, 9, kNoteOn, 33, 100));
    EXPECT_TRUE(WaitFor([&] { return second->TakePeak() > kAudible; })) << "the click was lost";

    Song back = StartSong(*root);
    ASSERT_NE(back.playback, nullptr);
    ASSERT_TRUE(WaitFor([&] { return back.Position() >= 192; }));
    EXPECT_GT(second->TakePeak(), kAudible) << "the new song sounds through the device";

    // Only the device moves the song now: while it waits, so does the song.
    second->StopAsking();
    const std::int32_t paused = back.Position();
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    EXPECT_EQ(back.Position(), paused) << "the silent clock still runs beside the device";
    second->AskAgain();
    EXPECT_TRUE(WaitFor([&] { return back.Position() > paused; }));
}

// A device whose buffer adapts: the lead the follower asks for on every tick
// is the device's latency now, and the status carries what the device has to
// say, the same words for as long as it holds (the window shows it once).
TEST_F(OutputSwitchTest, TheLeadFollowsTheDevicesLatencyAndItsTroubleIsInTheStatus) {
    auto root = MakeRoot();
    ASSERT_NE(root, nullptr);
    ASSERT_EQ(system_.devices.size(), 1u);
    const auto device = system_.devices[0];
    EXPECT_EQ(root->PositionLeadMsNow(), 3 + 3);
    device->latencyMs = 45;
    EXPECT_EQ(root->PositionLeadMsNow(), 45 + 3);
    EXPECT_EQ(root->StatusNow()->outputLatencyMs, 45);
    EXPECT_EQ(root->StatusNow()->positionLeadMs, 45 + 3);
    {
        std::lock_guard<std::mutex> lock(device->troubleMutex);
        device->trouble = "This machine cannot keep the sound going.";
    }
    const std::string said = root->StatusNow()->message;
    EXPECT_NE(said.find("cannot keep the sound going"), std::string::npos) << said;
    EXPECT_EQ(root->StatusNow()->message, said);
    EXPECT_TRUE(root->StatusNow()->audioOutput) << "nothing else changes";
    {
        std::lock_guard<std::mutex> lock(device->troubleMutex);
        device->trouble.clear();
    }
    EXPECT_EQ(root->StatusNow()->message, "");
}

TEST_F(OutputSwitchTest, WithoutADeviceAtStartUpSongsLookForOneOnlyEveryCoupleOfSeconds) {
    system_.available = false;
    auto root = MakeRoot();
    ASSERT_NE(root, nullptr);
    SoundStatus status = root->StatusNow().value();
    EXPECT_FALSE(status.audioOutput);
    EXPECT_NE(status.message.find("No sound output could be opened"), std::string::npos) << status.message;
    EXPECT_EQ(system_.tries, 1);

    // Rebuilding songs one after the other does not pay for a look each time.
    for (int i = 0; i < 20; ++i) StartSong(*root);
    EXPECT_EQ(system_.tries, 1);

    // A device that turns up is found by a song a couple of seconds later, at
    // the first look after the first one.
    system_.available = true;
    std::vector<std::unique_ptr<SynthPlayer>> players;
    ASSERT_TRUE(WaitFor([&] {
        players.push_back(root->CreatePlayer());
        return root->StatusNow()->audioOutput;
    }));
    EXPECT_EQ(system_.tries, 2);
    status = root->StatusNow().value();
    EXPECT_EQ(status.message, "");
    ASSERT_EQ(system_.devices.size(), 1u);

    Song song = StartSong(*root);
    ASSERT_NE(song.playback, nullptr);
    system_.devices[0]->TakePeak();
    ASSERT_TRUE(WaitFor([&] { return song.Position() >= 192; }));
    EXPECT_GT(system_.devices[0]->TakePeak(), kAudible);
}

}  // namespace
}  // namespace tonemark
