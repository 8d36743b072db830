// The colour pre-correction that every interpolating conversion applies
// before the table: the grey curve on each channel, the smallest of the three
// taken out as black, the four adjustment curves, and the fold of the sum
// back to a table coordinate.
#pragma once

#include <algorithm>
#include <cstdint>

namespace vrel {

struct PreCorrectionCurves {
    const uint8_t* grey;          // greyCurve
    const uint8_t (*adjust)[256]; // adjustCurves: cyan, magenta, yellow, black
};

// c_k = 255 - s_k, or 0 when s_k (a sum of two curve bytes, 0..510) is 256
// or more, so that the table coordinate never goes negative.
inline void preCorrect(const PreCorrectionCurves& curves, uint8_t red, uint8_t green, uint8_t blue,
                       uint8_t out[3]) {
    const uint8_t x0 = curves.grey[red];
    const uint8_t x1 = curves.grey[green];
    const uint8_t x2 = curves.grey[blue];
    const uint8_t m = std::min({x0, x1, x2});
    const uint32_t black = curves.adjust[3][m];
    const uint32_t s0 = curves.adjust[0][x0 - m] + black;
    const uint32_t s1 = curves.adjust[1][x1 - m] + black;
    const uint32_t s2 = curves.adjust[2][x2 - m] + black;
    out[0] = static_cast<uint8_t>(s0 < 256 ? 255 - s0 : 0);
    out[1] = static_cast<uint8_t>(s1 < 256 ? 255 - s1 : 0);
    out[2] = static_cast<uint8_t>(s2 < 256 ? 255 - s2 : 0);
}

} // namespace vrel
