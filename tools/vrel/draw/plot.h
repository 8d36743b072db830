// The picture of "vrel plot" and the labels of its table slice maps.
#pragma once

#include <string>
#include <vector>
#include <vrel/vrel.h>

namespace vrel::cli {

// One label per channel map, then the colour map ("PRINT SIMULATION", or for
// the three-channel method, whose table output is red, green and blue with
// black folded in, "OUTPUT COLOUR") and "GRID COLOURS".
std::vector<std::string> slicePanelLabels(int method, int channels);

// "PROFILE name  (METHOD n)", the heading of every plot of the context.
std::string profileTitle(EngineContext* context);

// The context's curves and the slice of its conversion table at blue grid
// index `slice` (the middle when negative), as a PNG.
void drawProfilePlot(EngineContext* context, int slice, const std::string& output);

} // namespace vrel::cli
