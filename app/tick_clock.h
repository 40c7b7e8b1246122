// Counts the 1-ms ticks of a timer on the monotonic clock: tick n (from 1) is
// due n milliseconds after the timer was started. The ticks themselves are run
// by whoever owns the timer, one call per due tick, so a busy event loop delays
// ticks but never loses one.
#pragma once

#include <algorithm>
#include <cstdint>

#include "app/clock.h"

namespace tonemark {

class TickClock {
public:
    static constexpr MonotonicMicros kTickMicros = 1000;

    // Ticks fall on whole milliseconds of the monotonic clock, where the
    // window system's millisecond stamps of input events change.
    void Start(MonotonicMicros now) {
        start_ = now - ((now % kTickMicros) + kTickMicros) % kTickMicros;
        done_ = 0;
        running_ = true;
    }
    void Stop() { running_ = false; }
    bool Running() const { return running_; }

    // The number of ticks due by `t` (never fewer than those already run).
    std::int64_t DueBy(MonotonicMicros t) const {
        if (!running_ || t < start_) return done_;
        return std::max(done_, (t - start_) / kTickMicros);
    }
    // True when tick Done() + 1 is due by `t`; counts it as run.
    bool Advance(MonotonicMicros t) {
        if (DueBy(t) <= done_) return false;
        ++done_;
        return true;
    }
    std::int64_t Done() const { return done_; }
    MonotonicMicros TimeOfTick(std::int64_t n) const { return start_ + n * kTickMicros; }
    MonotonicMicros Started() const { return start_; }

private:
    MonotonicMicros start_ = 0;
    std::int64_t done_ = 0;
    bool running_ = false;
};

}  // namespace tonemark
