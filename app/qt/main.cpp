// Tonemark: scales, modes and chords written, engraved and played.
#include <QApplication>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <thread>

#include "app/lifecycle.h"
#include "app/qt/main_window.h"
#include "app/qt/qt_platform.h"
#include "sound/fluid/fluid_synth.h"
#include "theory/qt/circle_window.h"

namespace {

using Clock = std::chrono::steady_clock;

tonemark::FluidSynthRoot* fluidRoot = nullptr;  // owned by the window's record

// The synthesiser and its sound output are made on a thread of their own
// while Qt starts and the window is built; Form_Load then takes them.
std::future<std::unique_ptr<tonemark::FluidSynthRoot>> synthInTheMaking;

void StartMakingFluidSynth() {
    // Set before any thread reads the environment (see audio_driver.cpp).
    setenv("JACK_NO_START_SERVER", "1", 0);
    synthInTheMaking = std::async(std::launch::async, [] { return tonemark::CreateFluidSynthRoot(tonemark::FluidOptions{}); });
}

std::unique_ptr<tonemark::SynthRoot> MakeFluidSynth(tonemark::SoundStatus& status) {
    auto root = synthInTheMaking.valid() ? synthInTheMaking.get() : tonemark::CreateFluidSynthRoot(tonemark::FluidOptions{});
    if (!root) {
        status.message = "The synthesiser could not be started: there is no sound.";
        return nullptr;
    }
    status = root->Status();
    fluidRoot = root.get();
    return root;
}

// With TONEMARK_STARTUP_REPORT set, the program prints how long it took from
// main() to its first frame (the window's first paint done and flushed) and
// until the first note could be played (the SoundFont read, at most a few
// seconds later), then quits.
class StartupReport : public QObject {
public:
    StartupReport(QWidget& window, tonemark::Main& m, Clock::time_point started)
        : window_(window), m_(m), started_(started) {
        window.installEventFilter(this);
    }

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched != &window_ || event->type() != QEvent::Paint || seen_) return false;
        seen_ = true;
        // Runs once the paint pass this event belongs to has been flushed.
        QTimer::singleShot(0, &window_, [this] {
            const double frame = MsSince(started_);
            for (int i = 0; i < 3000 && fluidRoot != nullptr && !fluidRoot->SoundFontReady(); ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            std::printf("first-frame-ms %.1f playable-ms %.1f soundfont-ms %.1f audio %s\n", frame, MsSince(started_),
                        fluidRoot != nullptr ? fluidRoot->Status().soundFontLoadMs : -1.0,
                        m_.sound.audioOutput ? m_.sound.driver.c_str() : "none");
            std::fflush(stdout);
            window_.close();
            QCoreApplication::quit();
        });
        return false;
    }

private:
    static double MsSince(Clock::time_point t) {
        return std::chrono::duration<double, std::milli>(Clock::now() - t).count();
    }

    QWidget& window_;
    tonemark::Main& m_;
    Clock::time_point started_;
    bool seen_ = false;
};

// TONEMARK_SCREENSHOT=path saves the window as a PNG once it has been shown
// (after TONEMARK_SCREENSHOT_DELAY_MS, default 800); with
// TONEMARK_QUIT_AFTER_SCREENSHOT the program then ends.
void ArrangeScreenshot(tonemark::MainWindow& window, tonemark::Main& m) {
    const char* path = std::getenv("TONEMARK_SCREENSHOT");
    if (path == nullptr || *path == '\0') return;
    const char* delay = std::getenv("TONEMARK_SCREENSHOT_DELAY_MS");
    const int ms = delay != nullptr ? std::atoi(delay) : 800;
    QTimer::singleShot(ms, &window, [&window, &m, file = QString::fromLocal8Bit(path)] {
        window.grab().save(file, "PNG");
        if (std::getenv("TONEMARK_QUIT_AFTER_SCREENSHOT") != nullptr) {
            window.close();
            (void)m;
            QCoreApplication::quit();
        }
    });
}

}  // namespace

int main(int argc, char* argv[]) {
    const auto started = Clock::now();
    StartMakingFluidSynth();
    QApplication app(argc, argv);
    QApplication::setApplicationName("Tonemark");

    tonemark::Main m;
    tonemark::QtPlatform platform;
    m.platform = &platform;
    m.makeSynthRoot = MakeFluidSynth;

    tonemark::MainWindow window(m);
    platform.showCircle = [&window] { tonemark::CircleWindow::Open(window); };
    tonemark::Form_Load(m);
    window.Sync();
    std::unique_ptr<StartupReport> report;
    if (std::getenv("TONEMARK_STARTUP_REPORT") != nullptr) report = std::make_unique<StartupReport>(window, m, started);
    window.show();

    ArrangeScreenshot(window, m);
    return QApplication::exec();
}
