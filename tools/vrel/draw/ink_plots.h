// The ink pictures of "vrel plot": the neutral axis (each ink along the grey
// ramp, with the total) and the total-ink map of the conversion table.
#pragma once

#include "ink_totals.h"

#include <string>

namespace vrel::cli {

// Ink percent up the side, grey level across; one curve per ink in the
// ink's colour (light inks dashed) and the total as a thick dark curve.
// `title` names the profile.
void drawNeutralAxisPlot(const NeutralAxis& axis, const std::string& title,
                         const std::string& output);

// One map per blue grid node (red across, green down) coloured by the
// node's total ink, with a scale bar in percent and the largest total
// marked on its map and on the bar.
void drawTotalInkPlot(const TableTotals& totals, const inspect::TableView& table,
                      const std::string& title, const std::string& output);

} // namespace vrel::cli
