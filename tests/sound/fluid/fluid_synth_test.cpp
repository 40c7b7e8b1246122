// The root: what it finds on this machine, how fast it starts, and songs
// advancing in real time on whatever output it opened.
#include "sound/fluid/fluid_synth.h"

#include <gtest/gtest.h>

#include "sound/fluid/song_bytes.h"
#include "support/temp_path.h"

#include <chrono>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>
#include <thread>
#include <vector>

namespace tonemark {
namespace {

using Clock = std::chrono::steady_clock;

const auto& kFourNotes = testing::kFourQuarterNotes;

class SongFile {
public:
    SongFile() : path_(testing::TestTempPath("song.mid")) {
        std::ofstream out(path_, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(kFourNotes.data()), static_cast<std::streamsize>(kFourNotes.size()));
    }
    ~SongFile() { std::filesystem::remove(path_); }
    std::string Path() const { return path_.string(); }

private:
    std::filesystem::path path_;
};

double RenderRms(FluidSynthRoot& root, double seconds) {
    const int frames = static_cast<int>(seconds * root.SampleRate());
    std::vector<float> left(frames), right(frames);
    root.RenderOffline(left.data(), right.data(), frames);
    double sum = 0;
    for (int i = 0; i < frames; ++i) sum += left[i] * left[i] + right[i] * right[i];
    return std::sqrt(sum / (2.0 * frames));
}

TEST(FluidSynthRootTest, OfflineRootReportsItsSoundFont) {
    auto root = CreateFluidSynthRoot({FluidOptions::Audio::Offline, ""});
    ASSERT_NE(root, nullptr);
    const SoundStatus status = root->Status();
    EXPECT_TRUE(status.soundFontLoaded);
    EXPECT_FALSE(status.audioOutput);
    EXPECT_EQ(status.driver, "offline");
    EXPECT_EQ(status.message, "");
    EXPECT_GT(status.soundFontLoadMs, 0.0);
}

TEST(FluidSynthRootTest, WithoutASoundFontSongsStillRunSilently) {
    auto root = CreateFluidSynthRoot({FluidOptions::Audio::Offline, "/nonexistent/tonemark/none.sf2"});
    ASSERT_NE(root, nullptr);
    const SoundStatus status = root->Status();
    EXPECT_FALSE(status.soundFontLoaded);
    EXPECT_NE(status.message.find("No SoundFont"), std::string::npos) << status.message;
    EXPECT_NE(status.message.find("/nonexistent/tonemark/none.sf2"), std::string::npos) << status.message;

    SongFile file;
    auto player = root->CreatePlayer();
    auto song = root->CreateLoader()->LoadSong(file.Path());
    ASSERT_NE(song, nullptr);
    ASSERT_TRUE(song->Download(*player));
    EXPECT_TRUE(player->SendMidi(0, 1, 0, 0x90, 72, 100));
    auto playback = player->Play(*song, 0, 0);
    ASSERT_NE(playback, nullptr);
    EXPECT_LT(RenderRms(*root, 0.5), 1e-6);
    EXPECT_NEAR(playback->Position().value_or(-1), 768, 8);
}

TEST(FluidSynthRootTest, SaysWhereItsSoundGoes) {
    auto root = CreateFluidSynthRoot({});
    ASSERT_NE(root, nullptr);
    const SoundStatus status = root->Status();
    EXPECT_TRUE(status.soundFontLoaded) << status.message;
    if (status.audioOutput) {
        EXPECT_TRUE(status.driver == "pulseaudio" || status.driver == "alsa" || status.driver == "jack") << status.driver;
        EXPECT_GT(status.outputLatencyMs, 0);
        EXPECT_LE(status.outputLatencyMs, 100) << "a buffer of 50 ms at most and the server's part";
        EXPECT_EQ(status.message, "");
    } else {
        EXPECT_EQ(status.driver, "");
        EXPECT_NE(status.message.find("No sound output"), std::string::npos) << status.message;
    }
    // The SoundFont arrives a little later, read in the background.
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    while (!root->SoundFontReady() && Clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_TRUE(root->SoundFontReady());
    EXPECT_GT(root->Status().soundFontLoadMs, 0.0);
}

TEST(FluidSynthRootTest, SongAdvancesInRealTimeWithOrWithoutSound) {
    auto root = CreateFluidSynthRoot({});
    ASSERT_NE(root, nullptr);
    SongFile file;
    auto player = root->CreatePlayer();
    auto song = root->CreateLoader()->LoadSong(file.Path());
    ASSERT_NE(song, nullptr);
    ASSERT_TRUE(song->Download(*player));
    const auto start = Clock::now();
    auto playback = player->Play(*song, 0, 0);
    ASSERT_NE(playback, nullptr);
    // 1536 music time a second. The song never runs ahead of the clock by
    // more than a render block; a busy machine may leave it behind, so the
    // song is only asked to reach half a second at some point.
    std::optional<double> position;
    double seconds = 0;
    const auto deadline = start + std::chrono::seconds(10);
    do {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        position = playback->Position();
        seconds = std::chrono::duration<double>(Clock::now() - start).count();
        ASSERT_TRUE(position.has_value());
        EXPECT_LE(*position, seconds * 1536 + 8);
    } while (*position < 768 && Clock::now() < deadline);
    EXPECT_GE(*position, 768);
}

TEST(FluidSynthRootTest, PlayersComeAndGoWhileTheSoundThreadRuns) {
    auto root = CreateFluidSynthRoot({});
    ASSERT_NE(root, nullptr);
    SongFile file;
    auto loader = root->CreateLoader();
    std::vector<std::unique_ptr<SynthPlayback>> leftovers;
    for (int i = 0; i < 40; ++i) {
        auto player = root->CreatePlayer();
        auto song = loader->LoadSong(file.Path());
        ASSERT_NE(song, nullptr);
        ASSERT_TRUE(song->Download(*player));
        auto playback = player->Play(*song, 0, 0);
        ASSERT_NE(playback, nullptr);
        player->SendMidi(0, 1, 9, 0x90, 33, 100);
        std::this_thread::sleep_for(std::chrono::milliseconds(i % 4));
        if (i % 3 == 0) {
            ASSERT_NE(player->Play(*song, 0, 0), nullptr);
        }
        EXPECT_TRUE(player->Stop(*song, 0, 0));
        EXPECT_TRUE(player->TearDown1());
        EXPECT_TRUE(song->Unload(*player));
        EXPECT_TRUE(player->TearDown2(1));
        if (i % 2 == 0) {
            player.reset();  // dropped before the song and the playback
        }
        EXPECT_FALSE(playback->Position().has_value());
        leftovers.push_back(std::move(playback));
    }
}

}  // namespace
}  // namespace tonemark
