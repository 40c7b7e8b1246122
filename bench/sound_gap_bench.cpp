// Gaps in the sound as the sound server plays it. The program's real sound
// output (whatever CreateFluidSynthRoot opens first: on a desktop PulseAudio)
// plays the start-up C major scale again and again, or the recorder's
// metronome, for a number of seconds; meanwhile `parec` reads the monitor of
// the sink it plays into. A sound server whose stream ran dry plays silence in
// its place: a run of exact-zero samples (16 or more) with sound on both
// sides (at -50 dBFS or louder within 2 ms). Every such run is counted as a
// gap. With
// the metronome the click-to-click intervals are compared with 60000 / BPM.
// Also printed: the output's reported latency (its buffer) as it settled, and
// key press to heard: a note sent at once against the moment its first
// sample reached the capture, as the capture's own chunks arrived.
//
// Meant to run against a private null sink (bench/sound_gaps.sh sets one up):
//   sound_gap_bench [--seconds N] [--metronome] [--presses] [--source NAME]
//                   [--wave FILE] [--dump-gaps FILE]
// --source is the monitor to read (default: the default sink's monitor);
// --wave keeps the capture (raw s16le mono 44.1 kHz); --dump-gaps writes
// 20 ms of samples around each gap, for plotting. `--analyse FILE
// [--beat-ms MS]` only counts the gaps (and the clicks' spacing) of a
// capture made elsewhere, such as the real window's.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app/lifecycle.h"
#include "bench_platform.h"
#include "keyboard/recorder.h"
#include "percentile.h"
#include "sound/fluid/fluid_synth.h"
#include "sound/transport.h"

namespace {

using namespace tonemark;
using Clock = std::chrono::steady_clock;

constexpr int kRate = 44100;
constexpr std::size_t kShortestGap = 16;  // samples of exact zero
// Silence put in by the server cuts the wave off and lets it in again
// abruptly: within 2 ms on either side of the run the wave is still (or
// already) at -50 dBFS or louder. A sound that fades into silence of its own
// (the metronome's click between its transients) is far quieter there.
constexpr int kSounding = 100;
constexpr std::size_t kAround = kRate / 500;
constexpr int kNoteLevel = 33;  // -60 dBFS: a note's first sample, for press to heard

std::string Loadavg() {
    std::ifstream in("/proc/loadavg");
    std::string line;
    std::getline(in, line);
    return line;
}

// parec as a child process whose output this reads, stamping each chunk.
class Capture {
public:
    explicit Capture(const std::string& source) {
        int fds[2];
        if (pipe(fds) != 0) return;
        pid_ = fork();
        if (pid_ == 0) {
            dup2(fds[1], 1);
            close(fds[0]);
            close(fds[1]);
            std::vector<std::string> args = {"parec",          "--raw",        "--format=s16le", "--rate=44100",
                                             "--channels=1",  "--latency-msec=2"};
            if (!source.empty()) args.push_back("--device=" + source);
            std::vector<char*> argv;
            for (auto& a : args) argv.push_back(a.data());
            argv.push_back(nullptr);
            execvp("parec", argv.data());
            _exit(127);
        }
        close(fds[1]);
        fd_ = fds[0];
        reader_ = std::thread([this] { Read(); });
    }
    ~Capture() { Stop(); }
    void Stop() {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
            pid_ = -1;
        }
        if (reader_.joinable()) reader_.join();
        if (fd_ >= 0) close(fd_);
        fd_ = -1;
    }
    bool Started() const { return fd_ >= 0; }
    // After Stop.
    const std::vector<std::int16_t>& Samples() const { return samples_; }
    // The monotonic time at which the sample at `index` arrived.
    MonotonicMicros ArrivalOf(std::size_t index) const {
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = std::upper_bound(chunks_.begin(), chunks_.end(), index,
                                   [](std::size_t i, const Chunk& c) { return i < c.end; });
        return it == chunks_.end() ? 0 : it->arrived;
    }
    std::size_t Count() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return samples_.size();
    }
    // The first sample from `from` on whose level reaches `level`.
    std::optional<std::size_t> FirstAbove(std::size_t from, int level) const {
        std::lock_guard<std::mutex> lock(mutex_);
        for (std::size_t i = from; i < samples_.size(); ++i)
            if (std::abs(static_cast<int>(samples_[i])) >= level) return i;
        return std::nullopt;
    }

private:
    struct Chunk {
        std::size_t end;  // one past its last sample
        MonotonicMicros arrived;
    };
    void Read() {
        std::vector<char> buffer(4096);
        std::string carry;
        for (;;) {
            const ssize_t got = read(fd_, buffer.data(), buffer.size());
            if (got <= 0) break;
            const MonotonicMicros now = MonotonicNow();
            carry.append(buffer.data(), static_cast<std::size_t>(got));
            const std::size_t whole = carry.size() / 2;
            std::lock_guard<std::mutex> lock(mutex_);
            for (std::size_t i = 0; i < whole; ++i) {
                std::int16_t s;
                std::memcpy(&s, carry.data() + 2 * i, 2);
                samples_.push_back(s);
            }
            carry.erase(0, whole * 2);
            chunks_.push_back({samples_.size(), now});
        }
    }
    pid_t pid_ = -1;
    int fd_ = -1;
    std::thread reader_;
    mutable std::mutex mutex_;
    std::vector<std::int16_t> samples_;
    std::vector<Chunk> chunks_;
};

struct Gap {
    std::size_t start;
    std::size_t length;
};

int PeakIn(const std::vector<std::int16_t>& s, std::size_t from, std::size_t to) {
    int peak = 0;
    for (std::size_t i = from; i < std::min(to, s.size()); ++i) peak = std::max(peak, std::abs(static_cast<int>(s[i])));
    return peak;
}

std::vector<Gap> FindGaps(const std::vector<std::int16_t>& s) {
    std::vector<Gap> gaps;
    std::size_t i = 0;
    while (i < s.size()) {
        if (s[i] != 0) {
            ++i;
            continue;
        }
        std::size_t end = i;
        while (end < s.size() && s[end] == 0) ++end;
        const std::size_t length = end - i;
        if (length >= kShortestGap && i > 0 && end < s.size() &&
            PeakIn(s, i >= kAround ? i - kAround : 0, i) >= kSounding && PeakIn(s, end, end + kAround) >= kSounding)
            gaps.push_back({i, length});
        i = end;
    }
    return gaps;
}

// Frames where a click starts: the level rises above a threshold after at
// least a fifth of a second of quiet.
std::vector<std::size_t> Onsets(const std::vector<std::int16_t>& s, int level) {
    const std::size_t quiet = kRate / 5;
    std::vector<std::size_t> onsets;
    std::size_t lastLoud = 0;
    bool any = false;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (std::abs(static_cast<int>(s[i])) <= level) continue;
        if (!any || i - lastLoud > quiet) onsets.push_back(i);
        lastLoud = i;
        any = true;
    }
    return onsets;
}

void PrintGaps(const std::vector<std::int16_t>& s, const std::vector<Gap>& gaps) {
    std::vector<double> gapMs;
    for (const Gap& g : gaps) gapMs.push_back(g.length * 1000.0 / kRate);
    std::printf("gaps: %zu", gaps.size());
    if (!gaps.empty())
        std::printf("  (length ms: p50 %.2f max %.2f)", Percentile(gapMs, 0.5), Percentile(gapMs, 1.0));
    std::printf(" in %.1f s of capture\n", static_cast<double>(s.size()) / kRate);
}

void PrintClicks(const std::vector<std::int16_t>& s, double beatMs) {
    const std::vector<std::size_t> onsets = Onsets(s, 655);
    std::vector<double> deviation;
    for (std::size_t i = 1; i < onsets.size(); ++i)
        deviation.push_back(std::abs((onsets[i] - onsets[i - 1]) * 1000.0 / kRate - beatMs));
    if (std::getenv("TONEMARK_BENCH_VERBOSE") != nullptr)
        for (std::size_t i = 1; i < onsets.size(); ++i)
            std::printf("click %zu at %.3f s: %+.2f ms\n", i, onsets[i] / double(kRate),
                        (onsets[i] - onsets[i - 1]) * 1000.0 / kRate - beatMs);
    std::printf("clicks heard %zu at %.0f ms a beat; click-to-click deviation ms: p50 %.2f p99 %.2f max %.2f\n",
                onsets.size(), beatMs, Percentile(deviation, 0.5), Percentile(deviation, 0.99),
                Percentile(deviation, 1.0));
}

// 10 ms of samples on either side of each gap, the gap's own run included.
void DumpGaps(const std::string& file, const std::vector<std::int16_t>& s, const std::vector<Gap>& gaps) {
    std::ofstream out(file);
    for (std::size_t k = 0; k < gaps.size(); ++k) {
        const std::size_t from = gaps[k].start >= 441 ? gaps[k].start - 441 : 0;
        out << "# gap " << k << " at sample " << gaps[k].start << " length " << gaps[k].length << "\n";
        for (std::size_t i = from; i < std::min(s.size(), gaps[k].start + gaps[k].length + 441); ++i)
            out << i << " " << s[i] << "\n";
    }
}

void Pump(Main& m, bool metronome) {
    if (metronome) RunTimer3Until(m, MonotonicNow());
    else if (m.state.FilePlaying) Timer1_Timer(m);
}

}  // namespace

int main(int argc, char** argv) {
    double seconds = 60;
    bool metronome = false, presses = false;
    std::string source, waveFile, dumpFile, analyseFile;
    double beatMs = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto next = [&]() -> std::string { return i + 1 < argc ? argv[++i] : ""; };
        if (a == "--seconds") seconds = std::atof(next().c_str());
        else if (a == "--metronome") metronome = true;
        else if (a == "--presses") presses = true;
        else if (a == "--source") source = next();
        else if (a == "--wave") waveFile = next();
        else if (a == "--dump-gaps") dumpFile = next();
        else if (a == "--analyse") analyseFile = next();
        else if (a == "--beat-ms") beatMs = std::atof(next().c_str());
        else {
            std::fprintf(stderr, "unknown argument %s\n", a.c_str());
            return 2;
        }
    }

    if (!analyseFile.empty()) {
        // A capture made elsewhere (the real window's sound, say).
        std::ifstream in(analyseFile, std::ios::binary);
        const std::string bytes{std::istreambuf_iterator<char>(in), {}};
        std::vector<std::int16_t> s(bytes.size() / 2);
        std::memcpy(s.data(), bytes.data(), s.size() * 2);
        const std::vector<Gap> gaps = FindGaps(s);
        PrintGaps(s, gaps);
        if (beatMs > 0) PrintClicks(s, beatMs);
        if (!dumpFile.empty()) DumpGaps(dumpFile, s, gaps);
        return 0;
    }

    FluidSynthRoot* root = nullptr;
    Main m;
    BenchPlatform platform{"tonemark-sound-gap-bench"};
    m.platform = &platform;
    m.makeSynthRoot = [&root](SoundStatus& status) -> std::unique_ptr<SynthRoot> {
        auto made = CreateFluidSynthRoot(FluidOptions{});
        if (made) status = made->Status();
        root = made.get();
        return made;
    };
    Form_Load(m);
    if (root == nullptr || !m.state.DeviceReady) {
        std::printf("the synthesiser or the song could not be started\n");
        return 1;
    }
    while (!root->SoundFontReady()) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    SoundStatus status = root->Status();
    if (!status.audioOutput) {
        std::printf("no sound output opened: %s\n", status.message.c_str());
        return 1;
    }
    std::printf("output %s, load average at start %s\n", status.driver.c_str(), Loadavg().c_str());

    Capture capture(source);
    if (!capture.Started()) {
        std::printf("parec could not be started\n");
        return 1;
    }
    // parec takes a while to start on a busy machine, and its first chunks
    // may come unevenly: the case starts once a second of steady capture
    // (the output's silence) has come in.
    const auto captureDeadline = Clock::now() + std::chrono::seconds(10);
    while (capture.Count() < static_cast<std::size_t>(kRate) && Clock::now() < captureDeadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    if (capture.Count() == 0) {
        std::printf("parec delivered nothing from %s\n", source.empty() ? "the default monitor" : source.c_str());
        return 1;
    }

    std::vector<int> latencies, buffers;
    std::vector<double> pressToHeard;
    const auto end = Clock::now() + std::chrono::duration<double>(seconds);
    auto nextStatus = Clock::now() + std::chrono::seconds(1);
    auto nextPlay = Clock::now();
    int plays = 0;
    if (metronome) Command2_Click(m);
    while (Clock::now() < end) {
        Pump(m, metronome);
        if (!metronome && !m.state.FilePlaying && Clock::now() >= nextPlay) {
            if (presses) {
                // A note sent at once, as a key press sends it: heard when its
                // first sample comes out of the capture.
                const std::size_t from = capture.Count();
                const MonotonicMicros sent = MonotonicNow();
                m.SynthPlayerHandle->SendMidi(0, 1, 0, 144, 72, 100);
                const auto until = Clock::now() + std::chrono::milliseconds(400);
                std::optional<std::size_t> first;
                while (Clock::now() < until && !(first = capture.FirstAbove(from, kNoteLevel)))
                    std::this_thread::sleep_for(std::chrono::microseconds(200));
                if (first) pressToHeard.push_back((capture.ArrivalOf(*first) - sent) / 1000.0);
                m.SynthPlayerHandle->SendMidi(0, 1, 0, 176, 120, 0);
                std::this_thread::sleep_for(std::chrono::milliseconds(300));
                nextPlay = Clock::now() + std::chrono::milliseconds(300);
            } else {
                BtnPlay_Click(m);
                ++plays;
                nextPlay = Clock::now() + std::chrono::milliseconds(500);
            }
        }
        if (!metronome && m.state.FilePlaying) nextPlay = Clock::now() + std::chrono::milliseconds(500);
        if (Clock::now() >= nextStatus) {
            const SoundStatus now = root->Status();
            latencies.push_back(now.outputLatencyMs);
            buffers.push_back(now.bufferMs);
            nextStatus += std::chrono::seconds(1);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    if (metronome) Command3_Click(m);
    else StopMidiFile(m);
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    capture.Stop();
    status = root->Status();
    const std::vector<std::int16_t>& s = capture.Samples();

    const std::vector<Gap> gaps = FindGaps(s);
    std::printf("%s for %.0f s (%d plays), load average at end %s\n",
                metronome ? "metronome" : presses ? "key presses" : "C major scale", seconds, plays,
                Loadavg().c_str());
    PrintGaps(s, gaps);
    if (!latencies.empty()) {
        std::vector<double> l(latencies.begin(), latencies.end());
        std::printf("output latency ms: settled %d, least %.0f, most %.0f (%s)\n", latencies.back(),
                    Percentile(l, 0), Percentile(l, 1), status.driver.c_str());
        std::vector<double> b(buffers.begin(), buffers.end());
        std::printf("buffer ms: at start %d, settled %d, most %.0f; underruns reported %llu\n", buffers.front(),
                    buffers.back(), Percentile(b, 1), static_cast<unsigned long long>(status.underruns));
    }
    if (!status.message.empty()) std::printf("message: %s\n", status.message.c_str());
    if (metronome) PrintClicks(s, m.state.TicksPerBeat);
    if (!pressToHeard.empty())
        std::printf("press to heard ms (capture path included): p50 %.1f p90 %.1f max %.1f over %zu\n",
                    Percentile(pressToHeard, 0.5), Percentile(pressToHeard, 0.9), Percentile(pressToHeard, 1.0),
                    pressToHeard.size());
    if (!waveFile.empty()) {
        std::ofstream out(waveFile, std::ios::binary);
        out.write(reinterpret_cast<const char*>(s.data()), static_cast<std::streamsize>(s.size() * 2));
    }
    if (!dumpFile.empty()) DumpGaps(dumpFile, s, gaps);
    return 0;
}
