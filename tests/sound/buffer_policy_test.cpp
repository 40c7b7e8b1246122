#include <gtest/gtest.h>

#include <algorithm>

#include "sound/buffer_policy.h"

namespace tonemark {
namespace {

constexpr MonotonicMicros kMs = 1000;
constexpr MonotonicMicros kSecond = 1'000'000;

// A playback stream on a machine that now and then keeps the render thread
// from running: the server drains the stream's buffer in real time, the
// render thread tops it up to the policy's target every 2 ms unless it is
// stalled, and a buffer that runs dry is an underrun, as the server reports
// it. Time moves in steps of 1 ms.
class FakeStream {
public:
    explicit FakeStream(BufferPolicySettings settings = {}) : policy(settings, 0) {}

    // Runs for `duration`; for `stallMs` out of every `everyMs` the render
    // thread is held up. `sounding`: the stream carries sound all along.
    void Run(MonotonicMicros duration, int stallMs, int everyMs, bool sounding = false) {
        for (const MonotonicMicros end = now + duration; now < end; now += kMs) {
            if (sounding) policy.Sounded(now);
            const int phase = static_cast<int>((now / kMs) % everyMs);
            const bool stalled = stallMs > 0 && phase < stallMs;
            if (!stalled && (now / kMs) % 2 == 0) queuedMs = policy.TargetMs();
            if (queuedMs > 0) {
                --queuedMs;
                dry = false;
            } else if (!dry) {
                dry = true;  // the server says so once, then waits for sound
                ++underruns;
                policy.Underrun(now);
            }
            policy.Tick(now);
            if (policy.TargetMs() != target) changedAt = now;
            target = policy.TargetMs();
            largest = std::max(largest, target);
        }
    }

    BufferPolicy policy;
    MonotonicMicros now = 0;
    int queuedMs = 0;
    bool dry = false;
    int underruns = 0;
    int largest = 0;
    int target = 0;
    MonotonicMicros changedAt = 0;  // when the target last changed
};

TEST(BufferPolicy, GrowsToWhatTheMachineHoldsAndThenRunsWithoutUnderruns) {
    FakeStream stream;
    stream.queuedMs = stream.policy.TargetMs();
    EXPECT_EQ(stream.policy.TargetMs(), 10);
    // The render thread is held up for 17 ms twice a second, while a song sounds.
    stream.Run(10 * kSecond, 17, 500, true);
    EXPECT_EQ(stream.policy.TargetMs(), 20) << "the smallest step that outlasts a 17 ms stall";
    const int settledAfter = stream.underruns;
    EXPECT_LE(settledAfter, 1 + 2) << "one as the stream starts, then one per step grown";
    stream.Run(20 * kSecond, 17, 500, true);
    EXPECT_EQ(stream.underruns, settledAfter) << "none once it holds";
    EXPECT_EQ(stream.policy.UnderrunCount(), static_cast<std::uint64_t>(stream.underruns));
    EXPECT_FALSE(stream.policy.CannotKeepUp());
}

TEST(BufferPolicy, AnUnderrunWhileTheServerSettlesDoesNotGrowIt) {
    BufferPolicy policy({}, 0);
    EXPECT_FALSE(policy.Underrun(100 * kMs)) << "the stream just started";
    EXPECT_EQ(policy.TargetMs(), 10);
    EXPECT_TRUE(policy.Underrun(5 * kSecond));
    EXPECT_EQ(policy.TargetMs(), 15);
    // The server settling on the new buffer: one stall often runs dry twice.
    EXPECT_FALSE(policy.Underrun(5 * kSecond + 8 * kMs));
    EXPECT_FALSE(policy.Underrun(5 * kSecond + 200 * kMs));
    EXPECT_EQ(policy.TargetMs(), 15);
    EXPECT_EQ(policy.UnderrunCount(), 4u) << "every underrun is counted, grown on or not";
}

TEST(BufferPolicy, ShrinksSlowlyAfterQuietSpellsThatGrowLongerWithEachGrowth) {
    FakeStream stream;
    stream.Run(10 * kSecond, 17, 500);
    ASSERT_EQ(stream.policy.TargetMs(), 20);
    // Two growths: the quiet spell needed went from 30 s to 120 s.
    const MonotonicMicros grownAt = stream.changedAt;
    stream.Run(grownAt + 119 * kSecond - stream.now, 0, 500);
    EXPECT_EQ(stream.policy.TargetMs(), 20) << "not before two minutes of quiet";
    stream.Run(2 * kSecond, 0, 500);
    EXPECT_EQ(stream.policy.TargetMs(), 15);
    stream.Run(121 * kSecond, 0, 500);
    EXPECT_EQ(stream.policy.TargetMs(), 10);
    stream.Run(200 * kSecond, 0, 500);
    EXPECT_EQ(stream.policy.TargetMs(), 10) << "never below the smallest step";

    // While a song sounds, a smaller buffer is not tried: only in the silence after it.
    stream.Run(10 * kSecond, 17, 500);
    ASSERT_EQ(stream.policy.TargetMs(), 20);
    stream.Run(600 * kSecond, 0, 500, true);
    EXPECT_EQ(stream.policy.TargetMs(), 20);
    stream.Run(2100 * kMs, 0, 500);
    EXPECT_EQ(stream.policy.TargetMs(), 15);
    EXPECT_EQ(stream.largest, 20);
    EXPECT_EQ(stream.underruns, static_cast<int>(stream.policy.UnderrunCount()));
}

TEST(BufferPolicy, SaysOnceTheMachineCannotKeepUpEvenAtTheLargestBuffer) {
    FakeStream stream;
    // 80 ms stalls: more than any buffer holds.
    stream.Run(30 * kSecond, 80, 1000);
    EXPECT_EQ(stream.policy.TargetMs(), 50);
    EXPECT_EQ(stream.largest, 50) << "never beyond the largest step";
    EXPECT_TRUE(stream.policy.CannotKeepUp());
    // The stalls end; after a long quiet spell it shrinks and takes it back.
    stream.Run(11 * 60 * kSecond, 0, 1000);
    EXPECT_LT(stream.policy.TargetMs(), 50);
    EXPECT_FALSE(stream.policy.CannotKeepUp());
}

}  // namespace
}  // namespace tonemark
