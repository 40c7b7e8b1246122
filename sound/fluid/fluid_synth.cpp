#include "sound/fluid/fluid_synth.h"

#include <algorithm>
#include <vector>

#include "sound/fluid/audio_driver.h"
#include "sound/fluid/fluid_engine.h"
#include "sound/fluid/fluid_player.h"
#include "sound/fluid/fluid_song.h"
#include "sound/fluid/midi_message.h"
#include "sound/fluid/alsa_output.h"
#include "sound/fluid/jack_output.h"
#include "sound/fluid/output_switch.h"
#ifdef TONEMARK_PULSE_OUTPUT
#include "sound/fluid/pulse_output.h"
#endif

namespace tonemark {
namespace {

// PulseAudio first, then ALSA, then JACK: the program's own outputs, each
// with a buffer that adapts to the machine; without libpulse, FluidSynth's
// PulseAudio driver stands in for the first.
#ifndef TONEMARK_PULSE_OUTPUT
const std::vector<std::string> kDriverOrder = {"pulseaudio"};
#endif

std::string DriverList() {
    return "pulseaudio, alsa, jack";
}

std::string JoinMessages(const std::string& first, const std::string& second) {
    if (first.empty()) return second;
    if (second.empty()) return first;
    return first + " " + second;
}

// Each output starts at the buffer that held last time, if one was kept;
// else one step above the smallest, which the hiccups of most machines
// outlast now and then: a smaller one is tried in the first long silence,
// where running dry is not heard.
BufferPolicySettings StartingAt(BufferPolicySettings policy, const std::string& memory) {
    if (const auto ms = ReadBufferMemory(memory)) policy.firstStep = StepFor(policy, *ms);
    else policy.firstStep = policy.stepsMs.size() > 1 ? 1 : 0;
    return policy;
}

OpenSoundOutput DeviceOutputs(fluid_settings_t* settings, double sampleRate, std::string memory) {
    return [settings, sampleRate, memory](RenderCall render) -> std::unique_ptr<SoundOutput> {
#ifdef TONEMARK_PULSE_OUTPUT
        (void)settings;
        if (auto pulse = PulseOutput::Open(sampleRate, render, StartingAt({}, memory))) return pulse;
#else
        if (auto driver = AudioDriver::OpenFirst(settings, kDriverOrder, kDeviceBuffering, render)) return driver;
#endif
        if (auto alsa = AlsaOutput::Open(sampleRate, render, StartingAt({}, memory))) return alsa;
        return JackOutput::Open(sampleRate, std::move(render), StartingAt(JackBufferSteps(), memory));
    };
}

}  // namespace

struct FluidSynthRoot::Impl {
    std::shared_ptr<FluidEngine> engine;
    bool offline = false;
    std::unique_ptr<OutputSwitch> output;  // none offline
    std::string bufferMemory;
    int bufferKept = 0;  // what the memory holds now
    // Keeps the device's buffer when it changed; a program killed before it
    // ends has kept the last one the window asked about.
    void KeepBuffer(const SoundStatus& status) {
        if (bufferMemory.empty() || !status.audioOutput || status.bufferMs == bufferKept) return;
        if (WriteBufferMemory(bufferMemory, status.bufferMs)) bufferKept = status.bufferMs;
    }
};

FluidSynthRoot::FluidSynthRoot(std::unique_ptr<Impl> parts) : parts_(std::move(parts)) {}

FluidSynthRoot::~FluidSynthRoot() {
    // The buffer the device settled at, for the next run to start with.
    if (parts_->output) {
        SoundStatus status;
        parts_->output->Describe(status);
        parts_->bufferKept = 0;
        parts_->KeepBuffer(status);
    }
    // Stop rendering before the engine can go.
    parts_->output.reset();
}

std::unique_ptr<SongLoader> FluidSynthRoot::CreateLoader() {
    return std::make_unique<FluidSongLoader>();
}

// Every song gets a new player: the moment to look for a sound device again
// when the songs play on the silent clock.
std::unique_ptr<SynthPlayer> FluidSynthRoot::CreatePlayer() {
    if (parts_->output) parts_->output->TryDeviceAgain();
    return std::make_unique<FluidPlayer>(parts_->engine);
}

SoundStatus FluidSynthRoot::Status() const {
    SoundStatus status;
    if (parts_->output) {
        parts_->output->Describe(status);
        parts_->KeepBuffer(status);
    } else {
        status.driver = "offline";
    }
    const FluidEngine& engine = *parts_->engine;
    status.soundFontLoaded = engine.SoundFontLoaded();
    status.soundFontLoadMs = engine.SoundFontLoadMs();
    status.message = JoinMessages(engine.SoundFontMessage(), status.message);
    return status;
}

// FluidSynth's synthesiser takes note calls from any thread.
bool FluidSynthRoot::PlayNow(int channel, int status, int data1, int data2) {
    return SendChannelMessage(parts_->engine->Synth(), channel, status, data1, data2);
}

std::optional<int> FluidSynthRoot::PositionLeadMsNow() {
    if (!parts_->output) return std::nullopt;
    return parts_->output->PositionLeadMs();
}

bool FluidSynthRoot::SoundFontReady() const {
    return parts_->engine->SoundFontReady();
}

double FluidSynthRoot::SampleRate() const {
    return parts_->engine->SampleRate();
}

void FluidSynthRoot::RenderOffline(float* left, float* right, int frames) {
    if (frames <= 0 || !left || !right) return;
    if (!parts_->offline) {
        std::fill(left, left + frames, 0.0f);
        std::fill(right, right + frames, 0.0f);
        return;
    }
    parts_->engine->Render(left, right, frames);
}

std::unique_ptr<FluidSynthRoot> CreateFluidSynthRoot(const FluidOptions& options) {
    auto parts = std::make_unique<FluidSynthRoot::Impl>();
    parts->engine = FluidEngine::Create(options.soundFontPath, options.clock);
    if (!parts->engine) return nullptr;

    if (options.audio == FluidOptions::Audio::Offline) {
        // Offline renders must be the same from the first sample on.
        parts->engine->ReadSoundFont(FluidEngine::SoundFontLoading::Now);
        parts->offline = true;
    } else {
        OpenSoundOutput open = options.openOutput ? options.openOutput
                                                       : DeviceOutputs(parts->engine->Settings(), parts->engine->SampleRate(),
                                                                       options.bufferMemoryPath);
        parts->bufferMemory = options.bufferMemoryPath;
        parts->bufferKept = ReadBufferMemory(options.bufferMemoryPath).value_or(0);
        parts->output = std::make_unique<OutputSwitch>(
            *parts->engine, std::move(open), kDeviceBuffering.periodSize,
            "No sound output could be opened (tried " + DriverList() + "); songs play without sound.");
        // The window should not wait for the SoundFont.
        parts->engine->ReadSoundFont(FluidEngine::SoundFontLoading::InBackground);
    }
    return std::unique_ptr<FluidSynthRoot>(new FluidSynthRoot(std::move(parts)));
}

}  // namespace tonemark
