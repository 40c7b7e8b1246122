// Tonemark: scales, modes and chords written, engraved and played.
#include <QApplication>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <future>

#include "app/lifecycle.h"
#include "app/qt/main_window.h"
#include "app/qt/qt_platform.h"
#include "sound/stand_in_synth.h"
#include "sound/synth_module.h"
#include "theory/qt/circle_window.h"

namespace {

using Clock = std::chrono::steady_clock;

// The synthesiser: its module is loaded, and the synthesiser and its sound
// output made, on a thread of their own once Qt has started (loading it while
// Qt loads its own plugins would hold both up). The window starts on the
// stand-in, and takes the synthesiser as soon as it is there.
std::future<tonemark::LoadedSynth> synthInTheMaking;
tonemark::SynthRoot* synthRoot = nullptr;  // once the window has it; owned by its record
bool synthSettled = false;                 // the window has the synthesiser, or knows there is none
bool onStandIn = false;

void StartMakingSynth() {
    // Set before any thread reads the environment (see audio_driver.cpp).
    setenv("JACK_NO_START_SERVER", "1", 0);
    synthInTheMaking = std::async(std::launch::async, [] {
        return tonemark::LoadSynthModule(tonemark::SynthModuleBesideProgram());
    });
}

bool SynthMade() {
    return synthInTheMaking.valid() && synthInTheMaking.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
}

tonemark::SoundStatus StatusOf(const tonemark::LoadedSynth& made) {
    tonemark::SoundStatus status;
    if (made.root) status = made.root->StatusNow().value_or(tonemark::SoundStatus{});
    else status.message = "The synthesiser could not be started (" + made.problem + "): there is no sound.";
    return status;
}

// Main::makeSynthRoot: the synthesiser if it is there, else (at start-up) the stand-in.
std::unique_ptr<tonemark::SynthRoot> TakeSynth(tonemark::SoundStatus& status) {
    if (synthInTheMaking.valid() && !SynthMade()) {
        onStandIn = true;
        status = tonemark::SoundStatus{};
        return tonemark::MakeStandInSynth();
    }
    tonemark::LoadedSynth made = synthInTheMaking.valid()
                                     ? synthInTheMaking.get()
                                     : tonemark::LoadSynthModule(tonemark::SynthModuleBesideProgram());
    status = StatusOf(made);
    synthRoot = made.root.get();
    synthSettled = true;
    // Without a synthesiser every score is still shown, in silence.
    return made.root ? std::move(made.root) : tonemark::MakeStandInSynth();
}

// Hands the synthesiser to the window when it is made; clicks and keys wait until then.
void TakeSynthWhenMade(tonemark::MainWindow& window) {
    window.HoldInput(true);
    auto* poll = new QTimer(&window);
    poll->setInterval(1);
    QObject::connect(poll, &QTimer::timeout, &window, [&window, poll] {
        if (window.Busy() || !SynthMade()) return;
        poll->stop();
        poll->deleteLater();
        tonemark::LoadedSynth made = synthInTheMaking.get();
        tonemark::SoundStatus status = StatusOf(made);
        synthRoot = made.root.get();
        std::unique_ptr<tonemark::SynthRoot> root = made.root ? std::move(made.root) : tonemark::MakeStandInSynth();
        window.Handle([&root, &status](tonemark::Main& m) { tonemark::SynthArrived(m, std::move(root), std::move(status)); });
        synthSettled = true;
        window.HoldInput(false);
    });
    poll->start();
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
            frameMs_ = MsSince(started_);
            auto* poll = new QTimer(&window_);
            QObject::connect(poll, &QTimer::timeout, &window_, [this] { ReportWhenPlayable(); });
            poll->start(1);
        });
        return false;
    }

private:
    static double MsSince(Clock::time_point t) {
        return std::chrono::duration<double, std::milli>(Clock::now() - t).count();
    }

    // Playable: the window has the synthesiser, and the SoundFont is read (or
    // there is none); at most a few seconds after the first frame.
    void ReportWhenPlayable() {
        tonemark::SoundStatus sound;
        if (synthRoot != nullptr) sound = synthRoot->StatusNow().value_or(tonemark::SoundStatus{});
        const bool read = synthRoot == nullptr || sound.soundFontLoadMs > 0 || !sound.soundFontLoaded;
        if ((!synthSettled || !read) && MsSince(started_) < 3000) return;
        std::printf("first-frame-ms %.1f playable-ms %.1f soundfont-ms %.1f audio %s\n", frameMs_, MsSince(started_),
                    synthRoot != nullptr ? sound.soundFontLoadMs : -1.0,
                    m_.sound.audioOutput ? m_.sound.driver.c_str() : "none");
        std::fflush(stdout);
        window_.close();
        QCoreApplication::quit();
    }

    QWidget& window_;
    tonemark::Main& m_;
    Clock::time_point started_;
    bool seen_ = false;
    double frameMs_ = 0;
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
    QApplication app(argc, argv);
    QApplication::setApplicationName("Tonemark");
    StartMakingSynth();

    tonemark::Main m;
    tonemark::QtPlatform platform;
    m.platform = &platform;
    m.makeSynthRoot = TakeSynth;

    tonemark::MainWindow window(m);
    platform.showCircle = [&window] { tonemark::CircleWindow::Open(window); };
    tonemark::Form_Load(m);
    window.Sync();
    if (onStandIn) TakeSynthWhenMade(window);
    std::unique_ptr<StartupReport> report;
    if (std::getenv("TONEMARK_STARTUP_REPORT") != nullptr) report = std::make_unique<StartupReport>(window, m, started);
    window.show();

    ArrangeScreenshot(window, m);
    return QApplication::exec();
}
