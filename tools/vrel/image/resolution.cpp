#include "resolution.h"

#include "cli_error.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <fmt/format.h>

namespace vrel::cli {

namespace {

constexpr double kMetresPerInch = 0.0254;

// Pixels per metre as pixels per inch: the whole number a writer rounded
// to metres (300 dpi is stored as 11811) when there is one.
double perInch(uint32_t perMetre) {
    const double dpi = perMetre * kMetresPerInch;
    const double whole = std::round(dpi);
    return std::lround(whole / kMetresPerInch) == static_cast<long>(perMetre) ? whole : dpi;
}

} // namespace

std::optional<Resolution> resolutionFromPng(uint32_t perMetreX, uint32_t perMetreY, int unit) {
    if (unit != 1 || perMetreX == 0 || perMetreY == 0)
        return std::nullopt;
    return Resolution{perInch(perMetreX), perInch(perMetreY), false};
}

std::optional<Resolution> resolutionFromJfif(int unit, unsigned x, unsigned y) {
    if ((unit != 1 && unit != 2) || x == 0 || y == 0)
        return std::nullopt;
    return Resolution{static_cast<double>(x), static_cast<double>(y), unit == 2};
}

std::optional<Resolution> resolutionFromTiff(float x, float y, int unit) {
    const auto fine = [](float v) { return std::isfinite(v) && v > 0; };
    if ((unit != 2 && unit != 3) || !fine(x) || !fine(y))
        return std::nullopt;
    return Resolution{x, y, unit == 3};
}

std::array<uint8_t, 9> pngPhysData(const Resolution& r) {
    const double metres = r.perCentimetre ? 0.01 : kMetresPerInch;
    std::array<uint8_t, 9> data{};
    const auto put = [&](std::size_t at, double perUnit) {
        const auto v = static_cast<uint32_t>(std::clamp(std::round(perUnit / metres), 1.0, 2.0e9));
        for (std::size_t i = 0; i < 4; ++i)
            data[at + i] = static_cast<uint8_t>(v >> (24 - 8 * i));
    };
    put(0, r.x);
    put(4, r.y);
    data[8] = 1; // per metre
    return data;
}

Resolution parseDpi(const std::string& text) {
    double dpi = 0;
    const char* end = text.data() + text.size();
    const auto [at, error] = std::from_chars(text.data(), end, dpi);
    if (error != std::errc() || at != end || !(dpi >= 1 && dpi <= kMostDpi))
        throw CliError(fmt::format("--dpi {}: must be a number of dots per inch from 1 to {}", text,
                                   kMostDpi));
    return Resolution{dpi, dpi, false};
}

} // namespace vrel::cli
