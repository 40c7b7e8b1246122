// How a take sat against the metronome: for every key press, how far it was
// from the nearest line of a grid laid from the metronome's first click (the
// eighths of its beat, or the chosen quantize grid). The take's ticks and the
// metronome's beats count the same recording clock, so this is exact.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tonemark {

struct TakeTiming {
    int notes = 0;
    double medianMs = 0;     // of the distances, early or late
    double earliestMs = 0;   // the most early press, as a negative number (0 if none was early)
    double latestMs = 0;     // the most late press (0 if none was late)
};

// `recTicks`: the take; `firstTick`: the recording clock's tick of its index
// 0; `firstClickTick`: the clock's tick of the metronome's first click;
// `gridMs`: the spacing of the grid. Nothing when the take holds no press.
std::optional<TakeTiming> MeasureTakeTiming(const std::vector<std::int16_t>& recTicks, std::int64_t firstTick,
                                            std::int64_t firstClickTick, double gridMs);

// The grid for a tempo of `ticksPerBeat` ms a beat and a quantize choice
// (0 none: eighths; 1 sixteenths; 2 eighths; 3 quarters).
double TimingGridMs(double ticksPerBeat, int quantizeChoice);

// "12 notes; on the beat within 18 ms median, 41 ms late and 9 ms early at most".
std::string TimingReportText(const TakeTiming& timing, int quantizeChoice);

}  // namespace tonemark
