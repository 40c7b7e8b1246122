// The main window: shows the controls of a Main record and hands every user
// action and timer tick to the matching handler.
#pragma once

#include <QPointer>
#include <QWidget>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "app/event_time.h"
#include "app/main_form.h"

class QKeyEvent;
class QLabel;
class QTimer;

namespace tonemark {

class MillisecondTicker;
class PictureWidget;

class MainWindow : public QWidget {
public:
    explicit MainWindow(Main& m, QWidget* parent = nullptr);
    ~MainWindow() override;

    // Brings every widget up to date with the record.
    void Sync();
    // Runs a handler, then shows what it changed (unless `sync` is false: the
    // caller shows it). Nothing runs once the window has closed.
    void Handle(const std::function<void(Main&)>& handler, bool sync = true);

    QWidget* WidgetOf(const Control& c) const;
    QWidget* ScoreViewport() const { return screenno_; }
    // True while a handler runs: timer ticks wait, and catch up afterwards.
    bool Busy() const { return depth_ > 0; }
    // While held, clicks and keys wait, and run in order once it is let go
    // (the window is on show before the synthesiser has started).
    void HoldInput(bool hold);
    // The moment an input event stamped `stampMs` happened, on the monotonic clock.
    MonotonicMicros EventTime(quint64 stampMs);

protected:
    void closeEvent(QCloseEvent* event) override;
    // The computer keyboard plays the on-screen keys, whichever control has the focus.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* MakeWidget(Control& c, QWidget* parent);
    void Connect(Control& c, QWidget* w);
    void Show(const Control& c, QWidget* w);
    void CenterOnScreen();
    bool PlayComputerKey(QKeyEvent* event);
    void ReleaseHeldInput();

    struct HeldInput {
        QPointer<QObject> target;
        std::unique_ptr<QEvent> event;
    };
    std::vector<HeldInput> held_;

    Main& m_;
    std::map<const Control*, QWidget*> widgets_;
    std::map<const Control*, std::unique_ptr<Control>> shown_;
    QWidget* screenno_ = nullptr;
    PictureWidget* pic2_ = nullptr;
    PictureWidget* picScore_ = nullptr;
    MillisecondTicker* timer1_ = nullptr;
    MillisecondTicker* practiceTicker_ = nullptr;
    QTimer* timer2_ = nullptr;
    QTimer* timer3_ = nullptr;
    EventClock eventClock_;
    int depth_ = 0;
    bool syncing_ = false;
    bool closed_ = false;
    bool closeRequested_ = false;
    bool holdInput_ = false;
};

}  // namespace tonemark
