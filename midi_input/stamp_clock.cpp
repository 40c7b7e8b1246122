#include "midi_input/stamp_clock.h"

#include <algorithm>

namespace tonemark {

MonotonicMicros StampClock::ToMonotonic(std::int64_t stampMicros, MonotonicMicros readAt) {
    const std::int64_t seen = readAt - stampMicros;
    if (!windowOffset_ || readAt - windowStart_ > kWindowMicros) {
        // A new window: what the last one found becomes the offset in use,
        // unless the stamp clock now reads earlier still.
        if (windowOffset_) offset_ = std::min(*windowOffset_, seen);
        windowOffset_ = seen;
        windowStart_ = readAt;
    }
    windowOffset_ = std::min(*windowOffset_, seen);
    offset_ = offset_ ? std::min(*offset_, seen) : seen;
    return std::min(stampMicros + *offset_, readAt);
}

}  // namespace tonemark
