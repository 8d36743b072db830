// Writing of the tool's outputs: PNG (grey or RGB) and TIFF for ink data,
// into an output of an OutputSet, or on their own (the one-output forms).
#pragma once

#include "image.h"
#include "output_set.h"

#include <functional>
#include <string>
#include <vector>

namespace vrel::cli {

// Rows written so far and the total.
using RowProgress = std::function<void(long done, long total)>;

// Grey (1 channel) or RGB (3 channels).
void writePng(StagedOutput& out, const Image& image);
void writePng(const std::string& path, const Image& image);

// Ink TIFF: 1 ink as a grey image whose values are ink amounts
// (PHOTOMETRIC_MINISWHITE, 0 = paper), 3 channels as RGB, 4 inks as CMYK
// (PHOTOMETRIC_SEPARATED, INKSET_CMYK), any other count as a multi-ink
// separation (INKSET_MULTIINK, NUMBEROFINKS, INKNAMES from inkNames).
void writeInkTiff(StagedOutput& out, const Image& inks, const std::vector<std::string>& inkNames,
                  const RowProgress& progress = {});
void writeInkTiff(const std::string& path, const Image& inks,
                  const std::vector<std::string>& inkNames);

} // namespace vrel::cli
