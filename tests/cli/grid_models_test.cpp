// The grids a description computes: the analytic ink model, the correction
// adjustments and the ICC path, each stored in the chunk's layout (channel
// after channel; axis 0 red, slowest; axis 2 blue, fastest).
#include "description.h"
#include "engine_settings.h"
#include "grid_models.h"
#include "icc_grid.h"
#include "support/test_support.h"

#include <algorithm>
#include <cmath>
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

// A photograph-like RGB picture: a smooth lightness field from deep shadow to
// highlight, smooth colour casts of varying strength around it (near-neutral
// to saturated), and per-pixel sensor noise.
std::vector<uint8_t> photograph(int width, int height, unsigned seed) {
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    std::normal_distribution<double> noise(0.0, 3.0);
    struct Wave {
        double fx, fy, phase, amplitude;
    };
    const auto waves = [&](int count, double amplitude) {
        std::vector<Wave> list;
        for (int i = 0; i < count; ++i)
            list.push_back({(unit(random) * 4 - 2) * 6.283 / width,
                            (unit(random) * 4 - 2) * 6.283 / height, unit(random) * 6.283,
                            amplitude * (0.4 + unit(random))});
        return list;
    };
    const auto field = [](const std::vector<Wave>& list, int x, int y) {
        double v = 0;
        for (const auto& w : list)
            v += w.amplitude * std::sin(w.fx * x + w.fy * y + w.phase);
        return v;
    };
    const auto lightness = waves(4, 45);
    const std::vector<Wave> cast[3] = {waves(3, 25), waves(3, 25), waves(3, 25)};
    std::vector<uint8_t> rgb(static_cast<std::size_t>(width) * height * 3);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const double l = 128 + field(lightness, x, y);
            for (int c = 0; c < 3; ++c) {
                const double v = l + field(cast[c], x, y) + noise(random);
                rgb[(static_cast<std::size_t>(y) * width + x) * 3 + c] =
                    static_cast<uint8_t>(std::clamp(std::lround(v), 0L, 255L));
            }
        }
    return rgb;
}

TEST(GridModels, DatabaseBuiltFromAnIccProfileReproducesItOnPhotographs) {
    ASSERT_TRUE(std::filesystem::exists(kGhostscriptCmyk))
        << kGhostscriptCmyk << " is missing: run scripts/install-deps.sh (libgs-common)";
    // As a user writes it: no grey mode, the default 17-point grid.
    const auto db = databaseFromJson(nlohmann::json::parse(std::string(R"({
        "profiles": [{"profileNumber": 0, "layout": 1,
                      "entries": [{"key": 0, "lutChunk": 256, "channels": 4}]}],
        "tables": [{"id": 256, "channels": 4,
                    "grid": {"source": "icc", "outputProfile": ")") +
                                                           kGhostscriptCmyk + R"("}}]})"),
                                     {});
    test::TempDir dir;
    test::writeBytesFile(dir.path(), "icc.vdb", dbwriter::writeDatabase(db));
    EngineSession session(PrintSettings{}, dir.file("icc.vdb").string());

    cmsHPROFILE srgb = cmsCreate_sRGBProfile();
    cmsHPROFILE cmyk = cmsOpenProfileFromFile(kGhostscriptCmyk, "r");
    ASSERT_NE(cmyk, nullptr);
    // lcms2 through a 17-point grid of its own, and its exact transform.
    cmsHTRANSFORM grid17 = cmsCreateTransform(srgb, TYPE_RGB_8, cmyk, TYPE_CMYK_8,
                                              INTENT_PERCEPTUAL, cmsFLAGS_GRIDPOINTS(17));
    cmsHTRANSFORM exact = cmsCreateTransform(srgb, TYPE_RGB_8, cmyk, TYPE_CMYK_8, INTENT_PERCEPTUAL,
                                             cmsFLAGS_NOOPTIMIZE);
    ASSERT_NE(grid17, nullptr);
    ASSERT_NE(exact, nullptr);
    const int width = 400, height = 300;
    for (unsigned seed : {1u, 2u, 3u}) {
        SCOPED_TRACE("picture " + std::to_string(seed));
        const auto rgb = photograph(width, height, seed);
        const std::size_t pixels = static_cast<std::size_t>(width) * height;
        std::vector<uint8_t> ours(pixels * 4), near(pixels * 4), truth(pixels * 4);
        for (int y = 0; y < height; ++y)
            ASSERT_EQ(VrelBitmapColorConversion(VrelFormatRgb24, VrelFormatCmyk32,
                                                rgb.data() + std::size_t(y) * width * 3,
                                                ours.data() + std::size_t(y) * width * 4, width, 0,
                                                0, 0, session.context()),
                      0);
        cmsDoTransform(grid17, rgb.data(), near.data(), static_cast<cmsUInt32Number>(pixels));
        cmsDoTransform(exact, rgb.data(), truth.data(), static_cast<cmsUInt32Number>(pixels));
        int worst = 0;
        double meanError[4] = {};
        for (std::size_t i = 0; i < pixels * 4; ++i) {
            worst = std::max(worst, std::abs(ours[i] - near[i]));
            meanError[i % 4] += std::abs(ours[i] - truth[i]) / double(pixels);
        }
        EXPECT_LE(worst, 2);
        for (int q = 0; q < 4; ++q)
            EXPECT_LE(meanError[q], 1.0) << "ink " << q;
    }
    cmsDeleteTransform(exact);
    cmsDeleteTransform(grid17);
    cmsCloseProfile(cmyk);
    cmsCloseProfile(srgb);
}

} // namespace
} // namespace vrel::cli
