#include "sound/fluid/silent_clock.h"

#include <chrono>

namespace tonemark {
namespace {

using Clock = std::chrono::steady_clock;

// Beyond this backlog (a suspended machine, a stopped debugger) the clock
// starts afresh instead of racing through the missed time.
constexpr auto kLongestCatchUp = std::chrono::seconds(1);

}  // namespace

SilentClock::SilentClock(RenderBlock render, double sampleRate, int blockFrames)
    : render_(std::move(render)), sampleRate_(sampleRate), blockFrames_(blockFrames) {
    thread_ = std::thread([this] { Run(); });
}

SilentClock::~SilentClock() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
}

void SilentClock::Run() {
    auto origin = Clock::now();
    std::int64_t framesSinceOrigin = 0;
    std::unique_lock<std::mutex> lock(mutex_);
    while (!stopping_) {
        lock.unlock();
        render_(blockFrames_);
        lock.lock();
        framesSinceOrigin += blockFrames_;
        framesRendered_ += blockFrames_;
        const auto due = origin + std::chrono::duration_cast<Clock::duration>(
                                      std::chrono::duration<double>(framesSinceOrigin / sampleRate_));
        const auto now = Clock::now();
        if (now - due > kLongestCatchUp) {
            origin = now;
            framesSinceOrigin = 0;
            continue;
        }
        wake_.wait_until(lock, due, [this] { return stopping_; });
    }
}

}  // namespace tonemark
