#include "preview.h"

#include "vrel/vrel.h"

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

Image previewInks(const Image& inks, int method) {
    if (method == VrelMethodThreeChannel)
        return inks;
    const auto colours = inkColoursFor(method);
    const auto n = static_cast<std::size_t>(inks.channels);
    // The factor of each ink value, as previewPixel computes it.
    std::vector<std::array<double, 3>> factors(n * 256);
    for (std::size_t i = 0; i < n; ++i)
        for (int v = 0; v < 256; ++v)
            for (int ch = 0; ch < 3; ++ch)
                factors[i * 256 + static_cast<std::size_t>(v)][static_cast<std::size_t>(ch)] =
                    1.0 - v / 255.0 * (1.0 - colours[i][static_cast<std::size_t>(ch)]);
    Image out(inks.width, inks.height, 3);
    const std::size_t pixels = static_cast<std::size_t>(inks.width) * inks.height;
    for (std::size_t p = 0; p < pixels; ++p) {
        double light[3] = {1.0, 1.0, 1.0};
        const uint8_t* in = inks.pixels.data() + p * n;
        for (std::size_t i = 0; i < n; ++i) {
            const auto& f = factors[i * 256 + in[i]];
            light[0] *= f[0];
            light[1] *= f[1];
            light[2] *= f[2];
        }
        for (std::size_t ch = 0; ch < 3; ++ch)
            out.pixels[p * 3 + ch] = static_cast<uint8_t>(std::lround(light[ch] * 255.0));
    }
    return out;
}

} // namespace vrel::cli
