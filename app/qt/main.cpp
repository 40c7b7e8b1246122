// Tonemark: scales, modes and chords written, engraved and played.
#include <QApplication>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "app/lifecycle.h"
#include "app/qt/main_window.h"
#include "app/qt/qt_platform.h"
#include "sound/fluid/fluid_synth.h"
#include "theory/qt/circle_window.h"

namespace {

using Clock = std::chrono::steady_clock;

tonemark::FluidSynthRoot* fluidRoot = nullptr;  // owned by the window's record

std::unique_ptr<tonemark::SynthRoot> MakeFluidSynth(tonemark::SoundStatus& status) {
    auto root = tonemark::CreateFluidSynthRoot(tonemark::FluidOptions{});
    if (!root) {
        status.message = "The synthesiser could not be started: there is no sound.";
        return nullptr;
    }
    status = root->Status();
    fluidRoot = root.get();
    return root;
}

// The SoundFont is read in the background; for the start-up report, wait
// for it (at most a few seconds) and say how long it took.
double SoundFontLoadMs() {
    if (fluidRoot == nullptr) return -1;
    for (int i = 0; i < 300 && !fluidRoot->SoundFontReady(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return fluidRoot->Status().soundFontLoadMs;
}

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
    window.show();

    if (std::getenv("TONEMARK_STARTUP_REPORT") != nullptr) {
        QTimer::singleShot(0, &window, [&] {
            const double ms = std::chrono::duration<double, std::milli>(Clock::now() - started).count();
            std::printf("startup-ms %.1f soundfont-ms %.1f audio %s\n", ms, SoundFontLoadMs(),
                        m.sound.audioOutput ? m.sound.driver.c_str() : "none");
            std::fflush(stdout);
            window.close();
            QCoreApplication::quit();
        });
    }
    ArrangeScreenshot(window, m);
    return QApplication::exec();
}
