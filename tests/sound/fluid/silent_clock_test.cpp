#include "sound/fluid/silent_clock.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace tonemark {
namespace {

TEST(SilentClockTest, RendersAtRealTimePace) {
    constexpr double kRate = 44100.0;
    std::atomic<std::int64_t> frames{0};
    const auto start = std::chrono::steady_clock::now();
    {
        SilentClock clock([&frames](int count) { frames += count; }, kRate, 128);
        std::this_thread::sleep_for(std::chrono::milliseconds(400));
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        // One block ahead at most, and no more than a few ms behind on a busy machine.
        EXPECT_LE(frames.load(), seconds * kRate + 128);
        EXPECT_GE(frames.load(), (seconds - 0.03) * kRate);
    }
    const std::int64_t afterStop = frames.load();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(frames.load(), afterStop) << "the clock still renders after it was destroyed";
}

TEST(SilentClockTest, CatchesUpAfterASlowBlock) {
    constexpr double kRate = 44100.0;
    std::atomic<std::int64_t> frames{0};
    std::atomic<bool> slowedDown{false};
    const auto start = std::chrono::steady_clock::now();
    SilentClock clock(
        [&](int count) {
            if (!slowedDown.exchange(true)) std::this_thread::sleep_for(std::chrono::milliseconds(100));
            frames += count;
        },
        kRate, 128);
    std::this_thread::sleep_for(std::chrono::milliseconds(250));
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_GE(frames.load(), (seconds - 0.03) * kRate);
}

TEST(SilentClockTest, StopsPromptly) {
    const auto start = std::chrono::steady_clock::now();
    { SilentClock clock([](int) {}, 1000.0, 1000); }  // one-second blocks
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(200));
}

}  // namespace
}  // namespace tonemark
