// Opening a MIDI file given to the program (`tonemark song.mid`, or a file
// manager's "Open with"): its notes become the take, which is then written,
// engraved, loaded and played as a recorded take is; quantize and key work
// on it as on a take.
#pragma once

#include <string>

#include "app/main_form.h"

namespace tonemark {

// Shows the song in `path` as the take. A file that cannot be read, is not a
// MIDI file or holds no notes leaves everything as it was and says why in the
// message line. Returns whether the song is on show.
bool OpenSongFile(Main& m, const std::string& path);

}  // namespace tonemark
