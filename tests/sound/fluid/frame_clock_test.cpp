// The mapping from monotonic time to frames, fed observations by hand.
#include "sound/fluid/frame_clock.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

namespace tonemark {
namespace {

constexpr double kRate = 44100.0;
// About a hundred days after boot, as a steady clock may well read.
constexpr MonotonicMicros kStart = 9'000'000'000'000;

// Render calls of 128 frames, each starting `lateMicros(i)` after its frame's
// moment.
template <typename Late>
void ObserveCalls(FrameClock& clock, int calls, std::int64_t& frames, Late lateMicros) {
    for (int i = 0; i < calls; ++i) {
        const auto onTime = kStart + static_cast<MonotonicMicros>(frames * 1e6 / kRate);
        clock.Observe(onTime + lateMicros(i), frames);
        frames += 128;
    }
}

TEST(FrameClockTest, OnTimeCallsMapTimeToTheirFrames) {
    FrameClock clock(kRate);
    EXPECT_EQ(clock.FrameAt(kStart), 0.0) << "nothing observed yet";
    std::int64_t frames = 0;
    ObserveCalls(clock, 100, frames, [](int) { return 0; });
    EXPECT_NEAR(clock.FrameAt(kStart), 0.0, 1.0);
    EXPECT_NEAR(clock.FrameAt(kStart + 1'000'000), 44100.0, 1.0);
    EXPECT_NEAR(clock.FrameAt(kStart + 500'000'000), 500 * 44100.0, 1.0) << "far ahead, still exact";
    EXPECT_LT(clock.FrameAt(std::numeric_limits<MonotonicMicros>::min()), -1e15);
    EXPECT_GT(clock.FrameAt(std::numeric_limits<MonotonicMicros>::max()), 1e15);
}

TEST(FrameClockTest, LateCallsDoNotMoveTheMapping) {
    FrameClock clock(kRate);
    std::int64_t frames = 0;
    // Every third call 20 ms late, the others up to 0.3 ms late.
    ObserveCalls(clock, 300, frames, [](int i) { return i % 3 == 1 ? 20'000 : (i % 7) * 50; });
    EXPECT_NEAR(clock.FrameAt(kStart + 2'000'000), 2 * 44100.0, 1.0);
    // The latest call being late changes nothing either.
    clock.Observe(kStart + static_cast<MonotonicMicros>(frames * 1e6 / kRate) + 30'000, frames);
    EXPECT_NEAR(clock.FrameAt(kStart + 2'000'000), 2 * 44100.0, 1.0);
}

TEST(FrameClockTest, FollowsALaterStreamOnceTheWindowHasPassed) {
    FrameClock clock(kRate);
    std::int64_t frames = 0;
    ObserveCalls(clock, 100, frames, [](int) { return 0; });
    // From here on every call is 40 ms late: the stream itself moved (a
    // device that lost a few periods), which the old calls hide for a while.
    ObserveCalls(clock, 40, frames, [](int) { return 40'000; });
    const double expectedLate = (2.0 - 0.04) * 44100.0;
    EXPECT_NEAR(clock.FrameAt(kStart + 2'000'000), 2 * 44100.0, 1.0) << "within the window";
    ObserveCalls(clock, 80, frames, [](int) { return 40'000; });  // 0.23 s more
    EXPECT_NEAR(clock.FrameAt(kStart + 2'000'000), expectedLate, 1.0);
}

TEST(FrameClockTest, StartsAgainAfterABreakInTheStream) {
    FrameClock clock(kRate);
    std::int64_t frames = 0;
    ObserveCalls(clock, 100, frames, [](int) { return 0; });
    // Two seconds without rendering, then the stream goes on from there.
    ObserveCalls(clock, 100, frames, [](int) { return 2'000'000; });
    EXPECT_NEAR(clock.FrameAt(kStart + 3'000'000), 1 * 44100.0, 1.0);
}

TEST(FrameClockTest, AnEarlierStreamTakesOverAtOnce) {
    FrameClock clock(kRate);
    std::int64_t frames = 0;
    ObserveCalls(clock, 100, frames, [](int) { return 30'000; });
    ObserveCalls(clock, 1, frames, [](int) { return 0; });
    EXPECT_NEAR(clock.FrameAt(kStart + 1'000'000), 44100.0, 1.0);
}

}  // namespace
}  // namespace tonemark
