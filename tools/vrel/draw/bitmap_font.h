// A tiny built-in 5 x 7 bitmap font for labels in charts and plots, so that
// no font library is needed. Covers digits, capital letters (small letters
// are drawn as capitals) and common punctuation; other characters are blank.
#pragma once

#include <cstdint>

namespace vrel::cli {

inline constexpr int kGlyphWidth = 5;
inline constexpr int kGlyphHeight = 7;
inline constexpr int kGlyphAdvance = 6; // width plus one column of spacing

// Seven rows of the glyph, bit 4 the leftmost column.
const uint8_t* glyphRows(char c);

} // namespace vrel::cli
