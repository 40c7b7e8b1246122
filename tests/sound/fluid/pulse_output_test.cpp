// The program's own PulseAudio output against a private sound server (a null
// sink, started by the test; skipped where pulseaudio is not installed): it
// plays, and when the server goes away while the buffer is at its largest
// the song plays on, the status says the output stopped, and the next player
// sounds through the server once it is back.
#ifdef TONEMARK_PULSE_OUTPUT
#include "sound/fluid/pulse_output.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "sound/fluid/fluid_synth.h"
#include "sound/fluid/song_bytes.h"
#include "support/private_sound_server.h"
#include "support/temp_path.h"

namespace tonemark {
namespace {

using testing::PrivateSoundServer;
using testing::Clock;
using testing::WaitFor;

TEST(PulseOutput, ASoundServerLostWhileTheBufferIsLargeLeavesTheSongPlayingAndIsSaid) {
    if (!PrivateSoundServer::Installed()) GTEST_SKIP() << "pulseaudio is not installed";
    PrivateSoundServer server;
    ASSERT_TRUE(server.Start());

    BufferPolicySettings largest;
    largest.firstStep = largest.stepsMs.size() - 1;
    FluidOptions options;
    options.openOutput = [largest](RenderCall render) -> std::unique_ptr<SoundOutput> {
        return PulseOutput::Open(44100.0, std::move(render), largest);
    };
    auto root = CreateFluidSynthRoot(options);
    ASSERT_NE(root, nullptr);
    ASSERT_TRUE(WaitFor([&] { return root->SoundFontReady(); }));
    SoundStatus status = root->Status();
    ASSERT_TRUE(status.audioOutput) << status.message;
    EXPECT_EQ(status.driver, "pulseaudio");
    EXPECT_EQ(status.bufferMs, 50);
    // The server's own measure of the stream's latency, with the buffer in it.
    EXPECT_TRUE(WaitFor([&] { return root->Status().outputLatencyMs >= 25; })) << root->Status().outputLatencyMs;
    EXPECT_LE(root->Status().outputLatencyMs, 200);
    ASSERT_TRUE(root->PositionLeadMsNow().has_value());
    EXPECT_GE(*root->PositionLeadMsNow(), root->Status().outputLatencyMs);

    const std::filesystem::path path = testing::TestTempPath("pulse-song.mid");
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(testing::kFourQuarterNotes.data()),
                  static_cast<std::streamsize>(testing::kFourQuarterNotes.size()));
    }
    auto player = root->CreatePlayer();
    auto song = root->CreateLoader()->LoadSong(path.string());
    ASSERT_NE(song, nullptr);
    ASSERT_TRUE(song->Download(*player));
    player->SetTempoFactor(0.25f);  // 8 s long
    auto playback = player->Play(*song, 0, 0);
    ASSERT_NE(playback, nullptr);
    ASSERT_TRUE(WaitFor([&] { return playback->Position().value_or(0) > 100; })) << "the server plays it";

    server.Kill();
    ASSERT_TRUE(WaitFor([&] { return !root->Status().audioOutput; }));
    status = root->Status();
    EXPECT_NE(status.message.find("sound output stopped"), std::string::npos) << status.message;
    EXPECT_EQ(status.positionLeadMs, root->PositionLeadMsNow().value_or(-1)) << "no device latency is left in it";
    const std::int32_t atTheLoss = playback->Position().value_or(-1);
    EXPECT_TRUE(WaitFor([&] { return playback->Position().value_or(-1) >= atTheLoss + 200; }))
        << "the song plays on, on the silent clock";

    // The server is back on the same socket: a later player sounds through it.
    ASSERT_TRUE(server.Start());
    std::vector<std::unique_ptr<SynthPlayer>> players;
    EXPECT_TRUE(WaitFor([&] {
        players.push_back(root->CreatePlayer());
        return root->Status().audioOutput;
    }));
    EXPECT_EQ(root->Status().message, "");
    player->Stop(*song, 0, 0);
    std::filesystem::remove(path);
}

// The buffer a run settled at is where the next run starts: no gaps paid
// again for finding it.
TEST(PulseOutput, StartsAtTheBufferTheLastRunSettledAtAndKeepsItsOwn) {
    if (!PrivateSoundServer::Installed()) GTEST_SKIP() << "pulseaudio is not installed";
    PrivateSoundServer server;
    ASSERT_TRUE(server.Start());
    const std::filesystem::path memory = testing::TestTempPath("sound-buffer");
    std::filesystem::remove(memory);
    ASSERT_TRUE(WriteBufferMemory(memory.string(), 25));
    FluidOptions options;
    options.bufferMemoryPath = memory.string();
    {
        auto root = CreateFluidSynthRoot(options);
        ASSERT_NE(root, nullptr);
        const SoundStatus status = root->Status();
        ASSERT_TRUE(status.audioOutput) << status.message;
        EXPECT_EQ(status.driver, "pulseaudio");
        EXPECT_EQ(status.bufferMs, 30) << "the first step that holds 25 ms";
        ASSERT_TRUE(WriteBufferMemory(memory.string(), 999));
    }
    EXPECT_EQ(ReadBufferMemory(memory.string()), 30) << "written back when the root went";
    {
        std::ofstream damaged(memory, std::ios::trunc);
        damaged << "fast";
    }
    EXPECT_EQ(ReadBufferMemory(memory.string()), std::nullopt);
    auto root = CreateFluidSynthRoot(options);
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(root->Status().bufferMs, 15) << "a damaged file starts where a new machine does";
    std::filesystem::remove(memory);
}

// A render thread held up for a third of a second: the server plays silence
// meanwhile, and then asks for what it missed, so that what comes after is
// rendered for its own time, not a third of a second late for good.
TEST(PulseOutput, AfterRunningDryTheSoundIsBackOnTheServersClock) {
    if (!PrivateSoundServer::Installed()) GTEST_SKIP() << "pulseaudio is not installed";
    PrivateSoundServer server;
    ASSERT_TRUE(server.Start());
    constexpr double kRate = 44100;
    std::atomic<std::int64_t> frames{0};
    std::atomic<bool> stall{false};
    auto output = PulseOutput::Open(kRate, [&](float* left, float* right, int count) {
        if (stall.exchange(false)) std::this_thread::sleep_for(std::chrono::milliseconds(330));
        std::fill(left, left + count, 0.0f);
        std::fill(right, right + count, 0.0f);
        frames += count;
    });
    ASSERT_NE(output, nullptr);
    ASSERT_TRUE(WaitFor([&] { return frames.load() > kRate / 2; }));
    // How far the frames rendered run ahead of the time gone by.
    const auto lead = [&, start = Clock::now(), startFrames = frames.load()] {
        const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
        return static_cast<double>(frames.load() - startFrames) / kRate - elapsed;
    };
    const double before = lead();
    stall = true;
    ASSERT_TRUE(WaitFor([&] { return !stall.load(); }));
    std::this_thread::sleep_for(std::chrono::seconds(1));
    EXPECT_GE(output->Underruns(), 1u);
    EXPECT_GT(lead() - before, -0.15) << "a stream that waited to fill up again would be 0.33 s behind";
}

}  // namespace
}  // namespace tonemark
#endif  // TONEMARK_PULSE_OUTPUT
