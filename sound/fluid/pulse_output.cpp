#include "sound/fluid/pulse_output.h"

#include <pthread.h>
#include <sched.h>

#include <algorithm>
#include <cmath>

#include <pulse/pulseaudio.h>

namespace tonemark {
namespace {

constexpr int kChannels = 2;
constexpr std::size_t kFrameBytes = sizeof(float) * kChannels;
// The priority FluidSynth gives its own sound threads.
constexpr int kRealTimePriority = 60;

// Waits on the locked main loop until `done` holds.
template <typename Done>
void WaitUntil(pa_threaded_mainloop* loop, Done done) {
    while (!done()) pa_threaded_mainloop_wait(loop);
}

bool ContextSettled(pa_context* c) {
    const pa_context_state_t s = pa_context_get_state(c);
    return s == PA_CONTEXT_READY || !PA_CONTEXT_IS_GOOD(s);
}

bool StreamSettled(pa_stream* st) {
    const pa_stream_state_t s = pa_stream_get_state(st);
    return s == PA_STREAM_READY || !PA_STREAM_IS_GOOD(s);
}

}  // namespace

PulseOutput::PulseOutput(double sampleRate, RenderCall render, BufferPolicySettings policy)
    : sampleRate_(sampleRate), render_(std::move(render)), policy_(std::move(policy), MonotonicNow()) {
    targetMs_ = policy_.TargetMs();
    // Until the server has measured the stream.
    latencyMicros_ = policy_.TargetMs() * MonotonicMicros{1000};
    steadyMicros_ = latencyMicros_.load();
}

std::unique_ptr<PulseOutput> PulseOutput::Open(double sampleRate, RenderCall render, BufferPolicySettings policy) {
    if (sampleRate <= 0 || !render) return nullptr;
    std::unique_ptr<PulseOutput> output(new PulseOutput(sampleRate, std::move(render), std::move(policy)));
    if (!output->Connect()) return nullptr;
    return output;
}

bool PulseOutput::Connect() {
    mainloop_ = pa_threaded_mainloop_new();
    if (!mainloop_) return false;
    pa_proplist* props = pa_proplist_new();
    pa_proplist_sets(props, PA_PROP_APPLICATION_NAME, "Tonemark");
    pa_proplist_sets(props, PA_PROP_MEDIA_ROLE, "music");
    context_ = pa_context_new_with_proplist(pa_threaded_mainloop_get_api(mainloop_), "Tonemark", props);
    pa_proplist_free(props);
    if (!context_) return false;
    pa_context_set_state_callback(context_, OnContextState, this);
    // A server that is not running is not started for us: the next output is tried.
    if (pa_context_connect(context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) return false;
    pa_threaded_mainloop_lock(mainloop_);
    if (pa_threaded_mainloop_start(mainloop_) < 0) {
        pa_threaded_mainloop_unlock(mainloop_);
        return false;
    }
    WaitUntil(mainloop_, [this] { return ContextSettled(context_); });
    bool ready = pa_context_get_state(context_) == PA_CONTEXT_READY;
    const pa_sample_spec format{PA_SAMPLE_FLOAT32NE, static_cast<std::uint32_t>(std::lround(sampleRate_)), kChannels};
    if (ready) {
        stream_ = pa_stream_new(context_, "Tonemark", &format, nullptr);
        ready = stream_ != nullptr;
    }
    if (ready) {
        pa_stream_set_state_callback(stream_, OnStreamState, this);
        pa_stream_set_write_callback(stream_, OnWrite, this);
        pa_stream_set_underflow_callback(stream_, OnUnderflow, this);
        const std::uint32_t target = static_cast<std::uint32_t>(
            pa_usec_to_bytes(static_cast<pa_usec_t>(policy_.TargetMs()) * 1000, &format));
        pa_buffer_attr attr{};
        attr.maxlength = static_cast<std::uint32_t>(-1);
        attr.tlength = target;
        attr.prebuf = 0;  // see ApplyTarget
        attr.minreq = static_cast<std::uint32_t>(-1);
        attr.fragsize = static_cast<std::uint32_t>(-1);
        const auto flags = static_cast<pa_stream_flags_t>(PA_STREAM_ADJUST_LATENCY | PA_STREAM_INTERPOLATE_TIMING |
                                                          PA_STREAM_AUTO_TIMING_UPDATE);
        ready = pa_stream_connect_playback(stream_, nullptr, &attr, flags, nullptr, nullptr) >= 0;
        if (ready) {
            WaitUntil(mainloop_, [this] { return StreamSettled(stream_); });
            ready = pa_stream_get_state(stream_) == PA_STREAM_READY;
        }
    }
    pa_threaded_mainloop_unlock(mainloop_);
    return ready;
}

// Stopping the main loop ends the callbacks; a server that went away leaves a
// failed context and stream, which are let go the same way.
PulseOutput::~PulseOutput() {
    if (mainloop_) {
        pa_threaded_mainloop_lock(mainloop_);
        if (stream_) {
            pa_stream_set_write_callback(stream_, nullptr, nullptr);
            pa_stream_set_underflow_callback(stream_, nullptr, nullptr);
            pa_stream_set_state_callback(stream_, nullptr, nullptr);
            if (PA_STREAM_IS_GOOD(pa_stream_get_state(stream_))) pa_stream_disconnect(stream_);
        }
        if (context_) {
            pa_context_set_state_callback(context_, nullptr, nullptr);
            if (PA_CONTEXT_IS_GOOD(pa_context_get_state(context_))) pa_context_disconnect(context_);
        }
        pa_threaded_mainloop_unlock(mainloop_);
        pa_threaded_mainloop_stop(mainloop_);
    }
    if (stream_) pa_stream_unref(stream_);
    if (context_) pa_context_unref(context_);
    if (mainloop_) pa_threaded_mainloop_free(mainloop_);
}

int PulseOutput::LatencyMs() const {
    return static_cast<int>(std::ceil(static_cast<double>(latencyMicros_.load()) / 1000.0));
}

std::string PulseOutput::Trouble() const {
    if (!cannotKeepUp_) return {};
    return CannotKeepUpMessage(targetMs_.load());
}

void PulseOutput::OnContextState(pa_context*, void* self) {
    pa_threaded_mainloop_signal(static_cast<PulseOutput*>(self)->mainloop_, 0);
}

void PulseOutput::OnStreamState(pa_stream*, void* self) {
    pa_threaded_mainloop_signal(static_cast<PulseOutput*>(self)->mainloop_, 0);
}

void PulseOutput::OnWrite(pa_stream*, std::size_t bytes, void* self) {
    auto* output = static_cast<PulseOutput*>(self);
    output->Fill(bytes);
    output->AfterWrite();
}

void PulseOutput::OnUnderflow(pa_stream*, void* self) {
    auto* output = static_cast<PulseOutput*>(self);
    ++output->underruns_;
    if (output->policy_.Underrun(MonotonicNow())) output->ApplyTarget();
    output->cannotKeepUp_ = output->policy_.CannotKeepUp();
}

// Runs on the main loop's thread, which is the render thread: the first call
// asks for real-time scheduling, once.
void PulseOutput::Fill(std::size_t bytes) {
    if (!triedRealTime_) {
        triedRealTime_ = true;
        sched_param param{};
        param.sched_priority = kRealTimePriority;
        realTime_ = pthread_setschedparam(pthread_self(), SCHED_FIFO | SCHED_RESET_ON_FORK, &param) == 0;
    }
    while (bytes >= kFrameBytes) {
        void* data = nullptr;
        std::size_t size = bytes;
        if (pa_stream_begin_write(stream_, &data, &size) < 0 || !data) return;
        const std::size_t frames = std::min(size, bytes) / kFrameBytes;
        if (frames == 0) {
            pa_stream_cancel_write(stream_);
            return;
        }
        if (left_.size() < frames) {
            left_.resize(frames);
            right_.resize(frames);
        }
        render_(left_.data(), right_.data(), static_cast<int>(frames));
        if (Audible(left_.data(), right_.data(), static_cast<int>(frames))) policy_.Sounded(MonotonicNow());
        auto* out = static_cast<float*>(data);
        for (std::size_t i = 0; i < frames; ++i) {
            out[2 * i] = left_[i];
            out[2 * i + 1] = right_[i];
        }
        if (pa_stream_write(stream_, data, frames * kFrameBytes, nullptr, 0, PA_SEEK_RELATIVE) < 0) return;
        bytes -= frames * kFrameBytes;
    }
}

void PulseOutput::AfterWrite() {
    pa_usec_t latency = 0;
    int negative = 0;
    if (pa_stream_get_latency(stream_, &latency, &negative) == 0) {
        latencyMicros_ = negative ? 0 : static_cast<MonotonicMicros>(latency);
        NoteLatency(latencyMicros_);
    }
    if (policy_.Tick(MonotonicNow())) ApplyTarget();
    cannotKeepUp_ = policy_.CannotKeepUp();
}

// The steady latency is the median of the last sixteen measures (some 40 ms
// of writes), and moves only when that median is a millisecond or more away.
void PulseOutput::NoteLatency(MonotonicMicros measured) {
    recentLatency_[recentCount_++ % recentLatency_.size()] = measured;
    if (recentCount_ < recentLatency_.size()) return;
    std::array<MonotonicMicros, 16> sorted = recentLatency_;
    std::nth_element(sorted.begin(), sorted.begin() + sorted.size() / 2, sorted.end());
    const MonotonicMicros median = sorted[sorted.size() / 2];
    if (std::abs(median - steadyMicros_.load()) >= 1000) steadyMicros_ = median;
}

void PulseOutput::ApplyTarget() {
    targetMs_ = policy_.TargetMs();
    const pa_sample_spec* format = pa_stream_get_sample_spec(stream_);
    if (!format) return;
    pa_buffer_attr attr{};
    attr.maxlength = static_cast<std::uint32_t>(-1);
    attr.tlength = static_cast<std::uint32_t>(pa_usec_to_bytes(static_cast<pa_usec_t>(targetMs_.load()) * 1000, format));
    // No prebuffering: a stream that runs dry goes on playing silence instead
    // of stopping until its buffer is full again, and what is written late
    // lands where it belongs on the server's clock (the part already due is
    // dropped). So an underrun costs only the missing samples, and everything
    // after it (the metronome's next click, the next note) is heard on time
    // with the same latency, rather than all of it moving later by the gap.
    attr.prebuf = 0;
    attr.minreq = static_cast<std::uint32_t>(-1);
    attr.fragsize = static_cast<std::uint32_t>(-1);
    if (pa_operation* op = pa_stream_set_buffer_attr(stream_, &attr, nullptr, nullptr)) pa_operation_unref(op);
}

}  // namespace tonemark
