#include "sound/fluid/output_switch.h"

#include <chrono>
#include <cmath>
#include <vector>

#include "sound/fluid/fluid_engine.h"

namespace tonemark {
namespace {

constexpr auto kWatchPeriod = std::chrono::milliseconds(200);

constexpr const char* kLostMessage =
    "The sound output stopped (the sound server went away); songs play on without sound until it is back.";

}  // namespace

OutputSwitch::OutputSwitch(FluidEngine& engine, OpenSoundOutput open, int blockFrames, std::string noDeviceMessage)
    : engine_(engine), open_(std::move(open)), blockFrames_(blockFrames), noDeviceMessage_(std::move(noDeviceMessage)) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        const MonotonicMicros now = MonotonicNow();
        if (!OpenDevice(now)) {
            StartSilentClock();
            message_ = noDeviceMessage_;
            lastFailedTry_ = now;
        }
    }
    // It first looks 200 ms from now: nothing here waits for it.
    watchdog_ = std::thread([this] { Watch(); });
}

OutputSwitch::~OutputSwitch() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    if (watchdog_.joinable()) watchdog_.join();
    // Stop rendering before the engine can go.
    device_.reset();
    silentClock_.reset();
}

void OutputSwitch::StartSilentClock() {
    auto scratch = std::make_shared<std::vector<float>>(2 * static_cast<std::size_t>(blockFrames_));
    FluidEngine* renderer = &engine_;
    silentClock_ = std::make_unique<SilentClock>(
        [renderer, scratch](int frames) {
            if (scratch->size() < 2 * static_cast<std::size_t>(frames)) scratch->resize(2 * static_cast<std::size_t>(frames));
            renderer->Render(scratch->data(), scratch->data() + frames, frames);
        },
        engine_.SampleRate(), blockFrames_);
}

// The device plays silence until the silent clock has stopped, so that the
// songs never advance twice as fast while one output hands over to the other.
bool OutputSwitch::OpenDevice(MonotonicMicros now) {
    auto feed = std::make_shared<OutputFeed>(engine_);
    std::unique_ptr<SoundOutput> output = open_ ? open_(OutputFeed::CallFor(feed)) : nullptr;
    if (!output) return false;
    silentClock_.reset();
    feed->SetOutput(output.get());
    feed->SetLive(true);
    stallWatch_.Restart(now, feed->CallsBegun());
    device_ = Device{std::move(output), std::move(feed)};
    message_.clear();
    lastFailedTry_.reset();
    return true;
}

std::unique_ptr<SoundOutput> OutputSwitch::HandOverToSilence() {
    device_->feed->SetLive(false);
    std::unique_ptr<SoundOutput> stopped = std::move(device_->output);
    device_.reset();
    StartSilentClock();
    message_ = kLostMessage;
    // The next song tries the device at once.
    lastFailedTry_.reset();
    return stopped;
}

void OutputSwitch::TryDeviceAgain() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (device_ || stopping_) return;
    const MonotonicMicros now = MonotonicNow();
    if (lastFailedTry_ && now - *lastFailedTry_ < kRetryInterval) return;
    if (!OpenDevice(now)) lastFailedTry_ = now;
}

int OutputSwitch::LeadMs(int outputLatencyMs) const {
    // The silent clock renders in the same calls; only the device adds its buffers.
    const int callMs = static_cast<int>(std::ceil(blockFrames_ * 1000.0 / engine_.SampleRate()));
    return outputLatencyMs + callMs;
}

void OutputSwitch::Describe(SoundStatus& status) const {
    std::lock_guard<std::mutex> lock(mutex_);
    status.audioOutput = device_.has_value();
    const SoundOutput* output = device_ ? device_->output.get() : nullptr;
    status.driver = output ? output->Name() : "";
    status.outputLatencyMs = output ? output->LatencyMs() : 0;
    status.bufferMs = output ? output->BufferMs() : 0;
    status.underruns = output ? output->Underruns() : 0;
    status.positionLeadMs = LeadMs(status.outputLatencyMs);
    status.message = message_;
    if (output && !output->Trouble().empty())
        status.message = (message_.empty() ? "" : message_ + " ") + output->Trouble();
}

int OutputSwitch::PositionLeadMs() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return LeadMs(device_ ? device_->output->LatencyMs() : 0);
}

void OutputSwitch::Watch() {
    std::unique_lock<std::mutex> lock(mutex_);
    while (!stopping_) {
        wake_.wait_for(lock, kWatchPeriod, [this] { return stopping_; });
        if (stopping_ || !device_) continue;
        const OutputFeed& feed = *device_->feed;
        if (!stallWatch_.Stalled(MonotonicNow(), feed.CallsBegun(), feed.InCall())) continue;
        std::unique_ptr<SoundOutput> stopped = HandOverToSilence();
        // Closing the driver of a server that went away may take a moment;
        // nothing waits for this thread meanwhile.
        lock.unlock();
        stopped.reset();
        lock.lock();
    }
}

}  // namespace tonemark
