// A synthetic test chart, so that a conversion can be tried without any
// outside image: a hue and lightness sweep, continuous and stepped grey
// ramps, colour ramps, patches of the primaries and secondaries, skin tones,
// fine lines and small text.
#pragma once

#include "image/image.h"

namespace vrel::cli {

inline constexpr int kChartMinWidth = 480;
inline constexpr int kChartMinHeight = 360;

// An RGB chart of the given size (at least kChartMinWidth x kChartMinHeight).
Image makeChart(int width, int height);

} // namespace vrel::cli
