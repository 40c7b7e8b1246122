#include "app/qt/millisecond_ticker.h"

namespace tonemark {
namespace {
// After a long stall (a modal dialog, a suspended machine) the missed ticks
// are not all replayed; this many are, which covers any ordinary delay.
constexpr qint64 kMaxCatchUp = 250;
}  // namespace

MillisecondTicker::MillisecondTicker(std::function<bool()> enabled, std::function<bool()> mayRun,
                                     std::function<void()> tick, std::function<void()> after, QObject* parent)
    : QObject(parent),
      enabled_(std::move(enabled)),
      mayRun_(std::move(mayRun)),
      tick_(std::move(tick)),
      after_(std::move(after)) {
    timer_.setTimerType(Qt::PreciseTimer);
    timer_.setInterval(1);
    connect(&timer_, &QTimer::timeout, this, &MillisecondTicker::OnTimeout);
}

void MillisecondTicker::Follow() {
    const bool want = enabled_();
    if (want && !timer_.isActive()) {
        clock_.start();
        ticksDone_ = 0;
        timer_.start();
    } else if (!want && timer_.isActive()) {
        timer_.stop();
    }
}

void MillisecondTicker::OnTimeout() {
    if (inTick_ || !mayRun_()) return;
    inTick_ = true;
    const qint64 due = clock_.elapsed();
    if (due - ticksDone_ > kMaxCatchUp) ticksDone_ = due - kMaxCatchUp;
    while (ticksDone_ < due && enabled_()) {
        ++ticksDone_;
        tick_();
    }
    inTick_ = false;
    after_();
    Follow();
}

}  // namespace tonemark
