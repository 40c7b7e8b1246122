#include "keyboard/computer_keys.h"

#include <array>

namespace tonemark {
namespace {

struct Binding {
    char label;            // the key's letter on a US keyboard
    std::uint32_t keyCode; // X11/XKB key code of its place
};

// By on-screen key index 0..24.
constexpr std::array<Binding, 25> kBindings = {{
    {'Z', 52}, {'S', 39}, {'X', 53}, {'D', 40}, {'C', 54}, {'V', 55}, {'G', 42}, {'B', 56}, {'H', 43},
    {'N', 57}, {'J', 44}, {'M', 58},  // lower row: C4 to B4
    {'Q', 24}, {'2', 11}, {'W', 25}, {'3', 12}, {'E', 26}, {'R', 27}, {'5', 14}, {'T', 28}, {'6', 15},
    {'Y', 29}, {'7', 16}, {'U', 30},  // upper row: C5 to B5
    {'I', 31},                        // C6
}};

}  // namespace

int MusicKeyForKeyCode(std::uint32_t keyCode) {
    for (std::size_t i = 0; i < kBindings.size(); ++i)
        if (kBindings[i].keyCode == keyCode) return static_cast<int>(i);
    return -1;
}

int MusicKeyForCharacter(char32_t character) {
    if (character >= U'a' && character <= U'z') character -= U'a' - U'A';
    for (std::size_t i = 0; i < kBindings.size(); ++i)
        if (static_cast<char32_t>(kBindings[i].label) == character) return static_cast<int>(i);
    return -1;
}

std::string ComputerKeyLabel(int index) {
    if (index < 0 || index >= static_cast<int>(kBindings.size())) return {};
    return std::string(1, kBindings[static_cast<std::size_t>(index)].label);
}

}  // namespace tonemark
