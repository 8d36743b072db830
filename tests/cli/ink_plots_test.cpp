// The figures behind "vrel plot --kind neutral" and "--kind total" against
// plain loops: the engine's own calls on each grey, and the sums of the
// loaded table's nodes.
#include "cli_error.h"
#include "cli_test_helpers.h"
#include "draw/ink_totals.h"

#include <numeric>

namespace vrel::cli {
namespace {

struct Selection {
    uint16_t profileNumber, keyField94;
    uint32_t outFormat;
    int channels;
};

const Selection kSelections[] = {{0, 0, VrelFormatCmyk32, 4},
                                 {0, 1, VrelFormatInk6, 6},
                                 {1, 0, VrelFormatInk7, 7},
                                 {2, 0, VrelFormatBlack8, 1},
                                 {0, 2, VrelFormatRgb24, 3}};

PrintSettings settingsOf(const Selection& s) {
    PrintSettings settings;
    settings.profileNumber = s.profileNumber;
    settings.keyField94 = s.keyField94;
    return settings;
}

TEST(InkPlots, NeutralAxisIsTheEnginesConversionOfEachGrey) {
    for (const auto& s : kSelections) {
        SCOPED_TRACE(testing::Message()
                     << "profile " << s.profileNumber << ", key94 " << s.keyField94);
        const auto axis = neutralAxis({clitest::kSampleDatabase, settingsOf(s), false, 1});
        ASSERT_EQ(axis.names.size(), std::size_t(s.channels));
        ASSERT_EQ(axis.levels.size(), 256u);
        EngineSession session(settingsOf(s), clitest::kSampleDatabase);
        for (int v = 0; v < 256; ++v) {
            // Black only takes the grey level, which for R = G = B is v.
            const uint8_t rgb[3] = {uint8_t(v), uint8_t(v), uint8_t(v)};
            const bool grey = s.channels == 1;
            std::vector<uint8_t> out(8);
            ASSERT_EQ(VrelBitmapColorConversion(grey ? VrelFormatGray8 : VrelFormatRgb24,
                                                s.outFormat, rgb, out.data(), 1, 0, 0, 0,
                                                session.context()),
                      VREL_OK);
            out.resize(std::size_t(s.channels));
            ASSERT_EQ(axis.levels[std::size_t(v)], out) << "grey " << v;
            EXPECT_EQ(axis.total(v), std::accumulate(out.begin(), out.end(), 0));
        }
    }
}

TEST(InkPlots, TableTotalsAreTheNodeSumsAndTheirMaximum) {
    for (const auto& s : kSelections) {
        SCOPED_TRACE(testing::Message()
                     << "profile " << s.profileNumber << ", key94 " << s.keyField94);
        EngineSession session(settingsOf(s), clitest::kSampleDatabase);
        const auto table = inspect::view(session.context()).conversion;
        if (!table.present) {
            EXPECT_THROW(tableTotals(table), CliError);
            continue;
        }
        const auto totals = tableTotals(table);
        const int n = table.gridPoints, channels = table.channels;
        std::vector<int> sums;
        int maximum = -1;
        std::array<int, 3> at{};
        for (int i = 0; i < n * n * n; ++i) {
            int sum = 0;
            for (int ch = 0; ch < channels; ++ch)
                sum += table.grid[i * channels + ch];
            sums.push_back(sum);
            if (sum > maximum)
                maximum = sum, at = {i / (n * n), i / n % n, i % n};
        }
        EXPECT_EQ(totals.sums, sums);
        EXPECT_EQ(totals.maximum, maximum);
        EXPECT_EQ(totals.at, at);
        EXPECT_EQ(totals.sum(at[0], at[1], at[2]), maximum);
    }
}

} // namespace
} // namespace vrel::cli
