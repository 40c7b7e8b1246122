// How long a 30-second take of 300 notes takes from "Stop" to engraved: the
// take pipeline (rows to file, written, read back, loaded into FluidSynth,
// engraved), and the engraving alone.
#include <benchmark/benchmark.h>

#include <filesystem>

#include "app/lifecycle.h"
#include "bench_platform.h"
#include "midifile/take_pipeline.h"
#include "score/take_score.h"
#include "sound/fluid/fluid_synth.h"
#include "theory/scales.h"

namespace {

using namespace tonemark;

std::string Row(int ms, const char* status, int note, const char* velocity, const char* what) {
    return std::to_string(ms) + "\t" + status + "\t" + std::to_string(note) + "\t" + velocity + "\t" + what;
}

// 300 notes in 30 s over two octaves, every other one after a rest.
std::vector<std::string> ThirtySecondTake() {
    std::vector<std::string> rows;
    int ms = 0;
    for (int k = 0; k < 300; ++k) {
        const int note = 60 + (k * 7) % 25;
        rows.push_back(Row(ms, "144", note, "100", "Note ON"));
        ms += 60;
        rows.push_back(Row(ms, "128", note, "0", "Note OFF"));
        ms += k % 2 == 0 ? 10 : 30;
    }
    rows.push_back(Row(ms, "176", 120, "0", "All Sounds OFF"));
    rows.push_back(Row(ms, "176", 123, "0", "All Notes OFF"));
    return rows;
}

struct Window {
    Window() {
        m.platform = &platform;
        m.makeSynthRoot = [](SoundStatus& status) -> std::unique_ptr<SynthRoot> {
            FluidOptions options;
            options.audio = FluidOptions::Audio::Offline;
            auto root = CreateFluidSynthRoot(options);
            if (root) status = root->Status();
            return root;
        };
        Form_Load(m);
        // The take as "Stop" leaves it.
        m.state.RecTicks.assign(30001, 0);
        m.state.TakeTempoBPM = 120;
        m.ui.List1.rows[kTakeEntry] = "Recorded SMF";
        m.ui.List1.listIndex = kTakeEntry;
        m.state.ScaleIndex = kTakeEntry;
        m.ui.List2.rows = ThirtySecondTake();
    }
    BenchPlatform platform{"tonemark-take-bench"};
    Main m;
};

Window& SharedWindow() {
    static Window window;
    return window;
}

void BM_TakePipelineThirtySeconds(benchmark::State& state) {
    Window& w = SharedWindow();
    for (auto _ : state) {
        SaveFilex_Click(w.m);
        benchmark::DoNotOptimize(w.m.state.NotePositions.data());
    }
    state.counters["notes"] = static_cast<double>(w.m.state.NotePositions.size());
}

void BM_PutInScore2ThirtySeconds(benchmark::State& state) {
    Window& w = SharedWindow();
    SaveFilex_Click(w.m);
    for (auto _ : state) {
        w.m.PicScore.Clear();
        w.m.Pic2.Clear();
        PutInScore2(w.m);
    }
}

BENCHMARK(BM_TakePipelineThirtySeconds)->Unit(benchmark::kMicrosecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_PutInScore2ThirtySeconds)->Unit(benchmark::kMicrosecond)->Repetitions(5)->ReportAggregatesOnly(true);

}  // namespace

BENCHMARK_MAIN();
