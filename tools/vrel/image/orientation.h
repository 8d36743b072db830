// The orientation a camera or scanner records with an image (the EXIF and
// TIFF Orientation tag, 1 to 8): how the stored rows must be turned for the
// picture to stand upright. 1 is already upright; 5 to 8 swap width and
// height.
#pragma once

#include "image.h"

#include <cstddef>
#include <cstdint>
#include <optional>

namespace vrel::cli {

inline constexpr int kUpright = 1;

// True for the eight values the tag may take.
bool isOrientation(long value);
// True when the upright picture is as wide as the stored one is high.
bool swapsAxes(int orientation);
// What turning does, for the user: "rotated 90° clockwise", ...
const char* orientationWords(int orientation);

// `count` rows from row `first` of the upright picture of `stored`.
Image uprightRows(const Image& stored, int orientation, int first, int count);

// The Orientation tag of EXIF data, as a JPEG's APP1 segment holds it
// (beginning "Exif\0\0") or a PNG's eXIf chunk (the TIFF structure alone),
// whatever its value; nullopt when it is missing or cannot be read. The data are read
// through libexif, which checks every offset against the data's size.
std::optional<long> exifOrientation(const uint8_t* data, std::size_t size);

} // namespace vrel::cli
