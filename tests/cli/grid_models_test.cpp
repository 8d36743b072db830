// The grids a description computes: the analytic ink model, the correction
// adjustments and the ICC path, each stored in the chunk's layout (channel
// after channel; axis 0 red, slowest; axis 2 blue, fastest).
#include "description.h"
#include "grid_models.h"
#include "icc_grid.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <lcms2.h>
#include <random>

namespace vrel::cli {
namespace {

std::size_t at(std::size_t n, int q, std::size_t i0, std::size_t i1, std::size_t i2) {
    return static_cast<std::size_t>(q) * n * n * n + i0 * n * n + i1 * n + i2;
}

TEST(GridModels, AnalyticGridHoldsTheModelAtEachNodeInAxisOrder) {
    const std::vector<uint8_t> nodes = {0, 30, 100, 101, 200, 255};
    const std::size_t n = nodes.size();
    InkModel model;
    model.inkGamma = 1.3;
    for (int inks = 1; inks <= 7; ++inks) {
        const auto grid = analyticInkGrid(nodes, inks, model);
        ASSERT_EQ(grid.size(), n * n * n * static_cast<std::size_t>(inks));
        for (std::size_t i0 = 0; i0 < n; ++i0)
            for (std::size_t i1 = 0; i1 < n; ++i1)
                for (std::size_t i2 = 0; i2 < n; ++i2) {
                    const auto a = inkAmounts(model, inks, nodes[i0] / 255.0, nodes[i1] / 255.0,
                                              nodes[i2] / 255.0);
                    for (int q = 0; q < inks; ++q) {
                        const double v = std::clamp(a[static_cast<std::size_t>(q)], 0.0, 1.0);
                        ASSERT_EQ(grid[at(n, q, i0, i1, i2)], std::lround(v * 255.0))
                            << inks << " inks, channel " << q;
                    }
                }
    }
}

TEST(GridModels, InkModelPrintsPrimariesGreysAndPaperAsExpected) {
    InkModel model; // black from 20 % grey, full strength
    for (int inks = 1; inks <= 7; ++inks) {
        const auto paper = inkAmounts(model, inks, 1, 1, 1);
        for (double a : paper)
            EXPECT_EQ(a, 0.0) << inks << " inks on white";
    }
    const auto red = inkAmounts(model, 4, 1, 0, 0);
    EXPECT_DOUBLE_EQ(red[0], 0.0);
    EXPECT_DOUBLE_EQ(red[1], 1.0);
    EXPECT_DOUBLE_EQ(red[2], 1.0);
    EXPECT_DOUBLE_EQ(red[3], 0.0);
    const auto black = inkAmounts(model, 4, 0, 0, 0);
    EXPECT_DOUBLE_EQ(black[3], 1.0);
    EXPECT_DOUBLE_EQ(black[0] + black[1] + black[2], 0.0);
    // Grey 60 % (q = 0.6): K = (0.6 - 0.2) / 0.8 = 0.5; c' = (0.6 - 0.5) / 0.5 = 0.2.
    const auto grey = inkAmounts(model, 4, 0.4, 0.4, 0.4);
    EXPECT_NEAR(grey[3], 0.5, 1e-12);
    EXPECT_NEAR(grey[0], 0.2, 1e-12);
    // Below the black start there is no black.
    EXPECT_EQ(inkAmounts(model, 4, 0.9, 0.9, 0.9)[3], 0.0);
    // Three inks never print black; one ink prints 1 - luma.
    EXPECT_EQ(inkAmounts(model, 3, 0, 0, 0)[3], 0.0);
    EXPECT_NEAR(inkAmounts(model, 1, 1, 0, 0)[0], 1 - 0.299, 1e-12);
}

TEST(GridModels, LightInksKeepTheDensityOfTheDarkInk) {
    InkModel model;
    model.lightRatio = 0.3;
    model.lightSplit = 0.25;
    model.greyRatio = 0.45;
    model.greySplit = 0.3;
    model.blackStart = 0.0;
    for (int step = 0; step <= 100; ++step) {
        const double v = step / 100.0;
        // Cyan alone (red channel 1 - v) and magenta alone.
        const auto c = inkAmounts(model, 7, 1 - v, 1, 1);
        EXPECT_NEAR(c[0] + model.lightRatio * c[4], v, 1e-12) << v;
        EXPECT_LE(c[4], 1.0);
        EXPECT_EQ(c[0] == 0.0, v <= model.lightSplit) << v;
        const auto m = inkAmounts(model, 7, 1, 1 - v, 1);
        EXPECT_NEAR(m[1] + model.lightRatio * m[5], v, 1e-12) << v;
        // Neutral grey: black and the grey ink together give K.
        const auto k = inkAmounts(model, 7, 1 - v, 1 - v, 1 - v);
        const auto four = inkAmounts(model, 4, 1 - v, 1 - v, 1 - v);
        EXPECT_NEAR(k[3] + model.greyRatio * k[6], four[3], 1e-12) << v;
    }
}

TEST(GridModels, TotalInkStaysWithinTheLimit) {
    InkModel model;
    model.totalLimit = 2.2;
    model.blackStart = 0.5;
    std::mt19937 random(7);
    for (int i = 0; i < 20000; ++i) {
        const double r = (random() % 256) / 255.0, g = (random() % 256) / 255.0,
                     b = (random() % 256) / 255.0;
        const auto a = inkAmounts(model, 4, r, g, b);
        EXPECT_LE(a[0] + a[1] + a[2] + a[3], model.totalLimit + 1e-9);
    }
}

TEST(GridModels, CorrectionAdjustmentsAndIdentity) {
    const auto nodes = evenNodes(9);
    EXPECT_EQ(correctionGrid(nodes, CorrectionModel{}), identityGrid(nodes));
    CorrectionModel warm;
    warm.gain[0] = 1.1;
    warm.gain[2] = 0.5;
    const auto grid = correctionGrid(nodes, warm);
    const std::size_t n = nodes.size();
    for (std::size_t i = 0; i < n; ++i) {
        EXPECT_EQ(grid[at(n, 0, i, 0, 0)], std::min(255L, std::lround(nodes[i] * 1.1)));
        EXPECT_EQ(grid[at(n, 2, 0, 0, i)], std::lround(nodes[i] * 0.5));
        EXPECT_EQ(grid[at(n, 1, 0, i, 0)], nodes[i]);
    }
    CorrectionModel grey;
    grey.saturation = 0.0;
    const auto flat = correctionGrid(nodes, grey);
    // No saturation: every grid point is its luma in all three channels.
    for (std::size_t i0 = 0; i0 < n; ++i0)
        for (std::size_t i2 = 0; i2 < n; ++i2) {
            const double luma = (0.299 * nodes[i0] + 0.114 * nodes[i2]) / 255.0;
            for (int q = 0; q < 3; ++q)
                EXPECT_EQ(flat[at(n, q, i0, 0, i2)], std::lround(luma * 255.0));
        }
}

constexpr const char* kGhostscriptCmyk = "/usr/share/color/icc/ghostscript/default_cmyk.icc";

TEST(GridModels, IccGridMatchesTheColourTransformOfItsNodes) {
    if (!std::filesystem::exists(kGhostscriptCmyk))
        GTEST_SKIP() << kGhostscriptCmyk << " is not installed (Debian package libgs-common)";
    const std::vector<uint8_t> nodes = {0, 20, 64, 100, 128, 180, 230, 255};
    const std::size_t n = nodes.size();
    // Through the description, as 'db build' computes it.
    const auto db = databaseFromJson(nlohmann::json::parse(std::string(R"({"tables": [
        {"id": 1, "nodes": [0, 20, 64, 100, 128, 180, 230, 255], "channels": 4,
         "grid": {"source": "icc", "outputProfile": ")") + kGhostscriptCmyk +
                                                           R"(", "intent": "relative"}}]})"),
                                     {});
    const auto& grid = std::get<dbwriter::ColourTable>(db.records.at(0).content).data;
    ASSERT_EQ(grid.size(), n * n * n * 4);

    // lcms2's own 8-bit transform of each node colour.
    cmsHPROFILE srgb = cmsCreate_sRGBProfile();
    cmsHPROFILE cmyk = cmsOpenProfileFromFile(kGhostscriptCmyk, "r");
    ASSERT_NE(cmyk, nullptr);
    cmsHTRANSFORM transform =
        cmsCreateTransform(srgb, TYPE_RGB_8, cmyk, TYPE_CMYK_8, INTENT_RELATIVE_COLORIMETRIC, 0);
    ASSERT_NE(transform, nullptr);
    int worst = 0;
    for (std::size_t i0 = 0; i0 < n; ++i0)
        for (std::size_t i1 = 0; i1 < n; ++i1)
            for (std::size_t i2 = 0; i2 < n; ++i2) {
                const uint8_t rgb[3] = {nodes[i0], nodes[i1], nodes[i2]};
                uint8_t ink[4] = {};
                cmsDoTransform(transform, rgb, ink, 1);
                for (int q = 0; q < 4; ++q)
                    worst = std::max(worst, std::abs(grid[at(n, q, i0, i1, i2)] - ink[q]));
            }
    EXPECT_LE(worst, 1);
    // Not a constant table: pure red and pure blue differ in cyan and yellow.
    EXPECT_GT(grid[at(n, 2, n - 1, 0, 0)], 200); // red takes yellow
    EXPECT_LT(grid[at(n, 2, 0, 0, n - 1)], 60);  // blue takes little yellow
    cmsDeleteTransform(transform);
    cmsCloseProfile(cmyk);
    cmsCloseProfile(srgb);

    // An RGB profile as output: a correction grid of sRGB to itself stays
    // within a level of the identity.
    IccTransformSettings same;
    same.output = "srgb";
    const auto identity = iccCorrectionGrid(nodes, same);
    const auto exact = identityGrid(nodes);
    for (std::size_t i = 0; i < exact.size(); ++i)
        ASSERT_LE(std::abs(identity[i] - exact[i]), 1) << i;
}

} // namespace
} // namespace vrel::cli
