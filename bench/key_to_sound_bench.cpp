// Key to sound: how long after a mouse press on an on-screen key its note is
// heard. The window runs offscreen on the real FluidSynth, rendered by a
// thread of this benchmark in real time in the sound device's period size
// (sound/fluid/audio_driver.h, kDeviceBuffering). Presses and releases of the
// key C4 are posted to the window from another thread with the moment they
// happened as their timestamp, as the window system stamps input.
//
// For each press: from that moment to the note's first non-silent sample
// (-80 dBFS) as it leaves the synthesiser (the render call's start plus the
// sample's place in the call), plus the output latency of the device's
// buffering (BufferingMs, the figure the program reports and leads by). The
// note's first sample is found from its own waveform (rendered once on its
// own beforehand), so the reverb of the press before does not move it.
// Prints p50, p99 and the largest, and the parts: event to handler, handler
// to the render call that sounds it.
//
// Usage: key_to_sound_bench [presses] (default 100; about 0.45 s each).
#include <QApplication>
#include <QMouseEvent>
#include <QPointingDevice>
#include <QTimer>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>
#include <random>
#include <thread>

#include "bench_window.h"
#include "bench_platform.h"
#include "keyboard/keys.h"
#include "realtime_device.h"

namespace {

using namespace tonemark;

constexpr int kKeyIndex = 0;  // C4
constexpr int kMasterVolume = -312;  // as LoadIntoSynth sets it

// The key's note as the synthesiser plays it alone, with its first sample
// above kAudible at frame kLead.
constexpr std::int64_t kLead = 256;
StereoSound LoneNote() {
    auto root = CreateFluidSynthRoot({FluidOptions::Audio::Offline, ""});
    auto player = root->CreatePlayer();
    player->SetMasterVolume(kMasterVolume);
    player->SendMidi(0, 1, 0, 0x90, KeyNote(kKeyIndex), 100);
    StereoSound sound;
    sound.left.resize(8192);
    sound.right.resize(8192);
    for (std::size_t at = 0; at < sound.Frames(); at += 64)
        root->RenderOffline(sound.left.data() + at, sound.right.data() + at, 64);
    const std::int64_t first = FirstAbove(sound, 0, static_cast<std::int64_t>(sound.Frames()), kAudible).value_or(0);
    StereoSound pattern;
    for (std::int64_t i = first - kLead; i < first + 2048; ++i) {
        pattern.left.push_back(i < 0 ? 0.0f : sound.left[static_cast<std::size_t>(i)]);
        pattern.right.push_back(i < 0 ? 0.0f : sound.right[static_cast<std::size_t>(i)]);
    }
    return pattern;
}

// Notes when each press reaches the key's handler, and when the handler is done.
class HandlerLog : public QObject {
public:
    bool eventFilter(QObject* watched, QEvent* e) override {
        if (e->type() != QEvent::MouseButtonPress || inside_) return false;
        handled.push_back(MonotonicNow());
        inside_ = true;
        QCoreApplication::sendEvent(watched, e);
        inside_ = false;
        done.push_back(MonotonicNow());
        return true;
    }
    std::vector<MonotonicMicros> handled, done;

private:
    bool inside_ = false;
};

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int presses = argc > 1 ? std::atoi(argv[1]) : 100;
    const StereoSound pattern = LoneNote();

    const int latencyMs = BufferingMs(kDeviceBuffering, 44100.0);
    DeviceLikeRoot* root = nullptr;
    Main m;
    BenchPlatform platform{"tonemark-key-to-sound-bench"};
    m.platform = &platform;
    UseDeviceLikeRoot(m, root, latencyMs);
    MainWindow window(m);
    if (!StartShown(m, window, root)) return 1;
    RealTimeDevice device(root->Fluid(), kDeviceBuffering.periodSize, presses * 0.6 + 2);
    device.Start();

    QWidget* key = window.WidgetOf(m.ui.key[kKeyIndex]);
    HandlerLog handlerLog;
    key->installEventFilter(&handlerLog);
    std::vector<MonotonicMicros> pressedAt;
    std::mutex lock;
    std::atomic<bool> done{false};
    const QPointF where(10, 120);
    const QPointF globalWhere = key->mapToGlobal(where);
    // The events posted from the other thread name the mouse; Qt makes that
    // device object on first use, which has to be on this thread.
    (void)QPointingDevice::primaryPointingDevice();
    std::thread player([&] {
        std::mt19937 random(3);
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        auto post = [&](bool down) {
            const MonotonicMicros at = MonotonicNow();
            if (down) {
                std::lock_guard<std::mutex> g(lock);
                pressedAt.push_back(at);
            }
            auto* event = new QMouseEvent(down ? QEvent::MouseButtonPress : QEvent::MouseButtonRelease, where,
                                          globalWhere, Qt::LeftButton, down ? Qt::LeftButton : Qt::NoButton,
                                          Qt::NoModifier);
            event->setTimestamp(static_cast<quint64>(at / 1000));
            QCoreApplication::postEvent(key, event);
        };
        for (int i = 0; i < presses; ++i) {
            post(true);
            std::this_thread::sleep_for(std::chrono::milliseconds(80));
            post(false);
            // The reverb of the last note has faded to about -60 dBFS.
            std::this_thread::sleep_for(std::chrono::microseconds(std::uniform_int_distribution<int>(330'000, 470'000)(random)));
        }
        done = true;
    });
    RunUntil(done);
    player.join();
    device.Stop();

    const StereoSound& sound = device.Sound();
    const double rate = device.SampleRate();
    std::vector<double> total, toHandler, toRender;
    int missed = 0;
    std::map<std::int64_t, int> leadIns;  // the first sample's place in its 64-frame block
    for (std::size_t i = 0; i < pressedAt.size(); ++i) {
        // Frames rendered before the press cannot hold its note.
        const std::int64_t from = device.FrameAtOrAfter(pressedAt[i]);
        const std::int64_t to = from + static_cast<std::int64_t>(0.05 * rate);
        // The tail of the last note is at most this loud; the press is what rises above it.
        const float before = Loudest(sound, from - static_cast<std::int64_t>(0.02 * rate), from);
        const auto rise = FirstAbove(sound, from, to, std::max(kAudible, 3 * before));
        const auto shift = rise ? BestShift(sound, pattern, *rise - kLead - 320, *rise - kLead + 8, 1024) : std::nullopt;
        if (!shift) {
            ++missed;
            continue;
        }
        const std::int64_t first = *shift + kLead;
        const double heard = device.LeftSynthMicros(first) + latencyMs * 1000.0;
        total.push_back((heard - static_cast<double>(pressedAt[i])) / 1000.0);
        if (i < handlerLog.handled.size())
            toHandler.push_back(static_cast<double>(handlerLog.handled[i] - pressedAt[i]) / 1000.0);
        // FluidSynth starts a voice on a block boundary; the lone note's lead-in is the rest.
        const std::int64_t blockStart = first - first % 64;
        toRender.push_back((device.LeftSynthMicros(blockStart) - static_cast<double>(pressedAt[i])) / 1000.0);
        if (std::getenv("TONEMARK_BENCH_VERBOSE"))
            std::printf("press %zu: first sample %lld into its render call; handled after %.2f, done %.2f, block at %.2f, heard after %.2f ms\n", i,
                        static_cast<long long>(device.PlaceInCall(first)),
                        toHandler.empty() ? -1.0 : toHandler.back(), (handlerLog.done[i] - pressedAt[i]) / 1000.0, toRender.back(), total.back());
        ++leadIns[first % 64];
    }
    std::printf("key to sound, %zu presses of C4, %d-frame periods, output latency %d ms (BufferingMs)\n",
                total.size(), kDeviceBuffering.periodSize, latencyMs);
    const std::vector<double> late = device.Lateness();
    std::printf("  render calls late against the device's pace (ms): p50 %.2f  p99 %.2f  max %.2f%s\n",
                Percentile(late, 0.5), Percentile(late, 0.99), Percentile(late, 1.0),
                device.RealTime() ? "" : " (no real-time priority)");
    std::printf("press to first sample heard (ms):        p50 %.2f  p99 %.2f  max %.2f  (goal <= 10)\n",
                Percentile(total, 0.5), Percentile(total, 0.99), Percentile(total, 1.0));
    std::printf("  press to its handler (ms):             p50 %.2f  p99 %.2f  max %.2f\n", Percentile(toHandler, 0.5),
                Percentile(toHandler, 0.99), Percentile(toHandler, 1.0));
    std::printf("  press to the block that sounds it (ms): p50 %.2f  p99 %.2f  max %.2f\n", Percentile(toRender, 0.5),
                Percentile(toRender, 0.99), Percentile(toRender, 1.0));
    std::printf("  first sample's place in its synthesiser block:");
    for (const auto& [place, count] : leadIns) std::printf(" %lld (x%d)", static_cast<long long>(place), count);
    std::printf("\n");
    if (missed > 0) std::printf("%d presses were not found in the sound\n", missed);
    return missed > 0 ? 1 : 0;
}
