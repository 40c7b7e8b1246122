// The synthesiser of the program: FluidSynth with a General MIDI SoundFont.
// The root opens the SoundFont and the sound output once, for the whole run;
// each player plays one song at a time on it. With no SoundFont the notes are
// silent; with no sound device songs still advance in real time on a silent
// clock, and so they do when the device stops asking for sound in the middle
// of a song (its sound server went away): then each new player tries the
// device again. Status() says which of these happened.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "app/clock.h"
#include "sound/fluid/sound_output.h"
#include "sound/synth.h"

namespace tonemark {

struct FluidOptions {
    // Auto: the first sound output that opens (PulseAudio, ALSA, JACK), else a
    // silent clock. Offline: nothing renders unless RenderOffline is called.
    enum class Audio { Auto, Offline } audio = Audio::Auto;
    std::string soundFontPath;  // empty: look in the usual places
    // The time each render call starts at, which scheduled messages are due
    // on. Offline tests give a clock that moves on with the frames rendered.
    std::function<MonotonicMicros()> clock = MonotonicNow;
    // With Audio::Auto, opens the sound device; empty: FluidSynth's drivers.
    OpenSoundOutput openOutput = nullptr;
    // Where the device's buffer is kept between runs (sound/buffer_policy.h):
    // read when the device opens, written when the root goes. Empty: not kept.
    std::string bufferMemoryPath;
};

class FluidSynthRoot : public SynthRoot {
public:
    ~FluidSynthRoot() override;

    std::unique_ptr<SongLoader> CreateLoader() override;
    std::unique_ptr<SynthPlayer> CreatePlayer() override;

    // With Audio::Auto the SoundFont is read in the background so that the
    // window does not wait for it: soundFontLoaded is true as soon as the file
    // is found, soundFontLoadMs stays 0 until it has been read, and a file that
    // cannot be read turns up in the status (and the message) after that.
    SoundStatus Status() const;
    std::optional<SoundStatus> StatusNow() override { return Status(); }
    bool PlayNow(int channel, int status, int data1, int data2) override;
    std::optional<int> PositionLeadMsNow() override;
    bool SoundFontReady() const;
    double SampleRate() const;
    // Offline only: renders the next `frames` stereo samples, advancing every
    // playing song and sending the scheduled messages that fall due (on the
    // options' clock). Elsewhere it fills the buffers with silence.
    void RenderOffline(float* left, float* right, int frames);

private:
    struct Impl;
    explicit FluidSynthRoot(std::unique_ptr<Impl> parts);
    friend std::unique_ptr<FluidSynthRoot> CreateFluidSynthRoot(const FluidOptions& options);

    std::unique_ptr<Impl> parts_;
};

// Nothing only when FluidSynth cannot create a synthesiser at all.
std::unique_ptr<FluidSynthRoot> CreateFluidSynthRoot(const FluidOptions& options);

}  // namespace tonemark
