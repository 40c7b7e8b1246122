// A sound device as the synthesiser's root sees it: once opened it asks for
// sound from its own thread, a block at a time, until it is closed.
#pragma once

#include <functional>
#include <memory>
#include <string>

namespace tonemark {

// Fills `frames` stereo samples; called from the device's thread.
using RenderCall = std::function<void(float* left, float* right, int frames)>;

class SoundOutput {
public:
    // Returns once the device makes no more render calls.
    virtual ~SoundOutput() = default;
    virtual std::string Name() const = 0;  // e.g. "pulseaudio"
    // Time from rendering a sample to hearing it.
    virtual int LatencyMs() const = 0;
};

// Opens a sound device that plays what `render` gives; nothing when none opens.
using OpenSoundOutput = std::function<std::unique_ptr<SoundOutput>(RenderCall render)>;

}  // namespace tonemark
