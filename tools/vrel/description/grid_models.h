// Colour-table grids computed from a model instead of given value by value.
//
// Every grid here is returned as the table data of a colour-table chunk:
// n^3 x c bytes stored by channel (all n^3 values of channel 0 first), and
// within a channel the grid point (i0, i1, i2) at index i0*n*n + i1*n + i2.
// Axis 0 is the first input channel (red), axis 1 green, axis 2 blue; the
// grid point (i0, i1, i2) stands for the colour (nodes[i0], nodes[i1],
// nodes[i2]). Ink channels are in the engine's ink order: 0 cyan,
// 1 magenta, 2 yellow, 3 black, 4.. the further inks.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <vector>

namespace vrel::cli {

inline constexpr int kMaxModelInks = 7;

// The analytic ink model. With r, g, b in [0, 1]:
//  1. c = 1 - r, m = 1 - g, y = 1 - b; grey component q = min(c, m, y).
//  2. Grey-component replacement: K = blackStrength * max(0, q - blackStart)
//     / (1 - blackStart); the colour inks keep what black does not cover in
//     a multiplicative (subtractive) mix: c' = (c - K) / (1 - K), likewise
//     m', y' (all 0 when K = 1).
//  3. Total ink limit: when c' + m' + y' + K exceeds totalLimit, c', m', y'
//     are scaled down together so that the sum equals the limit (black kept).
//  4. Light inks (six and seven inks): a light ink of density lightRatio
//     (relative to its dark ink) takes the highlights. For a dark amount v:
//     below lightSplit the light ink alone prints, L = v / lightRatio, D = 0;
//     above it L = (lightSplit / lightRatio) (1 - v) / (1 - lightSplit) and
//     D = v - lightRatio L, so that D + lightRatio L = v everywhere and the
//     dark ink starts at lightSplit. Cyan and magenta are split so.
//  5. Grey ink (seven inks): black is split the same way with greyRatio and
//     greySplit.
//  6. Each ink amount a becomes the byte round(255 a^inkGamma).
// Channel sets by ink count: 1 black; 2 black and grey; 3 cyan, magenta,
// yellow (no black: K = 0); 4 C M Y K; 5 adds light cyan; 6 light cyan and
// light magenta; 7 also grey.
struct InkModel {
    double blackStart = 0.2;
    double blackStrength = 1.0;
    double totalLimit = 3.0;
    double lightRatio = 0.35;
    double lightSplit = 0.25;
    double greyRatio = 0.4;
    double greySplit = 0.3;
    double inkGamma = 1.0;
};

// Ink amounts in [0, 1] for one colour (r, g, b in [0, 1]); entries past
// `inks` are 0.
std::array<double, kMaxModelInks> inkAmounts(const InkModel& model, int inks, double r, double g,
                                             double b);

// Simple documented adjustments for a correction (RGB to RGB) table, applied
// in this order to r, g, b in [0, 1]: per-channel gain (v * gain), saturation
// around the luma Y = 0.299 r + 0.587 g + 0.114 b (Y + s (v - Y)), clamping
// to [0, 1], then gamma (v^(1/gamma): above 1 lightens the mid-tones).
struct CorrectionModel {
    double gain[3] = {1.0, 1.0, 1.0};
    double saturation = 1.0;
    double gamma = 1.0;
};

std::array<double, 3> correctColour(const CorrectionModel& model, double r, double g, double b);

// Fills a grid by calling `colour` for every grid point with the 8-bit
// red, green and blue of its nodes; the callback writes `channels` bytes.
using GridFunction = std::function<void(uint8_t r, uint8_t g, uint8_t b, uint8_t* out)>;
std::vector<uint8_t> computeGrid(const std::vector<uint8_t>& nodes, int channels,
                                 const GridFunction& colour);

std::vector<uint8_t> analyticInkGrid(const std::vector<uint8_t>& nodes, int inks,
                                     const InkModel& model);
std::vector<uint8_t> correctionGrid(const std::vector<uint8_t>& nodes,
                                    const CorrectionModel& model);
std::vector<uint8_t> identityGrid(const std::vector<uint8_t>& nodes);

// Rounds an amount in [0, 1] to a byte (clamped).
uint8_t amountToByte(double amount);

} // namespace vrel::cli
