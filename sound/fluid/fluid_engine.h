// The FluidSynth instance shared by everything that makes sound: its settings,
// the synthesiser with its SoundFont, the lock that keeps the rendering
// thread and the players' set-up apart, and the messages scheduled to sound
// at a given time. FluidSynth's own calls (notes, controllers, gain) are
// thread-safe; creating and deleting MIDI file players is not while audio is
// rendered, so that happens under RenderLock().
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include <fluidsynth.h>

#include "app/clock.h"
#include "sound/fluid/frame_clock.h"
#include "sound/fluid/midi_schedule.h"

namespace tonemark {

class FluidEngine {
public:
    enum class SoundFontLoading { Now, InBackground };

    // Nothing when FluidSynth cannot create a synthesiser at all. Looks for
    // the SoundFont but does not read it yet. A missing SoundFont is not a
    // failure: the synthesiser then plays silence. `clock` tells the time at
    // which each render call starts; scheduled messages are due on it.
    static std::shared_ptr<FluidEngine> Create(const std::string& soundFontPath,
                                               std::function<MonotonicMicros()> clock = MonotonicNow);
    // Reads the SoundFont found by Create, if any. That takes from a few tens
    // to a few hundred milliseconds; read in the background, notes sounded
    // before it is ready are silent.
    void ReadSoundFont(SoundFontLoading loading);
    ~FluidEngine();
    FluidEngine(const FluidEngine&) = delete;
    FluidEngine& operator=(const FluidEngine&) = delete;

    fluid_settings_t* Settings() const { return settings_; }
    fluid_synth_t* Synth() const { return synth_; }
    double SampleRate() const { return sampleRate_; }
    double NormalGain() const { return normalGain_; }

    // True from the moment a SoundFont file is found, unless reading it fails.
    bool SoundFontLoaded() const;
    bool SoundFontReady() const { return soundFontState_ == SoundFontState::Loaded; }
    std::string SoundFontMessage() const;
    double SoundFontLoadMs() const { return soundFontLoadMs_; }

    // Sets the synthesiser's gain. While the SoundFont is being read (which
    // holds FluidSynth's lock) the gain is kept and applied when reading ends,
    // so the caller never waits for the file.
    void SetGain(float gain);

    // Sends a checked channel message (see SendChannelMessage) so that it
    // takes effect at the synthesiser block nearest to `due`, or in the next
    // block rendered when that has gone by. Messages scheduled since the
    // last CancelScheduled keep their spacing as heard when the output's
    // buffer changes in between (see Render): a grown buffer renders them
    // that much earlier.
    void Schedule(const ScheduledMessage& message);
    // Drops every scheduled message not sent yet.
    void CancelScheduled();

    std::unique_lock<std::mutex> RenderLock() { return std::unique_lock<std::mutex>(renderMutex_); }
    // Renders `frames` stereo samples, advancing every playing MIDI file and
    // sending the scheduled messages as they fall due. `outputDelay` is how
    // long the output holds what is rendered before it is heard (its
    // buffer); when it has changed since the messages waiting were
    // scheduled, they are rendered earlier or later by as much.
    void Render(float* left, float* right, int frames, MonotonicMicros outputDelay = 0);

private:
    enum class SoundFontState { Missing, Loading, Loaded, Failed };

    FluidEngine() = default;
    bool Build();
    void FindSoundFontFile(const std::string& soundFontPath);
    void LoadSoundFont(const std::string& path);
    std::optional<std::int64_t> SendDueMessages();
    std::int64_t NearestBlockStart(MonotonicMicros due) const;

    fluid_settings_t* settings_ = nullptr;
    fluid_synth_t* synth_ = nullptr;
    double sampleRate_ = 44100.0;
    double normalGain_ = 0.2;
    std::atomic<SoundFontState> soundFontState_{SoundFontState::Missing};
    std::atomic<double> soundFontLoadMs_{0.0};
    mutable std::mutex messageMutex_;
    std::string soundFontMessage_;
    std::string soundFontFile_;
    std::thread soundFontLoader_;
    std::mutex gainMutex_;  // guards the hand-over of a gain set during loading
    std::optional<float> pendingGain_;
    std::mutex renderMutex_;
    std::function<MonotonicMicros()> clock_;
    MidiSchedule schedule_;
    // The rendering thread's, under the render lock.
    FrameClock frameClock_;
    std::int64_t framesRendered_ = 0;
    // The output's buffer at the last render, and at the first message
    // scheduled since the schedule was last cancelled.
    std::atomic<MonotonicMicros> outputDelay_{0};
    std::atomic<MonotonicMicros> scheduledDelay_{0};
    std::atomic<bool> delayTaken_{false};
    std::int64_t blockFrames_ = 64;  // FluidSynth renders in blocks of this size
};

}  // namespace tonemark
