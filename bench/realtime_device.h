// A sound device played by a benchmark: an offline FluidSynth root rendered
// by a thread in real time, one period of the device's size at a time, as a
// sound server pulls it. Every render call's start time is kept with the
// frames it rendered, so that each rendered sample has the moment it left the
// synthesiser; it is heard the device's output latency later.
#pragma once

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <iterator>
#include <memory>
#include <pthread.h>
#include <sched.h>
#include <thread>
#include <vector>

#include "app/clock.h"
#include "onsets.h"
#include "percentile.h"
#include "sound/fluid/audio_driver.h"
#include "sound/fluid/fluid_synth.h"

namespace tonemark {

// The offline root as the program sees a root with a sound device: its status
// reports the device's output latency, so the follower leads by it.
class DeviceLikeRoot : public SynthRoot {
public:
    DeviceLikeRoot(std::unique_ptr<FluidSynthRoot> root, int latencyMs) : root_(std::move(root)), latencyMs_(latencyMs) {}
    std::unique_ptr<SongLoader> CreateLoader() override { return root_->CreateLoader(); }
    std::unique_ptr<SynthPlayer> CreatePlayer() override { return root_->CreatePlayer(); }
    std::optional<SoundStatus> StatusNow() override { return Status(); }
    SoundStatus Status() const {
        SoundStatus status = root_->Status();
        status.audioOutput = true;
        status.driver = "benchmark";
        status.outputLatencyMs = latencyMs_;
        status.positionLeadMs = latencyMs_ + BufferingMs({kDeviceBuffering.periodSize, 1}, 44100.0);
        return status;
    }
    FluidSynthRoot& Fluid() { return *root_; }

private:
    std::unique_ptr<FluidSynthRoot> root_;
    int latencyMs_;
};

class RealTimeDevice {
public:
    struct Call {
        MonotonicMicros start;
        std::int64_t firstFrame;
    };

    RealTimeDevice(FluidSynthRoot& root, int periodFrames, double seconds)
        : root_(root), period_(periodFrames), rate_(root.SampleRate()) {
        const auto frames = static_cast<std::size_t>((seconds + 2) * rate_);
        sound_.left.reserve(frames);
        sound_.right.reserve(frames);
        calls_.reserve(frames / static_cast<std::size_t>(period_) + 1);
    }
    ~RealTimeDevice() { Stop(); }

    // The thread runs at the real-time priority FluidSynth gives its own
    // sound threads (audio.realtime-prio, 60) when the system allows it.
    void Start() {
        thread_ = std::thread([this] { Run(); });
        sched_param param{};
        param.sched_priority = 60;
        realTime_ = pthread_setschedparam(thread_.native_handle(), SCHED_FIFO, &param) == 0;
    }
    void Stop() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
    }

    // After Stop: everything rendered, from the first frame of the synthesiser on.
    const StereoSound& Sound() const { return sound_; }
    double SampleRate() const { return rate_; }
    bool RealTime() const { return realTime_; }
    // How late each render call started against the device's steady pace (ms).
    std::vector<double> Lateness() const {
        std::vector<double> late;
        for (const Call& c : calls_) late.push_back(static_cast<double>(c.start - calls_.front().start) / 1000.0 -
                                                    static_cast<double>(c.firstFrame) * 1000.0 / rate_);
        return late;
    }

    // When `frame` left the synthesiser: its call's start plus its place in the call.
    double LeftSynthMicros(std::int64_t frame) const {
        auto it = std::upper_bound(calls_.begin(), calls_.end(), frame,
                                   [](std::int64_t f, const Call& c) { return f < c.firstFrame; });
        if (it == calls_.begin()) return 0;
        --it;
        return static_cast<double>(it->start) + static_cast<double>(frame - it->firstFrame) * 1e6 / rate_;
    }
    // Where `frame` lies in its render call.
    std::int64_t PlaceInCall(std::int64_t frame) const {
        auto it = std::upper_bound(calls_.begin(), calls_.end(), frame,
                                   [](std::int64_t f, const Call& c) { return f < c.firstFrame; });
        return it == calls_.begin() ? frame : frame - std::prev(it)->firstFrame;
    }
    // The first frame rendered at or after `t`.
    std::int64_t FrameAtOrAfter(MonotonicMicros t) const {
        auto it = std::lower_bound(calls_.begin(), calls_.end(), t, [](const Call& c, MonotonicMicros at) { return c.start < at; });
        return it == calls_.end() ? static_cast<std::int64_t>(sound_.Frames()) : it->firstFrame;
    }

private:
    using Clock = std::chrono::steady_clock;

    void Run() {
        std::vector<float> left(static_cast<std::size_t>(period_)), right(static_cast<std::size_t>(period_));
        const auto origin = Clock::now();
        std::int64_t frames = 0;
        while (!stop_ && sound_.Frames() + static_cast<std::size_t>(period_) <= sound_.left.capacity()) {
            calls_.push_back({MonotonicNow(), frames});
            root_.RenderOffline(left.data(), right.data(), period_);
            sound_.left.insert(sound_.left.end(), left.begin(), left.end());
            sound_.right.insert(sound_.right.end(), right.begin(), right.end());
            frames += period_;
            std::this_thread::sleep_until(origin + std::chrono::duration_cast<Clock::duration>(
                                                       std::chrono::duration<double>(frames / rate_)));
        }
    }

    FluidSynthRoot& root_;
    int period_;
    double rate_;
    StereoSound sound_;
    std::vector<Call> calls_;
    std::atomic<bool> stop_{false};
    bool realTime_ = false;
    std::thread thread_;
};

}  // namespace tonemark
