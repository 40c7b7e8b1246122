// A sound device as the synthesiser's root sees it: once opened it asks for
// sound from its own thread, a block at a time, until it is closed.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "app/clock.h"

namespace tonemark {

// Fills `frames` stereo samples; called from the device's thread.
using RenderCall = std::function<void(float* left, float* right, int frames)>;

class SoundOutput {
public:
    // Returns once the device makes no more render calls.
    virtual ~SoundOutput() = default;
    virtual std::string Name() const = 0;  // e.g. "pulseaudio"
    // Time from rendering a sample to hearing it, as it is now (an output
    // whose buffer adapts to the machine reports what its server measures).
    virtual int LatencyMs() const = 0;
    virtual MonotonicMicros LatencyMicros() const { return LatencyMs() * MonotonicMicros{1000}; }
    // The latency with its jitter from call to call left out, which changes
    // only when the output's buffer does: what sound scheduled ahead is moved
    // by, so that it keeps its time as heard when the buffer changes.
    virtual MonotonicMicros SteadyLatencyMicros() const { return LatencyMicros(); }
    // The buffer the output asks its server to keep queued now, in milliseconds.
    virtual int BufferMs() const { return LatencyMs(); }
    // Underruns (the device ran dry and played silence) reported so far.
    virtual std::uint64_t Underruns() const { return 0; }
    // What the user should know about the output (it cannot keep up even with
    // its largest buffer); empty when all is well.
    virtual std::string Trouble() const { return {}; }
};

// Opens a sound device that plays what `render` gives; nothing when none opens.
using OpenSoundOutput = std::function<std::unique_ptr<SoundOutput>(RenderCall render)>;

}  // namespace tonemark
