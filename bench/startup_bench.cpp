// Start-up time of Tonemark against a bare Qt window with a list (bare_window,
// of this folder), both measured the same way, median over repeated runs that
// alternate between the two.
//
// Under X (DISPLAY set): one X connection watches the root window. The time
// runs from starting the process to the MapNotify of its window (the window
// whose _NET_WM_PID is the process), and to its first frame: the moment a
// patch of the screen near the window's top-left corner first differs from
// what was there before the process started (Qt's windows have no background
// of their own, so nothing changes there before the program's first paint is
// flushed). Both windows are 678 x 606 and centred; run it on a bare server
// such as Xvfb, with no window manager and nothing else at the centre.
//
// Under the offscreen platform (always, and alone without DISPLAY): each
// program's own report (TONEMARK_STARTUP_REPORT): milliseconds from main() to
// the first paint of its window done and flushed; Tonemark adds when the
// first note became playable (the window has the synthesiser, which starts
// after the first frame, and the SoundFont is read).
//
// TONEMARK_BENCH_BINARY names another Tonemark to measure (an older build).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#ifdef TONEMARK_BENCH_XCB
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>
#endif

namespace {

using Clock = std::chrono::steady_clock;

double Median(std::vector<double> v) {
    if (v.empty()) return -1;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

double MsSince(Clock::time_point t0) { return std::chrono::duration<double, std::milli>(Clock::now() - t0).count(); }

struct Program {
    std::string name;
    std::string binary;
    std::vector<double> mappedMs, frameMs;       // under X
    std::vector<double> reportMs, playableMs;    // offscreen, the program's own figures
};

std::string BenchTempDir() {
    const auto dir = std::filesystem::temp_directory_path() / "tonemark-startup-bench";
    std::filesystem::create_directories(dir);
    return dir.string();
}

// One offscreen run: the program prints its own figures and quits.
bool RunOffscreen(Program& p) {
    const std::string command = "TMPDIR=" + BenchTempDir() + " QT_QPA_PLATFORM=offscreen TONEMARK_STARTUP_REPORT=1 " +
                                p.binary + " 2>/dev/null";
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return false;
    char line[256] = {0};
    double frame = -1, playable = -1;
    while (fgets(line, sizeof line, pipe) != nullptr) {
        if (const char* at = std::strstr(line, "first-frame-ms ")) frame = std::atof(at + 15);
        if (const char* at = std::strstr(line, "playable-ms ")) playable = std::atof(at + 12);
    }
    pclose(pipe);
    if (frame < 0) return false;
    p.reportMs.push_back(frame);
    if (playable >= 0) p.playableMs.push_back(playable);
    return true;
}

#ifdef TONEMARK_BENCH_XCB

class XWatch {
public:
    bool Open() {
        int screenNumber = 0;
        c_ = xcb_connect(nullptr, &screenNumber);
        if (xcb_connection_has_error(c_)) return false;
        xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(c_));
        for (int i = 0; i < screenNumber; ++i) xcb_screen_next(&it);
        root_ = it.data->root;
        // Where a centred 678 x 606 window's top-left corner lies, a few pixels in.
        patchX_ = static_cast<std::int16_t>((it.data->width_in_pixels - 678) / 2 + 4);
        patchY_ = static_cast<std::int16_t>((it.data->height_in_pixels - 606) / 2 + 4);
        const std::uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
        xcb_change_window_attributes(c_, root_, XCB_CW_EVENT_MASK, &mask);
        xcb_intern_atom_reply_t* atom = xcb_intern_atom_reply(c_, xcb_intern_atom(c_, 0, 11, "_NET_WM_PID"), nullptr);
        if (atom == nullptr) return false;
        pidAtom_ = atom->atom;
        free(atom);
        xcb_flush(c_);
        return true;
    }
    ~XWatch() {
        if (c_ != nullptr) xcb_disconnect(c_);
    }

    // Starts `binary` and times its map and its first frame.
    bool Launch(Program& p) {
        Drain();
        const std::vector<std::uint8_t> before = Patch();
        const auto t0 = Clock::now();
        const pid_t pid = fork();
        if (pid == 0) {
            setenv("TMPDIR", BenchTempDir().c_str(), 1);
            unsetenv("QT_QPA_PLATFORM");
            unsetenv("TONEMARK_STARTUP_REPORT");
            execl(p.binary.c_str(), p.binary.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        if (pid < 0) return false;
        const std::optional<double> mapped = WaitForMap(pid, t0);
        std::optional<double> frame;
        while (mapped && !frame && MsSince(t0) < 10'000) {
            if (Patch() != before) frame = MsSince(t0);
            else usleep(200);
        }
        kill(pid, SIGTERM);
        waitpid(pid, nullptr, 0);
        usleep(100'000);  // the server takes the window away
        if (!mapped || !frame) return false;
        p.mappedMs.push_back(*mapped);
        p.frameMs.push_back(*frame);
        return true;
    }

private:
    void Drain() {
        while (xcb_generic_event_t* e = xcb_poll_for_event(c_)) free(e);
    }

    std::vector<std::uint8_t> Patch() {
        xcb_get_image_reply_t* image = xcb_get_image_reply(
            c_, xcb_get_image(c_, XCB_IMAGE_FORMAT_Z_PIXMAP, root_, patchX_, patchY_, 16, 16, ~0u), nullptr);
        if (image == nullptr) return {};
        const std::uint8_t* data = xcb_get_image_data(image);
        std::vector<std::uint8_t> bytes(data, data + xcb_get_image_data_length(image));
        free(image);
        return bytes;
    }

    bool OwnedBy(xcb_window_t window, pid_t pid) {
        xcb_get_property_reply_t* reply = xcb_get_property_reply(
            c_, xcb_get_property(c_, 0, window, pidAtom_, XCB_ATOM_CARDINAL, 0, 1), nullptr);
        if (reply == nullptr) return false;
        const bool owned = xcb_get_property_value_length(reply) == 4 &&
                           *static_cast<std::uint32_t*>(xcb_get_property_value(reply)) == static_cast<std::uint32_t>(pid);
        free(reply);
        return owned;
    }

    std::optional<double> WaitForMap(pid_t pid, Clock::time_point t0) {
        pollfd fd{xcb_get_file_descriptor(c_), POLLIN, 0};
        while (MsSince(t0) < 10'000) {
            while (xcb_generic_event_t* e = xcb_poll_for_event(c_)) {
                const bool map = (e->response_type & 0x7F) == XCB_MAP_NOTIFY;
                const xcb_window_t window = map ? reinterpret_cast<xcb_map_notify_event_t*>(e)->window : 0;
                free(e);
                if (map) {
                    const double at = MsSince(t0);
                    if (OwnedBy(window, pid)) return at;
                }
            }
            if (waitpid(pid, nullptr, WNOHANG) == pid) return std::nullopt;
            poll(&fd, 1, 1);
        }
        return std::nullopt;
    }

    xcb_connection_t* c_ = nullptr;
    xcb_window_t root_ = 0;
    xcb_atom_t pidAtom_ = 0;
    std::int16_t patchX_ = 0, patchY_ = 0;
};

#endif

void PrintRatio(const char* what, const std::vector<double>& tonemark, const std::vector<double>& bare) {
    const double t = Median(tonemark), b = Median(bare);
    std::printf("%-38s Tonemark %6.1f ms   bare window %6.1f ms   ratio %.2f\n", what, t, b, b > 0 ? t / b : 0.0);
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::atoi(argv[1]) : 11;
    const char* other = std::getenv("TONEMARK_BENCH_BINARY");
    Program tonemark{"Tonemark", other != nullptr && *other != '\0' ? other : TONEMARK_BINARY, {}, {}, {}, {}};
    Program bare{"bare window", BARE_WINDOW_BINARY, {}, {}, {}, {}};

    bool underX = false;
#ifdef TONEMARK_BENCH_XCB
    XWatch x;
    const char* display = std::getenv("DISPLAY");
    underX = display != nullptr && *display != '\0' && x.Open();
#endif
    for (int i = 0; i < runs; ++i) {
        for (Program* p : {&tonemark, &bare}) {
#ifdef TONEMARK_BENCH_XCB
            if (underX && !x.Launch(*p)) std::fprintf(stderr, "run %d: %s: no window or no frame under X\n", i, p->name.c_str());
#endif
            if (!RunOffscreen(*p)) std::fprintf(stderr, "run %d: %s reported nothing offscreen\n", i, p->name.c_str());
        }
    }
    std::printf("start-up, median of %d runs each (%s)\n", runs, tonemark.binary.c_str());
    if (underX) {
        PrintRatio("X: process start to window mapped", tonemark.mappedMs, bare.mappedMs);
        PrintRatio("X: process start to first frame", tonemark.frameMs, bare.frameMs);
    } else {
        std::printf("(no X display: only the offscreen figures)\n");
    }
    PrintRatio("offscreen: main() to first frame", tonemark.reportMs, bare.reportMs);
    if (!tonemark.playableMs.empty())
        std::printf("%-38s Tonemark %6.1f ms (song loaded, SoundFont read)\n", "offscreen: main() to first note playable",
                    Median(tonemark.playableMs));
    return 0;
}
