#include "keyboard/recorder.h"

namespace tonemark {

// The recorder's "Stop". The transport runs it when a song ends; the
// recorder itself (the take, the metronome, the event log) is not built yet,
// so there is nothing to stop.
void Command3_Click(Main& /*m*/) {}

}  // namespace tonemark
