// Places a MIDI input's own timestamps on the program's monotonic clock. An
// event is never read before it happened, so the smallest difference seen
// between reading and stamp tells how the two clocks relate; that smallest
// difference is taken over the last few seconds only, so a stamp clock that
// runs a little slower or faster than the monotonic one is followed.
#pragma once

#include <cstdint>
#include <optional>

#include "app/clock.h"

namespace tonemark {

class StampClock {
public:
    static constexpr MonotonicMicros kWindowMicros = 2'000'000;

    // The moment an event stamped `stampMicros` (on the input's clock) and
    // read at `readAt` happened; never later than `readAt`.
    MonotonicMicros ToMonotonic(std::int64_t stampMicros, MonotonicMicros readAt);

private:
    std::optional<std::int64_t> offset_;  // in use: monotonic minus stamp
    std::optional<std::int64_t> windowOffset_;
    MonotonicMicros windowStart_ = 0;
};

}  // namespace tonemark
