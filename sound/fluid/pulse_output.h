// The program's own PulseAudio output (PipeWire serves it too), on the
// server's asynchronous API: a playback stream whose write callback renders
// as much as the server asks for, on the threaded main loop's thread, which
// asks for real-time priority (and carries on without it where the system
// refuses). The server's underflow reports feed a BufferPolicy, which sets the
// stream's target buffer: it grows after a burst of underruns and shrinks
// slowly after a long quiet spell. The latency reported is the stream's own,
// as the server measures it now.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "sound/buffer_policy.h"
#include "sound/fluid/sound_output.h"

struct pa_threaded_mainloop;
struct pa_context;
struct pa_stream;

namespace tonemark {

class PulseOutput : public SoundOutput {
public:
    // Nothing when no server answers (none is started for this) or the stream
    // cannot be made.
    static std::unique_ptr<PulseOutput> Open(double sampleRate, RenderCall render,
                                             BufferPolicySettings policy = {});
    ~PulseOutput() override;
    PulseOutput(const PulseOutput&) = delete;
    PulseOutput& operator=(const PulseOutput&) = delete;

    std::string Name() const override { return "pulseaudio"; }
    int LatencyMs() const override;
    MonotonicMicros LatencyMicros() const override { return latencyMicros_.load(); }
    MonotonicMicros SteadyLatencyMicros() const override { return steadyMicros_.load(); }
    int BufferMs() const override { return targetMs_.load(); }
    std::string Trouble() const override;
    std::uint64_t Underruns() const override { return underruns_.load(); }
    bool RealTime() const { return realTime_.load(); }

private:
    PulseOutput(double sampleRate, RenderCall render, BufferPolicySettings policy);
    bool Connect();
    void ApplyTarget();
    void Fill(std::size_t bytes);
    void AfterWrite();
    void NoteLatency(MonotonicMicros measured);

    static void OnContextState(pa_context* context, void* self);
    static void OnStreamState(pa_stream* stream, void* self);
    static void OnWrite(pa_stream* stream, std::size_t bytes, void* self);
    static void OnUnderflow(pa_stream* stream, void* self);

    double sampleRate_;
    RenderCall render_;
    BufferPolicy policy_;  // the main loop thread's
    pa_threaded_mainloop* mainloop_ = nullptr;
    pa_context* context_ = nullptr;
    pa_stream* stream_ = nullptr;
    std::vector<float> left_, right_;
    bool triedRealTime_ = false;
    // The latencies measured after the last writes, for the steady figure.
    std::array<MonotonicMicros, 16> recentLatency_{};
    std::size_t recentCount_ = 0;

    std::atomic<MonotonicMicros> latencyMicros_{0};
    std::atomic<MonotonicMicros> steadyMicros_{0};
    std::atomic<int> targetMs_{0};
    std::atomic<bool> cannotKeepUp_{false};
    std::atomic<std::uint64_t> underruns_{0};
    std::atomic<bool> realTime_{false};
};

}  // namespace tonemark
