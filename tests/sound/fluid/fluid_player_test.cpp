// Songs on a player: length, meter, position, restart, stop, tear-down.
// Rendered offline, so the song's clock is exactly the number of samples.
#include "sound/fluid/fluid_synth.h"

#include <gtest/gtest.h>

#include "sound/fluid/song_bytes.h"
#include "sound/stand_in_synth.h"
#include "support/temp_path.h"

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <vector>

namespace tonemark {
namespace {

using Bytes = std::vector<std::uint8_t>;

const auto& kScale192 = testing::kFourQuarterNotes;

// Format 0, division 96, 120 bpm, 3/4: E F G, then 4/4 at tick 288 and A;
// the end at tick 384 is again music time 3072.
const Bytes kWaltz96 = {
    'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0, 96,
    'M', 'T', 'r', 'k', 0, 0, 0, 59,
    0x00, 0xFF, 0x58, 0x04, 0x03, 0x02, 0x18, 0x08,
    0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20,
    0x00, 0x90, 64, 100, 0x60, 0x90, 64, 0,
    0x00, 0x90, 65, 100, 0x60, 0x90, 65, 0,
    0x00, 0x90, 67, 100, 0x60, 0x90, 67, 0,
    0x00, 0xFF, 0x58, 0x04, 0x04, 0x02, 0x18, 0x08,
    0x00, 0x90, 69, 100, 0x60, 0x90, 69, 0,
    0x00, 0xFF, 0x2F, 0x00,
};

constexpr double kMusicTimePerSecond = 1536.0;
// The player follows the synthesiser in 64-sample steps of whole
// milliseconds: a few music-time units either way.
constexpr double kPositionTolerance = 8.0;

class FluidPlayerTest : public ::testing::Test {
protected:
    void SetUp() override {
        root_ = CreateFluidSynthRoot({FluidOptions::Audio::Offline, ""});
        ASSERT_NE(root_, nullptr);
        loader_ = root_->CreateLoader();
        player_ = root_->CreatePlayer();
    }

    void TearDown() override {
        for (const auto& path : files_) std::filesystem::remove(path);
    }

    std::string WriteFile(const Bytes& bytes) {
        const auto path = testing::TestTempPath(std::to_string(files_.size()) + ".mid");
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        files_.push_back(path);
        return path.string();
    }

    std::unique_ptr<SynthSong> LoadAndDownload(const Bytes& bytes) {
        auto song = loader_->LoadSong(WriteFile(bytes));
        if (song && !(song->Prepare() && song->Download(*player_))) return nullptr;
        return song;
    }

    // Renders and returns the root-mean-square level.
    double Render(double seconds) {
        const int frames = static_cast<int>(std::lround(seconds * root_->SampleRate()));
        std::vector<float> left(64), right(64);
        double sum = 0;
        for (int at = 0; at < frames; at += 64) {
            const int count = std::min(64, frames - at);
            root_->RenderOffline(left.data(), right.data(), count);
            for (int i = 0; i < count; ++i) sum += left[i] * left[i] + right[i] * right[i];
        }
        return frames > 0 ? std::sqrt(sum / (2.0 * frames)) : 0.0;
    }

    std::unique_ptr<FluidSynthRoot> root_;
    std::unique_ptr<SongLoader> loader_;
    std::unique_ptr<SynthPlayer> player_;
    std::vector<std::filesystem::path> files_;
};

TEST_F(FluidPlayerTest, LengthIsTheLastEndOfTrackInMusicTime) {
    auto scale = LoadAndDownload(kScale192);
    auto waltz = LoadAndDownload(kWaltz96);
    ASSERT_NE(scale, nullptr);
    ASSERT_NE(waltz, nullptr);
    EXPECT_EQ(scale->Length(), 3072);
    EXPECT_EQ(waltz->Length(), 3072);
}

// The window engraves on the stand-in until the synthesiser has started: what
// it learns of a song must be what the synthesiser would have said.
TEST_F(FluidPlayerTest, TheStandInKnowsEachSongAsTheSynthesiserDoes) {
    auto standIn = MakeStandInSynth();
    auto standInLoader = standIn->CreateLoader();
    auto standInPlayer = standIn->CreatePlayer();
    const Bytes notMidi = {'R', 'I', 'F', 'F', 0, 0, 0, 0};
    for (const Bytes* bytes : {&kScale192, &kWaltz96, &notMidi}) {
        const std::string path = WriteFile(*bytes);
        auto real = loader_->LoadSong(path);
        auto stood = standInLoader->LoadSong(path);
        ASSERT_EQ(real == nullptr, stood == nullptr);
        if (!real) continue;
        ASSERT_TRUE(real->Download(*player_));
        ASSERT_TRUE(stood->Download(*standInPlayer));
        EXPECT_EQ(stood->Length(), real->Length());
        for (std::int32_t at : {0, 2000, 2304, 2400}) {
            std::int32_t nextReal = -1, nextStood = -1;
            const auto meterReal = player_->GetTimeSignature(at, nextReal);
            const auto meterStood = standInPlayer->GetTimeSignature(at, nextStood);
            ASSERT_EQ(meterReal.has_value(), meterStood.has_value());
            EXPECT_EQ(meterStood->beatsPerBar, meterReal->beatsPerBar) << at;
            EXPECT_EQ(meterStood->beatUnit, meterReal->beatUnit) << at;
            EXPECT_EQ(nextStood, nextReal) << at;
        }
    }
    EXPECT_EQ(standInLoader->LoadSong(WriteFile(notMidi)), nullptr);
}

TEST_F(FluidPlayerTest, TimeSignatureComesFromTheDownloadedFile) {
    std::int32_t next = -1;
    EXPECT_FALSE(player_->GetTimeSignature(2000, next).has_value()) << "no song downloaded yet";

    auto waltz = LoadAndDownload(kWaltz96);
    ASSERT_NE(waltz, nullptr);
    auto meter = player_->GetTimeSignature(2000, next);
    ASSERT_TRUE(meter.has_value());
    EXPECT_EQ(meter->beatsPerBar, 3);
    EXPECT_EQ(meter->beatUnit, 4);
    EXPECT_EQ(next, 2304);
    meter = player_->GetTimeSignature(2400, next);
    ASSERT_TRUE(meter.has_value());
    EXPECT_EQ(meter->beatsPerBar, 4);

    auto scale = LoadAndDownload(kScale192);
    ASSERT_NE(scale, nullptr);
    meter = player_->GetTimeSignature(2000, next);
    ASSERT_TRUE(meter.has_value());
    EXPECT_EQ(meter->beatsPerBar, 4);
    EXPECT_EQ(meter->beatUnit, 4);
}

TEST_F(FluidPlayerTest, PositionFollowsTheRenderedTime) {
    auto song = LoadAndDownload(kWaltz96);
    ASSERT_NE(song, nullptr);
    ASSERT_TRUE(player_->SetTempoFactor(1.0f));
    ASSERT_TRUE(song->SetStartPoint(0));
    auto playback = player_->Play(*song, 0, 0);
    ASSERT_NE(playback, nullptr);
    double elapsed = 0;
    for (double step : {0.25, 0.25, 0.5}) {
        EXPECT_GT(Render(step), 0.0);
        elapsed += step;
        auto position = playback->Position();
        ASSERT_TRUE(position.has_value());
        EXPECT_NEAR(*position, elapsed * kMusicTimePerSecond, kPositionTolerance) << "after " << elapsed << " s";
    }
}

TEST_F(FluidPlayerTest, PositionReachesTheLengthWhenTheSongEnds) {
    auto song = LoadAndDownload(kScale192);
    ASSERT_NE(song, nullptr);
    auto playback = player_->Play(*song, 0, 0);
    ASSERT_NE(playback, nullptr);
    double elapsed = 0;
    while (playback->Position().value_or(0) < 3072 && elapsed < 3.0) {
        Render(0.01);
        elapsed += 0.01;
    }
    EXPECT_NEAR(elapsed, 2.0, 0.02);
    Render(5.0);  // well past FluidSynth's own idea of the end
    EXPECT_GE(playback->Position().value_or(0), 3072);
}

TEST_F(FluidPlayerTest, PlayWhilePlayingRestartsFromTheStartPoint) {
    auto song = LoadAndDownload(kScale192);
    ASSERT_NE(song, nullptr);
    auto first = player_->Play(*song, 0, 0);
    ASSERT_NE(first, nullptr);
    Render(0.75);
    auto second = player_->Play(*song, 0, 0);
    ASSERT_NE(second, nullptr);
    EXPECT_GT(Render(0.25), 0.0);
    EXPECT_NEAR(second->Position().value_or(-1), 0.25 * kMusicTimePerSecond, kPositionTolerance);
}

TEST_F(FluidPlayerTest, PlayAfterTheEndPlaysAgain) {
    auto song = LoadAndDownload(kScale192);
    ASSERT_NE(song, nullptr);
    ASSERT_NE(player_->Play(*song, 0, 0), nullptr);
    Render(6.0);
    const double quietAfterEnd = Render(0.1);
    auto again = player_->Play(*song, 0, 0);
    ASSERT_NE(again, nullptr);
    const double level = Render(0.25);
    EXPECT_NEAR(again->Position().value_or(-1), 0.25 * kMusicTimePerSecond, kPositionTolerance);
    EXPECT_GT(level, 100 * quietAfterEnd + 1e-4);
}

TEST_F(FluidPlayerTest, StartPointSkipsAhead) {
    auto song = LoadAndDownload(kScale192);
    ASSERT_NE(song, nullptr);
    ASSERT_TRUE(song->SetStartPoint(1536));
    EXPECT_FALSE(song->SetStartPoint(-1));
    auto playback = player_->Play(*song, 0, 0);
    ASSERT_NE(playback, nullptr);
    Render(0.25);
    EXPECT_NEAR(playback->Position().value_or(-1), 1536 + 0.25 * kMusicTimePerSecond, kPositionTolerance);
}

TEST_F(FluidPlayerTest, TempoFactorScalesTheFilesOwnTempo) {
    auto song = LoadAndDownload(kScale192);
    ASSERT_NE(song, nullptr);
    ASSERT_TRUE(player_->SetTempoFactor(2.0f));
    auto playback = player_->Play(*song, 0, 0);
    ASSERT_NE(playback, nullptr);
    Render(0.5);
    EXPECT_NEAR(playback->Position().value_or(-1), 2 * 0.5 * kMusicTimePerSecond, 2 * kPositionTolerance);
    ASSERT_TRUE(player_->SetTempoFactor(1.0f));
    Render(0.25);
    EXPECT_NEAR(playback->Position().value_or(-1), 1536 + 0.25 * kMusicTimePerSecond, 2 * kPositionTolerance);
    EXPECT_FALSE(player_->SetTempoFactor(0.0f));
}

TEST_F(FluidPlayerTest, StopSilencesAtOnceAndHoldsThePosition) {
    auto song = LoadAndDownload(kScale192);
    ASSERT_NE(song, nullptr);
    auto playback = player_->Play(*song, 0, 0);
    ASSERT_NE(playback, nullptr);
    const double sounding = Render(0.3);
    ASSERT_TRUE(player_->Stop(*song, 0, 0));
    Render(0.005);
    const double stopped = Render(0.1);
    const auto position = playback->Position();
    Render(0.5);
    EXPECT_LT(stopped, sounding * 0.1) << "only the reverberation's tail may remain";
    EXPECT_LT(Render(0.1), sounding * 1e-3);
    EXPECT_EQ(playback->Position(), position);
    EXPECT_NEAR(position.value_or(-1), 0.3 * kMusicTimePerSecond, kPositionTolerance);
}

TEST_F(FluidPlayerTest, LoadedSongIgnoresLaterChangesToTheFile) {
    const std::string path = WriteFile(kScale192);
    auto song = loader_->LoadSong(path);
    ASSERT_NE(song, nullptr);
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(kWaltz96.data()), static_cast<std::streamsize>(kWaltz96.size()));
    }
    ASSERT_TRUE(song->Download(*player_));
    std::int32_t next = 0;
    EXPECT_EQ(player_->GetTimeSignature(2000, next)->beatsPerBar, 4);
    auto playback = player_->Play(*song, 0, 0);
    ASSERT_NE(playback, nullptr);
    Render(0.5);
    EXPECT_NEAR(playback->Position().value_or(-1), 0.5 * kMusicTimePerSecond, kPositionTolerance);
}

TEST_F(FluidPlayerTest, LoadRefusesMissingAndForeignFiles) {
    EXPECT_EQ(loader_->LoadSong("/nonexistent/tonemark.mid"), nullptr);
    EXPECT_EQ(loader_->LoadSong(WriteFile({'h', 'e', 'l', 'l', 'o'})), nullptr);
    EXPECT_EQ(loader_->LoadSong(std::filesystem::temp_directory_path().string()), nullptr);
}

TEST_F(FluidPlayerTest, CloseSequenceReleasesThePlayerWhileHandlesLinger) {
    auto song = LoadAndDownload(kScale192);
    ASSERT_NE(song, nullptr);
    EXPECT_TRUE(player_->OpenAudio(0, 63, {}, 8, 128));
    EXPECT_TRUE(player_->SetupCall(5));
    EXPECT_TRUE(player_->SetupCall(1));
    auto playback = player_->Play(*song, 0, 0);
    ASSERT_NE(playback, nullptr);
    const double sounding = Render(0.2);

    EXPECT_TRUE(player_->Stop(*song, 0, 0));
    EXPECT_TRUE(player_->TearDown1());
    EXPECT_TRUE(song->Unload(*player_));
    EXPECT_TRUE(player_->TearDown2(1));

    EXPECT_FALSE(playback->Position().has_value());
    EXPECT_EQ(player_->Play(*song, 0, 0), nullptr);
    EXPECT_FALSE(player_->SendMidi(0, 1, 0, 0x90, 60, 100));
    std::int32_t next = 0;
    EXPECT_FALSE(player_->GetTimeSignature(2000, next).has_value());
    player_.reset();
    EXPECT_FALSE(playback->Position().has_value());
    Render(1.0);
    EXPECT_LT(Render(0.1), sounding * 1e-3);
    EXPECT_EQ(song->Length(), 3072);
}

TEST_F(FluidPlayerTest, DroppingAPlayingPlayerEndsItsSong) {
    auto song = LoadAndDownload(kScale192);
    ASSERT_NE(song, nullptr);
    auto playback = player_->Play(*song, 0, 0);
    ASSERT_NE(playback, nullptr);
    const double sounding = Render(0.2);
    player_ = root_->CreatePlayer();  // a new song's player takes the old one's place
    EXPECT_FALSE(playback->Position().has_value());
    Render(2.0);
    EXPECT_LT(Render(0.1), sounding * 1e-3) << "the old player's song still sounds";
}

}  // namespace
}  // namespace tonemark
