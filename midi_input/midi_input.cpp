#include "midi_input/midi_input.h"

#include <utility>

#include "sound/synth.h"

namespace tonemark {

MidiInputHub::MidiInputHub(std::function<void()> wake) : wake_(std::move(wake)) {}

void MidiInputHub::Sound(const MidiInputEvent& event) {
    SynthRoot* synth = synth_.load();
    if (synth == nullptr) return;
    // Every keyboard plays the program's piano, on channel 0.
    switch (event.kind) {
    case MidiInputEvent::Kind::NoteOn: synth->PlayNow(0, 0x90, event.note, event.velocity); break;
    case MidiInputEvent::Kind::NoteOff: synth->PlayNow(0, 0x80, event.note, 0); break;
    case MidiInputEvent::Kind::Sustain: synth->PlayNow(0, 0xB0, 64, event.note); break;
    }
}

void MidiInputHub::WakeIfFirst(bool wasEmpty) {
    if (wasEmpty && wake_) wake_();
}

void MidiInputHub::Event(const MidiInputEvent& event) {
    Sound(event);
    bool wasEmpty = false;
    bool tell = false;
    {
        std::lock_guard lock(mutex_);
        if (event.kind == MidiInputEvent::Kind::NoteOn) held_[event.note] += 1;
        if (event.kind == MidiInputEvent::Kind::NoteOff && held_[event.note] > 0) held_[event.note] -= 1;
        wasEmpty = events_.empty() && messages_.empty();
        const bool off = event.kind == MidiInputEvent::Kind::NoteOff;
        const std::uint8_t status = off ? 0x80 : event.kind == MidiInputEvent::Kind::NoteOn ? 0x90 : 0xB0;
        if (!balance_.Admit(status, event.note, event.velocity)) {
            // the release of a press the queue had no room for
        } else if (events_.size() < kQueueLimit || off) {
            // A release of a queued press always gets in (there are no more
            // of them than presses queued): a key left down in the take would
            // hold its note to the end.
            events_.push_back(event);
        } else {
            balance_.NoRoom(status, event.note, event.velocity);
            if (!overflowTold_) {
                overflowTold_ = true;
                tell = true;
                messages_.push_back(
                    "The MIDI keyboard sends more than the window can show: some notes were not recorded.");
            }
        }
    }
    WakeIfFirst(wasEmpty || tell);
}

void MidiInputHub::Message(const std::string& text) {
    bool wasEmpty = false;
    {
        std::lock_guard lock(mutex_);
        wasEmpty = events_.empty() && messages_.empty();
        messages_.push_back(text);
    }
    WakeIfFirst(wasEmpty);
}

void MidiInputHub::SourcesLost(MonotonicMicros when) {
    std::array<int, 128> held{};
    {
        std::lock_guard lock(mutex_);
        held = held_;
    }
    for (int note = 0; note < 128; ++note) {
        for (int i = 0; i < held[static_cast<std::size_t>(note)]; ++i) {
            MidiInputEvent off;
            off.kind = MidiInputEvent::Kind::NoteOff;
            off.note = static_cast<std::uint8_t>(note);
            off.when = when;
            Event(off);
        }
    }
    MidiInputEvent pedal;
    pedal.kind = MidiInputEvent::Kind::Sustain;
    pedal.note = 0;
    pedal.when = when;
    Sound(pedal);
}

std::vector<MidiInputEvent> MidiInputHub::TakeEvents() {
    std::lock_guard lock(mutex_);
    std::vector<MidiInputEvent> taken(events_.begin(), events_.end());
    events_.clear();
    if (taken.empty()) overflowTold_ = false;
    return taken;
}

std::vector<std::string> MidiInputHub::TakeMessages() {
    std::lock_guard lock(mutex_);
    return std::exchange(messages_, {});
}

}  // namespace tonemark
