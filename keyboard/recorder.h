// The recorder's buttons.
#pragma once

#include "app/main_form.h"

namespace tonemark {

void Command3_Click(Main& m);  // the recorder's "Stop"

}  // namespace tonemark
