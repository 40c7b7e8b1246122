// What practice does between passes: the tap-along calibration, the weakest
// bar to loop, and the tempo steps. Pure functions over judged passes.
#pragma once

#include <optional>
#include <vector>

#include "practice/judge.h"

namespace tonemark::practice {

// Tap along: the metronome's click times and the taps' times, both on one
// clock in ms; each tap belongs to the click nearest it (taps further than
// half a beat from every click are dropped; of two taps on one click the
// nearer is kept). The median offset tap - click, or nothing with fewer than
// four taps kept or fewer than two clicks (no beat to measure half of).
std::optional<double> CalibratedOffsetMs(const std::vector<double>& clickMs, const std::vector<double>& tapMs);

// The bar with the most errors (anything but on time), ties to the earliest;
// nothing when every note was on time.
std::optional<int> WeakestBar(const std::vector<ExpectedNote>& expected, const PassJudgement& pass);

// Tempo steps: after three passes in a row with every note on time (and
// nothing extra) the tempo rises 5 %; after a pass with more than a quarter
// of its notes not played right (wrong or missed) it falls 5 %, never below
// half the starting tempo. `cleanRun` counts the clean passes in a row and is
// updated here; a step up starts the count again.
struct TempoStep {
    double startBpm = 120;
    double bpm = 120;
    int cleanRun = 0;
};
void StepTempo(TempoStep& step, const PassSummary& pass);

}  // namespace tonemark::practice
