// Keeps the synthesiser running at real-time pace when there is no sound
// device: a thread renders into a scratch buffer, block after block, timed by
// the monotonic clock, so that MIDI files advance exactly as they would with
// sound. A late thread catches up by rendering the missed blocks at once.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

namespace tonemark {

class SilentClock {
public:
    using RenderBlock = std::function<void(int frames)>;

    SilentClock(RenderBlock render, double sampleRate, int blockFrames);
    ~SilentClock();
    SilentClock(const SilentClock&) = delete;
    SilentClock& operator=(const SilentClock&) = delete;

    std::int64_t FramesRendered() const { return framesRendered_.load(); }

private:
    void Run();

    RenderBlock render_;
    double sampleRate_;
    int blockFrames_;
    std::atomic<std::int64_t> framesRendered_{0};
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stopping_ = false;
    std::thread thread_;
};

}  // namespace tonemark
