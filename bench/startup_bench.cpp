// Start-up time: from starting the program to its window shown with the
// synthesiser ready and the first scale loaded, median over repeated runs.
// The program reports its own figure (TONEMARK_STARTUP_REPORT); the SoundFont
// load is reported separately.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::atoi(argv[1]) : 11;
    std::vector<double> processMs, startupMs, soundFontMs;
    std::string audio;
    for (int i = 0; i < runs; ++i) {
        const auto t0 = std::chrono::steady_clock::now();
        FILE* p = popen("QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen} TONEMARK_STARTUP_REPORT=1 " TONEMARK_BINARY
                        " 2>/dev/null", "r");
        if (p == nullptr) return 1;
        char line[256] = {0};
        double startup = -1, soundFont = -1;
        char driver[64] = {0};
        while (fgets(line, sizeof line, p) != nullptr)
            std::sscanf(line, "startup-ms %lf soundfont-ms %lf audio %63s", &startup, &soundFont, driver);
        pclose(p);
        const double wall = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
        if (startup < 0) {
            std::fprintf(stderr, "run %d: the program reported nothing\n", i);
            return 1;
        }
        processMs.push_back(wall);
        startupMs.push_back(startup);
        soundFontMs.push_back(soundFont);
        audio = driver;
    }
    std::printf("start-up to window shown (median of %d): %.1f ms\n", runs, Median(startupMs));
    std::printf("SoundFont load, in the background:        %.1f ms\n", Median(soundFontMs));
    std::printf("whole process incl. exit:                 %.1f ms\n", Median(processMs));
    std::printf("audio output: %s\n", audio.c_str());
    return 0;
}
