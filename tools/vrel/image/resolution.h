// The resolution an image states, which the ink TIFF (XResolution,
// YResolution, ResolutionUnit) and the preview (pHYs) carry on: pixels per
// inch or per centimetre, across and down. A file that states only an
// aspect ratio, or nothing, has none.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace vrel::cli {

struct Resolution {
    double x = 0, y = 0;
    bool perCentimetre = false; // else per inch
    bool operator==(const Resolution&) const = default;
};

// A PNG's pHYs chunk: pixels per metre (unit 1) become pixels per inch,
// the whole number of dots per inch that a writer rounded to metres when
// there is one; unit 0 (aspect ratio only) or a zero value gives none.
std::optional<Resolution> resolutionFromPng(uint32_t perMetreX, uint32_t perMetreY, int unit);
// A JPEG's JFIF density: unit 1 dots per inch, 2 per centimetre; unit 0
// (aspect ratio only) or a zero value gives none.
std::optional<Resolution> resolutionFromJfif(int unit, unsigned x, unsigned y);
// A TIFF's tags: unit 2 inch, 3 centimetre; unit 1 (none) or a value that
// is not a positive number gives none.
std::optional<Resolution> resolutionFromTiff(float x, float y, int unit);

// The data of a PNG pHYs chunk: pixels per metre, rounded, unit 1.
std::array<uint8_t, 9> pngPhysData(const Resolution& resolution);

inline constexpr double kMostDpi = 100'000;
// --dpi VALUE, the same across and down: throws CliError unless it is a
// number from 1 to kMostDpi.
Resolution parseDpi(const std::string& text);

} // namespace vrel::cli
