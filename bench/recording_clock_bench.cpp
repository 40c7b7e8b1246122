// How exactly a take stores the moments keys went down and up while the
// user-interface thread is stalled for 20 ms at random: presses and releases
// are posted to the window from another thread with the time they happened
// (as the window system stamps input), and each stored tick is compared with
// that true time. Prints p50, p99 and the largest error in milliseconds, and
// how late the events were handled.
#include <QApplication>
#include <QMouseEvent>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <random>
#include <thread>
#include <vector>

#include "bench_window.h"
#include "percentile.h"
#include "keyboard/recorder.h"

namespace {

using namespace tonemark;

struct Posted {
    MonotonicMicros at;
    bool down;
};

// Notes when each press and release reaches the key, before any handler.
class ArrivalLog : public QObject {
public:
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::MouseButtonPress || e->type() == QEvent::MouseButtonRelease) {
            arrivals.push_back(MonotonicNow());
            stamps.push_back(static_cast<QInputEvent*>(e)->timestamp());
        }
        return false;
    }
    std::vector<MonotonicMicros> arrivals;
    std::vector<quint64> stamps;
};

void BusyWait(std::chrono::microseconds d) {
    const auto end = std::chrono::steady_clock::now() + d;
    while (std::chrono::steady_clock::now() < end) {
    }
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int presses = argc > 1 ? std::atoi(argv[1]) : 120;

    Main m;
    m.makeSynthRoot = [](SoundStatus& status) -> std::unique_ptr<SynthRoot> {
        status.message = "no synthesiser in this benchmark";
        return nullptr;
    };
    MainWindow window(m);
    Form_Load(m);
    window.Sync();
    window.show();
    QWidget* key = window.WidgetOf(m.ui.key[0]);
    ArrivalLog arrivalLog;
    key->installEventFilter(&arrivalLog);
    window.Handle(Command2_Click);

    // The stalls: every 40-160 ms the user-interface thread is busy for 20 ms.
    std::mt19937 random(7);
    QTimer staller;
    staller.setSingleShot(true);
    QObject::connect(&staller, &QTimer::timeout, [&] {
        BusyWait(std::chrono::milliseconds(20));
        staller.start(std::uniform_int_distribution<int>(40, 160)(random));
    });
    staller.start(50);

    std::vector<Posted> posted;
    std::mutex lock;
    std::atomic<bool> done{false};
    const QPointF where(10, 120);
    const QPointF globalWhere = key->mapToGlobal(where);
    std::thread player([&] {
        std::mt19937 r(11);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        for (int i = 0; i < 2 * presses; ++i) {
            std::this_thread::sleep_for(std::chrono::microseconds(std::uniform_int_distribution<int>(30'000, 110'000)(r)));
            const bool down = i % 2 == 0;
            const MonotonicMicros at = MonotonicNow();
            {
                std::lock_guard<std::mutex> g(lock);
                posted.push_back({at, down});
            }
            auto* event = new QMouseEvent(down ? QEvent::MouseButtonPress : QEvent::MouseButtonRelease, where,
                                          globalWhere, Qt::LeftButton,
                                          down ? Qt::LeftButton : Qt::NoButton, Qt::NoModifier);
            event->setTimestamp(static_cast<quint64>(at / 1000));  // milliseconds, as the window system stamps
            QCoreApplication::postEvent(key, event);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        done = true;
    });
    RunUntil(done);
    player.join();

    // Where each event landed: the take's ticks, from the first press on.
    const MonotonicMicros start = m.Timer3Clock.Started();
    std::vector<std::int64_t> stored;
    for (std::size_t i = 0; i < m.state.RecTicks.size(); ++i)
        if (m.state.RecTicks[i] != 0) stored.push_back(static_cast<std::int64_t>(i));
    if (stored.size() != posted.size()) {
        std::printf("stored %zu events of %zu posted\n", stored.size(), posted.size());
        return 1;
    }
    // The tick model counts whole milliseconds: an event belongs to the first
    // tick due after it. Errors are measured against that tick, and against
    // the exact time (which the tick grid alone puts up to 1 ms away).
    auto dueTickAfter = [start](MonotonicMicros t) { return (t - start) / 1000 + 1; };
    const std::int64_t firstTick = dueTickAfter(posted[0].at);
    std::vector<double> tickErrors, timeErrors;
    for (std::size_t i = 0; i < posted.size(); ++i) {
        tickErrors.push_back(std::abs(static_cast<double>(stored[i] - (dueTickAfter(posted[i].at) - firstTick))));
        const double trueMs = (posted[i].at - start) / 1000.0 - static_cast<double>(firstTick - 1);
        timeErrors.push_back(std::abs(static_cast<double>(stored[i]) - trueMs));
    }
    std::vector<double> lateness;
    for (std::size_t i = 0; i < posted.size() && i < arrivalLog.arrivals.size(); ++i)
        lateness.push_back((arrivalLog.arrivals[i] - posted[i].at) / 1000.0);
    if (std::getenv("TONEMARK_BENCH_VERBOSE"))
        for (std::size_t i = 0; i < posted.size() && i < arrivalLog.stamps.size(); ++i)
            std::printf("posted %lld stamp %llu arrived %lld stored %lld\n", (long long)(posted[i].at / 1000),
                        (unsigned long long)arrivalLog.stamps[i], (long long)(arrivalLog.arrivals[i] / 1000),
                        (long long)stored[i]);
    std::printf("recording clock, %zu events, UI thread stalled 20 ms every 40-160 ms\n", posted.size());
    std::printf("events handled late by (ms): p50 %.2f  p99 %.2f  max %.2f\n", Percentile(lateness, 0.5),
                Percentile(lateness, 0.99), Percentile(lateness, 1.0));
    std::printf("stored tick vs the tick of the true time (ms): p50 %.2f  p99 %.2f  max %.2f\n",
                Percentile(tickErrors, 0.5), Percentile(tickErrors, 0.99), Percentile(tickErrors, 1.0));
    std::printf("stored tick vs the true time itself (ms): p50 %.2f  p99 %.2f  max %.2f\n", Percentile(timeErrors, 0.5),
                Percentile(timeErrors, 0.99), Percentile(timeErrors, 1.0));
    return 0;
}
