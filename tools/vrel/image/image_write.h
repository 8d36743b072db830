// Writing of the tool's outputs: PNG (grey or RGB) and TIFF for ink data,
// into an output of an OutputSet, or on their own (the one-output forms).
#pragma once

#include "files/output_set.h"
#include "image.h"
#include "resolution.h"
#include "tiff_file.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <tiffio.h>
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
struct InkTiffLayout {
    int width = 0, height = 0;
    int inks = 0;
    std::vector<std::string> inkNames;
    uint16_t compression = COMPRESSION_LZW; // TIFFTAG_COMPRESSION
    uint16_t predictor = PREDICTOR_NONE;    // TIFFTAG_PREDICTOR of compressed strips
    uint32_t rowsPerStrip = 0;              // 0: libtiff's default
    std::optional<Resolution> resolution;   // XResolution, YResolution, ResolutionUnit
    std::vector<uint8_t> iccProfile;        // embedded (TIFFTAG_ICCPROFILE) when not empty
};

// The ink TIFF opened on the output with all its tags set, for its strips
// to be written (the layouts as below).
TiffFile openInkTiff(StagedOutput& out, const InkTiffLayout& layout);

void writeInkTiff(StagedOutput& out, const Image& inks, const std::vector<std::string>& inkNames,
                  const RowProgress& progress = {});
void writeInkTiff(const std::string& path, const Image& inks,
                  const std::vector<std::string>& inkNames);

} // namespace vrel::cli
