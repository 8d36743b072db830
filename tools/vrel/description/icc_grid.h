// Colour-table grids computed with an ICC colour transform (lcms2): the
// colour of every grid point goes from an RGB source profile into an output
// profile. Grid layout as in grid_models.h.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vrel::cli {

enum class RenderingIntent {
    Perceptual = 0,
    RelativeColorimetric = 1,
    Saturation = 2,
    Absolute = 3
};

struct IccTransformSettings {
    std::string source = "srgb"; // "srgb" (built-in sRGB) or an RGB profile file
    std::string output;          // profile file: CMYK for ink tables, RGB for corrections
    RenderingIntent intent = RenderingIntent::Perceptual;
    bool blackPointCompensation = false;
};

// Four-ink grid (C, M, Y, K) through an RGB-to-CMYK transform, sampled at
// full precision (float values, no optimised pipeline): node v enters as
// v / 255, each result is rounded to the nearest byte, clamped. Throws CliError naming the profile
// when a file is missing or has the wrong colour space.
std::vector<uint8_t> iccInkGrid(const std::vector<uint8_t>& nodes,
                                const IccTransformSettings& settings);

// Three-channel correction grid through an RGB-to-RGB transform.
std::vector<uint8_t> iccCorrectionGrid(const std::vector<uint8_t>& nodes,
                                       const IccTransformSettings& settings);

// "perceptual", "relative", "saturation", "absolute"; throws on others.
RenderingIntent parseIntent(const std::string& name);
const char* intentName(RenderingIntent intent);

} // namespace vrel::cli
