#include "sound/fluid/audio_driver.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "sound/fluid/fluid_engine.h"

namespace tonemark {
namespace {

int RenderForDriver(void* data, int frames, int effectCount, float* effects[], int outputCount, float* outputs[]) {
    for (int i = 0; i < effectCount; ++i) {
        if (effects && effects[i]) std::memset(effects[i], 0, sizeof(float) * static_cast<std::size_t>(frames));
    }
    if (outputCount < 2 || !outputs || !outputs[0] || !outputs[1]) {
        for (int i = 0; i < outputCount; ++i) {
            if (outputs && outputs[i]) std::memset(outputs[i], 0, sizeof(float) * static_cast<std::size_t>(frames));
        }
        return FLUID_OK;
    }
    static_cast<FluidEngine*>(data)->Render(outputs[0], outputs[1], frames);
    for (int i = 2; i < outputCount; ++i) {
        if (outputs[i]) std::memset(outputs[i], 0, sizeof(float) * static_cast<std::size_t>(frames));
    }
    return FLUID_OK;
}

void ConfigureBuffering(fluid_settings_t* settings, const AudioBuffering& buffering) {
    fluid_settings_setint(settings, "audio.period-size", buffering.periodSize);
    fluid_settings_setint(settings, "audio.periods", buffering.periods);
    // Let the sound server honour the small buffer instead of its default.
    fluid_settings_setint(settings, "audio.pulseaudio.adjust-latency", 1);
    // Never start a JACK server just to find out there is none.
    setenv("JACK_NO_START_SERVER", "1", 0);
    fluid_settings_setint(settings, "audio.jack.autoconnect", 1);
}

}  // namespace

int BufferingMs(const AudioBuffering& buffering, double sampleRate) {
    if (sampleRate <= 0) return 0;
    return static_cast<int>(std::ceil(buffering.periodSize * buffering.periods * 1000.0 / sampleRate));
}

std::unique_ptr<AudioDriver> AudioDriver::OpenFirst(FluidEngine& engine, const std::vector<std::string>& names,
                                                    const AudioBuffering& buffering) {
    fluid_settings_t* settings = engine.Settings();
    ConfigureBuffering(settings, buffering);
    for (const auto& name : names) {
        if (fluid_settings_setstr(settings, "audio.driver", name.c_str()) != FLUID_OK) continue;
        fluid_audio_driver_t* driver = new_fluid_audio_driver2(settings, RenderForDriver, &engine);
        if (driver) return std::unique_ptr<AudioDriver>(new AudioDriver(driver, name));
    }
    return nullptr;
}

AudioDriver::~AudioDriver() {
    delete_fluid_audio_driver(driver_);
}

}  // namespace tonemark
