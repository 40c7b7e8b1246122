// Note and rest glyphs chosen from a length in ticks (192 per quarter note).
//
// Glyph texts are the characters of the fonts "Keep" and "MusicalSymbols" as
// the fonts address them (Windows-1252 codes), stored here as UTF-8 text: the
// rest glyphs 197, 228, 206 and 224 are "Å" ("\xC3\x85"), "ä" ("\xC3\xA4"),
// "Î" ("\xC3\x8E") and "à" ("\xC3\xA0"); every other glyph is plain ASCII.
#pragma once

#include <string>

namespace tonemark {

inline constexpr char kKeepFont[] = "Keep";
inline constexpr char kSymbolsFont[] = "MusicalSymbols";

// Rest glyphs of "Keep", UTF-8.
inline constexpr char kSixteenthRest[] = "\xC3\x85";  // "Å", code 197
inline constexpr char kEighthRest[] = "\xC3\xA4";     // "ä", code 228
inline constexpr char kQuarterRest[] = "\xC3\x8E";    // "Î", code 206
inline constexpr char kHalfRest[] = "-";
inline constexpr char kDottedHalfRest[] = "-.";
inline constexpr char kWholeRest[] = "\xC3\xA0";  // "à", code 224

// A black note head without a stem, drawn beside a note (never a note itself).
inline constexpr char kBareHead[] = "o";

// Note glyph for a length in ticks: "x", "e", "q", "h", "h." or "y"; empty text
// for 0, negative lengths and lengths that fall between two ranges.
std::string CalcolaDurata(double Notadurata);
// The same for a length written as decimal text; text that is not a number gives empty text.
std::string CalcolaDurata(const std::string& Notadurata);
// Rest glyph for a gap in ticks; empty text below 48 ticks.
std::string CalcolaPausa(double PausaDurata);

}  // namespace tonemark
