// A FluidSynth audio driver: the sound devices of the machine (PulseAudio,
// ALSA, JACK) as sound outputs.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include <fluidsynth.h>

#include "sound/fluid/sound_output.h"

namespace tonemark {

struct AudioBuffering {
    int periodSize = 128;  // frames per period
    int periods = 2;
};

// What the program asks of a sound device: 2 periods of 128 frames, about
// 6 ms at 44.1 kHz. A key press is heard within that plus one period.
inline constexpr AudioBuffering kDeviceBuffering{128, 2};

// Milliseconds of sound held in the output buffers, rounded up.
int BufferingMs(const AudioBuffering& buffering, double sampleRate);

class AudioDriver : public SoundOutput {
public:
    // Tries each driver in turn with `settings` (the synthesiser's, for its
    // sample rate); nothing when none opens.
    static std::unique_ptr<AudioDriver> OpenFirst(fluid_settings_t* settings, const std::vector<std::string>& names,
                                                  const AudioBuffering& buffering, RenderCall render);
    ~AudioDriver() override;
    AudioDriver(const AudioDriver&) = delete;
    AudioDriver& operator=(const AudioDriver&) = delete;

    std::string Name() const override { return name_; }
    int LatencyMs() const override { return latencyMs_; }

private:
    AudioDriver() = default;

    std::unique_ptr<RenderCall> render_;  // the driver's callback data
    fluid_audio_driver_t* driver_ = nullptr;
    std::string name_;
    int latencyMs_ = 0;
};

}  // namespace tonemark
