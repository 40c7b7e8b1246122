// The main window as the program's core sees it: its state record, its
// controls, its two drawing surfaces and the synthesiser handles. Handlers are
// free functions taking this record, declared next to the subsystem they
// belong to.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "app/clock.h"
#include "app/controls.h"
#include "app/main_state.h"
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
    // Now on the program's monotonic clock.
    virtual MonotonicMicros Now() { return MonotonicNow(); }
    // Shows the circle-of-fifths window, or brings it to the front.
    virtual void ShowCircle() {}
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

    Platform defaultPlatform;
    Platform* platform = &defaultPlatform;

    // Tell the user something in the window (empty text clears it).
    void Notify(const std::string& text) { ui.StatusLine.caption = text; }
};

}  // namespace tonemark
