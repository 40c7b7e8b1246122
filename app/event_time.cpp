#include "app/event_time.h"

#include <algorithm>

namespace tonemark {
namespace {

// A stamp that would put the event this long before its arrival means the
// window system's clock jumped (a restarted server, a wrapped counter): start
// the estimate afresh from this event.
constexpr MonotonicMicros kLargestDelay = 10'000'000;
// Window systems on Linux stamp input with the monotonic clock itself, in
// whole milliseconds: every event then arrives a little after its stamp. An
// offset this small is taken to mean the clocks are one; an event arriving
// before its stamp shows they are not.
constexpr MonotonicMicros kSameClock = 50'000;

}  // namespace

MonotonicMicros EventClock::ToMonotonic(std::int64_t stampMs, MonotonicMicros arrival) {
    const MonotonicMicros candidate = arrival - stampMs * 1000;
    if (!offset_ || candidate < *offset_ || candidate > *offset_ + kLargestDelay) offset_ = candidate;
    // On the same clock the event happened within its stamped millisecond:
    // its middle is never more than half a millisecond off.
    const MonotonicMicros estimate = *offset_ >= 0 && *offset_ < kSameClock ? 500 : *offset_;
    return std::min(stampMs * 1000 + estimate, arrival);
}

}  // namespace tonemark
