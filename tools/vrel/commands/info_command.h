// "vrel info": which profile the settings select, as the engine opened it.
#pragma once

#include "conversion_options.h"

#include <CLI/CLI.hpp>
#include <iosfwd>

namespace vrel::cli {

void addInfoCommand(CLI::App& app);
// The command's body: name, search data, value, method and tables.
void printProfileInfo(const ConversionOptions& options, std::ostream& out);

} // namespace vrel::cli
