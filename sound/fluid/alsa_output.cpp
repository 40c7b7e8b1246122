#include "sound/fluid/alsa_output.h"

#include <pthread.h>
#include <sched.h>

#include <algorithm>
#include <cerrno>
#include <cmath>

#include <alsa/asoundlib.h>

namespace tonemark {
namespace {

constexpr int kChannels = 2;
constexpr int kRealTimePriority = 60;
// The device is woken at least this often: a quarter of the buffer, and never
// less than one render block.
constexpr unsigned long kSmallestPeriod = 64;

}  // namespace

AlsaOutput::AlsaOutput(double sampleRate, RenderCall render, BufferPolicySettings policy, std::string device)
    : sampleRate_(sampleRate),
      render_(std::move(render)),
      policy_(std::move(policy), MonotonicNow()),
      device_(std::move(device)) {
    targetMs_ = policy_.TargetMs();
}

std::unique_ptr<AlsaOutput> AlsaOutput::Open(double sampleRate, RenderCall render, BufferPolicySettings policy,
                                             const std::string& device) {
    if (sampleRate <= 0 || !render) return nullptr;
    std::unique_ptr<AlsaOutput> output(new AlsaOutput(sampleRate, std::move(render), std::move(policy), device));
    if (!output->OpenDevice()) return nullptr;
    output->thread_ = std::thread([out = output.get()] { out->WriteLoop(); });
    return output;
}

AlsaOutput::~AlsaOutput() {
    stopping_ = true;
    if (thread_.joinable()) thread_.join();
    CloseDevice();
}

// Opens the device with the policy's buffer now: float samples, two
// channels, the synthesiser's rate exactly (ALSA's plug layer converts).
bool AlsaOutput::OpenDevice() {
    if (snd_pcm_open(&pcm_, device_.c_str(), SND_PCM_STREAM_PLAYBACK, 0) < 0) {
        pcm_ = nullptr;
        return false;
    }
    const unsigned rate = static_cast<unsigned>(std::lround(sampleRate_));
    snd_pcm_uframes_t buffer = static_cast<snd_pcm_uframes_t>(std::lround(policy_.TargetMs() * sampleRate_ / 1000.0));
    snd_pcm_uframes_t period = std::max<snd_pcm_uframes_t>(kSmallestPeriod, buffer / 4);
    snd_pcm_hw_params_t* hw = nullptr;
    snd_pcm_hw_params_alloca(&hw);
    unsigned gotRate = rate;
    int dir = 0;
    bool ok = snd_pcm_hw_params_any(pcm_, hw) >= 0 &&
              snd_pcm_hw_params_set_access(pcm_, hw, SND_PCM_ACCESS_RW_INTERLEAVED) >= 0 &&
              snd_pcm_hw_params_set_format(pcm_, hw, SND_PCM_FORMAT_FLOAT) >= 0 &&
              snd_pcm_hw_params_set_channels(pcm_, hw, kChannels) >= 0 &&
              snd_pcm_hw_params_set_rate_resample(pcm_, hw, 1) >= 0 &&
              snd_pcm_hw_params_set_rate_near(pcm_, hw, &gotRate, &dir) >= 0 && gotRate == rate &&
              snd_pcm_hw_params_set_buffer_size_near(pcm_, hw, &buffer) >= 0 &&
              snd_pcm_hw_params_set_period_size_near(pcm_, hw, &period, &dir) >= 0 && snd_pcm_hw_params(pcm_, hw) >= 0;
    if (ok) {
        snd_pcm_hw_params_get_buffer_size(hw, &buffer);
        snd_pcm_hw_params_get_period_size(hw, &period, &dir);
        snd_pcm_sw_params_t* sw = nullptr;
        snd_pcm_sw_params_alloca(&sw);
        ok = snd_pcm_sw_params_current(pcm_, sw) >= 0 && snd_pcm_sw_params_set_start_threshold(pcm_, sw, period) >= 0 &&
             snd_pcm_sw_params_set_avail_min(pcm_, sw, period) >= 0 && snd_pcm_sw_params(pcm_, sw) >= 0;
    }
    if (!ok) {
        CloseDevice();
        return false;
    }
    bufferFrames_ = buffer;
    periodFrames_ = period;
    targetMs_ = policy_.TargetMs();
    // Until the first writes say what the delay is: a full buffer, less half a period.
    steadyMicros_ = static_cast<MonotonicMicros>((buffer - period / 2) * 1e6 / sampleRate_);
    latencyMicros_ = steadyMicros_.load();
    return true;
}

void AlsaOutput::CloseDevice() {
    if (pcm_) snd_pcm_close(pcm_);
    pcm_ = nullptr;
}

void AlsaOutput::WriteLoop() {
    sched_param param{};
    param.sched_priority = kRealTimePriority;
    pthread_setschedparam(pthread_self(), SCHED_FIFO | SCHED_RESET_ON_FORK, &param);
    while (!stopping_ && !lost_) {
        if (!WriteBlock()) {
            lost_ = true;
            break;
        }
        if (policy_.Tick(MonotonicNow())) {
            CloseDevice();
            if (!OpenDevice()) lost_ = true;
        }
        cannotKeepUp_ = policy_.CannotKeepUp();
    }
}

// One period rendered and written; false when the device is gone.
bool AlsaOutput::WriteBlock() {
    const std::size_t frames = periodFrames_;
    if (left_.size() < frames) {
        left_.resize(frames);
        right_.resize(frames);
        interleaved_.resize(frames * kChannels);
    }
    render_(left_.data(), right_.data(), static_cast<int>(frames));
    for (std::size_t i = 0; i < frames; ++i) {
        interleaved_[2 * i] = left_[i];
        interleaved_[2 * i + 1] = right_[i];
    }
    std::size_t done = 0;
    while (done < frames && !stopping_) {
        const snd_pcm_sframes_t n = snd_pcm_writei(pcm_, interleaved_.data() + done * kChannels, frames - done);
        if (n >= 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n == -EPIPE) {
            ++underruns_;
            if (policy_.Underrun(MonotonicNow())) {
                // A larger buffer: the device is opened again with it, and the
                // block is written there.
                CloseDevice();
                if (!OpenDevice()) return false;
                cannotKeepUp_ = policy_.CannotKeepUp();
                continue;
            }
        }
        if (n == -EAGAIN) continue;
        if (snd_pcm_recover(pcm_, static_cast<int>(n), 1) < 0) return false;
    }
    snd_pcm_sframes_t delay = 0;
    if (snd_pcm_delay(pcm_, &delay) == 0 && delay >= 0)
        latencyMicros_ = static_cast<MonotonicMicros>(delay * 1e6 / sampleRate_);
    return true;
}

int AlsaOutput::LatencyMs() const {
    return static_cast<int>(std::ceil(static_cast<double>(latencyMicros_.load()) / 1000.0));
}

std::string AlsaOutput::Trouble() const {
    if (!cannotKeepUp_) return {};
    return "This machine cannot keep the sound going even with a " + std::to_string(targetMs_.load()) +
           " ms buffer: expect clicks while it is this busy.";
}

}  // namespace tonemark
