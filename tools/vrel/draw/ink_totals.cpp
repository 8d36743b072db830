#include "ink_totals.h"

#include "cli_error.h"

#include <numeric>

namespace vrel::cli {

int NeutralAxis::total(int grey) const {
    const auto& l = levels.at(static_cast<std::size_t>(grey));
    return std::accumulate(l.begin(), l.end(), 0);
}

NeutralAxis neutralAxis(const ConversionRequest& request) {
    constexpr int kLevels = 256;
    BandConverter converter(request, 3, kLevels);
    NeutralAxis axis;
    axis.method = converter.method();
    axis.names = inkNamesFor(axis.method);
    const auto channels = static_cast<std::size_t>(inkCountFor(axis.method));
    std::vector<uint8_t> ramp(kLevels * 3), out(kLevels * channels);
    for (std::size_t i = 0; i < ramp.size(); ++i)
        ramp[i] = static_cast<uint8_t>(i / 3);
    converter.convert(ramp.data(), out.data(), 1);
    for (std::size_t grey = 0; grey < kLevels; ++grey)
        axis.levels.emplace_back(out.begin() + static_cast<long>(grey * channels),
                                 out.begin() + static_cast<long>((grey + 1) * channels));
    return axis;
}

int TableTotals::sum(int red, int green, int blue) const {
    const auto n = static_cast<std::size_t>(gridPoints);
    return sums.at((static_cast<std::size_t>(red) * n + static_cast<std::size_t>(green)) * n +
                   static_cast<std::size_t>(blue));
}

TableTotals tableTotals(const inspect::TableView& table) {
    if (!table.present)
        throw CliError("the black-only method has no colour table to total");
    TableTotals t;
    t.gridPoints = table.gridPoints;
    t.channels = table.channels;
    const int n = table.gridPoints;
    const uint8_t* node = table.grid;
    for (int red = 0; red < n; ++red)
        for (int green = 0; green < n; ++green)
            for (int blue = 0; blue < n; ++blue) {
                const int sum = std::accumulate(node, node + table.channels, 0);
                node += table.channels;
                if (sum > t.maximum || t.sums.empty()) {
                    t.maximum = sum;
                    t.at = {red, green, blue};
                }
                t.sums.push_back(sum);
            }
    return t;
}

int inkPercent(int sum) {
    return (sum * 100 + 127) / 255;
}

} // namespace vrel::cli
