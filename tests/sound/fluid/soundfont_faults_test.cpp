// SoundFonts a user may meet that cannot be played: a copy cut short, a file
// of something else with the right name, a folder where the file should be.
// Each time the status says what is wrong in plain words and songs still play,
// silently.
#include "sound/fluid/fluid_synth.h"

#include <gtest/gtest.h>

#include "sound/fluid/song_bytes.h"
#include "sound/fluid/soundfont_search.h"
#include "support/temp_path.h"

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace tonemark {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

const fs::path kRealSoundFont = "/usr/share/sounds/sf2/default-GM.sf2";
constexpr std::size_t kCutAt = 1'000'000;

void WriteFile(const fs::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string RandomBytes(std::size_t count, unsigned seed) {
    std::mt19937 random(seed);
    std::string bytes(count, '\0');
    for (char& byte : bytes) byte = static_cast<char>(random() & 0xFF);
    return bytes;
}

std::string Megabytes(std::uintmax_t bytes) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f MB", static_cast<double>(bytes) / 1e6);
    return text;
}

// A folder of the test's own, gone when the test ends.
class Scratch {
public:
    Scratch() : dir_(testing::TestTempPath("soundfonts")) { fs::create_directories(dir_); }
    ~Scratch() {
        std::error_code error;
        fs::remove_all(dir_, error);
    }
    fs::path Path(const std::string& name) const { return dir_ / name; }

private:
    fs::path dir_;
};

struct FaultCase {
    std::string name;
    std::function<fs::path(const Scratch&)> make;  // the SoundFont path to give the root
    std::function<std::string()> expectedWords;     // what the message must say about it
};

std::vector<FaultCase> FaultCases() {
    return {
        {"CutShortCopy",
         [](const Scratch& scratch) {
             std::ifstream in(kRealSoundFont, std::ios::binary);
             std::string head(kCutAt, '\0');
             in.read(head.data(), static_cast<std::streamsize>(head.size()));
             const fs::path path = scratch.Path("cut.sf2");
             WriteFile(path, head);
             return path;
         },
         [] {
             return "is cut short: only " + Megabytes(kCutAt) + " of " + Megabytes(fs::file_size(kRealSoundFont)) +
                    " are there";
         }},
        {"RandomBytes",
         [](const Scratch& scratch) {
             const fs::path path = scratch.Path("noise.sf2");
             WriteFile(path, RandomBytes(65536, 7));
             return path;
         },
         [] { return std::string("is not a SoundFont"); }},
        {"DamagedInside",
         [](const Scratch& scratch) {
             // Whole by its header, nonsense within.
             std::string bytes = "RIFF" + std::string(4, '\0') + "sfbk" + RandomBytes(65524, 11);
             const std::uint32_t size = static_cast<std::uint32_t>(bytes.size() - 8);
             for (int i = 0; i < 4; ++i) bytes[4 + i] = static_cast<char>((size >> (8 * i)) & 0xFF);
             const fs::path path = scratch.Path("damaged.sf2");
             WriteFile(path, bytes);
             return path;
         },
         [] { return std::string("is damaged and could not be read"); }},
        {"EmptyFile",
         [](const Scratch& scratch) {
             const fs::path path = scratch.Path("empty.sf2");
             WriteFile(path, "");
             return path;
         },
         [] { return std::string("is empty"); }},
        {"Folder",
         [](const Scratch& scratch) {
             const fs::path path = scratch.Path("default-GM.sf2");
             fs::create_directories(path);
             return path;
         },
         [] { return std::string("is a folder, not a file"); }},
    };
}

class SoundFontFaultTest : public ::testing::TestWithParam<FaultCase> {
protected:
    void SetUp() override {
        if (!fs::exists(kRealSoundFont)) GTEST_SKIP() << "no " << kRealSoundFont;
        path_ = GetParam().make(scratch_).string();
    }

    Scratch scratch_;
    std::string path_;
};

TEST_P(SoundFontFaultTest, TheStatusSaysWhatIsWrongAndSongsPlaySilently) {
    auto root = CreateFluidSynthRoot({FluidOptions::Audio::Offline, path_});
    ASSERT_NE(root, nullptr);
    const SoundStatus status = root->StatusNow().value();
    EXPECT_FALSE(status.soundFontLoaded);
    EXPECT_NE(status.message.find(path_ + " " + GetParam().expectedWords()), std::string::npos) << status.message;
    EXPECT_NE(status.message.find("notes play silently"), std::string::npos) << status.message;

    const std::string song = testing::TestTempPath("song.mid").string();
    const auto& bytes = testing::kFourQuarterNotes;
    WriteFile(song, std::string(bytes.begin(), bytes.end()));
    auto player = root->CreatePlayer();
    auto loaded = root->CreateLoader()->LoadSong(song);
    fs::remove(song);
    ASSERT_NE(loaded, nullptr);
    ASSERT_TRUE(loaded->Download(*player));
    EXPECT_TRUE(player->SendMidi(0, 1, 0, 0x90, 72, 100));
    EXPECT_TRUE(player->SendMidiAt(0, 9, 0x90, 33, 100));
    auto playback = player->Play(*loaded, 0, 0);
    ASSERT_NE(playback, nullptr);

    const int frames = static_cast<int>(0.5 * root->SampleRate());
    std::vector<float> left(frames), right(frames);
    root->RenderOffline(left.data(), right.data(), frames);
    double sum = 0;
    for (int i = 0; i < frames; ++i) sum += left[i] * left[i] + right[i] * right[i];
    EXPECT_LT(std::sqrt(sum / (2.0 * frames)), 1e-6);
    EXPECT_NEAR(playback->Position().value_or(-1), 768, 8) << "the song moves on in music time";
}

INSTANTIATE_TEST_SUITE_P(Files, SoundFontFaultTest, ::testing::ValuesIn(FaultCases()),
                         [](const ::testing::TestParamInfo<FaultCase>& info) { return info.param.name; });

// Read in the background, a SoundFont turns out to be cut short only after
// the root has been made; the status tells it from then on.
TEST(SoundFontReadInTheBackground, ACutShortCopyShowsUpInTheStatusLater) {
    if (!fs::exists(kRealSoundFont)) GTEST_SKIP() << "no " << kRealSoundFont;
    Scratch scratch;
    const fs::path path = FaultCases()[0].make(scratch);
    FluidOptions options;
    options.soundFontPath = path.string();
    options.openOutput = [](RenderCall) { return std::unique_ptr<SoundOutput>(); };
    auto root = CreateFluidSynthRoot(options);
    ASSERT_NE(root, nullptr);
    const auto deadline = Clock::now() + std::chrono::seconds(20);
    while (root->StatusNow()->message.find("cut short") == std::string::npos && Clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    const SoundStatus status = root->StatusNow().value();
    EXPECT_NE(status.message.find("The SoundFont " + path.string() + " is cut short"), std::string::npos)
        << status.message;
    EXPECT_FALSE(status.soundFontLoaded);
    // The sound output's own message stays beside it.
    EXPECT_NE(status.message.find("No sound output could be opened"), std::string::npos) << status.message;
}

TEST(SoundFontSearch, AFolderNamedLikeASoundFontIsPassedOverAndNamed) {
    Scratch scratch;
    const fs::path folder = scratch.Path("default-GM.sf2");
    fs::create_directories(folder);
    const fs::path missing = scratch.Path("FluidR3_GM.sf2");
    const fs::path real = scratch.Path("real.sf2");
    WriteFile(real, "RIFF");

    EXPECT_EQ(FindSoundFont({folder.string(), real.string()}), real.string());
    EXPECT_EQ(FindSoundFont({folder.string(), missing.string()}), std::nullopt);
    EXPECT_EQ(NoSoundFontMessage({folder.string(), missing.string()}),
              "No SoundFont found (looked for " + folder.string() + ", " + missing.string() + "; " + folder.string() +
                  " is a folder, not a file); notes play silently.");
    EXPECT_EQ(NoSoundFontMessage({missing.string()}),
              "No SoundFont found (looked for " + missing.string() + "); notes play silently.");
}

}  // namespace
}  // namespace tonemark
