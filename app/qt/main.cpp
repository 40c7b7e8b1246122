// Tonemark: scales, modes and chords written, engraved and played.
#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fontconfig/fontconfig.h>
#include <future>
#include <thread>
#include <utility>

#include "app/lifecycle.h"
#include "app/open_song.h"
#include "app/qt/main_window.h"
#include "app/qt/practice_window.h"
#include "app/qt/qt_platform.h"
#include "midi_input/qt/midi_bridge.h"
#include "sound/stand_in_synth.h"
#include "sound/synth_module.h"
#include "theory/qt/circle_window.h"

namespace {

using Clock = std::chrono::steady_clock;

// The synthesiser. Its module is loaded, and the synthesiser and its sound
// output made, on a thread of their own once the window's first frame is on
// the screen: loading it while Qt loads its own plugins holds both up, and on
// a machine with few cores it takes the time the window needs to appear. The
// window starts on the stand-in and takes the synthesiser as soon as it is
// there, which is long before anyone can click (and a click is held until then).
std::future<tonemark::LoadedSynth> synthInTheMaking;
tonemark::SynthRoot* synthRoot = nullptr;  // once the window has it; owned by its record
bool synthTaken = false;                   // the window has the synthesiser, or knows there is none
tonemark::MidiBridge* midiBridge = nullptr;  // MIDI keyboards play on the synthesiser once it is there

void StartMakingSynth() {
    if (synthInTheMaking.valid() || synthTaken) return;
    synthInTheMaking = std::async(std::launch::async, [] {
        return tonemark::LoadSynthModule(tonemark::SynthModuleBesideProgram());
    });
}

bool SynthMade() {
    return synthInTheMaking.valid() && synthInTheMaking.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
}

// The synthesiser for the window, and what it can do; the stand-in when there is none.
std::unique_ptr<tonemark::SynthRoot> TakeMadeSynth(tonemark::SoundStatus& status) {
    tonemark::LoadedSynth made = synthInTheMaking.valid()
                                     ? synthInTheMaking.get()
                                     : tonemark::LoadSynthModule(tonemark::SynthModuleBesideProgram());
    status = tonemark::SoundStatus{};
    if (made.root) status = made.root->StatusNow().value_or(tonemark::SoundStatus{});
    else status.message = "The synthesiser could not be started (" + made.problem + "): there is no sound.";
    synthRoot = made.root.get();
    synthTaken = true;
    // Without a synthesiser every score is still shown, in silence.
    return made.root ? std::move(made.root) : tonemark::MakeStandInSynth();
}

// Main::makeSynthRoot: at start-up the stand-in, as the synthesiser is not
// made yet; should the window ever ask again, the synthesiser itself.
std::unique_ptr<tonemark::SynthRoot> TakeSynth(tonemark::SoundStatus& status) {
    if (synthTaken || SynthMade()) return TakeMadeSynth(status);
    status = tonemark::SoundStatus{};
    return tonemark::MakeStandInSynth();
}

// Runs `then` once the window's first paint has gone through to the screen.
class AfterFirstFrame : public QObject {
public:
    AfterFirstFrame(QWidget& window, std::function<void()> then)
        : QObject(&window), window_(window), then_(std::move(then)) {
        window.installEventFilter(this);
    }

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == &window_ && event->type() == QEvent::Paint && then_) {
            // Runs after the paint pass this event belongs to, flush included.
            QTimer::singleShot(0, &window_, std::exchange(then_, nullptr));
            window_.removeEventFilter(this);
            deleteLater();
        }
        return false;
    }

private:
    QWidget& window_;
    std::function<void()> then_;
};

// A window that is not painted at once (started hidden or minimised) has
// its synthesiser started by then all the same.
constexpr int kLatestSynthStartMs = 250;

// Starts the synthesiser after the first frame and hands it to the window
// when it is made; clicks and keys wait until then. `notice`, what start-up
// said in the message line (about a song file given to open), stays there
// ahead of what the synthesiser has to say.
void StartSynthAfterFirstFrame(tonemark::MainWindow& window, std::string notice) {
    if (synthTaken) return;
    new AfterFirstFrame(window, StartMakingSynth);
    QTimer::singleShot(kLatestSynthStartMs, &window, StartMakingSynth);
    window.HoldInput(true);
    auto* poll = new QTimer(&window);
    poll->setInterval(1);
    QObject::connect(poll, &QTimer::timeout, &window, [&window, poll, notice = std::move(notice)] {
        if (window.Busy() || !SynthMade()) return;
        poll->stop();
        poll->deleteLater();
        tonemark::SoundStatus status;
        std::unique_ptr<tonemark::SynthRoot> root = TakeMadeSynth(status);
        window.Handle([&root, &status, &notice](tonemark::Main& m) {
            tonemark::SynthArrived(m, std::move(root), std::move(status));
            const std::string said = m.ui.StatusLine.caption;
            if (!notice.empty() && said.find(notice) == std::string::npos)
                m.Notify(notice + (said.empty() ? "" : " " + said));
        });
        if (midiBridge != nullptr) midiBridge->SetSynth(synthRoot);
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
        if ((!synthTaken || !read) && MsSince(started_) < 3000) return;
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
    // Set before any other thread can read the environment (see audio_driver.cpp).
    setenv("JACK_NO_START_SERVER", "1", 0);
    // Fontconfig reads its configuration when the first font is looked up,
    // which would be while the window is shown; it is read on a thread of its
    // own instead, while Qt starts.
    std::thread fontConfig([] { FcInit(); });
    QApplication app(argc, argv);
    QApplication::setApplicationName("Tonemark");
    // The window belongs to the installed desktop entry (and so has its icon).
    QGuiApplication::setDesktopFileName("tonemark");

    tonemark::Main m;
    tonemark::QtPlatform platform;
    m.platform = &platform;
    m.makeSynthRoot = TakeSynth;

    tonemark::MainWindow window(m);
    platform.showCircle = [&window] { tonemark::CircleWindow::Open(window); };
    platform.showPractice = [&window, &m] { tonemark::PracticeWindow::Open(window, m); };
    tonemark::Form_Load(m);
    // A MIDI file given on the command line (as a file manager does on a
    // double click) is opened as the song on show.
    const QStringList arguments = QCoreApplication::arguments();
    std::string openNotice;
    if (arguments.size() > 1) {
        tonemark::OpenSongFile(m, QFile::encodeName(QFileInfo(arguments.at(1)).absoluteFilePath()).toStdString());
        openNotice = m.ui.StatusLine.caption;
    }
    window.Sync();
    // Destroyed with the window, before the record that owns the synthesiser.
    midiBridge = new tonemark::MidiBridge(window, 200);
    StartSynthAfterFirstFrame(window, std::move(openNotice));
    std::unique_ptr<StartupReport> report;
    if (std::getenv("TONEMARK_STARTUP_REPORT") != nullptr) report = std::make_unique<StartupReport>(window, m, started);
    window.show();

    ArrangeScreenshot(window, m);
    const int status = QApplication::exec();
    // A synthesiser still in the making when the window closed goes here,
    // before the program's and its module's static objects do.
    if (synthInTheMaking.valid()) synthInTheMaking.get();
    if (fontConfig.joinable()) fontConfig.join();
    return status;
}
