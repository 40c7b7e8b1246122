// The desktop's file dialogs for keeping what the user made: Ctrl+S saves the
// song on show as a Standard MIDI File, Ctrl+E exports the engraved score
// (or the music on show, for notation programs).
#pragma once

#include <QString>

#include "app/main_form.h"

namespace tonemark {

class MainWindow;

// Asks where to save the song on show, proposing its title as the name in the
// user's music folder, and saves it there; the window's message line tells
// how it went. Cancelling does nothing.
void SaveSongWithDialog(MainWindow& window, Main& m);

// Asks where to export the score, as PDF, SVG or PNG, or the music on show as
// MusicXML or compressed MusicXML, and writes it.
void ExportScoreWithDialog(MainWindow& window, Main& m);

// The folder the dialogs open in: the user's music folder, else the home folder.
QString SongFolder();

// The file a save goes to: the chosen name, ".mid" added when it has no extension.
QString SongFileNameFor(const QString& chosen);

// The file an export goes to, whose extension says the format: a name with no
// extension takes the one of the chosen filter; a name whose extension is
// none of ".pdf", ".svg", ".png", ".musicxml" and ".mxl" gets ".pdf" added.
QString ExportFileNameFor(const QString& chosen, const QString& selectedFilter);

}  // namespace tonemark
