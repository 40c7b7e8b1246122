// A MIDI keyboard over a real JACK server (its dummy backend, no sound card):
// a melody sent on exact frames is heard by the window's MIDI input, sounds on
// the synthesiser note by note, and lands in the take on the times it was sent.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <unistd.h>

#include "app/lifecycle.h"
#include "app/qt/main_window.h"
#include "keyboard/recorder.h"
#include "midi_input/qt/midi_bridge.h"
#include "qt/qt_application.h"
#include "support/fake_synth.h"

namespace tonemark {
namespace {

struct RealClockPlatform : testing::TestPlatform {
    MonotonicMicros Now() override { return MonotonicNow(); }
};

struct Sent {
    double ms;  // after the first event, on the server's clock
    int status, note, velocity;
};

// Keeps the window's event loop running until `done` or `ms` have passed.
template <typename Done>
bool RunUntil(Done done, int ms) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > ms) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::usleep(500);
    }
    return true;
}

class JackMidiWindow : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string jackd = QStandardPaths::findExecutable("jackd").toStdString();
        ASSERT_FALSE(jackd.empty()) << "jackd (Debian jackd2) is needed; make test installs it";
        // The same name every run: JACK takes back a stale slot only by its name.
        server_ = "tonemark-midi-window-test";
        setenv("JACK_DEFAULT_SERVER", server_.c_str(), 1);
        setenv("JACK_NO_START_SERVER", "1", 1);
        jackd_.setProgram(QString::fromStdString(jackd));
        jackd_.setArguments({"--no-realtime", "-n", QString::fromStdString(server_), "-d", "dummy", "-r", "48000",
                             "-p", "256"});
        jackd_.setProcessChannelMode(QProcess::MergedChannels);
        jackd_.start();
        ASSERT_TRUE(jackd_.waitForStarted(5000));
        ASSERT_EQ(QProcess::execute("jack_wait", {"-w", "-t", "10"}), 0) << "the JACK server did not start";

        testing::EnsureApplication();
        m.platform = &platform;
        synth = testing::InstallFakeSynth(m);
        window = std::make_unique<MainWindow>(m);
        Form_Load(m);
        window->Sync();
        window->show();
        bridge = new MidiBridge(*window, 0);
        bridge->SetSynth(m.SynthRootHandle.get());
        ASSERT_TRUE(RunUntil([] { return QProcess::execute("jack_lsp", {"tonemark:midi_in"}) == 0; }, 5000))
            << "the program's MIDI port did not appear";
    }

    void TearDown() override {
        window.reset();  // the bridge and its JACK client go with it
        jackd_.terminate();
        jackd_.waitForFinished(5000);
        for (const auto& entry : std::filesystem::directory_iterator("/dev/shm"))
            if (entry.path().filename().string().find("jack-") == 0 &&
                entry.path().filename().string().find(server_) != std::string::npos)
                std::filesystem::remove_all(entry.path());
    }

    // Runs the sender to its end with the event loop going; what it sent.
    std::vector<Sent> Send(bool connectItself) {
        QProcess sender;
        sender.start("/usr/bin/python3", {QString(TONEMARK_TEST_SOURCE "/midi_input/jack_sender.py"),
                                          connectItself ? "--connect" : "--no-connect"});
        EXPECT_TRUE(sender.waitForStarted(5000));
        EXPECT_TRUE(RunUntil([&] { return sender.state() == QProcess::NotRunning; }, 15000));
        EXPECT_EQ(sender.exitCode(), 0) << sender.readAllStandardError().toStdString();
        std::istringstream out(sender.readAllStandardOutput().toStdString());
        std::vector<Sent> sent;
        double micros = 0, first = -1;
        std::string s, n, v;
        while (out >> micros >> s >> n >> v) {
            if (first < 0) first = micros;
            sent.push_back({(micros - first) / 1000.0, std::stoi(s, nullptr, 16), std::stoi(n, nullptr, 16),
                            std::stoi(v, nullptr, 16)});
        }
        return sent;
    }

    // The notes sounded (a pedal let go when a source leaves is not one).
    std::vector<std::array<int, 4>> Live() {
        std::lock_guard lock(synth->liveMutex);
        std::vector<std::array<int, 4>> notes;
        for (const auto& call : synth->live)
            if (call[1] != 0xB0) notes.push_back(call);
        return notes;
    }

    RealClockPlatform platform;
    Main m;
    std::shared_ptr<testing::FakeSynthState> synth;
    std::unique_ptr<MainWindow> window;
    MidiBridge* bridge = nullptr;
    std::string server_;
    QProcess jackd_;
};

TEST_F(JackMidiWindow, AMelodySentOnFramesIsHeardRecordedOnItsTimesAndHeardAgainAfterThePortCameBack) {
    window->Handle(Command2_Click);  // "Rec"
    const std::vector<Sent> sent = Send(true);
    ASSERT_EQ(sent.size(), 22u);
    EXPECT_TRUE(RunUntil([&] { return Live().size() >= sent.size(); }, 2000));
    window->Handle(Command3_Click);  // "Stop"

    // Every event sounded at once, with its own velocity; a release ends its own note only.
    const auto live = Live();
    ASSERT_EQ(live.size(), sent.size());
    for (std::size_t i = 0; i < sent.size(); ++i) {
        const bool on = (sent[i].status & 0xF0) == 0x90 && sent[i].velocity > 0;
        EXPECT_EQ(live[i], (std::array<int, 4>{0, on ? 0x90 : 0x80, sent[i].note, on ? sent[i].velocity : 0}))
            << "event " << i;
    }

    // The take's rows sit on the sent times (relative to the first), with the sent velocities.
    const auto& rows = m.ui.List2.rows;
    ASSERT_EQ(rows.size(), sent.size() + 2);
    for (std::size_t i = 0; i < sent.size(); ++i) {
        std::istringstream row(rows[i]);
        double ms = 0;
        int status = 0, note = 0, velocity = 0;
        row >> ms >> status >> note >> velocity;
        const bool on = (sent[i].status & 0xF0) == 0x90 && sent[i].velocity > 0;
        // The dummy server without real-time priority places a frame in time
        // only to within about one period (256 frames, 5.3 ms) as the two
        // clients read it at different moments; the take adds its 1 ms ticks.
        EXPECT_NEAR(ms, sent[i].ms, 6.5) << rows[i];
        EXPECT_EQ(status, on ? 144 : 128) << rows[i];
        EXPECT_EQ(note, sent[i].note) << rows[i];
        EXPECT_EQ(velocity, on ? sent[i].velocity : 0) << rows[i];
    }

    // The sender's port goes away with it and comes back under the same name:
    // the program connects it again by itself and plays it.
    const std::size_t before = Live().size();
    EXPECT_EQ(Send(false).size(), 22u);
    EXPECT_TRUE(RunUntil([&] { return Live().size() >= before + 22; }, 2000)) << Live().size() - before;
}

}  // namespace
}  // namespace tonemark
