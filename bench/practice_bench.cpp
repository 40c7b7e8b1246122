// What judging a practice pass costs when it ends: 300 notes with the errors
// a learner makes (timing spread, some wrong, some missed, some extra, keys
// held on at the end), once as a scale and once as triads. The goal is under
// 1 ms for the pass.
#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <vector>

#include "practice/judge.h"

namespace {

using namespace tonemark::practice;

constexpr int kNotes = 300;
constexpr double kOffsetMs = 35;

struct Pass {
    std::vector<ExpectedNote> expected;
    std::vector<PlayedNote> played;
};

// Eighths at 120 BPM (250 ms), up and down two octaves; `chordSize` notes
// struck together at each step.
Pass MakePass(int chordSize) {
    Pass pass;
    const int steps[] = {0, 2, 4, 5, 7, 9, 11};
    for (int k = 0; k < kNotes; ++k) {
        const int step = k / chordSize;
        const int degree = step % 28 < 14 ? step % 28 : 28 - step % 28;
        const int pitch = 48 + 12 * (degree / 7) + steps[degree % 7] + 4 * (k % chordSize);
        pass.expected.push_back({k, pitch, 250.0 * step, 250, chordSize > 1 ? step : -1, step / 8 + 1});
    }
    std::mt19937 random(18);
    std::normal_distribution<double> spread(0, 25);
    std::uniform_real_distribution<double> chance(0, 1);
    for (const ExpectedNote& e : pass.expected) {
        const double luck = chance(random);
        if (luck < 0.05) continue;  // missed
        const int pitch = luck < 0.10 ? e.pitch + 1 : e.pitch;
        const double on = e.dueMs + kOffsetMs + spread(random);
        const double off = luck > 0.99 ? NAN : on + e.lengthMs * (0.6 + 0.4 * chance(random));
        pass.played.push_back({pitch, on, off, 40 + static_cast<int>(60 * chance(random))});
        if (luck > 0.97) pass.played.push_back({pitch + 2, on + 90, on + 150, 30});  // extra
    }
    return pass;
}

void Judge(benchmark::State& state, int chordSize) {
    const Pass pass = MakePass(chordSize);
    int right = 0;
    for (auto _ : state) {
        const PassJudgement judged = JudgePass(pass.expected, pass.played, kOffsetMs);
        right = judged.summary.right;
        benchmark::DoNotOptimize(judged);
    }
    state.counters["notes"] = kNotes;
    state.counters["presses"] = static_cast<double>(pass.played.size());
    state.counters["right"] = right;
}

void BM_JudgeScalePass(benchmark::State& state) { Judge(state, 1); }
void BM_JudgeTriadPass(benchmark::State& state) { Judge(state, 3); }

}  // namespace

BENCHMARK(BM_JudgeScalePass)->Unit(benchmark::kMicrosecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_JudgeTriadPass)->Unit(benchmark::kMicrosecond)->Repetitions(5)->ReportAggregatesOnly(true);

BENCHMARK_MAIN();
