// The program's own ALSA output: a render thread that writes blocks to a PCM
// device and blocks while the device's buffer is full. When the device runs
// dry (a write answers -EPIPE) the underrun feeds a BufferPolicy; a new
// target reopens the device with a larger (or, after a long quiet spell,
// smaller) buffer. The latency reported is the device's delay as it is now.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "sound/buffer_policy.h"
#include "sound/fluid/sound_output.h"

typedef struct _snd_pcm snd_pcm_t;

namespace tonemark {

class AlsaOutput : public SoundOutput {
public:
    // Nothing when the device cannot be opened at the synthesiser's rate.
    static std::unique_ptr<AlsaOutput> Open(double sampleRate, RenderCall render, BufferPolicySettings policy = {},
                                            const std::string& device = "default");
    ~AlsaOutput() override;
    AlsaOutput(const AlsaOutput&) = delete;
    AlsaOutput& operator=(const AlsaOutput&) = delete;

    std::string Name() const override { return "alsa"; }
    int LatencyMs() const override;
    MonotonicMicros LatencyMicros() const override { return latencyMicros_.load(); }
    MonotonicMicros SteadyLatencyMicros() const override { return steadyMicros_.load(); }
    int BufferMs() const override { return targetMs_.load(); }
    std::uint64_t Underruns() const override { return underruns_.load(); }
    std::string Trouble() const override;
    // The device failed in a way a reset does not mend (unplugged): it plays no more.
    bool Lost() const { return lost_.load(); }

private:
    AlsaOutput(double sampleRate, RenderCall render, BufferPolicySettings policy, std::string device);
    bool OpenDevice();
    void CloseDevice();
    void WriteLoop();
    bool WriteBlock();

    double sampleRate_;
    RenderCall render_;
    BufferPolicy policy_;  // the write thread's
    std::string device_;
    snd_pcm_t* pcm_ = nullptr;
    unsigned long periodFrames_ = 0;
    unsigned long bufferFrames_ = 0;
    std::vector<float> left_, right_, interleaved_;
    std::thread thread_;
    std::atomic<bool> stopping_{false};

    std::atomic<MonotonicMicros> latencyMicros_{0};
    std::atomic<MonotonicMicros> steadyMicros_{0};
    std::atomic<int> targetMs_{0};
    std::atomic<std::uint64_t> underruns_{0};
    std::atomic<bool> cannotKeepUp_{false};
    std::atomic<bool> lost_{false};
};

}  // namespace tonemark
