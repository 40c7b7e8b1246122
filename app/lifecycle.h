// Start-up, connection to the synthesiser and shutdown of the main window.
#pragma once

#include "app/main_form.h"

namespace tonemark {

void Form_Load(Main& m);
void Form_Unload(Main& m);
void BtnRec_Click(Main& m);  // "Exit"
void Command1_Click(Main& m);  // "Mostra Ciclo": the circle-of-fifths window, without blocking this one
bool Initialize(Main& m);
// Takes what the sound output can do now from the root into m.sound (a
// SoundFont that failed to read, a sound server that went away or came back)
// and shows a changed message, unless the message line has moved on to
// something else since the last sound message.
void RefreshSoundStatus(Main& m);
void CloseDevice(Main& m);
// The synthesiser has started after the window began on the stand-in
// (sound/stand_in_synth.h): the stand-in goes, and the song it holds is
// loaded into the synthesiser as OpenMusic would load it. With no
// synthesiser (`root` null) the song stays on show, silent, and the message
// in `status` says why.
void SynthArrived(Main& m, std::unique_ptr<SynthRoot> root, SoundStatus status);
void ZeroVariables(Main& m);

// Gives every key the colour saved at start-up.
void RestoreKeyColors(Main& m);

}  // namespace tonemark
