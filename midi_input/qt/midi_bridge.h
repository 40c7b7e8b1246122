// MIDI keyboards in the window: opens the machine's MIDI inputs once the
// window is up, and brings what they play to the window's handlers on the
// user-interface thread (their sound has gone to the synthesiser already).
#pragma once

#include <QObject>
#include <memory>
#include <vector>

#include "app/main_form.h"
#include "midi_input/midi_input.h"

namespace tonemark {

class MainWindow;

class MidiBridge : public QObject {
public:
    // Opens the inputs after `delayMs`, so that the window is not held up.
    MidiBridge(MainWindow& window, int delayMs = 0);
    // Stops the inputs; the synthesiser given to SetSynth must outlive this.
    ~MidiBridge() override;

    // Where notes sound from now on (the root lives for the whole run).
    void SetSynth(SynthRoot* synth) { hub_.SetSynth(synth); }
    MidiInputHub& Hub() { return hub_; }

private:
    void Open();
    void Deliver();

    MainWindow& window_;
    MidiInputHub hub_;
    std::vector<std::unique_ptr<MidiInputBackend>> backends_;
    bool deliveryPosted_ = false;
};

}  // namespace tonemark
