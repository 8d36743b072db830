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
#include "support/param_builder.h"
#include "support/test_support.h"

#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <lcms2.h>
#include <optional>
#include <png.h>
#include <random>
#include <thread>
#include <tiffio.h>
#include <unistd.h>

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

TEST(Convert, OutputsAreTheSameBytesForAnyThreadCountAndCompression) {
    test::TempDir dir;
    const auto input = dir.file("in.png").string();
    Image image = makeChart(1200, 900); // many strips, random rows at the bottom
    std::mt19937 random(99);
    for (int y = 700; y < 900; ++y)
        for (std::size_t i = 0; i < image.rowBytes(); ++i)
            image.row(y)[i] = static_cast<uint8_t>(random());
    writePng(input, image);
    std::vector<uint8_t> uncompressed;
    const std::pair<const char*, uint16_t> kCompressions[] = {
        {"none", COMPRESSION_NONE},
        {"lzw", COMPRESSION_LZW},
        {"deflate", COMPRESSION_ADOBE_DEFLATE},
        {"zstd", COMPRESSION_ZSTD}};
    for (const auto& [name, tag] : kCompressions) {
        if (tag == COMPRESSION_ZSTD && !TIFFIsCODECConfigured(COMPRESSION_ZSTD))
            continue;
        std::vector<std::vector<uint8_t>> first;
        for (int threads : {1, 2, 3}) {
            SCOPED_TRACE(std::string(name) + ", threads " + std::to_string(threads));
            const auto out = dir.file(std::to_string(threads));
            auto o = optionsFor(kProfiles[2], input);
            o.output = (out / "out.tif").string();
            o.preview = (out / "preview.png").string();
            o.planesDir = (out / "planes").string();
            o.compression = name;
            o.threads = threads;
            std::filesystem::create_directories(out);
            runConvert(o);
            std::vector<std::vector<uint8_t>> files{clitest::readFileBytes(o.output),
                                                    clitest::readFileBytes(o.preview)};
            for (const auto& plane : std::filesystem::directory_iterator(o.planesDir))
                files.push_back(clitest::readFileBytes(plane.path()));
            ASSERT_EQ(files.size(), 9u);
            if (first.empty())
                first = files;
            EXPECT_TRUE(files == first) << "the outputs differ from those of one thread";
            TIFF* t = TIFFOpen(o.output.c_str(), "r");
            ASSERT_NE(t, nullptr);
            uint16_t compression = 0;
            TIFFGetField(t, TIFFTAG_COMPRESSION, &compression);
            EXPECT_EQ(compression, tag);
            EXPECT_GT(TIFFNumberOfStrips(t), 4u);
            TIFFClose(t);
            const auto pixels = clitest::readTiffFile(o.output).pixels;
            if (uncompressed.empty())
                uncompressed = pixels;
            EXPECT_TRUE(pixels == uncompressed) << "the pixels differ from the uncompressed TIFF";
        }
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
        EXPECT_EQ(tiff.warnings, 0);
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
    // Two bands of rows, and one: the PNGs' zlib streams are joined from
    // the bands' or made by one.
    for (int height : {kChartMinHeight, 50}) {
        SCOPED_TRACE(height);
        test::TempDir dir;
        const auto input = dir.file("in.png").string();
        Image image = testImage();
        image.height = height;
        image.pixels.resize(image.rowBytes() * static_cast<std::size_t>(height));
        writePng(input, image);
        auto o = optionsFor(kProfiles[1], input); // six inks
        o.output = dir.file("out.tif").string();
        o.planesDir = (dir.path() / "new" / "planes").string(); // created with its parent
        o.preview = dir.file("preview.png").string();
        runConvert(o);
        ReadOptions strict; // a PNG that libpng warns about is a fault here
        strict.warn = [](const std::string& warning) { ADD_FAILURE() << warning; };
        const auto tiff = clitest::readTiffFile(o.output);
        const char* planeNames[6] = {"ink0-cyan.png",       "ink1-magenta.png",
                                     "ink2-yellow.png",     "ink3-black.png",
                                     "ink4-light-cyan.png", "ink5-light-magenta.png"};
        for (int i = 0; i < 6; ++i) {
            const Image plane =
                readImage((dir.path() / "new" / "planes" / planeNames[i]).string(), strict);
            ASSERT_EQ(plane.channels, 1);
            ASSERT_EQ(plane.pixels.size() * 6, tiff.pixels.size());
            long wrong = 0;
            for (std::size_t p = 0; p < plane.pixels.size(); ++p)
                wrong += plane.pixels[p] != 255 - tiff.pixels[6 * p + static_cast<std::size_t>(i)];
            EXPECT_EQ(wrong, 0) << planeNames[i];
        }
        // The preview: product of (1 - a (1 - T)) over the inks, per channel.
        const Image preview = readImage(o.preview, strict);
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

// 8- or 16-bit samples of one row, written with libpng's full interface so
// that the colour chunks are exactly the ones given.
void writePngRow(const std::filesystem::path& path, int channels, int bits,
                 const std::vector<uint16_t>& samples, std::optional<double> gamma,
                 const std::vector<uint8_t>& icc) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_init_io(png, file);
    const auto width =
        static_cast<png_uint_32>(samples.size() / static_cast<std::size_t>(channels));
    png_set_IHDR(png, info, width, 1, bits,
                 channels == 3 ? PNG_COLOR_TYPE_RGB : PNG_COLOR_TYPE_GRAY, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (gamma)
        png_set_gAMA(png, info, *gamma);
    if (!icc.empty())
        png_set_iCCP(png, info, "test", 0, icc.data(), static_cast<png_uint_32>(icc.size()));
    png_write_info(png, info);
    std::vector<uint8_t> row;
    for (uint16_t v : samples) {
        if (bits == 16)
            row.push_back(static_cast<uint8_t>(v >> 8));
        row.push_back(static_cast<uint8_t>(v));
    }
    png_write_row(png, row.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    std::fclose(file);
}

// One row of a TIFF: 4-, 8- or 16-bit samples, with a colour map or an ICC profile.
void writeTiffRow(const std::filesystem::path& path, int channels, int bits, uint16_t photometric,
                  const std::vector<uint16_t>& samples, const std::vector<uint16_t>& colourMap,
                  const std::vector<uint8_t>& icc) {
    TIFF* t = TIFFOpen(path.c_str(), "w");
    ASSERT_NE(t, nullptr);
    const auto width = static_cast<uint32_t>(samples.size() / static_cast<std::size_t>(channels));
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, width);
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, 1);
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, bits);
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, channels);
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, photometric);
    TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    if (!colourMap.empty())
        TIFFSetField(t, TIFFTAG_COLORMAP, colourMap.data(), colourMap.data(), colourMap.data());
    if (!icc.empty())
        TIFFSetField(t, TIFFTAG_ICCPROFILE, static_cast<uint32_t>(icc.size()), icc.data());
    std::vector<uint8_t> row(static_cast<std::size_t>(TIFFScanlineSize(t)));
    for (std::size_t i = 0; i < samples.size(); ++i) {
        if (bits == 16)
            std::memcpy(row.data() + 2 * i, &samples[i], 2);
        else if (bits == 8)
            row[i] = static_cast<uint8_t>(samples[i]);
        else
            row[i / 2] = static_cast<uint8_t>(row[i / 2] | samples[i] << (i % 2 ? 0 : 4));
    }
    TIFFWriteScanline(t, row.data(), 0, 0);
    TIFFClose(t);
}

// An RGB (or grey) profile with the sRGB primaries but linear light.
std::vector<uint8_t> linearProfile() {
    cmsToneCurve* linear = cmsBuildGamma(nullptr, 1.0);
    cmsToneCurve* curves[3] = {linear, linear, linear};
    const cmsCIExyY white{0.3127, 0.3290, 1.0};
    const cmsCIExyYTRIPLE primaries{{0.64, 0.33, 1.0}, {0.30, 0.60, 1.0}, {0.15, 0.06, 1.0}};
    cmsHPROFILE profile = cmsCreateRGBProfile(&white, &primaries, curves);
    cmsUInt32Number size = 0;
    cmsSaveProfileToMem(profile, nullptr, &size);
    std::vector<uint8_t> bytes(size);
    cmsSaveProfileToMem(profile, bytes.data(), &size);
    cmsCloseProfile(profile);
    cmsFreeToneCurve(linear);
    return bytes;
}

// Linear light 0..1 as an 8-bit sRGB value.
double srgbOfLinear(double x) {
    return 255.0 * (x <= 0.0031308 ? 12.92 * x : 1.055 * std::pow(x, 1 / 2.4) - 0.055);
}

TEST(Convert, InputsAreReadAsTheirFilesMeanThem) {
    test::TempDir dir;
    constexpr int kWidth = 64;
    std::vector<uint16_t> wide, narrow, wideGrey, indices, colourMap(16);
    std::vector<double> wideExpected, narrowRaw, narrowLinear, indexExpected;
    for (int i = 0; i < kWidth; ++i) {
        const auto v16 = static_cast<uint16_t>(i * 1040);
        const auto v8 = static_cast<uint16_t>(i * 4);
        wide.insert(wide.end(), {v16, v16, v16});
        narrow.insert(narrow.end(), {v8, v8, v8});
        wideGrey.push_back(v16);
        indices.push_back(static_cast<uint16_t>(i % 16));
        wideExpected.push_back(std::round(v16 * 255.0 / 65535.0));
        narrowRaw.push_back(v8);
        narrowLinear.push_back(srgbOfLinear(v8 / 255.0));
        indexExpected.push_back((i % 16) * 17.0);
    }
    for (int k = 0; k < 16; ++k)
        colourMap[static_cast<std::size_t>(k)] = static_cast<uint16_t>(k * 4369);
    std::vector<double> whiteIsZero;
    for (double v : wideExpected)
        whiteIsZero.push_back(255 - v);
    const auto linear = linearProfile();
    test::writeBytesFile(dir.path(), "linear.icc", linear);
    writePngRow(dir.file("deep.png"), 3, 16, wide, std::nullopt, {});
    writeTiffRow(dir.file("deep.tif"), 3, 16, PHOTOMETRIC_RGB, wide, {}, {});
    writeTiffRow(dir.file("grey.tif"), 1, 16, PHOTOMETRIC_MINISWHITE, wideGrey, {}, {});
    writeTiffRow(dir.file("palette.tif"), 1, 4, PHOTOMETRIC_PALETTE, indices, colourMap, {});
    writePngRow(dir.file("gamma.png"), 3, 8, narrow, 1.0, {});
    writePngRow(dir.file("plain.png"), 3, 8, narrow, std::nullopt, {});
    writePngRow(dir.file("icc.png"), 3, 8, narrow, std::nullopt, linear);
    writeTiffRow(dir.file("icc.tif"), 3, 8, PHOTOMETRIC_RGB, narrow, {}, linear);
    Image photo(kWidth, 16, 3);
    for (std::size_t i = 0; i < photo.pixels.size(); ++i)
        photo.pixels[i] = static_cast<uint8_t>(i / 3 % kWidth * 4);
    clitest::writeJpegFile(dir.file("icc.jpg"), photo, linear);
    ReadOptions none;
    none.inputProfile = kNoProfile;
    std::vector<double> jpegLinear; // the JPEG's own (lossy) values, through the profile
    for (int x = 0; x < kWidth; ++x)
        jpegLinear.push_back(
            srgbOfLinear(readImage(dir.file("icc.jpg").string(), none).pixels[3 * x] / 255.0));

    struct Case {
        const char* file;
        std::string choice;
        const std::vector<double>& expected;
        double tolerance;
        const char* profileWords;
    };
    const std::vector<Case> cases = {
        {"deep.png", kEmbeddedProfile, wideExpected, 0, "carries no colour information"},
        {"deep.tif", kEmbeddedProfile, wideExpected, 0, "carries no colour information"},
        {"grey.tif", kEmbeddedProfile, whiteIsZero, 0, "carries no colour information"},
        {"palette.tif", kEmbeddedProfile, indexExpected, 0, "carries no colour information"},
        {"gamma.png", kEmbeddedProfile, narrowLinear, 1, "decoding gamma 1.00"},
        {"icc.png", kEmbeddedProfile, narrowLinear, 1, "embedded ICC profile"},
        {"icc.tif", kEmbeddedProfile, narrowLinear, 1, "embedded ICC profile"},
        {"icc.jpg", kEmbeddedProfile, jpegLinear, 1, "embedded ICC profile"},
        {"plain.png", dir.file("linear.icc").string(), narrowLinear, 1, "linear.icc"},
        {"icc.png", kNoProfile, narrowRaw, 0, "none"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.file) + " with input profile " + c.choice);
        ReadOptions options;
        options.inputProfile = c.choice;
        std::string used;
        const Image image = readImage(dir.file(c.file).string(), options, &used);
        EXPECT_NE(used.find(c.profileWords), std::string::npos) << used;
        ASSERT_EQ(image.width, kWidth);
        long wrong = 0;
        for (int x = 0; x < kWidth; ++x)
            for (int ch = 0; ch < image.channels; ++ch) {
                const double got = image.pixels[static_cast<std::size_t>(x * image.channels + ch)];
                wrong += std::abs(got - c.expected[static_cast<std::size_t>(x)]) > c.tolerance;
            }
        EXPECT_EQ(wrong, 0);
    }
}

TEST(Convert, ProgressNamesEveryStageOnATerminalOnly) {
    test::TempDir dir;
    const auto input = dir.file("in.png").string();
    writePng(input, testImage());
    auto o = optionsFor(kProfiles[1], input);
    o.output = dir.file("out.tif").string();
    o.preview = dir.file("preview.png").string();
    o.planesDir = dir.file("planes").string();
    o.noProgress = false;
    o.progressPixels = 0;
    // A pseudo-terminal, read while the conversion draws on it.
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(::grantpt(master), 0);
    ASSERT_EQ(::unlockpt(master), 0);
    std::FILE* terminal = std::fopen(::ptsname(master), "w");
    ASSERT_NE(terminal, nullptr);
    std::string shown;
    std::thread reader([&] {
        char buffer[4096];
        for (ssize_t got; (got = ::read(master, buffer, sizeof buffer)) > 0;)
            shown.append(buffer, static_cast<std::size_t>(got));
    });
    o.progressStream = terminal;
    runConvert(o);
    std::fclose(terminal); // the reader sees the end
    reader.join();
    ::close(master);
    for (const char* stage : {"converting", "finishing", "100%"})
        EXPECT_NE(shown.find(stage), std::string::npos) << stage << " in " << shown;

    std::FILE* file = std::tmpfile();
    o.progressStream = file;
    runConvert(o);
    EXPECT_EQ(std::ftell(file), 0) << "progress drawn into a file";
    std::fclose(file);
}

} // namespace
} // namespace vrel::cli
