#include <gtest/gtest.h>

#include <set>

#include "keyboard/computer_keys.h"

namespace tonemark {
namespace {

TEST(ComputerKeys, TheTwoRowLayoutCoversTheWholeKeyboard) {
    const std::string lower = "ZSXDCVGBHNJM", upper = "Q2W3ER5T6Y7UI";
    for (int i = 0; i < 12; ++i) EXPECT_EQ(MusicKeyForCharacter(static_cast<char32_t>(lower[i])), i) << lower[i];
    for (int i = 0; i < 13; ++i) EXPECT_EQ(MusicKeyForCharacter(static_cast<char32_t>(upper[i])), 12 + i) << upper[i];
    EXPECT_EQ(MusicKeyForCharacter(U'z'), 0) << "the letter's case does not matter";
    for (char32_t other : {U'A', U'1', U'4', U'O', U'P', U' ', U'.'}) EXPECT_EQ(MusicKeyForCharacter(other), -1);
    std::set<std::string> labels;
    for (int i = 0; i < 25; ++i) labels.insert(ComputerKeyLabel(i));
    EXPECT_EQ(labels.size(), 25u);
    EXPECT_EQ(ComputerKeyLabel(0), "Z");
    EXPECT_EQ(ComputerKeyLabel(24), "I");
    EXPECT_EQ(ComputerKeyLabel(25), "");
}

TEST(ComputerKeys, KeysAreFoundByTheirPlaceOnTheKeyboard) {
    // X11 key codes of a PC keyboard: the key right of left Shift is 52
    // ("Z" in English, "W" in French, "Y" in German).
    EXPECT_EQ(MusicKeyForKeyCode(52), 0);
    EXPECT_EQ(MusicKeyForKeyCode(58), 11);  // "M" in English, "," in French
    EXPECT_EQ(MusicKeyForKeyCode(24), 12);  // "Q", "A" in French
    EXPECT_EQ(MusicKeyForKeyCode(11), 13);  // "2"
    EXPECT_EQ(MusicKeyForKeyCode(31), 24);  // "I"
    EXPECT_EQ(MusicKeyForKeyCode(38), -1);  // "A" in English: no key
    EXPECT_EQ(MusicKeyForKeyCode(0), -1);
    // Every letter's place gives the key its letter names.
    const std::uint32_t codes[] = {52, 39, 53, 40, 54, 55, 42, 56, 43, 57, 44, 58, 24, 11, 25, 12, 26, 27, 14, 28, 15, 29, 16, 30, 31};
    for (int i = 0; i < 25; ++i) EXPECT_EQ(MusicKeyForKeyCode(codes[i]), i);
}

}  // namespace
}  // namespace tonemark
