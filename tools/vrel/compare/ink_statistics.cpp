#include "ink_statistics.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace vrel::cli {

Spread spreadOf(std::vector<double> values) {
    if (values.empty())
        return {};
    const std::size_t n = values.size();
    const auto rank = static_cast<std::size_t>(std::ceil(0.95 * static_cast<double>(n))) - 1;
    std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(rank),
                     values.end());
    Spread s;
    s.p95 = values[rank];
    s.max = *std::max_element(values.begin() + static_cast<std::ptrdiff_t>(rank), values.end());
    s.mean = std::accumulate(values.begin(), values.end(), 0.0) / static_cast<double>(n);
    return s;
}

InkComparison compareInkLevels(const std::vector<double>& a, const std::vector<double>& b,
                               int inks) {
    const auto width = static_cast<std::size_t>(inks);
    InkComparison result;
    result.samples = std::min(a.size(), b.size()) / width;
    std::vector<std::vector<double>> differences(width);
    std::size_t off = 0;
    for (std::size_t s = 0; s < result.samples; ++s) {
        bool missed = false;
        for (std::size_t i = 0; i < width; ++i) {
            const double d = std::abs(a[s * width + i] - b[s * width + i]);
            differences[i].push_back(d);
            missed = missed || d > kVisibleInkMiss;
        }
        off += missed ? 1 : 0;
    }
    for (auto& d : differences)
        result.inks.push_back(spreadOf(std::move(d)));
    if (result.samples)
        result.shareOff = static_cast<double>(off) / static_cast<double>(result.samples);
    return result;
}

} // namespace vrel::cli
