#include "sound/fluid/audio_driver.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

namespace tonemark {
namespace {

void Silence(float* buffer, int frames) {
    if (buffer) std::memset(buffer, 0, sizeof(float) * static_cast<std::size_t>(frames));
}

int RenderForDriver(void* data, int frames, int effectCount, float* effects[], int outputCount, float* outputs[]) {
    for (int i = 0; i < effectCount; ++i) Silence(effects ? effects[i] : nullptr, frames);
    if (outputCount < 2 || !outputs || !outputs[0] || !outputs[1]) {
        for (int i = 0; i < outputCount; ++i) Silence(outputs ? outputs[i] : nullptr, frames);
        return FLUID_OK;
    }
    (*static_cast<RenderCall*>(data))(outputs[0], outputs[1], frames);
    for (int i = 2; i < outputCount; ++i) Silence(outputs[i], frames);
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

std::unique_ptr<AudioDriver> AudioDriver::OpenFirst(fluid_settings_t* settings, const std::vector<std::string>& names,
                                                    const AudioBuffering& buffering, RenderCall render) {
    ConfigureBuffering(settings, buffering);
    std::unique_ptr<AudioDriver> opened(new AudioDriver());
    opened->render_ = std::make_unique<RenderCall>(std::move(render));
    for (const auto& name : names) {
        if (fluid_settings_setstr(settings, "audio.driver", name.c_str()) != FLUID_OK) continue;
        opened->driver_ = new_fluid_audio_driver2(settings, RenderForDriver, opened->render_.get());
        if (!opened->driver_) continue;
        double sampleRate = 0;
        fluid_settings_getnum(settings, "synth.sample-rate", &sampleRate);
        opened->name_ = name;
        opened->latencyMs_ = BufferingMs(buffering, sampleRate);
        return opened;
    }
    return nullptr;
}

AudioDriver::~AudioDriver() {
    if (driver_) delete_fluid_audio_driver(driver_);
}

}  // namespace tonemark
