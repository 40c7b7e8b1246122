// A MIDI keyboard over a real JACK server (its dummy backend, no sound card):
// a melody sent on exact frames is heard by the window's MIDI input, sounds on
// the synthesiser note by note, and lands in the take on the times it was sent.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>
#include <algorithm>
#include <cstdlib>
#include <functional>
#include <map>
#include <set>
#include <filesystem>
#include <sstream>
#include <unistd.h>

#include "app/lifecycle.h"
#include "app/qt/main_window.h"
#include "keyboard/keys.h"
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
bool RunUntil(Done done, int ms, const std::function<void()>& meanwhile = {}) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > ms) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        if (meanwhile) meanwhile();
        QThread::usleep(500);
    }
    return true;
}

struct Row {
    double ms;
    int status, note, velocity;
};

std::vector<Row> Rows(const std::vector<std::string>& list) {
    std::vector<Row> rows;
    for (const std::string& text : list) {
        std::istringstream in(text);
        Row row{};
        if (in >> row.ms >> row.status >> row.note >> row.velocity && (row.status == 144 || row.status == 128))
            rows.push_back(row);
    }
    return rows;
}

bool IsNoteOn(const Sent& e) { return (e.status & 0xF0) == 0x90 && e.velocity > 0; }

// The row of `sent[i]`, timed from the first event sent and the first row.
void ExpectRowOf(const Row& row, const Row& first, const std::vector<Sent>& sent, std::size_t i, double within) {
    EXPECT_NEAR(row.ms - first.ms, sent[i].ms, within) << "event " << i;
    EXPECT_EQ(row.status, IsNoteOn(sent[i]) ? 144 : 128) << "event " << i;
    EXPECT_EQ(row.note, sent[i].note) << "event " << i;
    EXPECT_EQ(row.velocity, IsNoteOn(sent[i]) ? sent[i].velocity : 0) << "event " << i;
}

// No note of the take is left hanging: each press has its release.
void ExpectEveryPressReleased(const std::vector<Row>& rows) {
    std::map<int, int> held;
    for (const Row& row : rows) held[row.note] += row.status == 144 ? 1 : -1;
    for (const auto& [note, count] : held) EXPECT_EQ(count, 0) << "note " << note;
}

class JackMidiWindow : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string jackd = QStandardPaths::findExecutable("jackd").toStdString();
        ASSERT_FALSE(jackd.empty()) << "jackd (Debian jackd2) is needed; make test installs it";
        // A name of each test's own, the same every run: tests run side by
        // side, and JACK takes back a stale server slot only by its name.
        const std::string test = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        server_ = "tonemark-midi-" + std::to_string(std::hash<std::string>{}(test) % 100000);
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
        // The server's own files (jack_NAME_..., jack_sem.UID_NAME_...); a
        // killed server leaves them behind.
        for (const auto& entry : std::filesystem::directory_iterator("/dev/shm")) {
            const std::string name = entry.path().filename().string();
            if (name.rfind("jack", 0) == 0 && name.find("_" + server_ + "_") != std::string::npos)
                std::filesystem::remove_all(entry.path());
        }
    }

    // Runs the sender to its end with the event loop going; what it sent.
    std::vector<Sent> Send(bool connectItself, QStringList more = {}) {
        QProcess sender;
        StartSender(sender, QStringList{connectItself ? "--connect" : "--no-connect"} + more);
        EXPECT_TRUE(RunUntil([&] { return sender.state() == QProcess::NotRunning; }, 30000, [&] { Listen(); }));
        EXPECT_EQ(sender.exitCode(), 0) << sender.readAllStandardError().toStdString();
        return Read(sender);
    }

    // Keeps every text the message line shows, in turn.
    void Listen() {
        const std::string& caption = m.ui.StatusLine.caption;
        if (!caption.empty() && (said.empty() || said.back() != caption)) said.push_back(caption);
    }
    // How many times the message line showed `text`.
    long Told(const std::string& text) const { return std::count(said.begin(), said.end(), text); }

    void StartSender(QProcess& sender, const QStringList& arguments) {
        sender.start("/usr/bin/python3", QStringList{TONEMARK_TEST_SOURCE "/midi_input/jack_sender.py"} + arguments);
        EXPECT_TRUE(sender.waitForStarted(5000));
    }

    // The melody's events as the sender says it sent them.
    static std::vector<Sent> Read(QProcess& sender) {
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
    std::vector<std::string> said;
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
    // the program says so each time, connects it again by itself and plays it.
    EXPECT_TRUE(RunUntil([&] { return Told("MIDI source gone: sender:out. It plays again when it comes back.") == 1; },
                         2000, [&] { Listen(); }));
    const std::size_t before = Live().size();
    EXPECT_EQ(Send(false).size(), 22u);
    EXPECT_TRUE(RunUntil([&] { return Live().size() >= before + 22; }, 2000)) << Live().size() - before;
    EXPECT_EQ(Told("MIDI keyboard connected: sender:out."), 2);
    EXPECT_TRUE(RunUntil([&] { return Told("MIDI source gone: sender:out. It plays again when it comes back.") == 2; },
                         2000, [&] { Listen(); }));
}

TEST_F(JackMidiWindow, AFloodWithBytesThatAreNoMessageLeavesTheTakeAsPlayedAroundItAndIsTold) {
    window->Handle(Command2_Click);  // "Rec"
    std::set<std::string> said;      // every text the message line showed
    QProcess sender;
    StartSender(sender, {"--connect", "--flood", "3"});
    EXPECT_TRUE(RunUntil([&] { return sender.state() == QProcess::NotRunning; }, 30000,
                         [&] { said.insert(m.ui.StatusLine.caption); }));
    const std::vector<Sent> sent = Read(sender);
    ASSERT_EQ(sent.size(), 22u) << sender.readAllStandardError().toStdString();
    RunUntil([] { return false; }, 300, [&] { said.insert(m.ui.StatusLine.caption); });
    window->Handle(Command3_Click);  // "Stop"

    auto toldOf = [&](const char* part) {
        return std::any_of(said.begin(), said.end(), [&](const std::string& text) { return text.find(part) != std::string::npos; });
    };
    EXPECT_TRUE(toldOf("no MIDI message")) << "the malformed bytes are told of";
    EXPECT_TRUE(toldOf("some notes were not recorded")) << "the flood's lost notes are told of";

    // The melody before the flood and after it: every note where and how it was played.
    const std::vector<Row> rows = Rows(m.ui.List2.rows);
    ASSERT_GE(rows.size(), sent.size());
    for (std::size_t i = 0; i < 8; ++i) ExpectRowOf(rows[i], rows[0], sent, i, 6.5);
    const std::size_t after = rows.size() - 14;
    for (std::size_t i = 8; i < sent.size(); ++i) ExpectRowOf(rows[after + i - 8], rows[0], sent, i, 6.5);
    ExpectEveryPressReleased(rows);
    // The flood's notes the take kept lie within the flood.
    for (std::size_t i = 8; i < after; ++i) {
        EXPECT_GT(rows[i].ms - rows[0].ms, sent[7].ms) << i;
        EXPECT_LT(rows[i].ms - rows[0].ms, sent[8].ms - 250) << i;
    }

    // The melody's notes sounded with their velocities, the malformed bytes not at all.
    const auto live = Live();
    ASSERT_GE(live.size(), sent.size());
    for (std::size_t i = 0; i < sent.size(); ++i) {
        const auto& call = i < 8 ? live[i] : live[live.size() - sent.size() + i];
        EXPECT_EQ(call, (std::array<int, 4>{0, IsNoteOn(sent[i]) ? 0x90 : 0x80, sent[i].note,
                                            IsNoteOn(sent[i]) ? sent[i].velocity : 0}))
            << "event " << i;
    }
    EXPECT_LE(live.size(), sent.size() + 30000) << "one call per note event sent, none for the malformed bytes";
}

TEST_F(JackMidiWindow, TheServerGoingAwayMidTakeLeavesTheTakeAsPlayedAndIsTold) {
    window->Handle(Command2_Click);  // "Rec"
    QProcess sender;
    StartSender(sender, {"--connect"});
    // Ten events in (a note held), the server is killed.
    ASSERT_TRUE(RunUntil([&] { return Live().size() >= 10; }, 15000));
    jackd_.kill();
    ASSERT_TRUE(jackd_.waitForFinished(5000));
    EXPECT_TRUE(RunUntil([&] { return m.ui.StatusLine.caption.find("JACK server went away") != std::string::npos; },
                         5000));
    EXPECT_TRUE(RunUntil([&] { return sender.state() == QProcess::NotRunning; }, 15000));
    const std::vector<Sent> sent = Read(sender);
    window->Handle(Command3_Click);  // "Stop"

    // What was heard before the server went is in the take as played; the
    // notes it held are let go there, and no key stays lit.
    const auto live = Live();
    std::size_t heard = 0;
    while (heard < live.size() && heard < sent.size() && live[heard][2] == sent[heard].note &&
           live[heard][1] == (IsNoteOn(sent[heard]) ? 0x90 : 0x80))
        ++heard;
    ASSERT_GE(heard, 10u);
    const std::vector<Row> rows = Rows(m.ui.List2.rows);
    ASSERT_GE(rows.size(), heard);
    for (std::size_t i = 0; i < heard; ++i) ExpectRowOf(rows[i], rows[0], sent, i, 6.5);
    for (std::size_t i = heard; i < rows.size(); ++i) EXPECT_EQ(rows[i].status, 128) << "only releases follow";
    ExpectEveryPressReleased(rows);
    for (std::size_t k = 0; k < 25; ++k) EXPECT_FALSE(m.ui.key[k].pressed) << "key " << k;

    // The window goes on: another take with the mouse's keys is recorded.
    window->Handle(Command2_Click);
    window->Handle([](Main& mm) { KeyDownAt(mm, 0, mm.platform->Now()); });
    RunUntil([] { return false; }, 50);
    window->Handle([](Main& mm) { KeyUpAt(mm, 0, mm.platform->Now()); });
    RunUntil([] { return false; }, 50);
    window->Handle(Command3_Click);
    EXPECT_EQ(Rows(m.ui.List2.rows).size(), 2u);
}

}  // namespace
}  // namespace tonemark
