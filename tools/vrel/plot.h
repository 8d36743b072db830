// "vrel plot" (drawProfilePlot in commands.h) and the labels of its table
// slice maps.
#pragma once

#include <string>
#include <vector>

namespace vrel::cli {

// One label per channel map, then the colour map ("PRINT SIMULATION", or for
// the three-channel method, whose table output is red, green and blue with
// black folded in, "OUTPUT COLOUR") and "GRID COLOURS".
std::vector<std::string> slicePanelLabels(int method, int channels);

} // namespace vrel::cli
