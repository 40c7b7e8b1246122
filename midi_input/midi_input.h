// MIDI keyboards: the backends that hear them (ALSA's sequencer, JACK) hand
// every event to a hub on their own thread. The hub sounds it at once on the
// synthesiser (whose note calls any thread may make), keeps it for the
// user-interface thread, which lights keys and records takes from it, and
// passes on what the backends have to say (a source connected, a server gone).
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "midi_input/key_balance.h"
#include "midi_input/midi_event.h"

namespace tonemark {

class SynthRoot;

// What a backend tells the program, from the backend's own thread.
class MidiInputSink {
public:
    virtual ~MidiInputSink() = default;
    virtual void Event(const MidiInputEvent& event) = 0;
    virtual void Message(const std::string& text) = 0;
    // Every note the backend's sources hold is let go (a source or the server went away).
    virtual void SourcesLost(MonotonicMicros when) = 0;
};

// A running backend; it stops hearing and joins its threads when destroyed.
class MidiInputBackend {
public:
    virtual ~MidiInputBackend() = default;
    virtual std::string Name() const = 0;
};

class MidiInputHub : public MidiInputSink {
public:
    // At most this many events wait for the user-interface thread; a flood
    // beyond it still sounds, but its presses are not lit or recorded (with
    // their releases), while the releases of presses already waiting are.
    static constexpr std::size_t kQueueLimit = 8192;

    // `wake` runs on the backend's thread when events or messages start to
    // wait; it should make the user-interface thread call Take...().
    explicit MidiInputHub(std::function<void()> wake);

    // Where notes sound; null for none. Any thread; the root must outlive the hub's backends.
    void SetSynth(SynthRoot* synth) { synth_.store(synth); }

    void Event(const MidiInputEvent& event) override;
    void Message(const std::string& text) override;
    void SourcesLost(MonotonicMicros when) override;

    // On the user-interface thread: what came in since the last call.
    std::vector<MidiInputEvent> TakeEvents();
    std::vector<std::string> TakeMessages();

private:
    void Sound(const MidiInputEvent& event);
    void WakeIfFirst(bool wasEmpty);

    std::function<void()> wake_;
    std::atomic<SynthRoot*> synth_{nullptr};
    std::mutex mutex_;
    std::deque<MidiInputEvent> events_;
    std::vector<std::string> messages_;
    std::array<int, 128> held_{};  // notes sounding from the keyboard, by number
    KeyBalance balance_;  // presses dropped for want of room, whose releases go too
    bool overflowTold_ = false;
};

}  // namespace tonemark
