// How the tool reads the colours of its inputs: 16-bit samples, white-is-zero
// grey and colour maps as their values mean them, and the colour space a file
// declares (a PNG gamma, an ICC profile embedded in a PNG, TIFF or JPEG, or
// one given with --input-profile) converted to sRGB.
#include "cli_test_helpers.h"
#include "image_read.h"

#include <cmath>
#include <lcms2.h>
#include <png.h>

namespace vrel::clitest {
namespace {

using cli::Image;

// One row of 8-bit samples, with the colour chunks given and no others.
void writePngRow(const std::filesystem::path& path, const std::vector<uint16_t>& samples,
                 bool linearGamma, const std::vector<uint8_t>& icc) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_init_io(png, file);
    png_set_IHDR(png, info, static_cast<png_uint_32>(samples.size() / 3), 1, 8, PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (linearGamma)
        png_set_gAMA(png, info, 1.0);
    if (!icc.empty())
        png_set_iCCP(png, info, "test", 0, icc.data(), static_cast<png_uint_32>(icc.size()));
    png_write_info(png, info);
    std::vector<uint8_t> row(samples.begin(), samples.end());
    png_write_row(png, row.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    std::fclose(file);
}

// The sRGB primaries with linear light.
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

double srgbOfLinear(double x) {
    return 255.0 * (x <= 0.0031308 ? 12.92 * x : 1.055 * std::pow(x, 1 / 2.4) - 0.055);
}

TEST(InputColour, FilesAreReadAsTheyMeanTheirColours) {
    test::TempDir dir;
    constexpr int kWidth = 64;
    std::vector<uint16_t> wide, narrow, wideGrey, indices, colourMap(256);
    std::vector<double> wideExpected, whiteIsZero, narrowRaw, narrowLinear, indexExpected;
    for (int i = 0; i < kWidth; ++i) {
        const auto v16 = static_cast<uint16_t>(i * 1040), v8 = static_cast<uint16_t>(i * 4);
        wide.insert(wide.end(), {v16, v16, v16});
        narrow.insert(narrow.end(), {v8, v8, v8});
        wideGrey.push_back(v16);
        indices.push_back(static_cast<uint16_t>(i % 16));
        wideExpected.push_back(std::round(v16 * 255.0 / 65535.0));
        whiteIsZero.push_back(255 - wideExpected.back());
        narrowRaw.push_back(v8);
        narrowLinear.push_back(srgbOfLinear(v8 / 255.0));
        indexExpected.push_back((i % 16) * 17.0);
    }
    for (int k = 0; k < 16; ++k)
        colourMap[static_cast<std::size_t>(k)] = static_cast<uint16_t>(k * 4369);
    const auto linear = linearProfile();
    test::writeBytesFile(dir.path(), "linear.icc", linear);
    writeTiff(dir.file("deep.tif"), kWidth, 3, 16, PHOTOMETRIC_RGB, wide);
    writeTiff(dir.file("grey.tif"), kWidth, 1, 16, PHOTOMETRIC_MINISWHITE, wideGrey);
    writeTiff(dir.file("palette.tif"), kWidth, 1, 8, PHOTOMETRIC_PALETTE, indices, [&](TIFF* t) {
        TIFFSetField(t, TIFFTAG_COLORMAP, colourMap.data(), colourMap.data(), colourMap.data());
    });
    writeTiff(dir.file("icc.tif"), kWidth, 3, 8, PHOTOMETRIC_RGB, narrow, [&](TIFF* t) {
        TIFFSetField(t, TIFFTAG_ICCPROFILE, static_cast<uint32_t>(linear.size()), linear.data());
    });
    writePngRow(dir.file("gamma.png"), narrow, true, {});
    writePngRow(dir.file("plain.png"), narrow, false, {});
    writePngRow(dir.file("icc.png"), narrow, false, linear);
    Image photo(kWidth, 16, 3);
    for (std::size_t i = 0; i < photo.pixels.size(); ++i)
        photo.pixels[i] = static_cast<uint8_t>(i / 3 % kWidth * 4);
    writeJpegFile(dir.file("icc.jpg"), photo, linear);
    cli::ReadOptions none;
    none.inputProfile = cli::kNoProfile;
    const Image jpegRaw = cli::readImage(dir.file("icc.jpg").string(), none);
    std::vector<double> jpegLinear; // the JPEG's own (lossy) values, through the profile
    for (int x = 0; x < kWidth; ++x)
        jpegLinear.push_back(srgbOfLinear(jpegRaw.pixels[std::size_t(3 * x)] / 255.0));

    const struct {
        const char* file;
        std::string choice;
        const std::vector<double>& expected;
        double tolerance;
        const char* profileWords;
    } cases[] = {
        {"deep.tif", cli::kEmbeddedProfile, wideExpected, 0, "carries no colour information"},
        {"grey.tif", cli::kEmbeddedProfile, whiteIsZero, 0, "carries no colour information"},
        {"palette.tif", cli::kEmbeddedProfile, indexExpected, 0, "carries no colour information"},
        {"gamma.png", cli::kEmbeddedProfile, narrowLinear, 1, "decoding gamma 1.00"},
        {"icc.png", cli::kEmbeddedProfile, narrowLinear, 1, "embedded ICC profile"},
        {"icc.tif", cli::kEmbeddedProfile, narrowLinear, 1, "embedded ICC profile"},
        {"icc.jpg", cli::kEmbeddedProfile, jpegLinear, 1, "embedded ICC profile"},
        {"plain.png", dir.file("linear.icc").string(), narrowLinear, 1, "linear.icc"},
        {"icc.png", cli::kNoProfile, narrowRaw, 0, "none"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.file) + " with input profile " + c.choice);
        cli::ReadOptions options;
        options.inputProfile = c.choice;
        std::string used;
        const Image image = cli::readImage(dir.file(c.file).string(), options, &used);
        EXPECT_NE(used.find(c.profileWords), std::string::npos) << used;
        ASSERT_EQ(image.width, kWidth);
        long wrong = 0;
        for (int x = 0; x < kWidth; ++x)
            for (int ch = 0; ch < image.channels; ++ch)
                wrong += std::abs(image.pixels[std::size_t(x * image.channels + ch)] -
                                  c.expected[std::size_t(x)]) > c.tolerance;
        EXPECT_EQ(wrong, 0);
    }
}

} // namespace
} // namespace vrel::clitest
