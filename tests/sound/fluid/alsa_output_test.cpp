// The program's own ALSA output, through ALSA's PulseAudio plug-in to a
// private sound server (these machines have no sound card; skipped where the
// plug-in or pulseaudio is missing): it plays, a writer that falls behind
// makes the device run dry, and the buffer grows and the device goes on.
#include "sound/fluid/alsa_output.h"

#include <alsa/asoundlib.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "support/private_sound_server.h"

namespace tonemark {
namespace {

using testing::PrivateSoundServer;
using testing::WaitFor;

bool PulsePlugInInstalled() {
    snd_pcm_t* probe = nullptr;
    // Opening asks the plug-in for a server: none answers yet, so only its
    // absence from ALSA's configuration is told apart by the error.
    const int r = snd_pcm_open(&probe, "pulse", SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK);
    if (r == 0) snd_pcm_close(probe);
    return r != -ENOENT && r != -ENXIO;
}

TEST(AlsaOutput, AWriterThatFallsBehindGrowsTheBufferAndPlaysOn) {
    if (!PrivateSoundServer::Installed()) GTEST_SKIP() << "pulseaudio is not installed";
    PrivateSoundServer server;
    ASSERT_TRUE(server.Start());
    if (!PulsePlugInInstalled()) GTEST_SKIP() << "ALSA's PulseAudio plug-in (libasound2-plugins) is not installed";

    std::atomic<int> calls{0};
    std::atomic<int> stallAt{-1};
    auto render = [&](float* left, float* right, int frames) {
        const int call = calls++;
        if (call == stallAt.load()) std::this_thread::sleep_for(std::chrono::milliseconds(80));
        for (int i = 0; i < frames; ++i) left[i] = right[i] = 0.1f;
    };
    auto output = AlsaOutput::Open(44100.0, render, BufferPolicySettings{}, "pulse");
    ASSERT_NE(output, nullptr);
    EXPECT_EQ(output->Name(), "alsa");
    EXPECT_EQ(output->BufferMs(), 10);
    ASSERT_TRUE(WaitFor([&] { return calls.load() > 200; })) << "the device asks for sound";
    EXPECT_GT(output->LatencyMicros(), 0);
    EXPECT_LT(output->LatencyMicros(), 200'000);

    // Two stalls of 80 ms with a 10 ms buffer: the device runs dry twice.
    for (int stall = 0; stall < 2; ++stall) {
        stallAt = calls.load() + 10;
        ASSERT_TRUE(WaitFor([&] { return calls.load() > stallAt.load() + 50; }));
    }
    EXPECT_TRUE(WaitFor([&] { return output->Underruns() >= 2; })) << output->Underruns();
    EXPECT_TRUE(WaitFor([&] { return output->BufferMs() > 10; })) << output->BufferMs();
    const int afterGrowth = calls.load();
    EXPECT_TRUE(WaitFor([&] { return calls.load() > afterGrowth + 100; })) << "the larger device plays on";
    EXPECT_FALSE(output->Lost());
}

}  // namespace
}  // namespace tonemark
