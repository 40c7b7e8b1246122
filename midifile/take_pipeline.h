// The recorded take's way to the score and the synthesiser: the event-log
// rows become "madebyme.mid", quantized and transposed, which is read back,
// loaded and engraved.
#pragma once

#include "app/main_form.h"

namespace tonemark {

void SaveFilex_Click(Main& m);

// True while the loaded song is the take's file and the take's entry is chosen.
bool TakeOnShow(const Main& m);

}  // namespace tonemark
