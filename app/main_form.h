// The main window as the program's core sees it: its state record, its
// controls, its two drawing surfaces and the synthesiser handles. Handlers are
// free functions taking this record, declared next to the subsystem they
// belong to.
#pragma once

#include <array>
#include <deque>
#include <functional>
#include <memory>
#include <string>

#include "app/clock.h"
#include "app/controls.h"
#include "app/main_state.h"
#include "app/tick_clock.h"
#include "music/music_model.h"
#include "practice/session_state.h"
#include "score/canvas.h"
#include "sound/synth.h"

namespace tonemark {

// The few services the window system gives the handlers.
class Platform {
public:
    virtual ~Platform() = default;
    virtual void DoEvents() {}
    virtual void SetBusyCursor(bool /*busy*/) {}
    virtual void RepaintScore() {}
    virtual void EndProgram() {}
    // The temporary directory as the system reports it.
    virtual std::string TempDirectory();
    // Writes a working file whole (app/temp_files.h); empty text or what went wrong.
    virtual std::string WriteWorkingFile(const std::string& path, const std::string& bytes);
    // Now on the program's monotonic clock.
    virtual MonotonicMicros Now() { return MonotonicNow(); }
    // Shows the circle-of-fifths window, or brings it to the front.
    virtual void ShowCircle() {}
    // Shows the practice window, or brings it to the front.
    virtual void ShowPractice() {}
};

// The metronome's clicks already handed to the synthesiser: every click due up
// to tick `through`, counted at `ticksPerBeat`; `beatTick` is the beat counter
// for the tick after it.
struct ClickSchedule {
    std::int64_t through = -1;
    double beatTick = 0;
    double ticksPerBeat = -1;
};

// Shows the busy pointer for as long as it lives.
class BusyCursor {
public:
    explicit BusyCursor(Platform& p) : platform_(p) { platform_.SetBusyCursor(true); }
    ~BusyCursor() { platform_.SetBusyCursor(false); }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;

private:
    Platform& platform_;
};

struct Main {
    MainState state;
    MainControls ui = DesignedControls();
    RecordingCanvas Pic2{Px(1380)};
    RecordingCanvas PicScore{Px(245745)};

    // Synthesiser handles. The root lives for the whole run and is made on first use.
    // Makes the root and says what the sound output can do.
    std::function<std::unique_ptr<SynthRoot>(SoundStatus& status)> makeSynthRoot;
    std::unique_ptr<SynthRoot> SynthRootHandle;
    std::unique_ptr<SongLoader> SongLoaderHandle;
    std::unique_ptr<SynthPlayer> SynthPlayerHandle;
    std::unique_ptr<SynthSong> SynthSongHandle;
    std::unique_ptr<SynthPlayback> SynthPlaybackHandle;
    SoundStatus sound;

    // The music on show, made anew at every rebuild (music/music_model.h).
    MusicModel music;

    // The recording clock behind Timer3, and the clicks it has handed over;
    // the clock's ticks of the metronome's first click and of the take's first entry.
    TickClock Timer3Clock;
    ClickSchedule clickSchedule;
    std::int64_t metronomeFirstTick = 1;
    std::int64_t takeFirstTick = 0;
    // The velocity of the press at each tick of the take (0: the usual 100),
    // and marks waiting for a free tick: keys held together can be played
    // within one millisecond, and a tick holds one mark.
    std::vector<std::uint8_t> recVelocity;
    struct QueuedMark {
        std::int16_t mark;
        std::uint8_t velocity;
        std::int64_t tick;  // the clock's tick it happened in: it lands there or after
    };
    std::deque<QueuedMark> queuedMarks;
    bool midiRangeTold = false;  // this take has said which notes it keeps
    // Presses a flood kept out of the take, per on-screen key: their releases
    // are kept out too. This take has said so.
    std::array<int, 25> midiUnrecorded{};
    bool midiFloodTold = false;
    std::array<int, 25> midiHeld{};  // per on-screen key: MIDI notes holding it down

    // The practice mode (practice/session.h).
    PracticeState practice;

    Platform defaultPlatform;
    Platform* platform = &defaultPlatform;

    // Tell the user something in the window (empty text clears it).
    void Notify(const std::string& text) { ui.StatusLine.caption = text; }
};

}  // namespace tonemark
