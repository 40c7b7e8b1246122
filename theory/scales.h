// The scale list and the interval tables of its entries.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "app/main_form.h"

namespace tonemark {

inline constexpr int kTriadsEntry = 14;
inline constexpr int kTakeEntry = 15;

extern const std::array<std::string, 16> kScaleNames;  // the rows of List1 at start-up

// Semitone steps of entry `index` (0..14), ascending and back down.
std::vector<std::int16_t> ScaleStepsFor(int index);

void List1_Click(Main& m);

}  // namespace tonemark
