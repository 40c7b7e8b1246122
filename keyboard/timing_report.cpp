#include "keyboard/timing_report.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace tonemark {

std::optional<TakeTiming> MeasureTakeTiming(const std::vector<std::int16_t>& recTicks, std::int64_t firstTick,
                                            std::int64_t firstClickTick, double gridMs) {
    if (gridMs <= 0) return std::nullopt;
    std::vector<double> offsets;
    for (std::size_t i = 0; i < recTicks.size(); ++i) {
        if (recTicks[i] <= 0) continue;  // presses only
        const double sinceClick = static_cast<double>(firstTick + static_cast<std::int64_t>(i) - firstClickTick);
        offsets.push_back(sinceClick - std::round(sinceClick / gridMs) * gridMs);
    }
    if (offsets.empty()) return std::nullopt;
    TakeTiming timing;
    timing.notes = static_cast<int>(offsets.size());
    std::vector<double> distances;
    for (double o : offsets) {
        distances.push_back(std::abs(o));
        timing.earliestMs = std::min(timing.earliestMs, o);
        timing.latestMs = std::max(timing.latestMs, o);
    }
    std::sort(distances.begin(), distances.end());
    const std::size_t n = distances.size();
    timing.medianMs = n % 2 == 1 ? distances[n / 2] : (distances[n / 2 - 1] + distances[n / 2]) / 2;
    return timing;
}

double TimingGridMs(double ticksPerBeat, int quantizeChoice) {
    switch (quantizeChoice) {
        case 1: return ticksPerBeat / 4;
        case 3: return ticksPerBeat;
        default: return ticksPerBeat / 2;
    }
}

std::string TimingReportText(const TakeTiming& timing, int quantizeChoice) {
    const char* grid = quantizeChoice == 1 ? "the sixteenths" : quantizeChoice == 3 ? "the beat" : "the eighths";
    char text[200];
    const int median = static_cast<int>(std::lround(timing.medianMs));
    const int late = static_cast<int>(std::lround(timing.latestMs));
    const int early = static_cast<int>(std::lround(-timing.earliestMs));
    int used = std::snprintf(text, sizeof text, "%d %s; on %s within %d ms median", timing.notes,
                             timing.notes == 1 ? "note" : "notes", grid, median);
    if (late > 0 && early > 0)
        std::snprintf(text + used, sizeof text - used, ", %d ms late and %d ms early at most.", late, early);
    else if (late > 0)
        std::snprintf(text + used, sizeof text - used, ", %d ms late at most.", late);
    else if (early > 0)
        std::snprintf(text + used, sizeof text - used, ", %d ms early at most.", early);
    else
        std::snprintf(text + used, sizeof text - used, ", every press exactly on it.");
    return text;
}

}  // namespace tonemark
