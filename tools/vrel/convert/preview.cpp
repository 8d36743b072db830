#include "preview.h"

#include "vrel/vrel.h"

#include <algorithm>
#include <cmath>

namespace vrel::cli {

namespace {

constexpr std::array<double, 3> kCyan{0.04, 0.72, 0.95};
constexpr std::array<double, 3> kMagenta{0.92, 0.08, 0.60};
constexpr std::array<double, 3> kYellow{1.00, 0.93, 0.06};
constexpr std::array<double, 3> kBlack{0.07, 0.07, 0.08};
constexpr double kLightRatio = 0.35;
constexpr double kGreyRatio = 0.4;

std::array<double, 3> diluted(const std::array<double, 3>& ink, double ratio) {
    return {1.0 - ratio * (1.0 - ink[0]), 1.0 - ratio * (1.0 - ink[1]),
            1.0 - ratio * (1.0 - ink[2])};
}

} // namespace

std::vector<std::array<double, 3>> inkColoursFor(int method) {
    switch (method) {
    case VrelMethodBlack:
        return {kBlack};
    case VrelMethodSixColor:
        return {kCyan,
                kMagenta,
                kYellow,
                kBlack,
                diluted(kCyan, kLightRatio),
                diluted(kMagenta, kLightRatio)};
    case VrelMethodSevenColor:
        return {kCyan,
                kMagenta,
                kYellow,
                kBlack,
                diluted(kCyan, kLightRatio),
                diluted(kMagenta, kLightRatio),
                diluted(kBlack, kGreyRatio)};
    default:
        return {kCyan, kMagenta, kYellow, kBlack};
    }
}

std::array<uint8_t, 3> previewPixel(const uint8_t* inks, int count,
                                    const std::vector<std::array<double, 3>>& colours) {
    double light[3] = {1.0, 1.0, 1.0};
    for (int i = 0; i < count; ++i) {
        const double a = inks[i] / 255.0;
        for (int ch = 0; ch < 3; ++ch)
            light[ch] *= 1.0 - a * (1.0 - colours[static_cast<std::size_t>(i)][ch]);
    }
    std::array<uint8_t, 3> out{};
    for (int ch = 0; ch < 3; ++ch)
        out[static_cast<std::size_t>(ch)] = static_cast<uint8_t>(std::lround(light[ch] * 255.0));
    return out;
}

InkPreview::InkPreview(int method) : rgb_(method == VrelMethodThreeChannel) {
    const auto colours = inkColoursFor(method);
    inks_ = colours.size();
    // The factor of each ink value, as previewPixel computes it.
    factors_.resize(inks_ * 256);
    for (std::size_t i = 0; i < inks_; ++i)
        for (int v = 0; v < 256; ++v)
            for (std::size_t ch = 0; ch < 3; ++ch)
                factors_[i * 256 + static_cast<std::size_t>(v)][ch] =
                    1.0 - v / 255.0 * (1.0 - colours[i][ch]);
}

namespace {

// The ink count as a constant, for the compiler to unroll the ink loop.
template <std::size_t N>
void previewRow(const uint8_t* inks, int width, const std::array<double, 3>* factors,
                uint8_t* rgb) {
    for (int x = 0; x < width; ++x, inks += N, rgb += 3) {
        double light[3] = {1.0, 1.0, 1.0};
        for (std::size_t i = 0; i < N; ++i) {
            const auto& f = factors[i * 256 + inks[i]];
            light[0] *= f[0];
            light[1] *= f[1];
            light[2] *= f[2];
        }
        // Light is in [0, 1]: adding one half and truncating rounds it.
        for (std::size_t ch = 0; ch < 3; ++ch)
            rgb[ch] = static_cast<uint8_t>(light[ch] * 255.0 + 0.5);
    }
}

} // namespace

void InkPreview::row(const uint8_t* inks, int width, uint8_t* rgb) const {
    if (rgb_) {
        std::copy_n(inks, static_cast<std::size_t>(width) * 3, rgb);
        return;
    }
    switch (inks_) {
    case 1:
        return previewRow<1>(inks, width, factors_.data(), rgb);
    case 6:
        return previewRow<6>(inks, width, factors_.data(), rgb);
    case 7:
        return previewRow<7>(inks, width, factors_.data(), rgb);
    default:
        return previewRow<4>(inks, width, factors_.data(), rgb);
    }
}

} // namespace vrel::cli
