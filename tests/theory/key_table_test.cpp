#include "theory/keys.h"

#include <gtest/gtest.h>

#include <array>
#include <string>

namespace tonemark {
namespace {

// "3b" is three flats, "2#" two sharps, "0" neither.
KeySignature Cell(const std::string& text) {
    const int count = text[0] - '0';
    if (text.size() == 1) return {};
    return text[1] == '#' ? KeySignature{count, 0} : KeySignature{0, count};
}

using Row = std::array<const char*, 12>;

// Rows by scale-list entry, columns by key DO, REb, RE, ... SI.
const std::array<Row, 16> kExpected = {{
    {"0", "5b", "2#", "3b", "4#", "1b", "6b", "1#", "4b", "3#", "2b", "5#"},   // 0 Scala maggiore
    {"3b", "4#", "1b", "6b", "1#", "4b", "3#", "2b", "5#", "0", "5b", "2#"},   // 1 Scala minore naturale
    {"3b", "4#", "1b", "6b", "1#", "4b", "3#", "2b", "5#", "0", "5b", "2#"},   // 2 Scala minore melodica
    {"3b", "4#", "1b", "6b", "1#", "4b", "3#", "2b", "5#", "0", "5b", "2#"},   // 3 Scala minore armonica
    {"2b", "5#", "0", "5b", "2#", "3b", "4#", "1b", "6b", "1#", "4b", "3#"},   // 4 Modo Dorico
    {"4b", "3#", "2b", "5#", "0", "5b", "2#", "3b", "4#", "1b", "6b", "1#"},   // 5 Modo Frigio
    {"1#", "4b", "3#", "2b", "5#", "0", "5b", "2#", "3b", "4#", "1b", "6b"},   // 6 Modo Lidio
    {"1b", "6b", "1#", "4b", "3#", "2b", "5#", "0", "5b", "2#", "3b", "4#"},   // 7 Modo Misolidio
    {"3b", "4#", "1b", "6b", "1#", "4b", "3#", "2b", "5#", "0", "5b", "2#"},   // 8 Modo Eolio
    {"5b", "2#", "3b", "4#", "1b", "6b", "1#", "4b", "3#", "2b", "5#", "0"},   // 9 Modo Locrio
    {"2b", "5#", "0", "5b", "2#", "3b", "4#", "1b", "6b", "1#", "4b", "3#"},   // 10 Scala Blues
    {"0", "5#", "2#", "3b", "4#", "1b", "6b", "1#", "4b", "3#", "2b", "5#"},   // 11 Pentatonica Maggiore
    {"2b", "4#", "1b", "6b", "1#", "4b", "3#", "2b", "5#", "0", "5b", "2#"},   // 12 Pentatonica Minore
    {"0", "5b", "2#", "3b", "4#", "1b", "6b", "1#", "4b", "3#", "2b", "5#"},   // 13 Toni interi
    {"0", "5b", "2#", "3b", "4#", "1b", "6b", "1#", "4b", "3#", "2b", "5#"},   // 14 Triadi
    {"0", "0", "0", "0", "0", "0", "0", "0", "0", "0", "0", "0"},              // 15 recorded take
}};

TEST(KeySignatureTest, EveryCellOfTheTable) {
    for (int entry = 0; entry < 16; ++entry)
        for (int k = 0; k < 12; ++k)
            EXPECT_EQ(KeySignatureFor(entry, k), Cell(kExpected[entry][k])) << "entry " << entry << " key " << k;
}

TEST(KeySignatureTest, CellsWhereNeighbouringRowsDiffer) {
    EXPECT_EQ(KeySignatureFor(4, 2), (KeySignature{0, 0}));  // Dorico on RE
    EXPECT_EQ(KeySignatureFor(4, 0), (KeySignature{0, 2}));
    EXPECT_EQ(KeySignatureFor(8, 5), (KeySignature{0, 4}));  // Eolio on FA: A flat major's flats
    EXPECT_EQ(KeySignatureFor(1, 5), (KeySignature{0, 4}));  // natural minor on FA: the same
    EXPECT_EQ(KeySignatureFor(9, 5), (KeySignature{0, 6}));  // Locrio on FA: G flat major
    EXPECT_EQ(KeySignatureFor(12, 0), (KeySignature{0, 2}));  // minor pentatonic on DO: no A to flatten
    EXPECT_EQ(KeySignatureFor(12, 9), (KeySignature{0, 0}));  // ... on LA: C major's
    EXPECT_EQ(KeySignatureFor(11, 1), (KeySignature{5, 0}));  // major pentatonic on REb, written C sharp
    EXPECT_EQ(KeySignatureFor(9, 0), (KeySignature{0, 5}));
}

TEST(KeySignatureTest, OutsideTheTableThereIsNoSignature) {
    EXPECT_EQ(KeySignatureFor(-1, 0), (KeySignature{}));
    EXPECT_EQ(KeySignatureFor(16, 3), (KeySignature{}));
    EXPECT_EQ(KeySignatureFor(0, 12), (KeySignature{}));
}

}  // namespace
}  // namespace tonemark
