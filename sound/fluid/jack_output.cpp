#include "sound/fluid/jack_output.h"

#include <pthread.h>
#include <sched.h>
#include <time.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include <jack/jack.h>
#include <jack/ringbuffer.h>

namespace tonemark {
namespace {

constexpr int kChannels = 2;
constexpr std::size_t kFrameBytes = sizeof(float) * kChannels;
// The synthesiser renders in blocks of this many frames.
constexpr int kRenderBlock = 64;
// The ring holds at most this much, whatever the policy asks.
constexpr double kRingSeconds = 0.25;
constexpr int kRealTimePriority = 60;

void WaitAtMost(sem_t* sem, long nanoseconds) {
    timespec until{};
    clock_gettime(CLOCK_REALTIME, &until);
    until.tv_nsec += nanoseconds;
    until.tv_sec += until.tv_nsec / 1'000'000'000;
    until.tv_nsec %= 1'000'000'000;
    while (sem_timedwait(sem, &until) != 0 && errno == EINTR) {
    }
}

}  // namespace

BufferPolicySettings JackBufferSteps() {
    BufferPolicySettings s;
    s.stepsMs = {5, 10, 15, 20, 30, 40, 50};
    return s;
}

JackOutput::JackOutput(double sampleRate, RenderCall render, BufferPolicySettings policy)
    : synthRate_(sampleRate), render_(std::move(render)), policy_(std::move(policy), MonotonicNow()) {
    targetMs_ = policy_.TargetMs();
}

std::unique_ptr<JackOutput> JackOutput::Open(double sampleRate, RenderCall render, BufferPolicySettings policy,
                                             const std::string& server) {
    if (sampleRate <= 0 || !render) return nullptr;
    std::unique_ptr<JackOutput> output(new JackOutput(sampleRate, std::move(render), std::move(policy)));
    if (!output->Connect(server)) return nullptr;
    return output;
}

bool JackOutput::Connect(const std::string& server) {
    if (sem_init(&wake_, 0, 0) != 0) return false;
    wakeMade_ = true;
    // Without a JACK server this is the last output tried, not a fault to print.
    jack_set_error_function([](const char*) {});
    jack_set_info_function([](const char*) {});
    jack_status_t status{};
    const auto options = static_cast<jack_options_t>(JackNoStartServer | (server.empty() ? 0 : JackServerName));
    client_ = server.empty() ? jack_client_open("tonemark-sound", options, &status)
                             : jack_client_open("tonemark-sound", options, &status, server.c_str());
    if (!client_) return false;
    serverRate_ = jack_get_sample_rate(client_);
    period_ = jack_get_buffer_size(client_);
    if (serverRate_ <= 0) return false;
    ring_ = jack_ringbuffer_create(static_cast<std::size_t>(serverRate_ * kRingSeconds) * kFrameBytes);
    if (!ring_) return false;
    ports_[0] = jack_port_register(client_, "out_l", JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput | JackPortIsTerminal, 0);
    ports_[1] = jack_port_register(client_, "out_r", JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput | JackPortIsTerminal, 0);
    if (!ports_[0] || !ports_[1]) return false;
    jack_set_process_callback(client_, OnProcess, this);
    jack_set_xrun_callback(client_, OnXrun, this);
    jack_on_shutdown(client_, OnShutdown, this);
    // The ring starts full, so the first cycles already have sound.
    RenderAhead(TargetFrames());
    if (jack_activate(client_) != 0) return false;
    // To the machine's speakers, left and right.
    if (const char** playback = jack_get_ports(client_, nullptr, JACK_DEFAULT_AUDIO_TYPE,
                                               JackPortIsPhysical | JackPortIsInput)) {
        for (int i = 0; i < 2 && playback[i]; ++i) jack_connect(client_, jack_port_name(ports_[i]), playback[i]);
        jack_free(playback);
    }
    renderThread_ = std::thread([this] { RenderLoop(); });
    return true;
}

JackOutput::~JackOutput() {
    stopping_ = true;
    if (wakeMade_) sem_post(&wake_);
    if (renderThread_.joinable()) renderThread_.join();
    if (client_) {
        if (!lost_) jack_deactivate(client_);
        jack_client_close(client_);
    }
    if (ring_) jack_ringbuffer_free(ring_);
    if (wakeMade_) sem_destroy(&wake_);
}

// At most half the ring is paid back, so that the owed frames and the
// target fit in it together: after a longer stall the sound starts afresh
// where the render thread is.
std::uint32_t JackOutput::MostOwed() const {
    return static_cast<std::uint32_t>(serverRate_ * kRingSeconds / 2);
}

std::size_t JackOutput::TargetFrames() const {
    return static_cast<std::size_t>(std::lround(policy_.TargetMs() * serverRate_ / 1000.0));
}

// Renders until the ring holds `frames` frames at the server's rate. The
// synthesiser runs at its own rate; a server frame between two of its frames
// is interpolated linearly.
void JackOutput::RenderAhead(std::size_t frames) {
    const double step = synthRate_ / serverRate_;
    while (jack_ringbuffer_read_space(ring_) / kFrameBytes < frames) {
        if (left_.size() < kRenderBlock) {
            left_.resize(kRenderBlock);
            right_.resize(kRenderBlock);
        }
        render_(left_.data(), right_.data(), kRenderBlock);
        if (Audible(left_.data(), right_.data(), kRenderBlock)) policy_.Sounded(MonotonicNow());
        interleaved_.clear();
        // phase_ counts from the frame before this block (lastLeft_/lastRight_).
        while (phase_ < kRenderBlock) {
            const int i = static_cast<int>(phase_);
            const double f = phase_ - i;
            const float l0 = i == 0 ? lastLeft_ : left_[i - 1];
            const float r0 = i == 0 ? lastRight_ : right_[i - 1];
            interleaved_.push_back(static_cast<float>(l0 + (left_[i] - l0) * f));
            interleaved_.push_back(static_cast<float>(r0 + (right_[i] - r0) * f));
            phase_ += step;
        }
        phase_ -= kRenderBlock;
        lastLeft_ = left_[kRenderBlock - 1];
        lastRight_ = right_[kRenderBlock - 1];
        const std::size_t bytes = interleaved_.size() * sizeof(float);
        if (jack_ringbuffer_write_space(ring_) < bytes) return;  // the ring is as full as it gets
        jack_ringbuffer_write(ring_, reinterpret_cast<const char*>(interleaved_.data()), bytes);
    }
}

void JackOutput::RenderLoop() {
    sched_param param{};
    param.sched_priority = kRealTimePriority;
    pthread_setschedparam(pthread_self(), SCHED_FIFO | SCHED_RESET_ON_FORK, &param);
    std::uint64_t seen = Underruns();
    while (!stopping_ && !lost_) {
        const std::uint64_t now = Underruns();
        const MonotonicMicros t = MonotonicNow();
        bool changed = false;
        for (; seen < now; ++seen) changed = policy_.Underrun(t) || changed;
        changed = policy_.Tick(t) || changed;
        if (changed) targetMs_ = policy_.TargetMs();
        cannotKeepUp_ = policy_.CannotKeepUp();
        // What the callback still owes is rendered too, for it to drop.
        RenderAhead(TargetFrames() + owed_.load());
        // Each cycle wakes the thread; a millisecond at most between looks.
        WaitAtMost(&wake_, 1'000'000);
    }
}

int JackOutput::OnProcess(std::uint32_t frames, void* self) {
    auto* out = static_cast<JackOutput*>(self);
    auto* left = static_cast<float*>(jack_port_get_buffer(out->ports_[0], frames));
    auto* right = static_cast<float*>(jack_port_get_buffer(out->ports_[1], frames));
    out->period_ = frames;
    std::uint32_t have = static_cast<std::uint32_t>(jack_ringbuffer_read_space(out->ring_) / kFrameBytes);
    // Frames that were due while the ring was empty were played as silence:
    // they are late now, and dropping them puts what follows back on time.
    std::uint32_t owed = out->owed_.load();
    const std::uint32_t late = std::min(have, owed);
    jack_ringbuffer_read_advance(out->ring_, late * kFrameBytes);
    have -= late;
    owed -= late;
    const std::uint32_t take = std::min(have, frames);
    for (std::uint32_t i = 0; i < take; ++i) {
        float frame[kChannels];
        jack_ringbuffer_read(out->ring_, reinterpret_cast<char*>(frame), kFrameBytes);
        left[i] = frame[0];
        right[i] = frame[1];
    }
    if (take < frames) {
        std::memset(left + take, 0, (frames - take) * sizeof(float));
        std::memset(right + take, 0, (frames - take) * sizeof(float));
        ++out->shortCycles_;
        owed = std::min(owed + (frames - take), out->MostOwed());
    }
    out->owed_ = owed;
    jack_latency_range_t range{};
    jack_port_get_latency_range(out->ports_[0], JackPlaybackLatency, &range);
    out->portLatency_ = range.max;
    sem_post(&out->wake_);
    return 0;
}

int JackOutput::OnXrun(void* self) {
    ++static_cast<JackOutput*>(self)->xruns_;
    return 0;
}

void JackOutput::OnShutdown(void* self) {
    auto* out = static_cast<JackOutput*>(self);
    out->lost_ = true;
    sem_post(&out->wake_);
}

MonotonicMicros JackOutput::LatencyMicros() const {
    const double frames = static_cast<double>(jack_ringbuffer_read_space(ring_) / kFrameBytes) + period_.load() +
                          portLatency_.load();
    return static_cast<MonotonicMicros>(std::lround(frames * 1e6 / serverRate_));
}

// The ring is topped up to its target after every cycle; the period and the
// ports' latency change only when the server's setup does.
MonotonicMicros JackOutput::SteadyLatencyMicros() const {
    const double frames = targetMs_.load() * serverRate_ / 1000.0 + period_.load() + portLatency_.load();
    return static_cast<MonotonicMicros>(std::lround(frames * 1e6 / serverRate_));
}

int JackOutput::LatencyMs() const {
    return static_cast<int>(std::ceil(static_cast<double>(LatencyMicros()) / 1000.0));
}

std::string JackOutput::Trouble() const {
    if (!cannotKeepUp_) return {};
    return "This machine cannot keep the sound going even " + std::to_string(targetMs_.load()) +
           " ms ahead of the JACK server: expect clicks while it is this busy, or give the server a larger period.";
}

}  // namespace tonemark
