// What the window works with while the synthesiser is still starting (its
// module loading on a thread of its own): it reads each song as the
// synthesiser would, so the score, the meter and the length are known and the
// window can be shown at once, but it sounds nothing and nothing plays on it.
// Once the synthesiser is there, SynthArrived (app/lifecycle.h) loads the song
// on show into it.
#pragma once

#include <memory>

#include "sound/synth.h"

namespace tonemark {

std::unique_ptr<SynthRoot> MakeStandInSynth();

}  // namespace tonemark
