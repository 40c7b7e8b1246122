#include "midifile/writer.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdint>
#include <initializer_list>

#include "app/temp_files.h"
#include "midifile/reader.h"
#include "theory/scales.h"

namespace tonemark {
namespace {

constexpr int kMiddleC = 60;
constexpr int kVelocity = 100;
constexpr int kNoteOnChannel1 = 0x90;
constexpr int kLastNoteTicks = 384;  // the final note is a half note

void AppendByte(std::string& out, int value) { out += static_cast<char>(static_cast<std::uint8_t>(value)); }

std::string Bytes(std::initializer_list<int> values) {
    std::string out;
    for (int value : values) AppendByte(out, value);
    return out;
}

// The track's note events and the event-log row of each.
struct EventWriter {
    std::string bytes;
    std::vector<std::string> log;

    void NoteOn(int note) { Event(0, note, kVelocity, "Note ON"); }
    void NoteOff(int delta, int note) { Event(delta, note, 0, "Note OFF"); }

    void Event(int delta, int note, int velocity, const char* description) {
        AppendVarLen(bytes, static_cast<std::uint32_t>(delta));
        AppendByte(bytes, kNoteOnChannel1);
        AppendByte(bytes, note);
        AppendByte(bytes, velocity);
        log.push_back(std::to_string(delta) + "\t144\t" + std::to_string(note) + "\t" + std::to_string(velocity) +
                      "\t" + description);
    }
};

struct Triad {
    int third;
    int fifth;
};

constexpr Triad kMajor{4, 7}, kMinor{3, 7}, kDiminished{3, 6};
// The chord built on each step of the major scale, up and back down.
constexpr std::array<Triad, 15> kTriadOnStep = {kMajor, kMinor, kMinor, kMajor, kMajor, kMinor, kDiminished, kMajor,
                                                kDiminished, kMinor, kMajor, kMajor, kMinor, kMinor, kMajor};

void WriteChord(EventWriter& out, std::size_t step, int root, int delta) {
    const Triad triad = kTriadOnStep[std::min(step, kTriadOnStep.size() - 1)];
    out.NoteOn(root);
    out.NoteOn(root + triad.third);
    out.NoteOn(root + triad.fifth);
    out.NoteOff(delta, root);
    out.NoteOff(0, root + triad.third);
    out.NoteOff(0, root + triad.fifth);
}

EventWriter TrackEvents(const ScaleFileRequest& request) {
    EventWriter out;
    for (std::size_t i = 0; i < request.steps.size(); ++i) {
        const bool last = i + 1 == request.steps.size();
        const int delta = last ? kLastNoteTicks : request.noteValueTicks;
        const int root = kMiddleC + request.steps[i] + request.transpose;
        if (request.scaleIndex == kTriadsEntry) {
            WriteChord(out, i, root, delta);
        } else {
            out.NoteOn(root);
            out.NoteOff(delta, root);
        }
    }
    return out;
}

// A caption read as a number: leading blanks, then an optional sign and digits; 0 when there are none.
int CaptionNumber(const std::string& caption) {
    const char* first = caption.data();
    const char* end = first + caption.size();
    while (first != end && *first == ' ') ++first;
    if (first != end && *first == '+') ++first;
    int value = 0;
    std::from_chars(first, end, value);
    return value;
}

ScaleFileRequest RequestFromWindow(const Main& m) {
    ScaleFileRequest request;
    request.scaleIndex = m.state.ScaleIndex;
    const std::size_t count = std::min<std::size_t>(std::max(m.state.ScaleLast + 1, 0), m.state.ScaleSteps.size());
    request.steps.assign(m.state.ScaleSteps.begin(), m.state.ScaleSteps.begin() + static_cast<std::ptrdiff_t>(count));
    request.transpose = CaptionNumber(m.ui.TransLab.caption);
    request.tempoBpm = CaptionNumber(m.ui.LabSpeed.caption);
    request.noteValueTicks = m.state.NoteValueTicks;
    return request;
}

}  // namespace

std::string SmfHeaderChunk() { return "MThd" + Bytes({0, 0, 0, 6, 0, 0, 0, 1, 0, kTicksPerQuarter}); }
std::string SmfEndOfTrack() { return Bytes({0x00, 0xFF, 0x2F, 0x00}); }

// 48 and 96 take one byte, 192 is 81 40 and 384 is 83 00.
void AppendVarLen(std::string& out, std::uint32_t value) {
    std::string groups(1, static_cast<char>(value & 0x7F));
    while ((value >>= 7) != 0) groups.insert(groups.begin(), static_cast<char>((value & 0x7F) | 0x80));
    out += groups;
}

std::uint32_t MicrosPerQuarter(int tempoBpm) {
    return std::min<std::uint32_t>(60000000u / static_cast<std::uint32_t>(std::max(tempoBpm, 1)), 0xFFFFFFu);
}

std::string SmfTempoEvent(int tempoBpm) {
    const std::uint32_t micros = MicrosPerQuarter(tempoBpm);
    return Bytes({0x00, 0xFF, 0x51, 0x03, static_cast<int>(micros >> 16), static_cast<int>(micros >> 8),
                  static_cast<int>(micros)});
}

std::string SmfTrackHeader(std::size_t trackLength) {
    std::string header = "MTrk";
    for (int shift = 24; shift >= 0; shift -= 8) AppendByte(header, static_cast<int>(trackLength >> shift));
    return header;
}

ScaleFile BuildScaleFile(const ScaleFileRequest& request) {
    EventWriter events = TrackEvents(request);
    const std::string tempo = SmfTempoEvent(request.tempoBpm);
    const std::string endOfTrack = SmfEndOfTrack();
    ScaleFile file;
    file.bytes = SmfHeaderChunk();
    file.bytes += SmfTrackHeader(tempo.size() + events.bytes.size() + endOfTrack.size());
    file.bytes += tempo + events.bytes + endOfTrack;
    file.log = std::move(events.log);
    return file;
}

bool MakeSMF(Main& m) {
    if (m.state.ScaleIndex == kTakeEntry) {
        // The take is on show: the reader goes back to the take's own file,
        // and the event list goes on showing the take's rows.
        m.ui.List2.rows = m.state.TakeRows;
        return true;
    }
    const ScaleFileRequest request = RequestFromWindow(m);
    if (request.tempoBpm <= 0) {
        m.Notify("The scale was not rebuilt: the tempo \"" + m.ui.LabSpeed.caption + "\" is not a positive number.");
        return false;
    }
    ScaleFile file = BuildScaleFile(request);
    const std::string path = JoinTempPath(m.platform->TempDirectory(), kScoreFileName);
    const std::string error = m.platform->WriteWorkingFile(path, file.bytes);
    if (!error.empty()) {
        // At start-up there is no earlier song to fall back on.
        const std::string kept = m.state.SmfPath.empty() ? "nothing can be played until it can be written"
                                                         : "the previous song is kept";
        m.Notify("The scale file could not be written (" + error + "); " + kept + ".");
        return false;
    }
    m.state.SmfImage = std::move(file.bytes);
    m.state.TempFilePath = path;
    m.state.SmfPath = path;
    m.ui.List2.rows = std::move(file.log);
    ReadFile(m);
    return true;
}

}  // namespace tonemark
