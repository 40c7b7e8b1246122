// The program's own JACK output. JACK's period is the server's to choose, so
// the synthesiser does not render inside the process callback: a render
// thread keeps a ring of sound ahead of it (resampled to the server's rate
// when the two differ) and the callback only copies. How far ahead the ring
// runs is what a BufferPolicy decides: it grows after a burst of xruns or of
// callbacks that found the ring short, and shrinks slowly while none come.
// A cycle that found the ring short plays silence for what was missing and
// the frames rendered for that time are dropped when they come, so that the
// sound after a shortfall is heard on time rather than late by it for good.
// The latency reported is the ring's fill, the callback's period and the
// playback ports' own latency, as the server reports them now.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <semaphore.h>

#include "sound/buffer_policy.h"
#include "sound/fluid/sound_output.h"

#include <jack/ringbuffer.h>
#include <jack/types.h>

namespace tonemark {

// The ring sizes a JACK output tries, smallest first: on top of the server's
// own period, so a little less than a device of its own needs.
BufferPolicySettings JackBufferSteps();

class JackOutput : public SoundOutput {
public:
    // Nothing when no JACK server runs (none is started for this). `server`:
    // the server's name, empty for the default one.
    static std::unique_ptr<JackOutput> Open(double sampleRate, RenderCall render,
                                            BufferPolicySettings policy = JackBufferSteps(),
                                            const std::string& server = {});
    ~JackOutput() override;
    JackOutput(const JackOutput&) = delete;
    JackOutput& operator=(const JackOutput&) = delete;

    std::string Name() const override { return "jack"; }
    int LatencyMs() const override;
    MonotonicMicros LatencyMicros() const override;
    MonotonicMicros SteadyLatencyMicros() const override;
    int BufferMs() const override { return targetMs_.load(); }
    std::uint64_t Underruns() const override { return xruns_.load() + shortCycles_.load(); }
    std::string Trouble() const override;
    // The server went away (or threw the client out): the output plays no more.
    bool Lost() const { return lost_.load(); }

private:
    JackOutput(double sampleRate, RenderCall render, BufferPolicySettings policy);
    bool Connect(const std::string& server);
    void RenderLoop();
    void RenderAhead(std::size_t frames);
    std::size_t TargetFrames() const;
    std::uint32_t MostOwed() const;

    static int OnProcess(std::uint32_t frames, void* self);
    static int OnXrun(void* self);
    static void OnShutdown(void* self);

    double synthRate_;
    double serverRate_ = 0;
    RenderCall render_;
    BufferPolicy policy_;  // the render thread's
    jack_client_t* client_ = nullptr;
    jack_port_t* ports_[2] = {nullptr, nullptr};
    jack_ringbuffer_t* ring_ = nullptr;  // interleaved stereo at the server's rate
    std::thread renderThread_;
    sem_t wake_;
    bool wakeMade_ = false;
    std::atomic<bool> stopping_{false};

    // The resampler's state: the synthesiser's frames rendered but not yet
    // passed, and where between them the next server frame falls.
    std::vector<float> left_, right_;
    std::vector<float> interleaved_;
    float lastLeft_ = 0, lastRight_ = 0;
    double phase_ = 0;

    // Frames the callback played as silence for want of sound: the next ones
    // rendered are dropped in their place, so that the ring runs on the
    // server's clock. The callback's; the render thread reads it.
    std::atomic<std::uint32_t> owed_{0};
    std::atomic<std::uint32_t> period_{0};
    std::atomic<std::uint32_t> portLatency_{0};
    std::atomic<int> targetMs_{0};
    std::atomic<std::uint64_t> xruns_{0};
    std::atomic<std::uint64_t> shortCycles_{0};
    std::atomic<bool> cannotKeepUp_{false};
    std::atomic<bool> lost_{false};
};

}  // namespace tonemark
