// The figures behind the ink plots of "vrel plot": each ink along the grey
// ramp as the conversion produces it, and the total ink of every node of a
// conversion table.
#pragma once

#include "convert/convert_image.h"
#include "interface/context_view.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace vrel::cli {

// The 256 greys R = G = B = 0..255 converted as "vrel convert" converts
// them: the method's channels (inks, or red, green and blue for the
// three-channel method) at each grey level.
struct NeutralAxis {
    int method = 0;
    std::vector<std::string> names;           // the channels in the engine's order
    std::vector<std::vector<uint8_t>> levels; // [grey][channel]
    // The sum of the channels at a grey level (0 to 255 per channel).
    int total(int grey) const;
};

NeutralAxis neutralAxis(const ConversionRequest& request);

// The total ink of each node of a conversion table: the sum of its
// channels (0 to 255 each), with the largest and its first node.
struct TableTotals {
    int gridPoints = 0, channels = 0;
    std::vector<int> sums;   // the table's node order: red, then green, then blue index
    int maximum = 0;         // the largest sum
    std::array<int, 3> at{}; // red, green and blue grid index of the first largest
    int sum(int red, int green, int blue) const;
};

// Throws CliError when the context has no conversion table.
TableTotals tableTotals(const inspect::TableView& table);

// A sum of channels as percent of one channel's full amount, rounded.
int inkPercent(int sum);

} // namespace vrel::cli
