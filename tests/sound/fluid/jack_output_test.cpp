// The program's own JACK output against a dummy JACK server started by the
// test (skipped where jackd is not installed): what it renders at the
// synthesiser's rate arrives at the server's rate at the right pitch; a render
// thread that falls behind makes the ring grow; a server that goes away stops
// the output without hanging it.
#include "sound/fluid/jack_output.h"

#include <gtest/gtest.h>
#include <jack/jack.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "support/private_sound_server.h"

namespace tonemark {
namespace {

using Clock = std::chrono::steady_clock;

using testing::WaitFor;

// A dummy JACK server at 48 kHz. Each test has a name of its own, the same
// from run to run: JACK keeps a few server slots in shared memory, and only a
// slot of the same name is taken back from a server that did not end well.
class DummyJack {
public:
    explicit DummyJack(std::string name) : name_(std::move(name)) {}
    ~DummyJack() { Kill(); }
    static bool Installed() { return std::system("command -v jackd >/dev/null 2>&1") == 0; }
    bool Start() {
        pid_ = fork();
        if (pid_ == 0) {
            setenv("JACK_NO_START_SERVER", "1", 1);
            freopen("/dev/null", "w", stdout);
            freopen("/dev/null", "w", stderr);
            execlp("jackd", "jackd", "--no-realtime", "-n", name_.c_str(), "-d", "dummy", "-r", "48000", "-p", "256",
                   static_cast<char*>(nullptr));
            _exit(127);
        }
        return pid_ > 0 && WaitFor([this] {
                   jack_status_t status{};
                   jack_client_t* probe = jack_client_open(
                       "probe", static_cast<jack_options_t>(JackNoStartServer | JackServerName), &status, name_.c_str());
                   if (probe) jack_client_close(probe);
                   return probe != nullptr;
               });
    }
    void Kill() {
        if (pid_ <= 0) return;
        kill(pid_, SIGTERM);  // it gives its slot back
        waitpid(pid_, nullptr, 0);
        pid_ = -1;
        std::system(("rm -f /dev/shm/jack_sem.*_" + name_ + "_* 2>/dev/null").c_str());
    }
    const std::string& Name() const { return name_; }

private:
    std::string name_;
    pid_t pid_ = -1;
};

// A client that records what reaches its input port.
class Capture {
public:
    explicit Capture(const std::string& server) : samples_(48000 * 4) {
        jack_status_t status{};
        client_ = jack_client_open("capture", static_cast<jack_options_t>(JackNoStartServer | JackServerName), &status,
                                   server.c_str());
        if (!client_) return;
        port_ = jack_port_register(client_, "in", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
        jack_set_process_callback(client_, OnProcess, this);
        jack_activate(client_);
    }
    ~Capture() {
        if (client_) jack_client_close(client_);
    }
    bool ConnectFrom(const std::string& port) {
        return client_ && jack_connect(client_, port.c_str(), jack_port_name(port_)) == 0;
    }
    std::size_t Count() const { return count_.load(); }
    const std::vector<float>& Samples() const { return samples_; }

private:
    static int OnProcess(jack_nframes_t frames, void* self) {
        auto* c = static_cast<Capture*>(self);
        const auto* in = static_cast<const float*>(jack_port_get_buffer(c->port_, frames));
        std::size_t n = c->count_.load();
        for (jack_nframes_t i = 0; i < frames && n < c->samples_.size(); ++i) c->samples_[n++] = in[i];
        c->count_ = n;
        return 0;
    }
    jack_client_t* client_ = nullptr;
    jack_port_t* port_ = nullptr;
    std::vector<float> samples_;
    std::atomic<std::size_t> count_{0};
};

// A 441 Hz sine at 44.1 kHz; `beforeCall` runs first in each call (to stall one).
RenderCall Sine(std::atomic<int>& calls, std::function<void(int call)> beforeCall = {}) {
    auto phase = std::make_shared<double>(0);
    return [&calls, phase, beforeCall](float* left, float* right, int frames) {
        const int call = calls++;
        if (beforeCall) beforeCall(call);
        for (int i = 0; i < frames; ++i) {
            left[i] = right[i] = static_cast<float>(0.5 * std::sin(*phase));
            *phase += 2 * M_PI * 441.0 / 44100.0;
        }
    };
}

TEST(JackOutput, PlaysAtTheServersRateAtThePitchRendered) {
    if (!DummyJack::Installed()) GTEST_SKIP() << "jackd is not installed";
    DummyJack server("tonemark-out-pitch");
    ASSERT_TRUE(server.Start());
    std::atomic<int> calls{0};
    auto output = JackOutput::Open(44100.0, Sine(calls), JackBufferSteps(), server.Name());
    ASSERT_NE(output, nullptr);
    EXPECT_EQ(output->Name(), "jack");
    EXPECT_EQ(output->BufferMs(), 5);
    Capture capture(server.Name());
    ASSERT_TRUE(capture.ConnectFrom("tonemark-sound:out_l"));
    ASSERT_TRUE(WaitFor([&] { return capture.Count() >= 48000; }));
    // The spacing of upward zero crossings, well after the connection: 441 Hz
    // at 48 kHz is 108.8 frames, where unconverted sound would give 100. (The
    // median, so that a cycle the busy machine left short does not count.)
    const auto& s = capture.Samples();
    std::vector<double> spacing;
    double last = -1;
    for (std::size_t i = 4801; i < 4800 + 48000; ++i) {
        if (!(s[i - 1] < 0 && s[i] >= 0)) continue;
        const double at = static_cast<double>(i - 1) + s[i - 1] / (s[i - 1] - s[i]);
        if (last >= 0) spacing.push_back(at - last);
        last = at;
    }
    ASSERT_GT(spacing.size(), 300u);
    std::nth_element(spacing.begin(), spacing.begin() + spacing.size() / 2, spacing.end());
    EXPECT_NEAR(spacing[spacing.size() / 2], 48000.0 / 441.0, 0.2);
    // The ring as the policy set it, the period, and the latency the server
    // reports for the ports it plays through (the dummy one says two periods).
    const MonotonicMicros ring = output->BufferMs() * MonotonicMicros{1000};
    const MonotonicMicros period = 5333;
    EXPECT_GE(output->SteadyLatencyMicros(), ring + period - 100);
    EXPECT_LE(output->SteadyLatencyMicros(), ring + 3 * period + 100);
}

TEST(JackOutput, ARenderThreadThatFallsBehindGrowsTheRingAndALostServerStopsIt) {
    if (!DummyJack::Installed()) GTEST_SKIP() << "jackd is not installed";
    DummyJack server("tonemark-out-stall");
    ASSERT_TRUE(server.Start());
    std::atomic<int> calls{0};
    // Two stalls of 40 ms, a quarter of a second apart, once the sound runs.
    auto stall = [](int call) {
        if (call == 2000 || call == 2200) std::this_thread::sleep_for(std::chrono::milliseconds(40));
    };
    auto output = JackOutput::Open(44100.0, Sine(calls, stall), JackBufferSteps(), server.Name());
    ASSERT_NE(output, nullptr);
    ASSERT_TRUE(WaitFor([&] { return output->Underruns() >= 2; })) << output->Underruns();
    EXPECT_TRUE(WaitFor([&] { return output->BufferMs() > 5; })) << output->BufferMs();
    EXPECT_TRUE(output->Trouble().empty()) << "one step up is not the largest";
    EXPECT_FALSE(output->Lost());

    server.Kill();
    EXPECT_TRUE(WaitFor([&] { return output->Lost(); }));
    const int before = calls.load();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(calls.load(), before) << "nothing is rendered for a server that is gone";
    output.reset();  // returns: nothing waits on the server that is gone
}

// A render thread held up for a tenth of a second: the cycles meanwhile play
// silence, and the sound rendered for their time is dropped when it comes, so
// that what follows is heard on time. Counted in the server's own frames.
TEST(JackOutput, AfterAShortfallTheSoundIsBackOnTheServersClock) {
    if (!DummyJack::Installed()) GTEST_SKIP() << "jackd is not installed";
    DummyJack server("tonemark-out-ontime");
    ASSERT_TRUE(server.Start());
    std::atomic<int> calls{0};
    auto stall = [](int call) {
        if (call == 1200) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    };
    auto output = JackOutput::Open(44100.0, Sine(calls, stall), JackBufferSteps(), server.Name());
    ASSERT_NE(output, nullptr);
    Capture capture(server.Name());
    // How far the frames rendered (64 a call, at 44.1 kHz) run ahead of the
    // server's frames, in milliseconds.
    const auto lead = [&] {
        const double rendered = calls.load() * 64 / 44.1;
        return rendered - capture.Count() / 48.0;
    };
    ASSERT_TRUE(WaitFor([&] { return calls.load() >= 800; }));
    const double before = lead();
    const MonotonicMicros latencyBefore = output->LatencyMicros();
    // Within the four seconds the capture keeps.
    ASSERT_TRUE(WaitFor([&] { return calls.load() >= 2200; }));
    EXPECT_GE(output->Underruns(), 1u);
    EXPECT_GT(lead() - before, -20.0) << "sound that only picked up where it stopped would be 95 ms behind";
    EXPECT_LT(output->LatencyMicros() - latencyBefore, 30'000) << "the late sound is dropped, not kept queued";
}

}  // namespace
}  // namespace tonemark
