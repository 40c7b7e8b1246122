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
        // One block ahead at most; behind only as far as a busy machine makes it.
        EXPECT_LE(frames.load(), seconds * kRate + 128);
        EXPECT_GE(frames.load(), 0.25 * kRate);
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
    // The 100 ms stall is made up: without catching up it would stay a
    // tenth of a second behind for good.
    EXPECT_GE(frames.load(), (seconds - 0.05) * kRate);
    EXPECT_LE(frames.load(), seconds * kRate + 128);
}

TEST(SilentClockTest, StopsPromptly) {
    const auto start = std::chrono::steady_clock::now();
    { SilentClock clock([](int) {}, 1000.0, 1000); }  // one-second blocks
    // Without being woken it would sleep out the whole one-second block.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(900));
}

}  // namespace
}  // namespace tonemark
