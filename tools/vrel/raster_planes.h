// vrel raster: the separations of an ink raster file (uncompressed CUPS
// raster, as the filter rastertovrel writes it), one greyscale PNG per colour
// and page, black where the colour is laid down at full strength.
#pragma once

#include <CLI/CLI.hpp>
#include <string>
#include <vector>

namespace vrel::cli {

// Adds the command; its options live as long as the app.
void addRasterCommand(CLI::App& app);

// Writes DIR/pageP-colourI-NAME.png for every colour of every page and
// returns the file names written.
std::vector<std::string> writeRasterPlanes(const std::string& rasterPath, const std::string& dir);

} // namespace vrel::cli
