// Where a known sound starts in a recording: a first guess from a level, then
// the exact frame from the sound's own waveform.
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <vector>

namespace tonemark {

// The level taken as the first non-silent sample: -80 dBFS.
constexpr float kAudible = 1e-4f;

struct StereoSound {
    std::vector<float> left, right;
    std::size_t Frames() const { return left.size(); }
    float Magnitude(std::size_t i) const { return std::max(std::abs(left[i]), std::abs(right[i])); }
};

// The first frame in [from, to) louder than `level`.
inline std::optional<std::int64_t> FirstAbove(const StereoSound& s, std::int64_t from, std::int64_t to, float level) {
    for (std::int64_t i = std::max<std::int64_t>(from, 0); i < to && i < static_cast<std::int64_t>(s.Frames()); ++i)
        if (s.Magnitude(static_cast<std::size_t>(i)) > level) return i;
    return std::nullopt;
}

// The loudest magnitude in [from, to).
inline float Loudest(const StereoSound& s, std::int64_t from, std::int64_t to) {
    float loudest = 0;
    for (std::int64_t i = std::max<std::int64_t>(from, 0); i < to && i < static_cast<std::int64_t>(s.Frames()); ++i)
        loudest = std::max(loudest, s.Magnitude(static_cast<std::size_t>(i)));
    return loudest;
}

// The shift in [lo, hi] at which `pattern` (of `length` frames) best matches
// `sound`, in the least-squares sense: sound[shift + k] ~ pattern[k].
inline std::optional<std::int64_t> BestShift(const StereoSound& sound, const StereoSound& pattern, std::int64_t lo,
                                             std::int64_t hi, std::size_t length) {
    std::optional<std::int64_t> best;
    double bestError = std::numeric_limits<double>::max();
    length = std::min(length, pattern.Frames());
    for (std::int64_t shift = std::max<std::int64_t>(lo, 0); shift <= hi; ++shift) {
        if (static_cast<std::size_t>(shift) + length > sound.Frames()) break;
        double error = 0;
        for (std::size_t k = 0; k < length && error < bestError; ++k) {
            const double l = sound.left[static_cast<std::size_t>(shift) + k] - pattern.left[k];
            const double r = sound.right[static_cast<std::size_t>(shift) + k] - pattern.right[k];
            error += l * l + r * r;
        }
        if (error < bestError) {
            bestError = error;
            best = shift;
        }
    }
    return best;
}

}  // namespace tonemark
