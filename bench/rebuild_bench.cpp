// How long a rebuild takes: a click on a scale list entry until the file is
// written, read back, loaded into the synthesiser and engraved; the engraving
// alone; and painting the visible part of the score.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <filesystem>

#include "app/lifecycle.h"
#include "bench_platform.h"
#include "score/qt/score_painter.h"
#include "score/scale_score.h"
#include "sound/fluid/fluid_synth.h"
#include "theory/scales.h"

namespace {

using namespace tonemark;

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
    }
    void Choose(int entry) {
        m.ui.List1.listIndex = entry;
        List1_Click(m);
    }
    BenchPlatform platform{"tonemark-bench"};
    Main m;
};

Window& SharedWindow() {
    static Window window;
    return window;
}

void BM_RebuildChainTriads(benchmark::State& state) {
    Window& w = SharedWindow();
    for (auto _ : state) {
        w.Choose(kTriadsEntry);
        benchmark::DoNotOptimize(w.m.state.NotePositions.data());
    }
    state.counters["notes"] = static_cast<double>(w.m.state.NotePositions.size());
}

void BM_RebuildChainMajorScale(benchmark::State& state) {
    Window& w = SharedWindow();
    for (auto _ : state) w.Choose(0);
}

void BM_PutInScoreTriads(benchmark::State& state) {
    Window& w = SharedWindow();
    w.Choose(kTriadsEntry);
    const std::vector<NoteEvent> read = w.m.state.NoteEvents;
    for (auto _ : state) {
        state.PauseTiming();
        w.m.state.NoteEvents = read;  // the engraver renames notes; start each run from the file's names
        w.m.PicScore.Clear();
        w.m.Pic2.Clear();
        state.ResumeTiming();
        PutInScore(w.m);
    }
}

void BM_PaintVisibleScoreTriads(benchmark::State& state) {
    Window& w = SharedWindow();
    w.Choose(kTriadsEntry);
    QImage image(645, 132, QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        image.fill(Qt::white);
        QPainter p(&image);
        p.setClipRect(0, 0, 645, 132);
        PaintDisplayList(p, w.m.PicScore.Ops());
        PaintDisplayList(p, w.m.Pic2.Ops());
    }
}

BENCHMARK(BM_RebuildChainTriads)->Unit(benchmark::kMicrosecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_RebuildChainMajorScale)->Unit(benchmark::kMicrosecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_PutInScoreTriads)->Unit(benchmark::kMicrosecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_PaintVisibleScoreTriads)->Unit(benchmark::kMicrosecond)->Repetitions(5)->ReportAggregatesOnly(true);

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
