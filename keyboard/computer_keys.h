// The computer keyboard as a music keyboard, in the usual two-row layout of
// music programs: Z S X D C V G B H N J M play C4 to B4, Q 2 W 3 E R 5 T 6 Y 7 U
// play C5 to B5, I plays C6. Keys are found by where they sit on the keyboard
// (the window system's key code), so the layout works whatever letters a
// national layout prints on them.
#pragma once

#include <cstdint>
#include <string>

namespace tonemark {

// The on-screen key played by the key with this X11/XKB key code (the Linux
// input code + 8, as both X and Wayland report it), or -1.
int MusicKeyForKeyCode(std::uint32_t keyCode);
// The same from the letter or digit a key types, for window systems that give
// no key code; -1 for any other character.
int MusicKeyForCharacter(char32_t character);
// What is printed at the foot of on-screen key `index`, e.g. "Z"; empty if none.
std::string ComputerKeyLabel(int index);

}  // namespace tonemark
