// The recorder: "Rec" arms the recording clock and the metronome, the clock's
// tick stores the keys played, "Stop" turns the take into the raw event log
// and hands it to the take pipeline; the event list sounds a clicked row.
#pragma once

#include <string>
#include <vector>

#include "app/main_form.h"

namespace tonemark {

inline constexpr int kTakeLimitTicks = 30000;

void Command2_Click(Main& m);  // "Rec"
void Command3_Click(Main& m);  // the recorder's "Stop"
void Command4_Click(Main& m);  // the recorder's "Play"
void Timer3_Timer(Main& m);    // one tick of the recording clock
void List2_MouseDown(Main& m);

// Runs every tick of Timer3 that is due by `t`, in order, while the timer is
// enabled. Input events call it with their own time before they are handled,
// so that a press lands on the tick of the moment it happened.
void RunTimer3Until(Main& m, MonotonicMicros t);

// A key press or release that happened at `when` reached the handlers only
// after the recording ticks past that moment had run (the event loop ran a
// late timer before the late input): puts the marks it left where that
// moment's tick would have stored them, starting the take there if it is
// the take's first key. `wasRecording`: TakeStarted before the event.
void PlaceLateKeyMarks(Main& m, MonotonicMicros when, bool wasRecording);

// A press (key index + 128) or release (key index - 128) of a key that
// happened at `when`, with its velocity (0: the usual 100), from a source
// that can hold several keys at once (a MIDI keyboard). Armed, a press starts
// the take. The mark lands on its own tick however late it is handled; when
// that tick already holds one, on the next free tick.
void PlaceKeyMarkAt(Main& m, std::int16_t mark, std::uint8_t velocity, MonotonicMicros when);

// The raw event log of a take: one row per press or release at the
// millisecond it was played, then the two closing controller rows.
// `velocities` (per tick, 0 for the usual 100) gives each press its own.
std::vector<std::string> RawTakeLog(const std::vector<std::int16_t>& recTicks,
                                    const std::vector<std::uint8_t>& velocities = {});

}  // namespace tonemark
