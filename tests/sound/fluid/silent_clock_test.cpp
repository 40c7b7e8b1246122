#include "sound/fluid/silent_clock.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace tonemark {
namespace {

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

TEST(SilentClockTest, RendersAtRealTimePace) {
    constexpr double kRate = 44100.0;
    std::atomic<std::int64_t> frames{0};
    const auto start = Clock::now();
    {
        SilentClock clock([&frames](int count) { frames += count; }, kRate, 128);
        // Never more than one block ahead of the clock; behind only as far as
        // a busy machine makes it, so it is only asked to get to 0.25 s.
        const auto deadline = start + std::chrono::seconds(10);
        std::int64_t seen = 0;
        do {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            seen = frames.load();
            EXPECT_LE(seen, SecondsSince(start) * kRate + 128);
        } while (seen < 0.25 * kRate && Clock::now() < deadline);
        EXPECT_GE(seen, 0.25 * kRate);
    }
    const std::int64_t afterStop = frames.load();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(frames.load(), afterStop) << "the clock still renders after it was destroyed";
}

TEST(SilentClockTest, CatchesUpAfterASlowBlock) {
    constexpr double kRate = 44100.0;
    std::atomic<std::int64_t> frames{0};
    std::atomic<bool> slowedDown{false};
    const auto start = Clock::now();
    SilentClock clock(
        [&](int count) {
            if (!slowedDown.exchange(true)) std::this_thread::sleep_for(std::chrono::milliseconds(100));
            frames += count;
        },
        kRate, 128);
    // The 100 ms stall is made up: without catching up the clock would stay
    // a tenth of a second behind for good and never come within 50 ms.
    const auto deadline = start + std::chrono::seconds(10);
    bool caughtUp = false;
    while (!caughtUp && Clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        const double seconds = SecondsSince(start);
        caughtUp = seconds > 0.15 && frames.load() >= (seconds - 0.05) * kRate;
        EXPECT_LE(frames.load(), SecondsSince(start) * kRate + 128);
    }
    EXPECT_TRUE(caughtUp);
}

TEST(SilentClockTest, StopsPromptly) {
    const auto start = Clock::now();
    { SilentClock clock([](int) {}, 1.0, 60); }  // one-minute blocks
    // Without being woken it would sleep out the whole minute.
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(30));
}

}  // namespace
}  // namespace tonemark
