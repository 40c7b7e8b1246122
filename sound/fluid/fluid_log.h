// FluidSynth, and the ALSA library under it, print errors and warnings to the
// terminal; the program reports problems through SoundStatus instead.
#pragma once

namespace tonemark {

// Silences FluidSynth's messages below "panic" and ALSA's error messages.
// Safe to call more than once.
void QuietFluidLog();

}  // namespace tonemark
