// Songs on show for the tests of the music model and its exports, each made
// through the window's own handlers on a started program.
#pragma once

#include "support/fake_synth.h"

namespace tonemark::testing {

// "Scala minore armonica" in DO (three flats, B natural shown), at 120 BPM,
// in notes of `noteValueTicks` (384, 192, 96 or 48).
void ShowHarmonicMinorInC(Main& m, int noteValueTicks);

// "Triadi" in RE (two sharps), quarter notes.
void ShowTriadsInD(Main& m);

// A take at 120 BPM (a sixteenth is 125 ms): C sharp 0-375 ms, a rest, D
// 1000-1500 held into E 1250-1750, C 1750-2000, a rest, F sharp 3500-4500
// across the bar line at 4000.
void RecordTestTake(Main& m, TestPlatform& platform);

}  // namespace tonemark::testing
