// The music on show as MusicXML 4.0 (partwise), the exchange format that
// notation programs open: one treble staff with the key signature, meter and
// tempo of the song, every note spelled as the score writes it and with the
// sign the score shows, the rests of a take and the chords of the triads.
//
// MusicXML lays its notes out in time, bar by bar, where the score on show
// gives every note one column. A take is therefore written on a grid of
// sixteenths (the shortest value the score draws): each onset is moved to the
// nearest sixteenth, a rest stands where the score shows one, and where it
// shows none the note before lasts up to the next one. A note that crosses a
// bar line, or whose length no single value can write, is written as tied
// notes. Generated scales are written exactly as they sound.
#pragma once

#include <string>

#include "music/music_model.h"

namespace tonemark {

// The MusicXML document, UTF-8 text.
std::string MusicXmlDocument(const MusicModel& music);

// The same document packed as compressed MusicXML (.mxl): a zip archive with
// its "mimetype", "META-INF/container.xml" and the score.
std::string CompressedMusicXml(const MusicModel& music);

// Writes `music` to `path`, compressed when the name ends in ".mxl" (any case),
// else as plain MusicXML. The file appears complete or not at all. Returns an
// empty string on success, else the reason.
std::string ExportMusicXml(const MusicModel& music, const std::string& path);

}  // namespace tonemark
