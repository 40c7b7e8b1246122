// Note and rest glyphs chosen from a length in ticks (192 per quarter note).
#pragma once

#include <string>

namespace tonemark {

inline constexpr char kKeepFont[] = "Keep";
inline constexpr char kSymbolsFont[] = "MusicalSymbols";

std::string CalcolaDurata(double Notadurata);
std::string CalcolaDurata(const std::string& Notadurata);
std::string CalcolaPausa(double PausaDurata);

}  // namespace tonemark
