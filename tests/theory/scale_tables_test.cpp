#include "theory/scales.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace tonemark {
namespace {

using Steps = std::vector<std::int16_t>;

TEST(ScaleTablesTest, ListEntriesInOrder) {
    const std::array<std::string, 16> expected = {
        "Scala maggiore", "Scala minore naturale", "Scala minore melodica", "Scala minore armonica",
        "Modo Dorico", "Modo Frigio", "Modo Lidio", "Modo Misolidio", "Modo Eolio", "Modo Locrio",
        "Scala Blues", "Pentatonica Maggiore", "Pentatonica Minore", "Toni interi", "Triadi", " "};
    EXPECT_EQ(kScaleNames, expected);
}

TEST(ScaleTablesTest, EveryEntryRisesToItsTopAndFallsBackToTheRoot) {
    for (int entry = 0; entry <= kTriadsEntry; ++entry) {
        const Steps steps = ScaleStepsFor(entry);
        SCOPED_TRACE(kScaleNames[entry]);
        ASSERT_FALSE(steps.empty());
        const auto top = std::max_element(steps.begin(), steps.end());
        EXPECT_EQ(*top, entry == 11 ? 9 : entry == 12 ? 10 : 12);  // the pentatonics stop short of the octave
        EXPECT_EQ(top - steps.begin(), static_cast<long>(steps.size() / 2));
        EXPECT_EQ(steps.front(), 0);
        EXPECT_EQ(steps.back(), 0);
        EXPECT_TRUE(std::is_sorted(steps.begin(), top + 1, std::less_equal<>()));
        EXPECT_TRUE(std::is_sorted(top, steps.end(), std::greater_equal<>()));
    }
}

TEST(ScaleTablesTest, LengthsOfTheTables) {
    for (int entry : {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 14}) EXPECT_EQ(ScaleStepsFor(entry).size(), 15u) << entry;
    EXPECT_EQ(ScaleStepsFor(10).size(), 13u);
    EXPECT_EQ(ScaleStepsFor(11).size(), 9u);
    EXPECT_EQ(ScaleStepsFor(12).size(), 9u);
    EXPECT_EQ(ScaleStepsFor(13).size(), 13u);
    EXPECT_TRUE(ScaleStepsFor(kTakeEntry).empty());
    EXPECT_TRUE(ScaleStepsFor(-1).empty());
}

TEST(ScaleTablesTest, TablesThatDifferFromASimpleMirror) {
    EXPECT_EQ(ScaleStepsFor(2), (Steps{0, 2, 3, 5, 7, 9, 11, 12, 10, 8, 7, 5, 3, 2, 0}));  // melodic minor
    EXPECT_EQ(ScaleStepsFor(11), (Steps{0, 2, 5, 7, 9, 7, 5, 2, 0}));                      // third step is 5
    EXPECT_EQ(ScaleStepsFor(10), (Steps{0, 3, 5, 6, 7, 10, 12, 10, 7, 6, 5, 3, 0}));
    EXPECT_EQ(ScaleStepsFor(1), ScaleStepsFor(8));  // natural minor and Aeolian
    EXPECT_EQ(ScaleStepsFor(kTriadsEntry), ScaleStepsFor(0));
}

TEST(ScaleTablesTest, AscendingHalvesSpellEachMode) {
    const std::array<Steps, 14> ascending = {{
        {0, 2, 4, 5, 7, 9, 11, 12}, {0, 2, 3, 5, 7, 8, 10, 12}, {0, 2, 3, 5, 7, 9, 11, 12}, {0, 2, 3, 5, 7, 8, 11, 12},
        {0, 2, 3, 5, 7, 9, 10, 12}, {0, 1, 3, 5, 7, 8, 10, 12}, {0, 2, 4, 6, 7, 9, 11, 12}, {0, 2, 4, 5, 7, 9, 10, 12},
        {0, 2, 3, 5, 7, 8, 10, 12}, {0, 1, 3, 5, 6, 8, 10, 12}, {0, 3, 5, 6, 7, 10, 12}, {0, 2, 5, 7, 9},
        {0, 3, 5, 7, 10}, {0, 2, 4, 6, 8, 10, 12},
    }};
    for (int entry = 0; entry < 14; ++entry) {
        const Steps steps = ScaleStepsFor(entry);
        const Steps& up = ascending[static_cast<std::size_t>(entry)];
        EXPECT_TRUE(std::equal(up.begin(), up.end(), steps.begin())) << kScaleNames[entry];
        if (entry != 2) {  // all but the melodic minor come down the way they went up
            EXPECT_TRUE(std::equal(steps.begin(), steps.end(), steps.rbegin())) << kScaleNames[entry];
        }
    }
}

}  // namespace
}  // namespace tonemark
