// Small song files written out byte by byte for the synthesiser tests.
#pragma once

#include <cstdint>
#include <vector>

namespace tonemark::testing {

// Format 0, division 192, tempo 500000 (120 bpm): C D E F as quarter notes,
// ending at tick 768 = music time 3072. Music time runs at 1536 a second.
inline const std::vector<std::uint8_t> kFourQuarterNotes = {
    'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0, 192,
    'M', 'T', 'r', 'k', 0, 0, 0, 47,
    0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20,
    0x00, 0x90, 60, 100, 0x81, 0x40, 0x90, 60, 0,
    0x00, 0x90, 62, 100, 0x81, 0x40, 0x90, 62, 0,
    0x00, 0x90, 64, 100, 0x81, 0x40, 0x90, 64, 0,
    0x00, 0x90, 65, 100, 0x81, 0x40, 0x90, 65, 0,
    0x00, 0xFF, 0x2F, 0x00,
};

}  // namespace tonemark::testing
