// The on-screen keyboard.
#pragma once

#include "app/main_form.h"

namespace tonemark {

void key_MouseDown(Main& m, int index);
void key_MouseUp(Main& m, int index);

}  // namespace tonemark
