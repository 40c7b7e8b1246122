#include "practice/coach.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <map>

namespace tonemark::practice {

namespace {

constexpr std::size_t kFewestTaps = 4;
constexpr int kCleanPassesToStepUp = 3;
constexpr double kStepUp = 1.05;
constexpr double kStepDown = 0.95;
constexpr double kLowestShareOfStart = 0.5;

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const std::size_t mid = v.size() / 2;
    return v.size() % 2 == 1 ? v[mid] : (v[mid - 1] + v[mid]) / 2;
}

}  // namespace

std::optional<double> CalibratedOffsetMs(const std::vector<double>& clickMs, const std::vector<double>& tapMs) {
    std::vector<double> clicks;
    for (double c : clickMs)
        if (std::isfinite(c)) clicks.push_back(c);
    std::sort(clicks.begin(), clicks.end());
    if (clicks.size() < 2) return std::nullopt;
    std::vector<double> gaps;
    for (std::size_t k = 1; k < clicks.size(); ++k) gaps.push_back(clicks[k] - clicks[k - 1]);
    const double halfBeat = Median(gaps) / 2;

    // The nearest tap of each click, by the click's place.
    std::map<std::size_t, double> offsetOfClick;
    for (double tap : tapMs) {
        if (!std::isfinite(tap)) continue;
        auto after = std::lower_bound(clicks.begin(), clicks.end(), tap);
        auto nearest = after;
        if (after == clicks.end() || (after != clicks.begin() && tap - *(after - 1) < *after - tap))
            nearest = after - 1;
        const double offset = tap - *nearest;
        if (std::fabs(offset) > halfBeat) continue;
        const std::size_t click = static_cast<std::size_t>(nearest - clicks.begin());
        auto [it, fresh] = offsetOfClick.emplace(click, offset);
        if (!fresh && std::fabs(offset) < std::fabs(it->second)) it->second = offset;
    }
    if (offsetOfClick.size() < kFewestTaps) return std::nullopt;
    std::vector<double> offsets;
    for (const auto& [click, offset] : offsetOfClick) offsets.push_back(offset);
    return Median(offsets);
}

std::optional<int> WeakestBar(const std::vector<ExpectedNote>& expected, const PassJudgement& pass) {
    std::map<int, int> barOfNote;
    for (const ExpectedNote& e : expected) barOfNote.emplace(e.idx, e.bar);
    std::map<int, int> errorsInBar;
    for (const NoteResult& r : pass.notes) {
        if (r.verdict == Verdict::OnTime) continue;
        auto bar = barOfNote.find(r.idx);
        if (bar != barOfNote.end()) ++errorsInBar[bar->second];
    }
    std::optional<int> weakest;
    int most = 0;
    for (const auto& [bar, errors] : errorsInBar) {  // in bar order: ties go to the earliest
        if (errors > most) {
            most = errors;
            weakest = bar;
        }
    }
    return weakest;
}

void StepTempo(TempoStep& step, const PassSummary& pass) {
    const bool clean = pass.expected > 0 && pass.onTime == pass.expected && pass.extra == 0;
    const int notRight = pass.wrong + pass.missed;
    if (clean) {
        if (++step.cleanRun >= kCleanPassesToStepUp) {
            step.bpm *= kStepUp;
            step.cleanRun = 0;
        }
        return;
    }
    step.cleanRun = 0;
    if (4 * notRight > pass.expected) step.bpm = std::max(step.bpm * kStepDown, step.startBpm * kLowestShareOfStart);
}

}  // namespace tonemark::practice
