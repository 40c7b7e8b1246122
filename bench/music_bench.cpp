// What the music model and the MusicXML export cost for a 30-second take of
// 300 notes (150 of them after a rest, sharps among them): building the model
// from the song as read back and what the engraver decided, writing MusicXML,
// and both together, which an export after a rebuild pays. The goal for the
// two together is under 2 ms.
#include <benchmark/benchmark.h>

#include <string>
#include <string_view>
#include <vector>

#include "app/lifecycle.h"
#include "bench_platform.h"
#include "midifile/take_pipeline.h"
#include "music/model_builder.h"
#include "music/musicxml_writer.h"
#include "score/header.h"
#include "sound/fluid/fluid_synth.h"
#include "theory/scales.h"

namespace {

using namespace tonemark;

std::string Row(int ms, const char* status, int note, const char* velocity, const char* what) {
    return std::to_string(ms) + "\t" + status + "\t" + std::to_string(note) + "\t" + velocity + "\t" + what;
}

// 300 notes of 20 ms over two octaves in 30 s; every other one after a gap
// of 130 ms, which the score shows as a rest.
std::vector<std::string> ThirtySecondTake() {
    std::vector<std::string> rows;
    int ms = 0;
    for (int k = 0; k < 300; ++k) {
        const int note = 60 + (k * 7) % 25;
        rows.push_back(Row(ms, "144", note, "100", "Note ON"));
        ms += 20;
        rows.push_back(Row(ms, "128", note, "0", "Note OFF"));
        ms += k % 2 == 0 ? 30 : 130;
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
        m.state.RecTicks.assign(30001, 0);
        m.state.TakeTempoBPM = 120;
        m.ui.List1.rows[kTakeEntry] = "Recorded SMF";
        m.ui.List1.listIndex = kTakeEntry;
        m.state.ScaleIndex = kTakeEntry;
        m.ui.List2.rows = ThirtySecondTake();
        SaveFilex_Click(m);  // written, read back, engraved: the model as the window has it
        engraved = m.music;
    }
    BenchPlatform platform{"tonemark-music-bench"};
    Main m;
    MusicModel engraved;
};

Window& SharedWindow() {
    static Window window;
    return window;
}

// The model made again from what the engraver handed over for each note and rest.
void BuildModel(Window& w) {
    StartMusicModel(w.m, true, DrawnKeyFifths(w.m.state));
    std::size_t rest = 0;
    for (const ModelNote& note : w.engraved.notes) {
        while (rest < w.engraved.rests.size() && w.engraved.rests[rest].beforeNote == note.index) {
            const ModelRest& r = w.engraved.rests[rest++];
            AddEngravedRest(w.m, r.beforeNote, static_cast<double>(r.durationTicks), r.x);
        }
        // The head's text origin on the staff, back from its spelling: middle C at 35.
        const int steps = 7 * (note.spelling.octave - 4) + static_cast<int>(std::string_view("CDEFGAB").find(note.spelling.step));
        AddEngravedNote(w.m, note.index, 35 - 4 * steps, note.shown, note.x);
    }
    FinishMusicModel(w.m);
}

void BM_MusicModelThirtySeconds(benchmark::State& state) {
    Window& w = SharedWindow();
    for (auto _ : state) {
        BuildModel(w);
        benchmark::DoNotOptimize(w.m.music.notes.data());
    }
    state.counters["notes"] = static_cast<double>(w.m.music.notes.size());
    state.counters["rests"] = static_cast<double>(w.m.music.rests.size());
}

void BM_MusicXmlThirtySeconds(benchmark::State& state) {
    Window& w = SharedWindow();
    std::size_t bytes = 0;
    for (auto _ : state) {
        const std::string xml = MusicXmlDocument(w.engraved);
        bytes = xml.size();
        benchmark::DoNotOptimize(xml.data());
    }
    state.counters["bytes"] = static_cast<double>(bytes);
}

void BM_ModelAndMusicXmlThirtySeconds(benchmark::State& state) {
    Window& w = SharedWindow();
    for (auto _ : state) {
        BuildModel(w);
        const std::string xml = MusicXmlDocument(w.m.music);
        benchmark::DoNotOptimize(xml.data());
    }
}

void BM_ModelAndCompressedMusicXmlThirtySeconds(benchmark::State& state) {
    Window& w = SharedWindow();
    std::size_t bytes = 0;
    for (auto _ : state) {
        BuildModel(w);
        const std::string mxl = CompressedMusicXml(w.m.music);
        bytes = mxl.size();
        benchmark::DoNotOptimize(mxl.data());
    }
    state.counters["bytes"] = static_cast<double>(bytes);
}

BENCHMARK(BM_MusicModelThirtySeconds)->Unit(benchmark::kMicrosecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_MusicXmlThirtySeconds)->Unit(benchmark::kMicrosecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_ModelAndMusicXmlThirtySeconds)->Unit(benchmark::kMicrosecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_ModelAndCompressedMusicXmlThirtySeconds)
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

}  // namespace

BENCHMARK_MAIN();
