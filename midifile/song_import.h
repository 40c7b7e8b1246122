// Reads a Standard MIDI File made elsewhere (format 0 or 1, any number of
// tracks) into the notes it plays, timed in milliseconds through its tempo
// changes, so that it can be shown and played as a take is.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tonemark {

// A key pressed or released, as the recorder stores it.
struct SongKeyEvent {
    double timeMs = 0;
    bool press = false;
    int note = 0;
    int velocity = 0;  // of a press
};

struct ImportedSong {
    std::vector<SongKeyEvent> events;  // in time order; a release comes before a press at the same moment
    int tempoBpm = 120;                // the song's first tempo, rounded
    int notesLeftOut = 0;              // presses past kLongestImport, not kept
    std::string error;                 // why nothing could be read; empty when the song was read
};

// At most this many notes are kept; the score has room for a few thousand.
inline constexpr int kLongestImport = 2000;

// Every note of every channel but the percussion channel (10). A damaged
// track counts up to its last whole event; notes still sounding at its end
// are released there.
ImportedSong ImportSmf(std::string_view bytes);

}  // namespace tonemark
