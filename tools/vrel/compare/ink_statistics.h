// Statistics of two sets of ink levels for the same colours: per ink the
// mean, 95th percentile and maximum absolute difference, the share of
// colours off by more than a threshold in any ink, and the same spread for
// colour differences (CIEDE2000) when they are given.
#pragma once

#include <cstddef>
#include <optional>
#include <vector>

namespace vrel::cli {

// Ink levels are 0..255; more than this many levels off counts as a visible miss.
inline constexpr double kVisibleInkMiss = 8.0;

struct Spread {
    double mean = 0, p95 = 0, max = 0;
};

// Mean, 95th percentile (nearest rank: the value at sorted index
// ceil(0.95 n) - 1) and maximum of `values`; zeros when empty.
Spread spreadOf(std::vector<double> values);

struct InkComparison {
    std::size_t samples = 0;
    std::vector<Spread> inks; // one per ink, in the engine's ink order
    double shareOff = 0;      // of samples more than kVisibleInkMiss off in any ink
    std::optional<Spread> deltaE;
};

// `a` and `b` hold `inks` interleaved levels per sample.
InkComparison compareInkLevels(const std::vector<double>& a, const std::vector<double>& b,
                               int inks);

} // namespace vrel::cli
