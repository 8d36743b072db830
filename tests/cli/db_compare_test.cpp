// vrel db compare through the built executable: its statistics are those a
// plain loop computes from the inks that convert writes, and lcms2's own
// transform finds a fine grid closer than a coarse one.
#include "cli_test_helpers.h"

#include <algorithm>
#include <nlohmann/json.hpp>
#include <numeric>

namespace vrel::clitest {
namespace {

const std::string kCmykProfile = "/usr/share/color/icc/ghostscript/default_cmyk.icc";

// Builds `name` with one four-ink profile from the CMYK profile; `grid`
// holds the table's node fields ("points": 9 ...).
void buildIccDatabase(const test::TempDir& dir, const std::string& name, const std::string& grid) {
    const std::string json =
        R"({"profiles": [{"profileNumber": 0, "layout": 1, "entries": [{"key": 0,
           "lutChunk": 256, "channels": 4}]}], "tables": [{"id": 256, )" +
        grid + R"(, "channels": 4, "grid": {"source": "icc", "outputProfile": ")" + kCmykProfile +
        "\"}}]}";
    test::writeBytesFile(dir.path(), name + ".json",
                         std::vector<uint8_t>(json.begin(), json.end()));
    ASSERT_EQ(runTool({"db", "build", name + ".json", "-o", name}, dir.path()).status, 0);
}

nlohmann::json compareJson(const test::TempDir& dir, std::vector<std::string> args) {
    args.insert(args.begin(), {"db", "compare"});
    args.push_back("--json");
    const auto run = runTool(args, dir.path());
    EXPECT_EQ(run.status, 0) << run.err;
    return run.status == 0 ? nlohmann::json::parse(run.out) : nlohmann::json::object();
}

std::vector<uint8_t> tiffSamples(const std::filesystem::path& path) {
    TIFF* t = TIFFOpen(path.c_str(), "r");
    EXPECT_NE(t, nullptr);
    if (!t)
        return {};
    uint32_t height = 0;
    TIFFGetField(t, TIFFTAG_IMAGELENGTH, &height);
    std::vector<uint8_t> samples;
    std::vector<uint8_t> row(static_cast<std::size_t>(TIFFScanlineSize(t)));
    for (uint32_t y = 0; y < height; ++y) {
        TIFFReadScanline(t, row.data(), y, 0);
        samples.insert(samples.end(), row.begin(), row.end());
    }
    TIFFClose(t);
    return samples;
}

TEST(DatabaseCompare, StatisticsAreThoseOfTheInksConvertWrites) {
    test::TempDir dir;
    buildIccDatabase(dir, "d17.vdb", R"("headerType": 0)");
    buildIccDatabase(dir, "d33.vdb", R"("points": 33)");
    std::vector<uint16_t> rgb(48 * 20 * 3);
    for (std::size_t i = 0; i < rgb.size(); ++i)
        rgb[i] = static_cast<uint16_t>(i * 7919 % 251 + i % 5);
    writeTiff(dir.file("img.tif"), 48, 3, 8, PHOTOMETRIC_RGB, rgb);
    const auto self = compareJson(dir, {"d17.vdb", "d17.vdb", "--output-profile", kCmykProfile});
    ASSERT_EQ(self["sets"].size(), 1u);
    EXPECT_EQ(self["sets"][0]["samples"], 52 * 52 * 52);
    EXPECT_EQ(self["sets"][0]["shareOff"], 0.0);
    EXPECT_EQ(self["sets"][0]["deltaE00"]["max"], 0.0);
    for (const auto& [ink, spread] : self["sets"][0]["inks"].items())
        EXPECT_EQ(spread["max"], 0.0) << ink;

    std::vector<std::vector<uint8_t>> inks;
    for (const char* db : {"d17.vdb", "d33.vdb"}) {
        ASSERT_EQ(runTool({"convert", "--db", db, "img.tif", "-o", "inks.tif"}, dir.path()).status,
                  0);
        inks.push_back(tiffSamples(dir.file("inks.tif")));
    }
    const auto result = compareJson(dir, {"d17.vdb", "d33.vdb", "--image", "img.tif"});
    ASSERT_EQ(result["sets"].size(), 2u);
    const auto& image = result["sets"][1];
    const std::size_t pixels = rgb.size() / 3;
    ASSERT_EQ(image["samples"], pixels);
    std::vector<bool> off(pixels);
    for (std::size_t k = 0; k < 4; ++k) {
        std::vector<double> d;
        for (std::size_t p = 0; p < pixels; ++p) {
            d.push_back(std::abs(inks[0][4 * p + k] - inks[1][4 * p + k]));
            off[p] = off[p] || d.back() > 8;
        }
        std::sort(d.begin(), d.end());
        const auto& spread = image["inks"][result["inks"][k].get<std::string>()];
        EXPECT_NEAR(spread["mean"], std::accumulate(d.begin(), d.end(), 0.0) / pixels, 1e-9);
        EXPECT_EQ(spread["p95"], d[(pixels * 95 + 99) / 100 - 1]) << k;
        EXPECT_EQ(spread["max"], d.back()) << k;
    }
    EXPECT_NEAR(image["shareOff"], std::count(off.begin(), off.end(), true) / double(pixels),
                1e-12);
    EXPECT_GT(image["inks"]["Black"]["max"], 0.0);
}

// Against lcms2's float transform, 64 points come close and 5 fall clearly short.
TEST(DatabaseCompare, AgainstTheProfileAFineGridComesClose) {
    test::TempDir dir;
    buildIccDatabase(dir, "d5.vdb", R"("points": 5)");
    buildIccDatabase(dir, "d64.vdb", R"("points": 64)");
    const auto fine = compareJson(dir, {"d64.vdb", "--against-profile", kCmykProfile});
    const auto coarse = compareJson(dir, {"d5.vdb", "--against-profile", kCmykProfile});
    EXPECT_LT(fine["sets"][0]["deltaE00"]["mean"], 0.2);
    EXPECT_GT(coarse["sets"][0]["deltaE00"]["mean"], 1.0);
    EXPECT_LT(fine["sets"][0]["shareOff"], 0.01);
}

} // namespace
} // namespace vrel::clitest
