// Where the program's monotonic clock meets the stream of rendered frames:
// which frame sounds at a given monotonic time.
//
// Each render call is one observation: it starts at time t with f frames
// rendered before it. Frame and time move on together at the sample rate, so
// every observation gives an offset f - rate * t. An observation can only
// come late, never early: a sound thread that was not scheduled in time, a
// device that asked late or a silent clock catching up starts its call after
// the moment its first frame stood for, and so shows a smaller offset than an
// on-time call. The largest offset seen recently is therefore the steadiest
// estimate: late calls leave it where it is, and scheduled messages do not
// move with the callbacks' jitter. Keeping only the last fifth of a second
// lets it follow frames lost by the sound server (which then plays everything
// later) and the slow drift between the sound device's clock and the
// monotonic clock; an offset that falls far below it means the stream itself broke off
// (a suspended machine, a silent clock starting afresh), and the estimate
// starts again from there.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "app/clock.h"

namespace tonemark {

class FrameClock {
public:
    explicit FrameClock(double sampleRate = 44100.0) : sampleRate_(sampleRate) {}

    // A render call that started at `now` with `frames` rendered before it.
    void Observe(MonotonicMicros now, std::int64_t frames);
    // The frame that sounds at `time`, in frames since the first render. Before
    // any observation every time is frame 0.
    double FrameAt(MonotonicMicros time) const;

    // The window of observations the estimate keeps: 0.2 s in spans of 25 ms,
    // some seventy render calls, of which some start on time. A sound server
    // that ran dry plays silence and everything after it later: the estimate
    // follows that within the window.
    static constexpr int kSpans = 8;
    static constexpr MonotonicMicros kSpanMicros = 25'000;
    // A fall of the offset beyond this means a break in the stream.
    static constexpr double kBreakSeconds = 0.25;

private:
    // The largest offset seen in each span of the window.
    struct Span {
        std::int64_t index = 0;
        double offset = 0;
        bool used = false;
    };

    double SecondsSinceEpoch(MonotonicMicros time) const;
    std::optional<double> BestOffset() const;

    double sampleRate_;
    std::optional<MonotonicMicros> epoch_;  // the first observation's time
    std::int64_t latestSpan_ = 0;
    std::array<Span, kSpans> spans_{};
};

}  // namespace tonemark
