// The recorder's four-beat metronome: which lamp lights and whether a click
// sounds on each tick of the recording clock, and the hand-over of clicks to
// the synthesiser ahead of their beat, so that each sounds at its own tick's
// time however late the tick itself runs.
#pragma once

#include <cstdint>

#include "app/main_form.h"

namespace tonemark {

// The metronome's click: a GM percussion note on channel 10 (index 9).
inline constexpr int kClickChannel = 9;
inline constexpr int kClickNote = 33;
inline constexpr int kClickVelocity = 100;

// What the metronome does on a tick with b = BeatTick and r = TicksPerBeat.
struct BeatAction {
    int light = -1;        // Beat lamp lit, or -1
    int grey = -1;         // Beat lamp turned grey, or -1
    bool click = false;
    bool restart = false;  // BeatTick goes back to 0 (before the tick adds 1)
};

BeatAction BeatActionAt(double beatTick, double ticksPerBeat);

// The metronome's step of the recording tick `tick` (the clock's tick number):
// lamps, click and BeatTick.
void MetronomeTick(Main& m, std::int64_t tick);

// Forgets the clicks handed over ahead and drops those not yet heard: after
// "Rec" restarts the beat, after "Stop", and when the tempo changes.
void ResetClickSchedule(Main& m);

}  // namespace tonemark
