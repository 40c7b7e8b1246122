// A PulseAudio of a test's own with a null sink, in a runtime folder of its
// own, so that no desktop sound is touched; PULSE_SERVER points at it while it
// lives. Also WaitFor, for the tests that wait on the sound server.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <thread>

namespace tonemark::testing {

using Clock = std::chrono::steady_clock;

inline bool WaitFor(const std::function<bool()>& done, std::chrono::seconds giveUp = std::chrono::seconds(20)) {
    const auto deadline = Clock::now() + giveUp;
    while (!done()) {
        if (Clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

// A PulseAudio of the test's own, in a runtime folder of its own, so that no
// desktop sound is touched; PULSE_SERVER points at it while the test runs.
class PrivateSoundServer {
public:
    // A short name: a socket's path is limited to about a hundred characters.
    PrivateSoundServer() {
        char name[] = "/tmp/tonemark-pa-XXXXXX";
        if (mkdtemp(name) != nullptr) dir_ = name;
        const char* old = std::getenv("PULSE_SERVER");
        if (old) oldServer_ = old;
        setenv("PULSE_SERVER", ("unix:" + (dir_ / "pulse" / "native").string()).c_str(), 1);
    }
    ~PrivateSoundServer() {
        Kill();
        if (oldServer_) setenv("PULSE_SERVER", oldServer_->c_str(), 1);
        else unsetenv("PULSE_SERVER");
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }
    static bool Installed() { return std::system("command -v pulseaudio >/dev/null 2>&1") == 0; }

    bool Start() {
        pid_ = fork();
        if (pid_ == 0) {
            setenv("XDG_RUNTIME_DIR", dir_.c_str(), 1);
            const int null = ::open("/dev/null", O_WRONLY);
            dup2(null, 1);
            dup2(null, 2);
            execlp("pulseaudio", "pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1", "--use-pid-file=no",
                   "--load=module-null-sink sink_name=tonemark_test", "--load=module-native-protocol-unix",
                   static_cast<char*>(nullptr));
            _exit(127);
        }
        return pid_ > 0 && WaitFor([this] { return std::filesystem::exists(dir_ / "pulse" / "native"); });
    }
    void Kill() {
        if (pid_ <= 0) return;
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
        pid_ = -1;
        std::error_code ignored;
        std::filesystem::remove(dir_ / "pulse" / "native", ignored);
    }

private:
    std::filesystem::path dir_;
    std::optional<std::string> oldServer_;
    pid_t pid_ = -1;
};

}  // namespace tonemark::testing
