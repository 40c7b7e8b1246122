#include "midi_input/midi_parser.h"

namespace tonemark {
namespace {

// Data bytes that follow a channel status byte.
int DataLength(std::uint8_t status) {
    switch (status & 0xF0) {
    case 0xC0:
    case 0xD0: return 1;
    default: return 2;
    }
}

}  // namespace

MessageForm FormOf(const std::uint8_t* bytes, std::size_t size) {
    if (size == 0 || bytes[0] < 0x80) return MessageForm::Malformed;
    if (bytes[0] >= 0xF0) return MessageForm::System;
    if (size != static_cast<std::size_t>(1 + DataLength(bytes[0]))) return MessageForm::Malformed;
    for (std::size_t i = 1; i < size; ++i)
        if (bytes[i] >= 0x80) return MessageForm::Malformed;
    return MessageForm::Channel;
}

std::optional<MidiInputEvent> DecodeChannelMessage(std::uint8_t status, std::uint8_t data1, std::uint8_t data2,
                                                   MonotonicMicros when) {
    MidiInputEvent e;
    e.channel = status & 0x0F;
    e.when = when;
    switch (status & 0xF0) {
    case 0x90:
        e.kind = data2 == 0 ? MidiInputEvent::Kind::NoteOff : MidiInputEvent::Kind::NoteOn;
        e.note = data1 & 0x7F;
        e.velocity = data2 & 0x7F;
        return e;
    case 0x80:
        e.kind = MidiInputEvent::Kind::NoteOff;
        e.note = data1 & 0x7F;
        e.velocity = 0;
        return e;
    case 0xB0:
        if (data1 != 64) return std::nullopt;
        e.kind = MidiInputEvent::Kind::Sustain;
        e.note = data2 & 0x7F;
        return e;
    default: return std::nullopt;
    }
}

std::optional<MidiInputEvent> MidiParser::Feed(std::uint8_t byte, MonotonicMicros when) {
    if (byte >= 0xF8) return std::nullopt;  // real-time: leaves everything else as it was
    if (byte & 0x80) {
        if (byte == 0xF7) {  // end of a system exclusive message
            inSysEx_ = false;
            return std::nullopt;
        }
        inSysEx_ = byte == 0xF0;
        // System common messages cancel running status; their data is read past.
        status_ = byte < 0xF0 ? byte : 0;
        have_ = 0;
        return std::nullopt;
    }
    if (inSysEx_ || status_ == 0) return std::nullopt;
    data_[have_++] = byte;
    if (have_ < DataLength(status_)) return std::nullopt;
    have_ = 0;  // running status: the next data byte starts the same kind of message
    return DecodeChannelMessage(status_, data_[0], DataLength(status_) > 1 ? data_[1] : 0, when);
}

void MidiParser::Reset() {
    status_ = 0;
    have_ = 0;
    inSysEx_ = false;
}

}  // namespace tonemark
