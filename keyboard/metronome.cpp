#include "keyboard/metronome.h"

namespace tonemark {
namespace {

constexpr int kNoteOn = 144;

// Clicks are handed to the synthesiser this many ticks before they are due:
// far more than the event loop is ever busy, far less than a beat.
constexpr std::int64_t kClickLookAhead = 100;

// A click this late (the event loop was stalled) would no longer mark a beat.
constexpr MonotonicMicros kStaleClick = 50'000;

void SendClick(Main& m, std::int64_t tick) {
    if (!m.SynthPlayerHandle) return;
    const MonotonicMicros due = m.Timer3Clock.TimeOfTick(tick);
    if (due < m.platform->Now() - kStaleClick) return;
    m.SynthPlayerHandle->SendMidiAt(due, kClickChannel, kNoteOn, kClickNote, kClickVelocity);
}

double NextBeatTick(double beatTick, const BeatAction& action) { return (action.restart ? 0 : beatTick) + 1; }

// Hands over the clicks of the ticks after `tick` up to the look-ahead. The
// schedule runs its own copy of the beat counter ahead of BeatTick.
void ScheduleAhead(Main& m, std::int64_t tick) {
    ClickSchedule& ahead = m.clickSchedule;
    if (ahead.through < tick) {
        ahead.through = tick;
        ahead.beatTick = m.state.BeatTick;
        ahead.ticksPerBeat = m.state.TicksPerBeat;
    }
    while (ahead.through < tick + kClickLookAhead) {
        const std::int64_t next = ahead.through + 1;
        const BeatAction action = BeatActionAt(ahead.beatTick, ahead.ticksPerBeat);
        if (action.click) SendClick(m, next);
        ahead.beatTick = NextBeatTick(ahead.beatTick, action);
        ahead.through = next;
    }
}

}  // namespace

BeatAction BeatActionAt(double b, double r) {
    if (b == 0) return {0, -1, true, false};
    if (b == r) return {1, 0, true, false};
    if (b == 2 * r) return {2, 1, true, false};
    if (b == 3 * r) return {3, 2, true, false};
    if (b == 4 * r) return {0, 3, true, true};
    return {};
}

void MetronomeTick(Main& m, std::int64_t tick) {
    MainState& s = m.state;
    const BeatAction action = BeatActionAt(s.BeatTick, s.TicksPerBeat);
    if (action.grey >= 0) m.ui.Beat[static_cast<size_t>(action.grey)].backColor = kBeatGrey;
    if (action.light >= 0) m.ui.Beat[static_cast<size_t>(action.light)].backColor = kDarkRed;
    // Clicks handed over at another tempo are wrong now.
    if (m.clickSchedule.through >= tick && m.clickSchedule.ticksPerBeat != s.TicksPerBeat) ResetClickSchedule(m);
    // A click handed over ahead is already on its way; any other is due now.
    if (action.click && tick > m.clickSchedule.through) SendClick(m, tick);
    s.BeatTick = NextBeatTick(s.BeatTick, action);
    ScheduleAhead(m, tick);
}

void ResetClickSchedule(Main& m) {
    if (m.SynthPlayerHandle) m.SynthPlayerHandle->CancelScheduled();
    m.clickSchedule = ClickSchedule{};
}

}  // namespace tonemark
