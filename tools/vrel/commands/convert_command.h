// "vrel convert": an image through the engine into an ink TIFF, ink planes
// and a preview, written as one set of outputs.
#pragma once

#include "conversion_options.h"

#include <CLI/CLI.hpp>

namespace vrel::cli {

void addConvertCommand(CLI::App& app);
// The command's body; throws CliError.
void runConvert(const ConversionOptions& options);

} // namespace vrel::cli
