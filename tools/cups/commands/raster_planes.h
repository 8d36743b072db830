// vrel raster: the separations of an ink raster file (CUPS raster of any
// version, as the filter rastertovrel writes it), one greyscale PNG per
// colour and page, black where the colour is laid down at full strength.
// Built only with libcups, which reads the raster.
#pragma once

#include <CLI/CLI.hpp>
#include <string>
#include <vector>

namespace vrel::cli {

// Adds the command; its options live as long as the app.
void addRasterCommand(CLI::App& app);

// Writes DIR/pageP-colourI-NAME.png for every colour of every page and
// returns the file names written; "-" reads standard input. Pages are read
// line by line and their planes written row by row: nothing larger than a
// line of raster and a row of each plane is held. Every file appears, or
// none (throws CliError, naming the page, for anything wrong).
std::vector<std::string> writeRasterPlanes(const std::string& rasterPath, const std::string& dir);

} // namespace vrel::cli
