#include "midifile/take_writer.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdint>
#include <optional>
#include <string_view>
#include <system_error>

#include "midifile/writer.h"

namespace tonemark {
namespace {

constexpr int kNoteOnChannel1 = 0x90;
constexpr int kKeyPressStatus = 144;
constexpr std::int64_t kLongestDelta = 16383;  // the most two delta bytes hold
constexpr std::int64_t kHighestDataByte = 127;
constexpr std::array<std::int64_t, 4> kQuantizeGrid = {0, 48, 96, 192};  // by quantize choice; 0 is none

// The four numbers of an event-log row; the description is not needed.
struct TakeRow {
    std::int64_t timeMs = 0;
    std::int64_t status = 0;
    std::int64_t note = 0;
    std::int64_t velocity = 0;
};

// A field that is a whole decimal number and nothing else. Fields are read as
// 32-bit numbers, so that every product below stays far inside 64 bits.
std::optional<std::int64_t> WholeNumber(std::string_view field) {
    std::int32_t value = 0;
    const char* end = field.data() + field.size();
    auto [stop, error] = std::from_chars(field.data(), end, value);
    if (error != std::errc() || stop != end) return std::nullopt;
    return value;
}

// The first four fields of a row; a row with fewer, or with one that is not a number, gives nothing.
std::optional<TakeRow> ParseRow(std::string_view row) {
    std::array<std::int64_t, 4> numbers{};
    std::size_t start = 0;
    for (std::int64_t& number : numbers) {
        if (start > row.size()) return std::nullopt;
        const std::size_t tab = std::min(row.find('\t', start), row.size());
        const auto value = WholeNumber(row.substr(start, tab - start));
        if (!value) return std::nullopt;
        number = *value;
        start = tab + 1;
    }
    return TakeRow{numbers[0], numbers[1], numbers[2], numbers[3]};
}

std::int64_t FloorDiv(std::int64_t a, std::int64_t b) {
    const std::int64_t q = a / b;
    return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

// floor(ms / msPerTick) with msPerTick = micros / 192 / 1000, in whole numbers:
// a double quotient can land just below a whole tick (250 ms at 75 BPM is
// exactly 60 ticks, but 250 / 4.1666... is 59.999...).
std::int64_t TickOf(std::int64_t ms, std::uint32_t micros) {
    return FloorDiv(ms * kTicksPerQuarter * 1000, std::max<std::int64_t>(micros, 1));
}

// Key presses are moved back onto the grid; the delta then has to fit two
// bytes, and a row earlier than the one before starts at once.
std::int64_t WrittenDelta(std::int64_t delta, bool keyPress, std::int64_t grid) {
    if (keyPress && grid > 0) delta = FloorDiv(delta, grid) * grid;
    return std::clamp<std::int64_t>(delta, 0, kLongestDelta);
}

// A data byte above 127 would read as a status byte and wreck the rest of the
// file. The closing rows (120 + key, 123 + key) get there from key 8 and key 5;
// written as 127 they are still velocity-0 note-ons and close the last note.
int DataByte(std::int64_t value) { return static_cast<int>(std::clamp<std::int64_t>(value, 0, kHighestDataByte)); }

void AppendByte(std::string& out, int value) { out += static_cast<char>(static_cast<std::uint8_t>(value)); }

std::int64_t GridOf(int quantizeChoice) {
    if (quantizeChoice < 0 || quantizeChoice >= static_cast<int>(kQuantizeGrid.size())) return 0;
    return kQuantizeGrid[static_cast<std::size_t>(quantizeChoice)];
}

// Deltas are measured between the rows' true tick times, so what quantizing
// or the cap cuts from one event is not made up by the next.
std::string TakeEvents(const TakeFileRequest& request) {
    const std::uint32_t micros = MicrosPerQuarter(request.tempoBpm);
    const std::int64_t grid = GridOf(request.quantizeChoice);
    std::string events;
    std::int64_t previousTick = 0;
    for (const std::string& text : request.rows) {
        const auto row = ParseRow(text);
        if (!row) continue;
        const std::int64_t tick = TickOf(row->timeMs, micros);
        const std::int64_t delta = WrittenDelta(tick - previousTick, row->status == kKeyPressStatus, grid);
        previousTick = tick;
        AppendVarLen(events, static_cast<std::uint32_t>(delta));
        AppendByte(events, kNoteOnChannel1);
        AppendByte(events, DataByte(row->note + request.transpose));
        AppendByte(events, DataByte(row->velocity));
    }
    // An eighth apart, four times "all sounds off" on channel 1.
    for (int i = 0; i < 4; ++i) events += std::string("\x60\xB0\x78\x00", 4);
    return events;
}

}  // namespace

std::string BuildTakeFile(const TakeFileRequest& request) {
    const std::string events = TakeEvents(request);
    const std::string tempo = SmfTempoEvent(request.tempoBpm);
    const std::string endOfTrack = SmfEndOfTrack();
    std::string file = SmfHeaderChunk();
    file += SmfTrackHeader(tempo.size() + events.size() + endOfTrack.size());
    file += tempo + events + endOfTrack;
    return file;
}

}  // namespace tonemark
