#include "keyboard/recorder.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <optional>
#include <string_view>

#include "app/lifecycle.h"
#include "app/song_files.h"
#include "keyboard/metronome.h"
#include "keyboard/tempo.h"
#include "keyboard/timing_report.h"
#include "practice/session.h"
#include "sound/transport.h"
#include "theory/scales.h"

namespace tonemark {
namespace {

constexpr char kRecordedEntry[] = "Recorded SMF";
constexpr char kRecordedTitle[] = "Recorded SMF: Song 1";
constexpr int kFirstKeyNoteFromPress = 68;     // key index + 128 - 68 = note
constexpr int kFirstKeyNoteFromRelease = 188;  // key index - 128 + 188 = note

std::string Row(double time, const char* status, int note, const char* velocity, const char* description) {
    return std::to_string(static_cast<long long>(time)) + "\t" + status + "\t" + std::to_string(note) + "\t" +
           velocity + "\t" + description;
}

void SilenceChannel0(Main& m) {
    if (m.SynthPlayerHandle) m.SynthPlayerHandle->SendMidi(0, 1, 0, 176, 120, 0);
}

void GreyBeatLamps(Main& m) {
    for (int lamp : {3, 0, 1, 2}) m.ui.Beat[static_cast<size_t>(lamp)].backColor = kBeatGrey;
}

// The tick's recording step: the pending marks go into the take at the
// running index; a release replaces a press made in the same tick. A tick
// left empty takes the oldest mark that found no tick of its own, once that
// mark's moment has come.
void RecordTick(Main& m) {
    MainState& s = m.state;
    const auto index = static_cast<std::size_t>(s.RecTickCount);
    // A take's first tick starts a clean array: an entry left at index 0 by an
    // earlier take is not a key this take played.
    if (index == 0) {
        s.RecTicks.assign(1, 0);
        m.recVelocity.assign(1, 0);
    }
    s.RecTicks.resize(index + 1, 0);
    m.recVelocity.resize(index + 1, 0);
    if (s.PendingKeyDown > 0) s.RecTicks[index] = s.PendingKeyDown;
    if (s.PendingKeyUp < 0) s.RecTicks[index] = s.PendingKeyUp;
    if (s.RecTicks[index] != 0) {
        m.recVelocity[index] = 0;
    } else if (!m.queuedMarks.empty() && m.queuedMarks.front().tick <= m.Timer3Clock.Done()) {
        s.RecTicks[index] = m.queuedMarks.front().mark;
        m.recVelocity[index] = m.queuedMarks.front().velocity;
        m.queuedMarks.pop_front();
    }
    s.PendingKeyDown = 0;
    s.PendingKeyUp = 0;
    s.RecTickCount += 1;
}

std::optional<int> Field(const std::vector<std::string_view>& fields, std::size_t i) {
    if (i >= fields.size()) return std::nullopt;
    int value = 0;
    const auto [end, error] = std::from_chars(fields[i].data(), fields[i].data() + fields[i].size(), value);
    if (error != std::errc{} || end != fields[i].data() + fields[i].size()) return std::nullopt;
    return value;
}

std::vector<std::string_view> SplitAtTabs(std::string_view row) {
    std::vector<std::string_view> fields;
    for (std::size_t start = 0;;) {
        const std::size_t tab = row.find('\t', start);
        fields.push_back(row.substr(start, tab == std::string_view::npos ? std::string_view::npos : tab - start));
        if (tab == std::string_view::npos) return fields;
        start = tab + 1;
    }
}

// How the take sat on the metronome's beat, before whatever else the message line says.
void ReportTakeTiming(Main& m) {
    const MainState& s = m.state;
    const auto timing = MeasureTakeTiming(s.RecTicks, m.takeFirstTick, m.metronomeFirstTick,
                                          TimingGridMs(s.TicksPerBeat, s.QuantizeChoice));
    if (!timing) return;
    const std::string report = TimingReportText(*timing, s.QuantizeChoice);
    const std::string others = m.ui.StatusLine.caption;
    m.Notify(others.empty() ? report : report + " " + others);
}

}  // namespace

std::vector<std::string> RawTakeLog(const std::vector<std::int16_t>& recTicks,
                                     const std::vector<std::uint8_t>& velocities) {
    std::vector<std::string> rows;
    // Every entry is one millisecond of the take, whether a key moved in it
    // or not, so each row keeps the time it was played at.
    double time = 0;
    for (std::size_t i = 0; i < recTicks.size(); ++i, time += 1) {
        const std::int16_t v = recTicks[i];
        const int velocity = i < velocities.size() && velocities[i] > 0 ? velocities[i] : 100;
        if (v > 0)
            rows.push_back(Row(time, "144", v - kFirstKeyNoteFromPress, std::to_string(velocity).c_str(), "Note ON"));
        else if (v < 0)
            rows.push_back(Row(time, "128", v + kFirstKeyNoteFromRelease, "0", "Note OFF"));
    }
    rows.push_back(Row(time, "176", 120, "0", "All Sounds OFF"));
    rows.push_back(Row(time, "176", 123, "0", "All Notes OFF"));
    return rows;
}

void Command2_Click(Main& m) {
    PracticeEscape(m);  // a practice pass under way ends: the keys are the take's now
    // A take never saved is kept as a numbered file before this one replaces it.
    const std::string shownBefore = m.ui.StatusLine.caption;
    m.ui.StatusLine.caption.clear();
    KeepPreviousTake(m);
    const std::string keptNotice = m.ui.StatusLine.caption;
    m.ui.StatusLine.caption = keptNotice.empty() ? shownBefore : keptNotice;
    RestoreKeyColors(m);
    m.state.BeatTick = 0;
    m.ui.Timer3.enabled = true;
    if (!m.Timer3Clock.Running()) m.Timer3Clock.Start(m.platform->Now());
    m.metronomeFirstTick = m.Timer3Clock.Done() + 1;
    ResetClickSchedule(m);

    auto& entries = m.ui.List1.rows;
    if (entries.size() > kTakeEntry) entries.erase(entries.begin() + kTakeEntry);
    entries.push_back(kRecordedEntry);
    if (m.ui.List1.listIndex == kTakeEntry) m.ui.List1.listIndex = -1;  // the selected entry went away
    m.ui.Labella.caption = kRecordedTitle;

    m.ui.List4.listIndex = 0;
    List4_Click(m);
    m.state.RecTickCount = 0;
    m.ui.Command3.enabled = true;
    m.ui.RecLed.backColor = kRed;
    m.ui.Command4.enabled = false;
    m.ui.BtnPlay.enabled = false;
    m.ui.List2.rows.clear();
    m.ui.List2.listIndex = -1;
    m.ui.List3.rows.clear();
    m.queuedMarks.clear();
    m.midiRangeTold = false;
    m.midiUnrecorded.fill(0);
    m.midiFloodTold = false;
    if (!keptNotice.empty()) m.Notify(keptNotice);  // the take's reload above spoke last
}

void Timer3_Timer(Main& m) {
    if (m.state.TakeStarted && m.state.RecTickCount == 0) m.takeFirstTick = m.Timer3Clock.Done();
    if (m.state.TakeStarted) RecordTick(m);
    MetronomeTick(m, m.Timer3Clock.Done());
    if (m.state.RecTickCount > kTakeLimitTicks) {
        Command3_Click(m);
        const std::string said = m.ui.StatusLine.caption;
        m.Notify("The take reached its limit of 30 seconds and was stopped." + (said.empty() ? "" : " " + said));
    }
}

void RunTimer3Until(Main& m, MonotonicMicros t) {
    while (m.ui.Timer3.enabled && m.Timer3Clock.Advance(t)) Timer3_Timer(m);
}

void PlaceLateKeyMarks(Main& m, MonotonicMicros when, bool wasRecording) {
    MainState& s = m.state;
    if (!m.ui.Timer3.enabled || !s.TakeStarted) return;
    const TickClock& clock = m.Timer3Clock;
    // The first tick due after the event (a key played before "Rec" belongs to the first tick).
    const std::int64_t eventTick = when < clock.Started() ? 1 : (when - clock.Started()) / TickClock::kTickMicros + 1;
    const std::int64_t late = clock.Done() - eventTick + 1;
    if (late <= 0) return;  // its tick is still to come and will store the marks
    std::size_t index = 0;
    if (!wasRecording) {
        // The take began with this key: at its tick, as if the event had come in time.
        m.takeFirstTick = eventTick;
        s.RecTicks.assign(static_cast<std::size_t>(late), 0);
        s.RecTickCount = static_cast<double>(late);
    } else {
        index = static_cast<std::size_t>(std::max<double>(s.RecTickCount - static_cast<double>(late), 0));
        if (index >= s.RecTicks.size()) return;
    }
    std::int16_t& slot = s.RecTicks[index];
    // A tick holds one event, and a release wins over a press in the same tick.
    if (s.PendingKeyUp < 0) slot = s.PendingKeyUp;
    else if (s.PendingKeyDown > 0 && slot >= 0) slot = s.PendingKeyDown;
    if (index < m.recVelocity.size()) m.recVelocity[index] = 0;
    s.PendingKeyDown = 0;
    s.PendingKeyUp = 0;
}

namespace {

// How many ticks a key's move may be put off when the tick it happened in
// holds another (a chord struck within a millisecond). Moves that come faster
// than that for long (a flood of them) are not recorded: the take keeps its
// time, and what was played before and after stays where it was played.
constexpr std::int64_t kMostPutOffTicks = 8;

// A press kept out of the take (its release will be too), told once a take.
void LeaveOut(Main& m, int key) {
    m.midiUnrecorded[static_cast<std::size_t>(key)] += 1;
    if (m.midiFloodTold) return;
    m.midiFloodTold = true;
    m.Notify("The MIDI keyboard played more than a take can hold (one key a millisecond): some notes were not recorded.");
}

}  // namespace

void PlaceKeyMarkAt(Main& m, std::int16_t mark, std::uint8_t velocity, MonotonicMicros when) {
    RunTimer3Until(m, when);
    MainState& s = m.state;
    if (!m.ui.Timer3.enabled || mark == 0) return;
    const int key = mark > 0 ? mark - 128 : mark + 128;
    int& unrecorded = m.midiUnrecorded[static_cast<std::size_t>(key)];
    if (mark < 0 && unrecorded > 0) {
        unrecorded -= 1;  // the release of a press left out
        return;
    }
    // A release of a press in the take is kept however far it must be put off.
    const bool mayLeaveOut = mark > 0;
    const TickClock& clock = m.Timer3Clock;
    const std::int64_t eventTick = when < clock.Started() ? 1 : (when - clock.Started()) / TickClock::kTickMicros + 1;
    const std::int64_t late = clock.Done() - eventTick + 1;
    if (!s.TakeStarted) {
        if (mark < 0) return;  // a key let go before the take's first press is no part of it
        s.TakeStarted = true;
        if (late > 0) {
            // The take began with this press, at its own tick.
            m.takeFirstTick = eventTick;
            s.RecTicks.assign(static_cast<std::size_t>(late), 0);
            m.recVelocity.assign(static_cast<std::size_t>(late), 0);
            s.RecTickCount = static_cast<double>(late);
            s.RecTicks[0] = mark;
            m.recVelocity[0] = velocity;
            return;
        }
    } else if (late > 0) {
        // Its tick has run: the mark goes there, or to the first free tick after it.
        const auto own = static_cast<std::size_t>(std::max<double>(s.RecTickCount - static_cast<double>(late), 0));
        for (std::size_t index = own; index < s.RecTicks.size(); ++index) {
            if (s.RecTicks[index] != 0) continue;
            if (mayLeaveOut && static_cast<std::int64_t>(index - own) > kMostPutOffTicks) break;
            s.RecTicks[index] = mark;
            if (m.recVelocity.size() < s.RecTicks.size()) m.recVelocity.resize(s.RecTicks.size(), 0);
            m.recVelocity[index] = velocity;
            return;
        }
    }
    // The ticks to come take the waiting marks one by one, each from its own tick on.
    const std::int64_t landsOn = std::max(eventTick, clock.Done() + 1 + static_cast<std::int64_t>(m.queuedMarks.size()));
    if (mayLeaveOut && landsOn - eventTick > kMostPutOffTicks) {
        LeaveOut(m, key);
        return;
    }
    m.queuedMarks.push_back({mark, velocity, eventTick});
}

void Command3_Click(Main& m) {
    // The follower runs "Stop" at the end of every song; only a stop that ends
    // a recording turns the keys played into a take.
    const bool recording = m.ui.Timer3.enabled;
    m.ui.BtnPlay.enabled = true;
    GreyBeatLamps(m);
    m.ui.Timer3.enabled = false;
    m.Timer3Clock.Stop();
    ResetClickSchedule(m);

    m.state.RecTickCount = 0;
    m.ui.Command4.enabled = true;
    m.ui.RecLed.backColor = kLampGrey;

    SilenceChannel0(m);
    RestoreKeyColors(m);
    m.ui.Command2.enabled = true;

    if (m.state.TakeStarted && recording) {
        m.ui.List3.rows = RawTakeLog(m.state.RecTicks, m.recVelocity);
        m.state.RecTickCount = 0;
        for (std::int16_t v : m.state.RecTicks)
            if (v == 0) m.state.RecTickCount += 1;
        m.state.TakeTempoBPM = static_cast<std::int16_t>(std::atoi(m.ui.LabSpeed.caption.c_str()));
        m.state.TakeSaved = false;
        m.ui.List1.listIndex = kTakeEntry;
        List1_Click(m);
        ReportTakeTiming(m);
    }
    m.state.TakeStarted = false;
}

void Command4_Click(Main& m) {
    m.state.RecTickCount = 0;
    m.state.TakeStarted = false;
    PlayMidiFile(m);
    m.ui.Command2.enabled = false;
    m.ui.RecLed.backColor = kGreen;
}

void List2_MouseDown(Main& m) {
    const Control& list = m.ui.List2;
    if (list.rows.empty() || list.listIndex < 0 || list.listIndex >= static_cast<int>(list.rows.size())) return;
    const auto fields = SplitAtTabs(list.rows[static_cast<std::size_t>(list.listIndex)]);
    const auto status = Field(fields, 1), data1 = Field(fields, 2), data2 = Field(fields, 3);
    if (!status || !data1 || !data2) return;
    if (m.state.DeviceReady && !m.state.FilePlaying && m.SynthPlayerHandle)
        m.SynthPlayerHandle->SendMidi(0, 1, 0, *status, *data1, *data2);
}

}  // namespace tonemark
