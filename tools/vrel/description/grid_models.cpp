#include "grid_models.h"

#include <algorithm>
#include <cmath>

namespace vrel::cli {

uint8_t amountToByte(double amount) {
    const double v = std::clamp(amount, 0.0, 1.0) * 255.0;
    return static_cast<uint8_t>(std::lround(v));
}

namespace {

// Splits a dark-ink amount v into (dark, light) by the light-ink rule.
std::pair<double, double> splitLight(double v, double ratio, double split) {
    if (v <= 0.0)
        return {0.0, 0.0};
    if (v <= split)
        return {0.0, std::min(1.0, v / ratio)};
    const double light = (split / ratio) * (1.0 - v) / (1.0 - split);
    return {std::max(0.0, v - ratio * light), std::min(1.0, light)};
}

} // namespace

namespace {

struct Separation {
    double c, m, y, k;
};

// Black generation from the grey part of the colour, then the total ink
// limit on the colour inks.
Separation separate(const InkModel& model, int inks, double r, double g, double b) {
    double c = 1.0 - r, m = 1.0 - g, y = 1.0 - b;
    const double q = std::min({c, m, y});
    double k = 0.0;
    if (inks != 3 && q > model.blackStart)
        k = model.blackStrength * (q - model.blackStart) / (1.0 - model.blackStart);
    k = std::clamp(k, 0.0, 1.0);
    if (k >= 1.0) {
        c = m = y = 0.0;
    } else {
        c = std::max(0.0, (c - k) / (1.0 - k));
        m = std::max(0.0, (m - k) / (1.0 - k));
        y = std::max(0.0, (y - k) / (1.0 - k));
    }
    const double colourSum = c + m + y;
    if (colourSum > 0.0 && colourSum + k > model.totalLimit) {
        const double scale = std::max(0.0, model.totalLimit - k) / colourSum;
        c *= scale;
        m *= scale;
        y *= scale;
    }
    return {c, m, y, k};
}

// Black only (from the luma, so colours keep their lightness), and for two
// inks a grey ink for the highlights.
void greyInks(std::array<double, kMaxModelInks>& out, const InkModel& model, int inks, double r,
              double g, double b) {
    // 1 - luma, written so that white gives exactly 0.
    const double black = 0.299 * (1.0 - r) + 0.587 * (1.0 - g) + 0.114 * (1.0 - b);
    if (inks == 1) {
        out[0] = black;
    } else {
        const auto [dark, light] = splitLight(black, model.greyRatio, model.greySplit);
        out[0] = dark;
        out[1] = light;
    }
}

// Cyan, magenta, yellow and black (from four inks), with light cyan, light
// magenta and grey taking the highlights from the fifth ink on.
void colourInks(std::array<double, kMaxModelInks>& out, const InkModel& model, int inks,
                const Separation& s) {
    out[0] = s.c;
    out[1] = s.m;
    out[2] = s.y;
    if (inks == 3)
        return;
    out[3] = s.k;
    if (inks >= 5) {
        const auto [darkC, lightC] = splitLight(s.c, model.lightRatio, model.lightSplit);
        out[0] = darkC;
        out[4] = lightC;
    }
    if (inks >= 6) {
        const auto [darkM, lightM] = splitLight(s.m, model.lightRatio, model.lightSplit);
        out[1] = darkM;
        out[5] = lightM;
    }
    if (inks >= 7) {
        const auto [darkK, lightK] = splitLight(s.k, model.greyRatio, model.greySplit);
        out[3] = darkK;
        out[6] = lightK;
    }
}

} // namespace

std::array<double, kMaxModelInks> inkAmounts(const InkModel& model, int inks, double r, double g,
                                             double b) {
    std::array<double, kMaxModelInks> out{};
    if (inks <= 2)
        greyInks(out, model, inks, r, g, b);
    else
        colourInks(out, model, inks, separate(model, inks, r, g, b));
    if (model.inkGamma != 1.0)
        for (auto& a : out)
            a = std::pow(std::clamp(a, 0.0, 1.0), model.inkGamma);
    return out;
}

std::array<double, 3> correctColour(const CorrectionModel& model, double r, double g, double b) {
    std::array<double, 3> v{r * model.gain[0], g * model.gain[1], b * model.gain[2]};
    const double luma = 0.299 * v[0] + 0.587 * v[1] + 0.114 * v[2];
    for (auto& x : v) {
        x = std::clamp(luma + model.saturation * (x - luma), 0.0, 1.0);
        if (model.gamma != 1.0)
            x = std::pow(x, 1.0 / model.gamma);
    }
    return v;
}

std::vector<uint8_t> computeGrid(const std::vector<uint8_t>& nodes, int channels,
                                 const GridFunction& colour) {
    const std::size_t n = nodes.size();
    const std::size_t cells = n * n * n;
    const auto c = static_cast<std::size_t>(channels);
    std::vector<uint8_t> data(cells * c);
    std::vector<uint8_t> point(c);
    for (std::size_t i0 = 0; i0 < n; ++i0)
        for (std::size_t i1 = 0; i1 < n; ++i1)
            for (std::size_t i2 = 0; i2 < n; ++i2) {
                colour(nodes[i0], nodes[i1], nodes[i2], point.data());
                const std::size_t index = i0 * n * n + i1 * n + i2;
                for (std::size_t q = 0; q < c; ++q)
                    data[q * cells + index] = point[q];
            }
    return data;
}

std::vector<uint8_t> analyticInkGrid(const std::vector<uint8_t>& nodes, int inks,
                                     const InkModel& model) {
    return computeGrid(nodes, inks, [&](uint8_t r, uint8_t g, uint8_t b, uint8_t* out) {
        const auto a = inkAmounts(model, inks, r / 255.0, g / 255.0, b / 255.0);
        for (int i = 0; i < inks; ++i)
            out[i] = amountToByte(a[static_cast<std::size_t>(i)]);
    });
}

std::vector<uint8_t> correctionGrid(const std::vector<uint8_t>& nodes,
                                    const CorrectionModel& model) {
    return computeGrid(nodes, 3, [&](uint8_t r, uint8_t g, uint8_t b, uint8_t* out) {
        const auto v = correctColour(model, r / 255.0, g / 255.0, b / 255.0);
        for (int i = 0; i < 3; ++i)
            out[i] = amountToByte(v[static_cast<std::size_t>(i)]);
    });
}

std::vector<uint8_t> identityGrid(const std::vector<uint8_t>& nodes) {
    return computeGrid(nodes, 3, [](uint8_t r, uint8_t g, uint8_t b, uint8_t* out) {
        out[0] = r;
        out[1] = g;
        out[2] = b;
    });
}

} // namespace vrel::cli
