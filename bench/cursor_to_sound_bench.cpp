// Cursor to sound: how the follower's cursor lands on each note against the
// moment the note is heard. The window runs offscreen, playing C major at 120
// BPM (the scale shown after start-up) on the real FluidSynth, rendered by a
// thread of this benchmark in real time in the sound device's period size.
//
// Heard: the note's first sample above -80 dBFS as it leaves the synthesiser
// (its render call's start plus its place in the call), plus the output
// latency of the device's buffering (BufferingMs). Each note's first sample
// is known exactly: the song is rendered offline beforehand, whole and once
// without each note, and the two first differ where that note begins; the
// played song is the same sound from the frame its first note starts on.
// Painted: the end of the first paint of the score that draws Line1 at the
// note's x. Reached: the moment LabNote moved to the note (the window showing
// what the follower did). Prints p50, p99 and the largest of painted - heard,
// reached - heard and painted - reached, and how many paints came before the
// sound.
//
// Usage: cursor_to_sound_bench [plays] (default 8; about 9.5 s each).
#include <QApplication>
#include <QPaintEvent>
#include <QPushButton>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <limits>
#include <optional>
#include <string>

#include "bench_window.h"
#include "bench_platform.h"
#include "realtime_device.h"
#include "sound/transport.h"

namespace {

using namespace tonemark;

constexpr int kMasterVolume = -312;  // as LoadIntoSynth sets it
constexpr std::int64_t kLead = 256;  // frames of the song's start kept before its first sample

// The velocity bytes of the note-ons of a file the program wrote: one track,
// every event with its status byte.
std::vector<std::size_t> NoteOnVelocities(const std::string& smf) {
    std::vector<std::size_t> at;
    std::size_t i = 22;  // the header chunk and the track's header
    auto varLen = [&]() {
        std::size_t value = 0;
        while (i < smf.size()) {
            const auto byte = static_cast<std::uint8_t>(smf[i++]);
            value = (value << 7) | (byte & 0x7F);
            if ((byte & 0x80) == 0) break;
        }
        return value;
    };
    while (i < smf.size()) {
        varLen();  // delta time
        if (i >= smf.size()) break;
        const auto status = static_cast<std::uint8_t>(smf[i]);
        if (status == 0xFF) {
            i += 2;
            i += varLen();
        } else if ((status & 0xF0) == 0x90 && i + 2 < smf.size()) {
            if (smf[i + 2] != 0) at.push_back(i + 2);
            i += 3;
        } else {
            break;
        }
    }
    return at;
}

// Renders a song offline from its Play on, for `seconds`, on a synthesiser of
// its own: FluidSynth's reverb moves on by itself, so two renders are alike
// sample for sample only when each starts on a fresh synthesiser.
StereoSound RenderSong(const std::string& bytes, double seconds, const std::string& dir) {
    auto root = CreateFluidSynthRoot({FluidOptions::Audio::Offline, ""});
    const std::string path = dir + "/reference.mid";
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
    auto loader = root->CreateLoader();
    auto player = root->CreatePlayer();
    auto song = loader->LoadSong(path);
    StereoSound sound;
    if (!song || !song->Prepare() || !song->Download(*player)) return sound;
    player->SetTempoFactor(1.0f);
    player->SetMasterVolume(kMasterVolume);
    auto playback = player->Play(*song, 0, 0);
    const auto frames = static_cast<std::size_t>(seconds * root->SampleRate()) / 64 * 64;
    sound.left.resize(frames);
    sound.right.resize(frames);
    for (std::size_t at = 0; at < frames; at += 64) root->RenderOffline(&sound.left[at], &sound.right[at], 64);
    return sound;
}

struct SongReference {
    StereoSound start;                    // the song's first frames, its first sample at kLead
    std::vector<std::int64_t> fromFirst;  // each note's first sample, in frames after the song's first
};

std::optional<SongReference> ReferenceFor(const std::string& path, double seconds, const std::string& dir) {
    std::ifstream in(path, std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(in), {}};
    const std::vector<std::size_t> velocities = NoteOnVelocities(bytes);
    const StereoSound whole = RenderSong(bytes, seconds, dir);
    const auto first = FirstAbove(whole, 0, static_cast<std::int64_t>(whole.Frames()), kAudible);
    if (!first || velocities.empty()) return std::nullopt;
    SongReference ref;
    for (std::int64_t i = *first - kLead; i < *first + 4096; ++i) {
        ref.start.left.push_back(i < 0 ? 0.0f : whole.left[static_cast<std::size_t>(i)]);
        ref.start.right.push_back(i < 0 ? 0.0f : whole.right[static_cast<std::size_t>(i)]);
    }
    for (std::size_t at : velocities) {
        std::string without = bytes;
        without[at] = 0;  // a note-on of velocity 0 sounds nothing
        const StereoSound other = RenderSong(without, seconds, dir);
        std::optional<std::int64_t> differs;
        for (std::size_t i = 0; i < whole.Frames() && i < other.Frames() && !differs; ++i)
            if (std::abs(whole.left[i] - other.left[i]) > kAudible || std::abs(whole.right[i] - other.right[i]) > kAudible)
                differs = static_cast<std::int64_t>(i);
        if (!differs) return std::nullopt;
        ref.fromFirst.push_back(*differs - *first);
    }
    return ref;
}

struct Paint {
    MonotonicMicros start, end;
    int lineX;
    bool shown;  // the cursor was visible and inside the painted region
};

// Times every paint of the score, with where it drew the cursor.
class PaintLog : public QObject {
public:
    explicit PaintLog(const Control& line) : line_(line) {}
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::Paint || inside_) return false;
        const QRect region = static_cast<QPaintEvent*>(event)->rect();
        inside_ = true;
        const MonotonicMicros start = MonotonicNow();
        QCoreApplication::sendEvent(watched, event);  // the widget paints, through this filter again
        paints.push_back({start, MonotonicNow(), line_.x1,
                          line_.visible && region.left() <= line_.x1 && line_.x1 <= region.right()});
        inside_ = false;
        return true;
    }
    std::vector<Paint> paints;

private:
    const Control& line_;
    bool inside_ = false;
};

// When LabNote moved, and to where.
class MoveLog : public QObject {
public:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Move) moves.push_back({MonotonicNow(), static_cast<QWidget*>(watched)->x()});
        return false;
    }
    std::vector<std::pair<MonotonicMicros, int>> moves;
};

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int plays = argc > 1 ? std::atoi(argv[1]) : 8;

    const int latencyMs = BufferingMs(kDeviceBuffering, 44100.0);
    DeviceLikeRoot* root = nullptr;
    Main m;
    BenchPlatform platform{"tonemark-cursor-to-sound-bench"};
    m.platform = &platform;
    UseDeviceLikeRoot(m, root, latencyMs);
    MainWindow window(m);
    if (!StartShown(m, window, root)) return 1;
    const double songSeconds = static_cast<double>(m.SynthSongHandle->Length().value_or(0)) / 1536.0;
    const std::optional<SongReference> ref = ReferenceFor(m.state.SmfPath, songSeconds + 1, platform.dir.string());
    if (!ref || ref->fromFirst.size() != m.state.NotePositions.size()) {
        std::printf("the song's notes could not be found in its offline rendering\n");
        return 1;
    }

    PaintLog paintLog(m.ui.Line1);
    window.WidgetOf(m.ui.PicScore)->installEventFilter(&paintLog);
    MoveLog moveLog;
    window.WidgetOf(m.ui.LabNote)->installEventFilter(&moveLog);
    RealTimeDevice device(root->Fluid(), kDeviceBuffering.periodSize, plays * (songSeconds + 2) + 3);
    device.Start();

    // Play, wait for the song's end and a second and a half of quiet, play again.
    std::vector<MonotonicMicros> playedAt;
    MonotonicMicros nextPlay = MonotonicNow() + 300'000;
    QTimer script;
    QObject::connect(&script, &QTimer::timeout, [&] {
        if (m.state.FilePlaying) return;
        const MonotonicMicros now = MonotonicNow();
        if (!playedAt.empty() && nextPlay < playedAt.back()) nextPlay = now + 1'500'000;
        if (now < nextPlay) return;
        if (static_cast<int>(playedAt.size()) == plays) {
            QCoreApplication::quit();
            return;
        }
        playedAt.push_back(now);
        static_cast<QPushButton*>(window.WidgetOf(m.ui.BtnPlay))->click();
    });
    script.start(5);
    // The user-interface thread's heartbeat: when a 1-ms timer got to run.
    std::vector<MonotonicMicros> beats;
    QTimer heartbeat;
    heartbeat.setTimerType(Qt::PreciseTimer);
    QObject::connect(&heartbeat, &QTimer::timeout, [&] { beats.push_back(MonotonicNow()); });
    heartbeat.start(1);
    QApplication::exec();
    device.Stop();

    const StereoSound& sound = device.Sound();
    std::vector<double> paintedLate, reachedLate, paintAfterReach;
    int ahead = 0, missing = 0;
    for (std::size_t k = 0; k < playedAt.size(); ++k) {
        const std::int64_t from = device.FrameAtOrAfter(playedAt[k]);
        const auto rise = FirstAbove(sound, from, from + static_cast<std::int64_t>(device.SampleRate()), kAudible);
        const auto shift = rise ? BestShift(sound, ref->start, *rise - kLead - 128, *rise - kLead + 128, 4096) : std::nullopt;
        const MonotonicMicros until = k + 1 < playedAt.size() ? playedAt[k + 1] : std::numeric_limits<MonotonicMicros>::max();
        for (std::size_t n = 0; shift && n < ref->fromFirst.size(); ++n) {
            const int x = static_cast<int>(m.state.NotePositions[n].StartTick);
            const double heard = device.LeftSynthMicros(*shift + kLead + ref->fromFirst[n]) + latencyMs * 1000.0;
            std::optional<double> painted, reached;
            for (const Paint& p : paintLog.paints)
                if (!painted && p.start > playedAt[k] && p.end < until && p.shown && p.lineX == x) painted = p.end;
            for (const auto& [at, movedTo] : moveLog.moves)
                if (!reached && at > playedAt[k] && at < until && movedTo == x) reached = at;
            if (!painted || !reached) {
                ++missing;
                continue;
            }
            paintedLate.push_back((*painted - heard) / 1000.0);
            reachedLate.push_back((*reached - heard) / 1000.0);
            paintAfterReach.push_back((*painted - *reached) / 1000.0);
            if (*painted < heard) ++ahead;
            if (std::getenv("TONEMARK_BENCH_VERBOSE"))
                std::printf("play %zu note %zu: reached %+.2f painted %+.2f ms after heard\n", k, n, reachedLate.back(),
                            paintedLate.back());
        }
        if (!shift) missing += static_cast<int>(ref->fromFirst.size());
    }
    std::printf("cursor to sound, %zu plays of C major at 120 BPM (%zu notes), %d-frame periods, output latency %d ms\n",
                playedAt.size(), paintedLate.size(), kDeviceBuffering.periodSize, latencyMs);
    std::printf("painted - heard (ms):  p50 %+.2f  p99 %+.2f  max %+.2f  (goal: 0 to 16.7 at p99)\n",
                Percentile(paintedLate, 0.5), Percentile(paintedLate, 0.99), Percentile(paintedLate, 1.0));
    std::printf("paints ahead of the sound: %d of %zu; earliest %+.2f ms\n", ahead, paintedLate.size(),
                Percentile(paintedLate, 0.0));
    std::printf("  reached - heard (ms):  p50 %+.2f  p99 %+.2f  max %+.2f  min %+.2f\n", Percentile(reachedLate, 0.5),
                Percentile(reachedLate, 0.99), Percentile(reachedLate, 1.0), Percentile(reachedLate, 0.0));
    std::printf("  painted - reached (ms): p50 %+.2f  p99 %+.2f  max %+.2f\n", Percentile(paintAfterReach, 0.5),
                Percentile(paintAfterReach, 0.99), Percentile(paintAfterReach, 1.0));
    if (missing > 0) std::printf("%d notes had no paint or no sound\n", missing);
    std::vector<double> gaps;
    for (std::size_t i = 1; i < beats.size(); ++i) gaps.push_back((beats[i] - beats[i - 1]) / 1000.0);
    std::printf("  1-ms timer of the user-interface thread, gaps (ms): p50 %.2f  p99 %.2f  max %.2f\n",
                Percentile(gaps, 0.5), Percentile(gaps, 0.99), Percentile(gaps, 1.0));
    if (std::getenv("TONEMARK_BENCH_VERBOSE"))
        for (std::size_t i = 1; i < beats.size(); ++i)
            if (beats[i] - beats[i - 1] > 15'000)
                std::printf("  gap of %.1f ms at %.1f ms after play %zu\n", (beats[i] - beats[i - 1]) / 1000.0,
                            (beats[i - 1] - *std::prev(std::upper_bound(playedAt.begin(), playedAt.end(), beats[i - 1]))) / 1000.0,
                            static_cast<std::size_t>(std::upper_bound(playedAt.begin(), playedAt.end(), beats[i - 1]) - playedAt.begin()) - 1);
    return 0;
}
