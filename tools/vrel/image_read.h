// Reading of the images the tool converts: PNG, JPEG and TIFF, recognised by
// their first bytes, delivered as 8-bit sRGB (3 channels) or grey
// (1 channel). 16-bit samples are reduced with rounding; palettes are
// expanded; transparent pixels are composited on white paper; the image's
// colours are brought into sRGB (see colour_input.h).
#pragma once

#include "colour_input.h"
#include "image.h"

#include <cstdint>
#include <functional>
#include <string>

namespace vrel::cli {

// Larger images are refused unless the limit is raised (--max-pixels).
inline constexpr uint64_t kDefaultMaxPixels = 1'000'000'000;

struct ReadOptions {
    uint64_t maxPixels = kDefaultMaxPixels;
    std::string inputProfile = kEmbeddedProfile;         // "embedded", "none" or an ICC file
    std::function<void(long done, long total)> progress; // pixels decoded
    // One-line warnings of the decoders; by default "vrel: warning: ..." on stderr.
    std::function<void(const std::string&)> warn;
};

// Throws CliError naming the file and the reason when the file is missing or
// not regular, is not one of the three formats, has a layout the tool does
// not take (CMYK JPEG, CMYK or floating-point TIFF, ...), is damaged or
// truncated, or has more pixels than the limit. `profileUsed`, when given,
// receives the line saying which input profile was applied.
Image readImage(const std::string& path, const ReadOptions& options,
                std::string* profileUsed = nullptr);
Image readImage(const std::string& path);

} // namespace vrel::cli
