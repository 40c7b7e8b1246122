#include "midifile/reader.h"

#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <optional>
#include <vector>

#include "midifile/byte_cursor.h"

namespace tonemark {
namespace {

constexpr std::uint8_t kNoteOnChannel1 = 0x90;
constexpr std::uint8_t kMetaEvent = 0xFF;
constexpr std::uint8_t kEndOfTrack = 0x2F;
constexpr std::uint8_t kFirstMetaWithoutLength = 0x80;

struct HeaderFields {
    bool multiTrack = false;
    int trackCount = 0;
    std::uint16_t division = 0;
};

// The six bytes after the (ignored) header length: format, track count and
// division. Only the low bytes of format and track count matter.
std::optional<HeaderFields> ReadHeaderBody(ByteCursor& in) {
    if (!in.Skip(4)) return std::nullopt;
    auto format = in.BigEndian(2);
    auto tracks = in.BigEndian(2);
    auto division = in.BigEndian(2);
    if (!format || !tracks || !division) return std::nullopt;
    return HeaderFields{(*format & 0xFFu) != 0, static_cast<int>(*tracks & 0xFFu),
                        static_cast<std::uint16_t>(*division)};
}

// Where the walk through the track stands: notes started, running tick and time.
struct TrackWalk {
    MainState& s;
    std::size_t notes = 0;
    double tick = 0;
    double ms = 0;
    // Per note number (a data byte may be out of range in a damaged file), the
    // notes of that pitch still sounding, latest last.
    std::array<std::vector<std::size_t>, 256> sounding{};
};

// A note-on on channel 1. Velocity 0 closes the most recently started note,
// whatever its pitch: the song is read as one voice.
bool ReadNoteOn(ByteCursor& in, TrackWalk& walk) {
    auto note = in.Byte();
    auto velocity = in.Byte();
    if (!note || !velocity) return false;
    auto& events = walk.s.NoteEvents;
    if (events.size() < walk.notes + 1) events.resize(walk.notes + 1);
    if (*velocity == 0) {
        if (walk.notes > 0) events[walk.notes - 1].EndTick = walk.tick;
        // The synthesiser ends the latest note of this pitch.
        std::vector<std::size_t>& sounding = walk.sounding[*note];
        if (!sounding.empty()) {
            events[sounding.back()].OffTick = walk.tick;
            sounding.pop_back();
        }
        return true;
    }
    NoteEvent& started = events[walk.notes];
    started.NoteNumber = *note;
    started.StartTick = walk.tick;
    started.TimeMs = walk.ms;
    started.NoteName = PitchNames[*note % 12];
    started.Velocity = *velocity;
    started.OffTick = -1;
    walk.sounding[*note].push_back(walk.notes);
    ++walk.notes;
    return true;
}

enum class MetaResult { Passed, EndOfTrack, OutOfData };

// A meta event after its FF. Types from 0x80 up carry no length for this reader.
MetaResult ReadMeta(ByteCursor& in) {
    auto type = in.Byte();
    if (!type) return MetaResult::OutOfData;
    if (*type == kEndOfTrack) return in.Byte() ? MetaResult::EndOfTrack : MetaResult::OutOfData;
    if (*type >= kFirstMetaWithoutLength) return MetaResult::Passed;
    auto length = in.VarLen();
    if (!length || !in.Skip(*length)) return MetaResult::OutOfData;
    return MetaResult::Passed;
}

// Event after event up to the end-of-track event. Any status other than a
// channel-1 note-on or a meta event is passed over alone: the byte after it is
// taken as the next delta time.
ReadStatus WalkEvents(ByteCursor& in, MainState& s) {
    TrackWalk walk{s};
    for (;;) {
        auto delta = in.VarLen();
        if (!delta) return ReadStatus::Truncated;
        walk.tick += *delta;
        walk.ms += *delta * s.MsPerTick;
        auto status = in.Byte();
        if (!status) return ReadStatus::Truncated;
        if (*status == kNoteOnChannel1) {
            if (!ReadNoteOn(in, walk)) return ReadStatus::Truncated;
        } else if (*status == kMetaEvent) {
            MetaResult meta = ReadMeta(in);
            if (meta == MetaResult::OutOfData) return ReadStatus::Truncated;
            if (meta == MetaResult::EndOfTrack) return ReadStatus::Ok;
        }
    }
}

// Only the first track chunk is read; its length is not trusted.
ReadStatus ReadFirstTrack(ByteCursor& in, MainState& s) {
    auto tag = in.Take(4);
    if (!tag) return ReadStatus::Truncated;
    if (*tag != "MTrk") return ReadStatus::NoTrack;
    if (!in.Skip(4)) return ReadStatus::Truncated;
    return WalkEvents(in, s);
}

int NotesPerBar(int noteValueTicks) {
    switch (noteValueTicks) {
        case 384: return 2;
        case 192: return 4;
        case 96: return 8;
        case 48: return 16;
        default: return 0;  // the bar never advances
    }
}

}  // namespace

// Refused files (no "MThd", a header cut short, a timecode division) change
// nothing. From the division on, the notes are replaced; a track cut short
// keeps the notes read before the cut and still gets its GoodTrack.
ReadStatus ReadFourBytes(MainState& s, std::string_view bytes) {
    ByteCursor in(bytes);
    auto tag = in.Take(4);
    if (!tag || *tag != "MThd") return ReadStatus::NotMidi;
    auto header = ReadHeaderBody(in);
    if (!header) return ReadStatus::Truncated;
    if (header->division & 0x8000u) return ReadStatus::TimecodeDivision;

    s.Division = static_cast<std::int16_t>(header->division);
    s.NoteEvents.assign(1, NoteEvent{});
    ReadStatus status = ReadStatus::Ok;
    if (!(header->multiTrack && header->trackCount == 0)) status = ReadFirstTrack(in, s);
    if (status == ReadStatus::NoTrack) return status;
    AggiornaTracciaBuona(s);
    return status;
}

namespace {

std::optional<std::string> ReadWholeFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) return std::nullopt;
    std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    if (file.bad()) return std::nullopt;
    return bytes;
}

}  // namespace

ReadStatus ReadFour(MainState& s) {
    const auto bytes = ReadWholeFile(s.SmfPath);
    if (!bytes) return ReadStatus::CannotOpen;
    return ReadFourBytes(s, *bytes);
}

// Another program may have changed or cut the file in the moment between
// writing and reading it; reading it then would show what was never built.
ReadStatus ReadBack(MainState& s) {
    const auto bytes = ReadWholeFile(s.SmfPath);
    if (!bytes) return ReadStatus::CannotOpen;
    if (*bytes != s.SmfImage) return ReadStatus::ChangedOnDisk;
    return ReadFourBytes(s, *bytes);
}

// Bars are counted by notes, which is exact for generated scales, where every
// note lasts NoteValueTicks. The last element of NoteEvents is the spare.
void AggiornaTracciaBuona(MainState& s) {
    const int perBar = NotesPerBar(s.NoteValueTicks);
    std::int16_t bar = 0;
    int count = 0;
    const std::size_t noteCount = s.NoteEvents.empty() ? 0 : s.NoteEvents.size() - 1;
    for (std::size_t i = 0; i < noteCount; ++i) {
        s.GoodTrack.resize(i + 1);
        const NoteEvent& event = s.NoteEvents[i];
        TrackNote& note = s.GoodTrack[i];
        note.NoteNumber = event.NoteNumber;
        note.NoteName = event.NoteName;
        note.DurationText = WholeNumberText(event.EndTick - event.StartTick);
        note.Bar = bar;
        if (++count == perBar) {
            ++bar;
            count = 0;
        }
    }
}

// The tempo of the file just built, from its first FF 51 event and the
// header's division. Images without a usable tempo change nothing.
void ReadFile(Main& m) {
    const std::string& image = m.state.SmfImage;
    auto byteAt = [&image](std::size_t i) { return static_cast<std::uint32_t>(static_cast<std::uint8_t>(image[i])); };
    constexpr std::size_t kDivisionAt = 12;
    const std::size_t tempoAt = image.find(std::string_view("\xFF\x51", 2));
    if (tempoAt == std::string::npos || tempoAt + 5 >= image.size() || image.size() < kDivisionAt + 2) return;

    const std::uint32_t micros = (byteAt(tempoAt + 3) << 16) | (byteAt(tempoAt + 4) << 8) | byteAt(tempoAt + 5);
    const std::uint32_t division = (byteAt(kDivisionAt) << 8) | byteAt(kDivisionAt + 1);
    if (micros == 0 || division == 0 || (division & 0x8000u)) return;
    const long bpm = std::lround(60000000.0 / micros);
    if (bpm > INT16_MAX) return;

    m.state.TempoMicros = micros;
    m.state.TempoBPM = static_cast<std::int16_t>(bpm);
    m.state.MsPerTick = static_cast<double>(micros) / division / 1000.0;
    m.ui.Label9.caption = std::to_string(bpm);
}

std::string DescribeReadStatus(ReadStatus status, const std::string& path) {
    switch (status) {
        case ReadStatus::Ok: return {};
        case ReadStatus::CannotOpen: return "Cannot open " + path + ".";
        case ReadStatus::NotMidi: return path + " is not a MIDI file.";
        case ReadStatus::NoTrack: return path + " holds no track.";
        case ReadStatus::Truncated: return path + " ends early; only the notes before the cut were read.";
        case ReadStatus::TimecodeDivision: return path + " uses timecode timing, which is not supported.";
        case ReadStatus::ChangedOnDisk:
            return path + " was changed by another program before it could be read back; the song on show is kept.";
    }
    return {};
}

}  // namespace tonemark
