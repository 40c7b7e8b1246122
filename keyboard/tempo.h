// Tempo, quantize and note-value controls.
#pragma once

#include "app/main_form.h"

namespace tonemark {

void SpeedValue_Change(Main& m);
void List4_Click(Main& m);
void ValNote_Click(Main& m, int index);

}  // namespace tonemark
