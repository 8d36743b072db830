// Reading of the images the tool converts: PNG, JPEG and TIFF, recognised by
// their first bytes, delivered as 8-bit RGB (3 channels) or grey (1 channel).
#pragma once

#include "image.h"

#include <string>

namespace vrel::cli {

// Throws CliError naming the file and the reason when the file is missing,
// is not one of the three formats, or has a layout the tool does not take
// (CMYK JPEG, 16-bit or CMYK TIFF, planar TIFF, ...).
Image readImage(const std::string& path);

} // namespace vrel::cli
