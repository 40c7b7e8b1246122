// The software synthesiser as the program uses it: a root object that lives for
// the whole run, and per song a player, a loaded song and the song while it
// plays. Music time counts 768 per quarter note; channels are 0-15 (9 is
// percussion). Every operation reports whether it worked, so that callers can
// skip a failing step and go on.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace tonemark {

constexpr int kMusicTimePerQuarter = 768;

class SynthPlayer;

struct TimeSignature {
    int beatsPerBar = 4;
    int beatUnit = 4;
};

class SynthPlayback {
public:
    virtual ~SynthPlayback() = default;
    // Music time since the song's start, comparable with its length.
    virtual std::optional<std::int32_t> Position() = 0;
};

class SynthSong {
public:
    virtual ~SynthSong() = default;
    virtual bool Prepare() = 0;
    virtual bool Download(SynthPlayer& player) = 0;
    virtual std::optional<std::int32_t> Length() = 0;
    virtual bool SetStartPoint(std::int32_t musicTime) = 0;
    virtual bool Unload(SynthPlayer& player) = 0;
};

class SongLoader {
public:
    virtual ~SongLoader() = default;
    virtual std::unique_ptr<SynthSong> LoadSong(const std::string& path) = 0;
};

class SynthPlayer {
public:
    virtual ~SynthPlayer() = default;
    virtual bool OpenAudio(std::uintptr_t window, int flags, const std::array<std::int32_t, 7>& params,
                           int pathType, int channels) = 0;
    virtual bool SetupCall(int value) = 0;
    // The meter in force at `musicTime`; `next` receives the music time of the next change.
    virtual std::optional<TimeSignature> GetTimeSignature(std::int32_t musicTime, std::int32_t& next) = 0;
    virtual bool SetTempoFactor(float factor) = 0;
    virtual bool SetMasterVolume(std::int32_t volume) = 0;
    virtual std::unique_ptr<SynthPlayback> Play(SynthSong& song, int flags, std::int64_t startTime) = 0;
    virtual bool SendMidi(std::int64_t time, int flags, int channel, int status, int data1, int data2) = 0;
    // Sends a message so that it sounds at `due` on the program's monotonic
    // clock (app/clock.h), as exactly as the synthesiser's rendering allows; a
    // message already due sounds at once. Scheduled messages outlive the
    // player that took them, until CancelScheduled.
    virtual bool SendMidiAt(std::int64_t dueMicros, int channel, int status, int data1, int data2) {
        (void)dueMicros;
        return SendMidi(0, 1, channel, status, data1, data2);
    }
    // Drops every scheduled message that has not sounded yet.
    virtual void CancelScheduled() {}
    virtual bool Stop(SynthSong& song, std::int64_t stopTime, int flags) = 0;
    virtual bool TearDown1() = 0;
    virtual bool TearDown2(int value) = 0;
};

// What the sound output can do on this machine, for the window to tell the user.
struct SoundStatus {
    bool soundFontLoaded = false;
    bool audioOutput = false;   // false: playback runs on a silent clock
    int outputLatencyMs = 0;    // time from rendering a sample to hearing it
    // How far the player's position runs ahead of what is heard: the output
    // latency and one render call, as the position is that of the call's
    // last block by the time it can be read.
    int positionLeadMs = 0;
    int bufferMs = 0;           // the buffer the output keeps now (it may adapt)
    std::uint64_t underruns = 0; // times the output ran dry so far
    std::string driver;         // e.g. "pulseaudio"
    double soundFontLoadMs = 0; // how long loading the SoundFont took
    std::string message;        // empty when all is well
};

class SynthRoot {
public:
    virtual ~SynthRoot() = default;
    virtual std::unique_ptr<SongLoader> CreateLoader() = 0;
    virtual std::unique_ptr<SynthPlayer> CreatePlayer() = 0;
    // What the sound output can do now: a SoundFont that failed to read after
    // start-up, a sound device that went away or came back. Nothing from a
    // root whose status never changes after it was made.
    virtual std::optional<SoundStatus> StatusNow() { return std::nullopt; }
    // Sounds a channel message at once, with no player: a MIDI keyboard's
    // notes, from the thread that hears them. Safe to call from any thread
    // while the root lives. False when nothing can sound it.
    virtual bool PlayNow(int channel, int status, int data1, int data2) {
        (void)channel, (void)status, (void)data1, (void)data2;
        return false;
    }
    // positionLeadMs as it is now, cheaply, for the follower to ask on every
    // tick: an output whose buffer adapts changes it while a song plays.
    // Nothing from a root that has no live figure.
    virtual std::optional<int> PositionLeadMsNow() { return std::nullopt; }
};

}  // namespace tonemark
