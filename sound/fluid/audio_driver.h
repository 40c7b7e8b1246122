// A FluidSynth audio driver that plays the engine's sound. Rendering goes
// through FluidEngine::Render, so it shares the engine's render lock.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include <fluidsynth.h>

namespace tonemark {

class FluidEngine;

struct AudioBuffering {
    int periodSize = 128;  // frames per period
    int periods = 2;
};

// Milliseconds of sound held in the output buffers, rounded up.
int BufferingMs(const AudioBuffering& buffering, double sampleRate);

class AudioDriver {
public:
    // Tries each driver in turn; nothing when none opens.
    static std::unique_ptr<AudioDriver> OpenFirst(FluidEngine& engine, const std::vector<std::string>& names,
                                                  const AudioBuffering& buffering);
    ~AudioDriver();
    AudioDriver(const AudioDriver&) = delete;
    AudioDriver& operator=(const AudioDriver&) = delete;

    const std::string& Name() const { return name_; }

private:
    AudioDriver(fluid_audio_driver_t* driver, std::string name) : driver_(driver), name_(std::move(name)) {}

    fluid_audio_driver_t* driver_;
    std::string name_;
};

}  // namespace tonemark
