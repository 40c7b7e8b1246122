// Reads the program's own Standard MIDI Files back into note data.
#pragma once

#include <string>
#include <string_view>

#include "app/main_form.h"

namespace tonemark {

enum class ReadStatus {
    Ok,            // a track was read to its end-of-track event
    CannotOpen,    // the file could not be opened
    NotMidi,       // no "MThd" at the start
    NoTrack,       // no "MTrk" where the first track should start
    Truncated,     // the data ended before the end-of-track event; what was read is kept
    TimecodeDivision,
    ChangedOnDisk, // the file is no longer what was just written to it; nothing was read
};

// Reads the file named by SmfPath into Division and NoteEvents, then builds GoodTrack.
ReadStatus ReadFour(MainState& s);
// ReadFour on the file just written, which must still hold exactly SmfImage.
ReadStatus ReadBack(MainState& s);
// The same on bytes already in memory.
ReadStatus ReadFourBytes(MainState& s, std::string_view bytes);
// GoodTrack from NoteEvents.
void AggiornaTracciaBuona(MainState& s);
// Tempo values from SmfImage; shows the tempo in Label9.
void ReadFile(Main& m);

// A short sentence for the window, empty for Ok.
std::string DescribeReadStatus(ReadStatus status, const std::string& path);

}  // namespace tonemark
