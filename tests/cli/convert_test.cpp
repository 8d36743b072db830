// "vrel convert" against the engine called directly: the ink TIFF equals
// what VrelBitmapColorConversion gives for the same decoded pixels (the tool
// itself goes through VrelLineColorConversion), equals the plain reference
// interpolation of the sample's grid, and carries the right TIFF tags.
#include "chart.h"
#include "cli_test_helpers.h"
#include "commands.h"
#include "convert_image.h"
#include "image_read.h"
#include "image_write.h"
#include "preview.h"
#include "support/reference_model.h"
#include "support/test_support.h"

#include <gtest/gtest.h>
#include <random>
#include <tiffio.h>

namespace vrel::cli {
namespace {

using namespace vrel::dbwriter;

// The chart with random rows in its lower part, so every grid cell is hit.
Image testImage() {
    Image image = makeChart(kChartMinWidth, kChartMinHeight);
    std::mt19937 random(1234);
    for (int y = image.height - 60; y < image.height; ++y)
        for (std::size_t i = 0; i < image.rowBytes(); ++i)
            image.row(y)[i] = static_cast<uint8_t>(random());
    return image;
}

struct Profile {
    const char* what;
    uint16_t profileNumber;
    uint16_t keyField94;
    uint32_t outFormat;
    int inks;
};

const Profile kProfiles[] = {
    {"four inks", 0, 0, VrelFormatCmyk32, 4},
    {"six inks", 0, 1, VrelFormatInk6, 6},
    {"seven inks", 1, 0, VrelFormatInk7, 7},
};

ConversionOptions optionsFor(const Profile& p, const std::string& input) {
    ConversionOptions o;
    o.database = clitest::sampleDatabase().string();
    o.settings.profileNumber = p.profileNumber;
    o.settings.keyField94 = p.keyField94;
    o.input = input;
    o.noProgress = true;
    return o;
}

test::ParamBuilder sampleParams(const Profile& p) {
    test::ParamBuilder params;
    params.database("sample.vdb")
        .directory(VREL_SAMPLE_DIR)
        .profileNumber(p.profileNumber)
        .keyField94(p.keyField94);
    return params;
}

// Direct engine calls, row by row, on the decoded pixels.
std::vector<uint8_t> directConversion(const Image& image, const Profile& p, bool correct) {
    test::OpenContext context(sampleParams(p));
    EXPECT_EQ(context.result(), VREL_OK);
    std::vector<uint8_t> out;
    std::vector<uint8_t> row(image.rowBytes()), inks(static_cast<std::size_t>(image.width) * 8);
    for (int y = 0; y < image.height; ++y) {
        if (correct)
            VrelBitmapColorCorrection(VrelFormatRgb24, image.row(y), row.data(),
                                      static_cast<uint16_t>(image.width), 0, 0, context.get());
        else
            std::copy(image.row(y), image.row(y) + image.rowBytes(), row.begin());
        EXPECT_EQ(VrelBitmapColorConversion(VrelFormatRgb24, p.outFormat, row.data(), inks.data(),
                                            static_cast<uint32_t>(image.width), 0, 0, 0,
                                            context.get()),
                  VREL_OK);
        out.insert(out.end(), inks.begin(), inks.begin() + image.width * p.inks);
    }
    return out;
}

TEST(Convert, InkTiffEqualsDirectBitmapConversion) {
    test::TempDir dir;
    const auto input = dir.file("in.png").string();
    writePng(input, testImage());
    const Image decoded = readImage(input);
    for (const auto& p : kProfiles)
        for (bool correct : {false, true})
            for (int threads : {1, 3}) {
                SCOPED_TRACE(std::string(p.what) + (correct ? ", corrected" : "") + ", threads " +
                             std::to_string(threads));
                auto o = optionsFor(p, input);
                o.output = dir.file("out.tif").string();
                o.correct = correct;
                o.threads = threads;
                runConvert(o);
                const auto tiff = clitest::readTiffFile(o.output);
                ASSERT_EQ(tiff.samples, p.inks);
                ASSERT_EQ(tiff.width, static_cast<uint32_t>(decoded.width));
                ASSERT_EQ(tiff.height, static_cast<uint32_t>(decoded.height));
                const auto expected = directConversion(decoded, p, correct);
                ASSERT_EQ(tiff.pixels.size(), expected.size());
                EXPECT_TRUE(tiff.pixels == expected) << "the TIFF differs from the engine's calls";
            }
}

TEST(Convert, FourInkTiffEqualsReferenceInterpolationOfTheSampleGrid) {
    // The sample's colour profiles take the inverse-ramp grey curve and
    // neutral adjustment curves, so the ink of (r, g, b) is the plain
    // tetrahedral interpolation of the chunk's grid at (r, g, b): red on
    // axis 0, blue on axis 2.
    const auto bytes = clitest::readFileBytes(clitest::sampleDatabase());
    const auto db = parseDatabase(bytes);
    ASSERT_TRUE(db);
    const auto* record = db->find(kChunkClass, 0x100);
    ASSERT_NE(record, nullptr);
    const test::ReferenceTable table{defaultNodes(), 4,
                                     std::get<ColourTable>(record->content).data};
    test::TempDir dir;
    const auto input = dir.file("in.png").string();
    const Image image = testImage();
    writePng(input, image);
    auto o = optionsFor(kProfiles[0], input);
    o.output = dir.file("out.tif").string();
    runConvert(o);
    const auto tiff = clitest::readTiffFile(o.output);
    ASSERT_EQ(tiff.pixels.size(), image.pixels.size() / 3 * 4);
    long mismatches = 0;
    for (std::size_t p = 0; p < image.pixels.size() / 3; ++p) {
        const auto expected = table.interpolate(image.pixels[3 * p], image.pixels[3 * p + 1],
                                                image.pixels[3 * p + 2]);
        for (int q = 0; q < 4; ++q)
            mismatches += tiff.pixels[4 * p + static_cast<std::size_t>(q)] !=
                          expected[static_cast<std::size_t>(q)];
    }
    EXPECT_EQ(mismatches, 0);
}

TEST(Convert, InkTiffsCarryTheirInkTags) {
    test::TempDir dir;
    const auto input = dir.file("in.png").string();
    writePng(input, makeChart(kChartMinWidth, kChartMinHeight));
    for (const auto& p : kProfiles) {
        SCOPED_TRACE(p.what);
        auto o = optionsFor(p, input);
        o.output = dir.file("out.tif").string();
        runConvert(o);
        const auto tiff = clitest::readTiffFile(o.output);
        EXPECT_EQ(tiff.bits, 8);
        EXPECT_EQ(tiff.samples, p.inks);
        EXPECT_EQ(tiff.photometric, PHOTOMETRIC_SEPARATED);
        ASSERT_TRUE(tiff.hasInkSet);
        if (p.inks == 4) {
            EXPECT_EQ(tiff.inkSet, INKSET_CMYK);
            EXPECT_EQ(tiff.inkNames,
                      (std::vector<std::string>{"Cyan", "Magenta", "Yellow", "Black"}));
        } else {
            EXPECT_EQ(tiff.inkSet, INKSET_MULTIINK);
            ASSERT_TRUE(tiff.hasNumberOfInks);
            EXPECT_EQ(tiff.numberOfInks, p.inks);
            std::vector<std::string> names = {"Cyan",  "Magenta",    "Yellow",
                                              "Black", "Light Cyan", "Light Magenta"};
            if (p.inks == 7)
                names.push_back("Light Black");
            EXPECT_EQ(tiff.inkNames, names);
        }
    }
}

TEST(Convert, PlanesAndPreviewFollowTheInks) {
    test::TempDir dir;
    const auto input = dir.file("in.png").string();
    writePng(input, testImage());
    auto o = optionsFor(kProfiles[1], input); // six inks
    o.output = dir.file("out.tif").string();
    o.planesDir = dir.str();
    o.preview = dir.file("preview.png").string();
    runConvert(o);
    const auto tiff = clitest::readTiffFile(o.output);
    const char* planeNames[6] = {"ink0-cyan.png",  "ink1-magenta.png",    "ink2-yellow.png",
                                 "ink3-black.png", "ink4-light-cyan.png", "ink5-light-magenta.png"};
    for (int i = 0; i < 6; ++i) {
        const Image plane = readImage(dir.file(planeNames[i]).string());
        ASSERT_EQ(plane.channels, 1);
        ASSERT_EQ(plane.pixels.size() * 6, tiff.pixels.size());
        long wrong = 0;
        for (std::size_t p = 0; p < plane.pixels.size(); ++p)
            wrong += plane.pixels[p] != 255 - tiff.pixels[6 * p + static_cast<std::size_t>(i)];
        EXPECT_EQ(wrong, 0) << planeNames[i];
    }
    // The preview: product of (1 - a (1 - T)) over the inks, per channel.
    const Image preview = readImage(o.preview);
    const auto colours = inkColoursFor(6);
    long wrong = 0;
    for (std::size_t p = 0; p < preview.pixels.size() / 3; ++p)
        for (int ch = 0; ch < 3; ++ch) {
            double light = 1.0;
            for (int i = 0; i < 6; ++i)
                light *= 1.0 - tiff.pixels[6 * p + static_cast<std::size_t>(i)] / 255.0 *
                                   (1.0 - colours[static_cast<std::size_t>(i)][ch]);
            wrong += std::abs(preview.pixels[3 * p + static_cast<std::size_t>(ch)] -
                              light * 255.0) > 0.5 + 1e-9;
        }
    EXPECT_EQ(wrong, 0);
}

TEST(Convert, BlackOnlyProfileConvertsTheLuminanceOfRgb) {
    test::TempDir dir;
    const auto input = dir.file("in.png").string();
    const Image image = testImage();
    writePng(input, image);
    const Profile black{"black", 2, 0, VrelFormatBlack8, 1};
    auto o = optionsFor(black, input);
    o.output = dir.file("out.tif").string();
    runConvert(o);
    const auto tiff = clitest::readTiffFile(o.output);
    EXPECT_EQ(tiff.samples, 1);
    EXPECT_EQ(tiff.photometric, PHOTOMETRIC_MINISWHITE);
    test::OpenContext context(sampleParams(black));
    ASSERT_TRUE(context);
    const std::size_t pixels = image.pixels.size() / 3;
    std::vector<uint8_t> grey(pixels), ink(pixels);
    for (std::size_t p = 0; p < pixels; ++p)
        grey[p] = static_cast<uint8_t>((77 * image.pixels[3 * p] + 151 * image.pixels[3 * p + 1] +
                                        28 * image.pixels[3 * p + 2] + 128) >>
                                       8);
    for (int y = 0; y < image.height; ++y)
        VrelBitmapColorConversion(VrelFormatGray8, VrelFormatBlack8,
                                  grey.data() + static_cast<std::size_t>(y) * image.width,
                                  ink.data() + static_cast<std::size_t>(y) * image.width,
                                  static_cast<uint32_t>(image.width), 0, 0, 0, context.get());
    EXPECT_TRUE(tiff.pixels == ink);
}

TEST(Convert, ThreeChannelProfileWritesTheEnginesRgb) {
    test::TempDir dir;
    const auto input = dir.file("in.png").string();
    const Image image = testImage();
    writePng(input, image);
    const Profile rgb{"three channels", 0, 2, VrelFormatRgb24, 3};
    auto o = optionsFor(rgb, input);
    o.output = dir.file("out.tif").string();
    runConvert(o);
    const auto tiff = clitest::readTiffFile(o.output);
    EXPECT_EQ(tiff.samples, 3);
    EXPECT_EQ(tiff.photometric, PHOTOMETRIC_RGB);
    EXPECT_TRUE(tiff.pixels == directConversion(image, rgb, false));
}

TEST(Convert, GreyAndTiffInputsConvertLikeTheirPixels) {
    test::TempDir dir;
    // A grey PNG goes through the grey kernels.
    Image grey(300, 20, 1);
    for (std::size_t i = 0; i < grey.pixels.size(); ++i)
        grey.pixels[i] = static_cast<uint8_t>(i * 7);
    const auto greyPath = dir.file("grey.png").string();
    writePng(greyPath, grey);
    auto o = optionsFor(kProfiles[0], greyPath);
    o.output = dir.file("grey.tif").string();
    runConvert(o);
    const auto tiff = clitest::readTiffFile(o.output);
    test::OpenContext context(sampleParams(kProfiles[0]));
    std::vector<uint8_t> expected(grey.pixels.size() * 4);
    VrelBitmapColorConversion(VrelFormatGray8, VrelFormatCmyk32, grey.pixels.data(),
                              expected.data(), 300 * 20, 0, 0, 0, context.get());
    EXPECT_TRUE(tiff.pixels == expected);

    // An RGB TIFF with an alpha sample.
    const Image rgb = testImage();
    const auto tiffPath = dir.file("in.tif").string();
    TIFF* t = TIFFOpen(tiffPath.c_str(), "w");
    ASSERT_NE(t, nullptr);
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, rgb.width);
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, rgb.height);
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 4);
    const uint16_t extra[1] = {EXTRASAMPLE_UNASSALPHA};
    TIFFSetField(t, TIFFTAG_EXTRASAMPLES, 1, extra);
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    std::vector<uint8_t> row(static_cast<std::size_t>(rgb.width) * 4);
    for (int y = 0; y < rgb.height; ++y) {
        for (int x = 0; x < rgb.width; ++x) {
            std::copy_n(rgb.row(y) + 3 * x, 3, row.begin() + 4 * x);
            row[static_cast<std::size_t>(4 * x + 3)] = 17;
        }
        ASSERT_GE(TIFFWriteScanline(t, row.data(), static_cast<uint32_t>(y), 0), 0);
    }
    TIFFClose(t);
    // Composited on white paper: v a + 255 (1 - a), rounded.
    const Image back = readImage(tiffPath);
    EXPECT_EQ(back.channels, 3);
    auto onWhite = rgb.pixels;
    for (auto& v : onWhite)
        v = static_cast<uint8_t>((v * 17 + 255 * (255 - 17) + 127) / 255);
    EXPECT_TRUE(back.pixels == onWhite);
}

} // namespace
} // namespace vrel::cli
