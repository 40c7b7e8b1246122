// Turns the bytes of a MIDI stream into the events a keyboard player makes.
// Running status works; a note-on with velocity 0 is a note-off; real-time
// bytes (clock, active sensing...) may come anywhere, even inside a message,
// and are dropped; system exclusive messages and every other channel message
// are read past. A stray data byte with no status before it is ignored.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "midi_input/midi_event.h"

namespace tonemark {

class MidiParser {
public:
    // Reads one byte that arrived at `when`; an event when it completes one.
    std::optional<MidiInputEvent> Feed(std::uint8_t byte, MonotonicMicros when);

    // Reads a run of bytes, calling `sink(const MidiInputEvent&)` for each event.
    template <typename Sink>
    void Feed(const std::uint8_t* bytes, std::size_t count, MonotonicMicros when, Sink&& sink) {
        for (std::size_t i = 0; i < count; ++i)
            if (auto event = Feed(bytes[i], when)) sink(*event);
    }

    // Forgets a message half read (the source went away).
    void Reset();

private:
    std::uint8_t status_ = 0;  // running status; 0 while none
    std::uint8_t data_[2] = {0, 0};
    int have_ = 0;
    bool inSysEx_ = false;
};

// What one message handed over whole (as JACK hands them) is: a channel
// message of the right length, a system message (SysEx, clock, active
// sensing...: of no interest, and no fault), or bytes that are no MIDI
// message at all (data with no status, a message cut short or too long, a
// data byte with its top bit set).
enum class MessageForm : std::uint8_t { Channel, System, Malformed };
MessageForm FormOf(const std::uint8_t* bytes, std::size_t size);

// The event a complete channel message stands for, if it is one a player
// makes: note on/off (any channel) or the sustain pedal (controller 64).
std::optional<MidiInputEvent> DecodeChannelMessage(std::uint8_t status, std::uint8_t data1, std::uint8_t data2,
                                                   MonotonicMicros when);

}  // namespace tonemark
