#include "score/glyphs.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace tonemark {
namespace {

using Cases = std::vector<std::pair<double, std::string>>;

TEST(NoteGlyph, EachRangeWithItsBoundsAndTheGapsBetween) {
    const Cases cases = {
        {-5, ""},   {-0.5, ""},  {0, ""},     {0.5, ""},   {1, "x"},    {48, "x"},
        {95, "x"},  {95.5, ""},  {96, "e"},   {191, "e"},  {191.5, ""}, {192, "q"},
        {288, "q"}, {383, "q"},  {383.5, ""}, {384, "h"},  {575, "h"},  {575.5, ""},
        {576, "h."}, {767, "h."}, {767.5, ""}, {768, "y"}, {768.5, "y"}, {5000, "y"}};
    for (const auto& [ticks, glyph] : cases) EXPECT_EQ(CalcolaDurata(ticks), glyph) << ticks;
}

TEST(NoteGlyph, DecimalTextReadsAsItsNumber) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"192", "q"}, {"0", ""},   {"-5", ""},  {"-192", ""}, {"95", "x"},  {"96", "e"},
        {"768", "y"}, {"95.5", ""}, {"576", "h."}, {"", ""},   {"abc", ""}, {"19x", ""}};
    for (const auto& [text, glyph] : cases) EXPECT_EQ(CalcolaDurata(text), glyph) << text;
}

TEST(RestGlyph, EachRangeWithItsBoundsAndTheGapsBetween) {
    const Cases cases = {
        {-5, ""},          {0, ""},          {47, ""},          {47.5, ""},         {48, "\xC3\x85"},
        {95, "\xC3\x85"},  {95.5, ""},       {96, "\xC3\xA4"},  {191, "\xC3\xA4"},  {192, "\xC3\x8E"},
        {288, "\xC3\x8E"}, {383, "\xC3\x8E"}, {384, "-"},       {575, "-"},         {576, "-."},
        {767, "-."},       {767.5, ""},      {768, "\xC3\xA0"}, {10000, "\xC3\xA0"}};
    for (const auto& [ticks, glyph] : cases) EXPECT_EQ(CalcolaPausa(ticks), glyph) << ticks;
}

}  // namespace
}  // namespace tonemark
