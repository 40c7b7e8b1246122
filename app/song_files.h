// Keeping what the user made: the song on show saved as a Standard MIDI File
// where the user chooses, and a take that "Rec" is about to replace kept as a
// numbered file beside the working files.
#pragma once

#include <string>

#include "app/main_form.h"

namespace tonemark {

// How many numbered takes ("madebyme-1.mid", "madebyme-2.mid", ...) stay in
// the temporary directory; older ones are deleted as newer ones are kept.
inline constexpr int kKeptTakeLimit = 10;

// A file name for the song on show, made from the title line: "Scala maggiore:
// DO" gives "Scala maggiore - DO.mid". Separators that a file name cannot hold
// (":", "/", "\") become " - ", control characters become blanks; an empty
// title gives "Tonemark.mid".
std::string ProposedSongFileName(const Main& m);

// Copies the file of the song on show (SmfPath) byte for byte to
// `destination`. The bytes go to a new file beside it that is renamed over
// `destination` only when complete, so a failed save leaves no half file and
// an existing file of that name as it was. Saving the take marks it saved.
// Tells the user the outcome; returns empty text on success, else the reason.
std::string SaveSongCopy(Main& m, const std::string& destination);

// For "Rec", before anything else: when the take's file is in the temporary
// directory and was never saved, copies it to the next numbered take and
// deletes all but the kKeptTakeLimit highest numbers. Tells the user where
// the take is kept and returns that path; empty when nothing needed keeping
// or keeping failed (the user is told why).
std::string KeepPreviousTake(Main& m);

}  // namespace tonemark
