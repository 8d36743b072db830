// The vrel options of a PPD written by vrel ppd: ink set, and for the ink
// raster's own queue its format and colour order, then colour adjustment,
// density and balance. Each choice's code sets page header slots
// (common/page_slots.h) that rastertovrel reads back.
#pragma once

#include "ppd_ink_sets.h"

#include <ostream>
#include <string>
#include <utility>
#include <vector>

namespace vrel::cli {

using PpdChoices = std::vector<std::pair<std::string, std::string>>; // choice, code

// One PickOne option whose choices set page device values.
void writeOption(std::ostream& out, const std::string& keyword, const std::string& text, int order,
                 const std::string& defaultChoice, const PpdChoices& choices);

struct VrelOptionStyle {
    // Negative: the user chooses the raster format and colour order; else the
    // raster format value every ink set sets, for a printer driver behind
    // rastertovrel that reads one format only.
    int fixedRasterFormat = -1;
};

// The vrel options for the ink sets (at least one).
void writeVrelOptions(std::ostream& out, const std::vector<InkSet>& sets,
                      const VrelOptionStyle& style);

} // namespace vrel::cli
