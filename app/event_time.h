// Places the window system's input events on the program's monotonic clock.
// Every event carries a timestamp in milliseconds on the window system's own
// clock; an event is never delivered before it happened, so the smallest
// difference seen between arrival and stamp is the best estimate of how the
// two clocks relate. A press then counts from the moment it happened, not
// from the moment a busy event loop got round to it.
#pragma once

#include <cstdint>
#include <optional>

#include "app/clock.h"

namespace tonemark {

class EventClock {
public:
    // The moment an event stamped `stampMs` happened; never later than `arrival`.
    MonotonicMicros ToMonotonic(std::int64_t stampMs, MonotonicMicros arrival);

private:
    std::optional<MonotonicMicros> offset_;  // monotonic time minus stamp
};

}  // namespace tonemark
