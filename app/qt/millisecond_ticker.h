// Runs a handler once per elapsed millisecond of a monotonic clock. A 1 ms
// QTimer alone loses ticks when the event loop is busy; this catches them up.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <functional>

namespace tonemark {

class MillisecondTicker : public QObject {
    Q_OBJECT
public:
    // `mayRun` false holds the ticks back (another handler is running); they
    // are caught up at the next timeout.
    MillisecondTicker(std::function<bool()> enabled, std::function<bool()> mayRun, std::function<void()> tick,
                      std::function<void()> after, QObject* parent = nullptr);
    // Starts or stops counting to match `enabled()`.
    void Follow();

private:
    void OnTimeout();

    std::function<bool()> enabled_;
    std::function<bool()> mayRun_;
    std::function<void()> tick_;
    std::function<void()> after_;
    QTimer timer_;
    QElapsedTimer clock_;
    qint64 ticksDone_ = 0;
    bool inTick_ = false;
};

}  // namespace tonemark
