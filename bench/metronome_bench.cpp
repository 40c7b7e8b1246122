// How evenly the recorder's metronome clicks come out of the synthesiser
// while the user-interface thread is stalled for 20 ms at random. The
// recorder runs as in the program (its clock ticks caught up after every
// stall, clicks handed over ahead of their beat); a second thread renders
// FluidSynth in real time in 128-frame blocks, as a sound device would pull
// them, and keeps the sound. Prints the click-to-click intervals' deviation
// from 60000 / BPM in milliseconds: p50, p99 and the largest.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <thread>
#include <vector>

#include "app/lifecycle.h"
#include "bench_platform.h"
#include "percentile.h"
#include "keyboard/recorder.h"
#include "sound/fluid/fluid_synth.h"

namespace {

using namespace tonemark;
using Clock = std::chrono::steady_clock;

// Frames where a click starts: the level rises above a threshold after at
// least a quarter of a beat of quiet.
std::vector<std::size_t> Onsets(const std::vector<float>& sound, double rate) {
    constexpr float kLevel = 0.02f;
    const auto quiet = static_cast<std::size_t>(0.1 * rate);
    std::vector<std::size_t> onsets;
    std::size_t lastLoud = 0;
    bool any = false;
    for (std::size_t i = 0; i < sound.size(); ++i) {
        if (std::abs(sound[i]) <= kLevel) continue;
        if (!any || i - lastLoud > quiet) onsets.push_back(i);
        lastLoud = i;
        any = true;
    }
    return onsets;
}

}  // namespace

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::atof(argv[1]) : 20;
    FluidSynthRoot* root = nullptr;
    Main m;
    BenchPlatform platform{"tonemark-metronome-bench"};
    m.platform = &platform;
    m.makeSynthRoot = [&root](SoundStatus& status) -> std::unique_ptr<SynthRoot> {
        FluidOptions options;
        options.audio = FluidOptions::Audio::Offline;  // rendered by the thread below, in real time
        auto made = CreateFluidSynthRoot(options);
        if (made) status = made->Status();
        root = made.get();
        return made;
    };
    Form_Load(m);
    if (root == nullptr) {
        std::printf("FluidSynth could not be started\n");
        return 1;
    }

    // The sound device: 128 frames every 2.9 ms, on time.
    const double rate = root->SampleRate();
    constexpr int kBlock = 128;
    std::vector<float> sound;
    sound.reserve(static_cast<std::size_t>((seconds + 2) * rate));
    std::atomic<bool> stop{false};
    std::thread device([&] {
        std::vector<float> left(kBlock), right(kBlock);
        const auto origin = Clock::now();
        std::int64_t frames = 0;
        while (!stop) {
            root->RenderOffline(left.data(), right.data(), kBlock);
            sound.insert(sound.end(), left.begin(), left.end());
            frames += kBlock;
            std::this_thread::sleep_until(origin + std::chrono::duration_cast<Clock::duration>(
                                                       std::chrono::duration<double>(frames / rate)));
        }
    });

    // The user-interface thread: wakes every millisecond, but every 40-160 ms
    // it is busy for 20 ms.
    std::mt19937 random(5);
    Command2_Click(m);
    const auto end = Clock::now() + std::chrono::duration<double>(seconds);
    auto nextStall = Clock::now() + std::chrono::milliseconds(50);
    int stalls = 0;
    while (Clock::now() < end) {
        RunTimer3Until(m, MonotonicNow());
        if (Clock::now() >= nextStall) {
            const auto busyUntil = Clock::now() + std::chrono::milliseconds(20);
            while (Clock::now() < busyUntil) {
            }
            ++stalls;
            nextStall = Clock::now() + std::chrono::milliseconds(std::uniform_int_distribution<int>(40, 160)(random));
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    Command3_Click(m);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    stop = true;
    device.join();

    const std::vector<std::size_t> onsets = Onsets(sound, rate);
    const double beatMs = m.state.TicksPerBeat;
    std::vector<double> deviation;
    for (std::size_t i = 1; i < onsets.size(); ++i)
        deviation.push_back(std::abs((onsets[i] - onsets[i - 1]) * 1000.0 / rate - beatMs));
    if (std::getenv("TONEMARK_BENCH_VERBOSE") != nullptr)
        for (std::size_t i = 1; i < onsets.size(); ++i) std::printf("%.3f ", (onsets[i] - onsets[i - 1]) * 1000.0 / rate);
    std::printf("\nmetronome at %.0f ms a beat, %zu clicks heard, %d stalls of 20 ms\n", beatMs, onsets.size(), stalls);
    std::printf("click-to-click deviation (ms): p50 %.2f  p99 %.2f  max %.2f\n", Percentile(deviation, 0.5),
                Percentile(deviation, 0.99), Percentile(deviation, 1.0));
    return 0;
}
