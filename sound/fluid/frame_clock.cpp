#include "sound/fluid/frame_clock.h"

#include <algorithm>
#include <limits>

namespace tonemark {
namespace {

// a - b, held at the ends of the range instead of overflowing.
std::int64_t SaturatingDifference(std::int64_t a, std::int64_t b) {
    std::int64_t difference = 0;
    if (!__builtin_sub_overflow(a, b, &difference)) return difference;
    return a < b ? std::numeric_limits<std::int64_t>::min() : std::numeric_limits<std::int64_t>::max();
}

std::int64_t FloorDivide(std::int64_t value, std::int64_t divisor) {
    const std::int64_t quotient = value / divisor;
    return (value % divisor != 0 && value < 0) ? quotient - 1 : quotient;
}

}  // namespace

double FrameClock::SecondsSinceEpoch(MonotonicMicros time) const {
    return static_cast<double>(SaturatingDifference(time, epoch_.value_or(time))) / 1e6;
}

std::optional<double> FrameClock::BestOffset() const {
    std::optional<double> best;
    for (const Span& span : spans_) {
        if (!span.used || span.index <= latestSpan_ - kSpans) continue;
        best = std::max(best.value_or(span.offset), span.offset);
    }
    return best;
}

void FrameClock::Observe(MonotonicMicros now, std::int64_t frames) {
    if (!epoch_) epoch_ = now;
    const double offset = static_cast<double>(frames) - sampleRate_ * SecondsSinceEpoch(now);
    // A clock that stepped back still counts as the latest span.
    latestSpan_ = std::max(latestSpan_, FloorDivide(SaturatingDifference(now, *epoch_), kSpanMicros));
    const std::optional<double> best = BestOffset();
    if (best && offset < *best - kBreakSeconds * sampleRate_) spans_.fill(Span{});
    Span& span = spans_[static_cast<std::size_t>(((latestSpan_ % kSpans) + kSpans) % kSpans)];
    if (!span.used || span.index != latestSpan_) {
        span = Span{latestSpan_, offset, true};
    } else {
        span.offset = std::max(span.offset, offset);
    }
}

double FrameClock::FrameAt(MonotonicMicros time) const {
    const std::optional<double> best = BestOffset();
    if (!best) return 0.0;
    return *best + sampleRate_ * SecondsSinceEpoch(time);
}

}  // namespace tonemark
