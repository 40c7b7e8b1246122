#include "midi_input/key_balance.h"

namespace tonemark {
namespace {

bool IsPress(std::uint8_t status, std::uint8_t velocity) { return (status & 0xF0) == 0x90 && velocity > 0; }
bool IsRelease(std::uint8_t status, std::uint8_t velocity) {
    return (status & 0xF0) == 0x80 || ((status & 0xF0) == 0x90 && velocity == 0);
}

}  // namespace

bool KeyBalance::Admit(std::uint8_t status, std::uint8_t note, std::uint8_t velocity) {
    note &= 0x7F;
    if (!IsRelease(status, velocity) || dropped_[note] == 0) return true;
    dropped_[note] -= 1;
    return false;
}

void KeyBalance::NoRoom(std::uint8_t status, std::uint8_t note, std::uint8_t velocity) {
    note &= 0x7F;
    if (IsPress(status, velocity)) {
        if (dropped_[note] < UINT16_MAX) dropped_[note] += 1;
    } else if (IsRelease(status, velocity)) {
        if (dropped_[note] > 0) {
            dropped_[note] -= 1;  // its press was dropped too
        } else if (owed_[note] < UINT16_MAX) {
            owed_[note] += 1;
            owedChannel_[note] = status & 0x0F;
            owedCount_ += 1;
        }
    }
}

}  // namespace tonemark
