// What Tonemark's start-up is compared with: a bare Qt window of the same
// size with one list of sixteen rows, and nothing else. With
// TONEMARK_STARTUP_REPORT set it prints, as Tonemark does, the milliseconds
// from main() to its first frame (the first paint of the window, done and
// flushed) and quits.
#include <QApplication>
#include <QListWidget>
#include <QScreen>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <cstdlib>

namespace {

using Clock = std::chrono::steady_clock;

// Prints once the first paint of `window` has gone through.
class FirstFrameReport : public QObject {
public:
    FirstFrameReport(QWidget& window, Clock::time_point started) : window_(window), started_(started) {
        window.installEventFilter(this);
    }

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == &window_ && event->type() == QEvent::Paint && !seen_) {
            seen_ = true;
            // Runs after the paint pass that this event belongs to, flush included.
            QTimer::singleShot(0, &window_, [this] {
                const double ms = std::chrono::duration<double, std::milli>(Clock::now() - started_).count();
                std::printf("first-frame-ms %.1f\n", ms);
                std::fflush(stdout);
                QCoreApplication::quit();
            });
        }
        return false;
    }

private:
    QWidget& window_;
    Clock::time_point started_;
    bool seen_ = false;
};

}  // namespace

int main(int argc, char* argv[]) {
    const auto started = Clock::now();
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle("Bare");
    window.setFixedSize(678, 606);
    auto* list = new QListWidget(&window);
    list->setGeometry(16, 270, 149, 212);
    for (int row = 1; row <= 16; ++row) list->addItem(QString("Row %1").arg(row));
    list->setCurrentRow(0);
    // Centred, as Tonemark's window is.
    if (QScreen* screen = QApplication::primaryScreen())
        window.move(screen->availableGeometry().center() - window.rect().center());
    std::unique_ptr<FirstFrameReport> report;
    if (std::getenv("TONEMARK_STARTUP_REPORT") != nullptr) report = std::make_unique<FirstFrameReport>(window, started);
    window.show();
    return QApplication::exec();
}
