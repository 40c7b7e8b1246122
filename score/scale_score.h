#pragma once

#include "app/main_form.h"

namespace tonemark {

// Engraves the generated material on PicScore (and the header on Pic2).
void PutInScore(Main& m);

}  // namespace tonemark
