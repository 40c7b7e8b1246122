// The program's monotonic clock, in microseconds. Every time that must be
// compared with another (input events, recording ticks, scheduled sounds) is
// on this clock.
#pragma once

#include <chrono>
#include <cstdint>

namespace tonemark {

using MonotonicMicros = std::int64_t;

inline MonotonicMicros MonotonicNow() {
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace tonemark
