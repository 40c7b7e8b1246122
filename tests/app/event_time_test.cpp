#include <gtest/gtest.h>

#include "app/event_time.h"
#include "app/tick_clock.h"

namespace tonemark {
namespace {

constexpr MonotonicMicros kSecond = 1'000'000;

TEST(EventClock, OnTheMonotonicClockAnEventStandsInTheMiddleOfItsStampedMillisecond) {
    EventClock clock;
    // Stamped 1000 ms, arriving 0.3 ms later; then one handled 20 ms late.
    EXPECT_EQ(clock.ToMonotonic(1000, 1000 * 1000 + 300), 1000 * 1000 + 300);
    EXPECT_EQ(clock.ToMonotonic(2000, 2000 * 1000 + 900), 2000 * 1000 + 500);
    EXPECT_EQ(clock.ToMonotonic(3000, 3020 * 1000), 3000 * 1000 + 500);
}

TEST(EventClock, AnotherClockIsMeasuredByTheQuickestArrival) {
    EventClock clock;
    // The window system's clock runs 100 s behind: events arrive 100 s "after" their stamps.
    const MonotonicMicros behind = 100 * kSecond;
    EXPECT_EQ(clock.ToMonotonic(5000, 5000 * 1000 + behind + 800), 5000 * 1000 + behind + 800);
    // A quicker arrival lowers the estimate; a late one is placed by it.
    EXPECT_EQ(clock.ToMonotonic(6000, 6000 * 1000 + behind + 200), 6000 * 1000 + behind + 200);
    EXPECT_EQ(clock.ToMonotonic(7000, 7000 * 1000 + behind + 25'000), 7000 * 1000 + behind + 200);
}

TEST(EventClock, AStampAheadOfItsArrivalOrAJumpStartsAfresh) {
    EventClock clock;
    clock.ToMonotonic(1000, 1000 * 1000 + 100);
    // The window system restarted: its stamps begin again near 0.
    EXPECT_EQ(clock.ToMonotonic(10, 50 * kSecond), 50 * kSecond);
    EXPECT_EQ(clock.ToMonotonic(20, 50 * kSecond + 10'000), 50 * kSecond + 10'000);
    // Stamps ahead of the monotonic clock: never placed after their arrival.
    EventClock ahead;
    EXPECT_EQ(ahead.ToMonotonic(90'000, 80 * kSecond), 80 * kSecond);
    EXPECT_EQ(ahead.ToMonotonic(90'010, 80 * kSecond + 10'000), 80 * kSecond + 10'000);
}

TEST(TickClock, TicksFallOnWholeMillisecondsAndAreNeverLost) {
    TickClock clock;
    clock.Start(10'000'250);  // started a quarter of a millisecond into 10000 ms
    EXPECT_EQ(clock.TimeOfTick(1), 10'001'000);
    EXPECT_EQ(clock.DueBy(10'000'999), 0);
    EXPECT_EQ(clock.DueBy(10'005'000), 5);
    int run = 0;
    while (clock.Advance(10'005'400)) ++run;
    EXPECT_EQ(run, 5);
    EXPECT_EQ(clock.DueBy(9'000'000), 5) << "time going back does not undo ticks";
    clock.Stop();
    EXPECT_FALSE(clock.Advance(20'000'000));
}

}  // namespace
}  // namespace tonemark
