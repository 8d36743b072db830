// Reading of the images the tool converts: PNG, JPEG and TIFF, recognised by
// their first bytes, delivered as 8-bit sRGB (3 channels) or grey
// (1 channel). 16-bit samples are reduced with rounding; palettes are
// expanded; transparent pixels are composited on white paper; the image's
// colours are brought into sRGB (see colour_input.h); an image stored on
// its side or mirrored (EXIF or TIFF orientation) is turned upright.
#pragma once

#include "colour_input.h"
#include "image.h"
#include "resolution.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace vrel::cli {

// Larger images are refused unless the limit is raised (--max-pixels).
inline constexpr uint64_t kDefaultMaxPixels = 1'000'000'000;
// The widest row the tool takes. Every stage holds a few rows at a time, so
// this bounds the memory of an image read row by row whatever its height.
inline constexpr int kMaxWidth = 262'144;
// Progressive (and other multi-scan) JPEG, interlaced PNG and images to be
// turned upright can only be decoded whole; what that holds is refused above this limit, in MiB
// (--max-image-memory).
inline constexpr uint64_t kDefaultWholeImageMiB = 512;

struct ReadOptions {
    uint64_t maxPixels = kDefaultMaxPixels;
    uint64_t wholeImageBytes = kDefaultWholeImageMiB << 20;
    int page = 1; // of a multi-page TIFF; other files have only page 1
    std::string inputProfile = kEmbeddedProfile;         // "embedded", "none" or an ICC file
    std::string databaseSpace = kDatabaseSrgb;           // "srgb" or an RGB ICC file
    std::function<void(long done, long total)> progress; // pixels decoded
    // One-line warnings of the decoders; by default "vrel: warning: ..." on stderr.
    std::function<void(const std::string&)> warn;
    // One-line notes (an orientation applied, a wide-gamut image); by
    // default "vrel: ..." on stderr.
    std::function<void(const std::string&)> note;
    // When set, the decoded rows are not kept but handed on in bands of the
    // rows streamBegin asks for (the last band may be shorter), and
    // readImage returns the image's size without pixels.
    std::function<int(int width, int height, int channels)> streamBegin;
    std::function<void(Image&& band, int firstRow)> streamBand;
    // When set, receives the resolution the file states before streamBegin is called.
    std::optional<Resolution>* resolution = nullptr;
};

// Throws CliError naming the file and the reason when the file is missing or
// not regular, is not one of the three formats, has a layout the tool does
// not take (CMYK JPEG, CMYK or floating-point TIFF, ...), is damaged or
// truncated, is wider than kMaxWidth, has more pixels than the limit, would
// need more than wholeImageBytes to be decoded whole, or has not the page
// asked for. `profileUsed`, when given,
// receives the line saying which input profile was applied.
Image readImage(const std::string& path, const ReadOptions& options,
                std::string* profileUsed = nullptr);
Image readImage(const std::string& path);

} // namespace vrel::cli
