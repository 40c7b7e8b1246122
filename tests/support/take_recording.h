// Records a take on a started program the way a user plays one: "Rec", keys
// pressed and released at chosen times on the test's clock, "Stop".
#pragma once

#include <vector>

#include "support/fake_synth.h"

namespace tonemark::testing {

struct PlayedKey {
    int key;
    double downMs;  // after "Rec"
    double upMs;
};

// "Rec", the keys, and "Stop" at `stopMs` after "Rec".
void RecordTake(Main& m, TestPlatform& platform, const std::vector<PlayedKey>& keys, double stopMs);

}  // namespace tonemark::testing
