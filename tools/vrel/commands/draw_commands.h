// "vrel plot" (a picture of the selected profile) and "vrel chart" (a test
// chart to print through it).
#pragma once

#include <CLI/CLI.hpp>

namespace vrel::cli {

void addPlotCommand(CLI::App& app);
void addChartCommand(CLI::App& app);

} // namespace vrel::cli
