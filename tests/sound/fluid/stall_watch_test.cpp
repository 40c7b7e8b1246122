// Telling a sound device that stopped asking for sound from one that is only
// kept waiting or slow to start, on a clock the test moves by hand.
#include "sound/fluid/stall_watch.h"

#include <gtest/gtest.h>

namespace tonemark {
namespace {

constexpr MonotonicMicros kStart = 9'000'000'000'000;
constexpr MonotonicMicros kPatience = 1'000'000;
constexpr MonotonicMicros kStartPatience = 5'000'000;
constexpr MonotonicMicros kLook = 200'000;  // the watchdog looks five times a second
constexpr std::uint64_t kCallsPerLook = 68;  // 128-frame blocks at 44.1 kHz

// A watch on a device that has been asking steadily for a second.
StallWatch StartedWatch(std::uint64_t& calls, MonotonicMicros& now) {
    StallWatch watch(kPatience, kStartPatience);
    watch.Restart(kStart, 0);
    calls = 0;
    for (now = kStart + kLook; now <= kStart + 1'000'000; now += kLook) {
        calls += kCallsPerLook;
        EXPECT_FALSE(watch.Stalled(now, calls, false));
    }
    return watch;
}

TEST(StallWatchTest, ADeviceThatKeepsAskingNeverStalls) {
    std::uint64_t calls = 0;
    MonotonicMicros now = 0;
    StallWatch watch = StartedWatch(calls, now);
    for (; now < kStart + 60'000'000; now += kLook) {
        calls += kCallsPerLook;
        ASSERT_FALSE(watch.Stalled(now, calls, false)) << (now - kStart);
    }
}

TEST(StallWatchTest, ADeviceThatStopsAskingStallsAfterThePatience) {
    std::uint64_t calls = 0;
    MonotonicMicros now = 0;
    StallWatch watch = StartedWatch(calls, now);
    const MonotonicMicros lastCall = now - kLook;
    EXPECT_FALSE(watch.Stalled(now, calls, false));
    EXPECT_FALSE(watch.Stalled(lastCall + kPatience - 1, calls, false));
    EXPECT_TRUE(watch.Stalled(lastCall + kPatience, calls, false));
    EXPECT_TRUE(watch.Stalled(lastCall + 10 * kPatience, calls, false));
}

TEST(StallWatchTest, ACallKeptWaitingByTheProgramIsNoStall) {
    std::uint64_t calls = 0;
    MonotonicMicros now = 0;
    StallWatch watch = StartedWatch(calls, now);
    // One call waits five seconds for the SoundFont being read.
    ++calls;
    const MonotonicMicros waitStart = now;
    ASSERT_FALSE(watch.Stalled(now, calls, true));
    for (; now <= waitStart + 5'000'000; now += kLook) {
        ASSERT_FALSE(watch.Stalled(now, calls, true)) << (now - kStart);
    }
    // It ends, and the device goes on asking; then it stops for good.
    calls += kCallsPerLook;
    EXPECT_FALSE(watch.Stalled(now, calls, false));
    EXPECT_FALSE(watch.Stalled(now + kPatience - 1, calls, false));
    EXPECT_TRUE(watch.Stalled(now + kPatience, calls, false));
}

TEST(StallWatchTest, AskingAgainBeforeThePatienceRunsOutStartsTheWaitAfresh) {
    std::uint64_t calls = 0;
    MonotonicMicros now = 0;
    StallWatch watch = StartedWatch(calls, now);
    const MonotonicMicros lastCall = now - kLook;
    EXPECT_FALSE(watch.Stalled(lastCall + 900'000, calls, false));
    EXPECT_FALSE(watch.Stalled(lastCall + 950'000, calls + 1, false));  // one late call
    EXPECT_FALSE(watch.Stalled(lastCall + 1'900'000, calls + 1, false));
    EXPECT_TRUE(watch.Stalled(lastCall + 1'950'000, calls + 1, false));
}

TEST(StallWatchTest, ADeviceJustOpenedMayTakeAWhileToStartAsking) {
    StallWatch watch(kPatience, kStartPatience);
    watch.Restart(kStart, 0);
    // One call, then nothing for two seconds, as a sound server may do with
    // a fresh stream; then the stream runs.
    EXPECT_FALSE(watch.Stalled(kStart + kLook, 1, false));
    for (MonotonicMicros t = kStart + 2 * kLook; t <= kStart + 2'000'000; t += kLook) {
        ASSERT_FALSE(watch.Stalled(t, 1, false)) << (t - kStart);
    }
    EXPECT_FALSE(watch.Stalled(kStart + 2'200'000, 1 + StallWatch::kStartCalls, false));
    // Started now: the usual patience holds.
    EXPECT_FALSE(watch.Stalled(kStart + 2'200'000 + kPatience - 1, 1 + StallWatch::kStartCalls, false));
    EXPECT_TRUE(watch.Stalled(kStart + 2'200'000 + kPatience, 1 + StallWatch::kStartCalls, false));
}

TEST(StallWatchTest, ADeviceThatNeverStartsStallsAfterTheLongerPatience) {
    StallWatch watch(kPatience, kStartPatience);
    watch.Restart(kStart, 5);
    EXPECT_FALSE(watch.Stalled(kStart + kLook, 6, false));
    EXPECT_FALSE(watch.Stalled(kStart + kLook + kStartPatience - 1, 6, false));
    EXPECT_TRUE(watch.Stalled(kStart + kLook + kStartPatience, 6, false));
    // A device opened later is watched from its own start: the calls of the
    // one before do not count as its start.
    watch.Restart(kStart + 10'000'000, 0);
    EXPECT_FALSE(watch.Stalled(kStart + 10'000'000 + kPatience, 0, false));
    EXPECT_TRUE(watch.Stalled(kStart + 10'000'000 + kStartPatience, 0, false));
}

}  // namespace
}  // namespace tonemark
