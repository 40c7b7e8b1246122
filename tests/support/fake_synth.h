// A synthesiser that plays nothing: it records every call and MIDI message
// and reports whatever position and length the test gives it.
#pragma once

#include <array>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/main_form.h"

namespace tonemark::testing {

struct FakeSynthState {
    std::vector<std::string> calls;                 // operation names in call order
    std::vector<std::array<int, 4>> midi;           // channel, status, data1, data2 (sent at once)
    struct Scheduled {
        std::int64_t dueMicros;
        std::array<int, 4> message;  // channel, status, data1, data2
    };
    std::vector<Scheduled> scheduled;               // messages handed over with a due time
    int cancels = 0;                                // CancelScheduled calls
    std::set<std::string> failing;                  // operations that report failure
    std::int32_t position = 0;                      // what Position() answers
    std::int32_t length = 12288;                    // what Length() answers
    TimeSignature meter{4, 4};
    std::string lastLoadedPath;
    int rootsMade = 0;
    std::optional<SoundStatus> statusNow;           // what the root's StatusNow() answers
    std::mutex liveMutex;                           // PlayNow comes from input threads
    std::vector<std::array<int, 4>> live;           // channel, status, data1, data2 (PlayNow)
    std::optional<int> leadNow;                     // what the root's PositionLeadMsNow() answers

    bool Fails(const std::string& op) const { return failing.count(op) != 0; }
    int Count(const std::string& op) const;
};

// Makes `m` create fake synthesisers; returns the state they share.
std::shared_ptr<FakeSynthState> InstallFakeSynth(Main& m, int latencyMs = 6);

// A platform whose temporary directory is a fresh folder of the test's own.
class TestPlatform : public Platform {
public:
    TestPlatform();
    ~TestPlatform() override;
    TestPlatform(const TestPlatform&) = delete;
    TestPlatform& operator=(const TestPlatform&) = delete;

    std::string TempDirectory() override { return tempDirectory; }
    void DoEvents() override {
        ++doEvents;
        if (onDoEvents) onDoEvents();
    }
    void EndProgram() override { ended = true; }
    MonotonicMicros Now() override { return now; }
    std::string WriteWorkingFile(const std::string& path, const std::string& bytes) override {
        return writeFile ? writeFile(path, bytes) : Platform::WriteWorkingFile(path, bytes);
    }
    void ShowCircle() override { ++circleShown; }

    std::filesystem::path root;
    std::string tempDirectory;
    int doEvents = 0;
    bool ended = false;
    MonotonicMicros now = 5'000'000'000;  // a fake clock the test moves on
    int circleShown = 0;
    std::function<void()> onDoEvents;      // what "pending events" do, if anything
    // Replaces the working files' writer, to make it fail or to meddle with the file.
    std::function<std::string(const std::string& path, const std::string& bytes)> writeFile;
};

// The program just after start-up, on a fake synthesiser: C major loaded at
// 120 BPM.
class StartedProgram : public ::testing::Test {
protected:
    void SetUp() override;

    TestPlatform platform;  // outlives the program that uses it
    Main m;
    std::shared_ptr<FakeSynthState> synth;
};

}  // namespace tonemark::testing
