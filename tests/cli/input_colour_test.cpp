// How the tool reads the colours of its inputs: 16-bit samples, white-is-zero
// grey and colour maps as their values mean them, and the colour space a file
// declares (a PNG gamma, an ICC profile embedded in a PNG, TIFF or JPEG, or
// one given with --input-profile) converted to sRGB.
#include "cli_test_helpers.h"
#include "image/image_read.h"

#include <cmath>
#include <lcms2.h>
#include <png.h>
#include <zlib.h>

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
    png_write_info(png, info);
    if (!icc.empty()) { // written as it is: libpng's writer would drop a profile it dislikes
        uLongf packed = compressBound(static_cast<uLong>(icc.size()));
        std::vector<uint8_t> chunk(6 + packed, 0);
        std::memcpy(chunk.data(), "test", 4); // the name, its terminator, method 0
        compress(chunk.data() + 6, &packed, icc.data(), static_cast<uLong>(icc.size()));
        png_write_chunk(png, reinterpret_cast<png_const_bytep>("iCCP"), chunk.data(), 6 + packed);
    }
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
    auto bytes = savedProfile(cmsCreateRGBProfile(&white, &primaries, curves));
    cmsFreeToneCurve(linear);
    return bytes;
}

// RGB profiles that lcms2 opens but cannot link to sRGB: a device link, a
// named-colour profile and a matrix profile without its red tone curve.
std::vector<std::vector<uint8_t>> unlinkableProfiles() {
    cmsToneCurve* linear = cmsBuildGamma(nullptr, 1.0);
    cmsToneCurve* curves[3] = {linear, linear, linear};
    cmsHPROFILE link = cmsCreateLinearizationDeviceLink(cmsSigRgbData, curves);
    cmsHPROFILE named = cmsCreateProfilePlaceholder(nullptr);
    cmsSetDeviceClass(named, cmsSigNamedColorClass);
    cmsSetColorSpace(named, cmsSigRgbData);
    cmsSetPCS(named, cmsSigLabData);
    cmsNAMEDCOLORLIST* list = cmsAllocNamedColorList(nullptr, 1, 3, "", "");
    cmsUInt16Number pcs[3] = {}, colorant[cmsMAXCHANNELS] = {};
    cmsAppendNamedColor(list, "black", pcs, colorant);
    cmsWriteTag(named, cmsSigNamedColor2Tag, list);
    cmsFreeNamedColorList(list);
    const cmsCIExyY white{0.3127, 0.3290, 1.0};
    const cmsCIExyYTRIPLE primaries{{0.64, 0.33, 1.0}, {0.30, 0.60, 1.0}, {0.15, 0.06, 1.0}};
    cmsHPROFILE noCurve = cmsCreateRGBProfile(&white, &primaries, curves);
    cmsWriteTag(noCurve, cmsSigRedTRCTag, nullptr); // deletes the tag
    cmsFreeToneCurve(linear);
    return {savedProfile(link), savedProfile(named), savedProfile(noCurve)};
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
    writeTiff(dir.file("big.tif"), kWidth, 3, 16, PHOTOMETRIC_RGB, wide, {}, "w8");
    const auto unlinkable = unlinkableProfiles();
    const char* kinds[] = {"link", "named", "nocurve"};
    for (std::size_t k = 0; k < unlinkable.size(); ++k) {
        const std::string name = kinds[k];
        const auto& icc = unlinkable[k];
        writeTiff(dir.file(name + ".tif"), kWidth, 3, 8, PHOTOMETRIC_RGB, narrow, [&](TIFF* t) {
            TIFFSetField(t, TIFFTAG_ICCPROFILE, static_cast<uint32_t>(icc.size()), icc.data());
        });
        writePngRow(dir.file(name + ".png"), narrow, false, icc);
        writeJpegFile(dir.file(name + ".jpg"), photo, icc);
    }
    auto oddSpace = linear; // a header naming a colour space lcms2 does not know
    std::fill_n(oddSpace.begin() + 16, 4, uint8_t{0xff});
    writeTiff(dir.file("oddspace.tif"), kWidth, 3, 8, PHOTOMETRIC_RGB, narrow, [&](TIFF* t) {
        TIFFSetField(t, TIFFTAG_ICCPROFILE, static_cast<uint32_t>(oddSpace.size()),
                     oddSpace.data());
    });
    cli::ReadOptions none;
    none.inputProfile = cli::kNoProfile;
    const Image jpegRaw = cli::readImage(dir.file("icc.jpg").string(), none);
    std::vector<double> jpegLinear, jpegValues; // the JPEG's own (lossy) values
    for (int x = 0; x < kWidth; ++x) {
        jpegValues.push_back(jpegRaw.pixels[std::size_t(3 * x)]);
        jpegLinear.push_back(srgbOfLinear(jpegValues.back() / 255.0));
    }

    struct Case {
        std::string file;
        std::string choice;
        const std::vector<double>& expected;
        double tolerance;
        const char* profileWords;
        const char* warning = ""; // words of the one warning expected, if any
    };
    std::vector<Case> cases = {
        {"deep.tif", cli::kEmbeddedProfile, wideExpected, 0, "carries no colour information"},
        {"grey.tif", cli::kEmbeddedProfile, whiteIsZero, 0, "carries no colour information"},
        {"palette.tif", cli::kEmbeddedProfile, indexExpected, 0, "carries no colour information"},
        {"gamma.png", cli::kEmbeddedProfile, narrowLinear, 1, "decoding gamma 1.00"},
        {"icc.png", cli::kEmbeddedProfile, narrowLinear, 1, "embedded ICC profile"},
        {"icc.tif", cli::kEmbeddedProfile, narrowLinear, 1, "embedded ICC profile"},
        {"icc.jpg", cli::kEmbeddedProfile, jpegLinear, 1, "embedded ICC profile"},
        {"plain.png", dir.file("linear.icc").string(), narrowLinear, 1, "linear.icc"},
        {"icc.png", cli::kNoProfile, narrowRaw, 0, "none"},
        {"big.tif", cli::kEmbeddedProfile, wideExpected, 0, "carries no colour information"},
        {"oddspace.tif", cli::kEmbeddedProfile, narrowRaw, 0, "sRGB", "another colour space"},
    };
    // A profile that cannot be linked gives a warning and sRGB in every format.
    const char* kWarning = "cannot be applied";
    for (const char* kind : kinds) {
        const std::string k = kind;
        cases.push_back({k + ".tif", cli::kEmbeddedProfile, narrowRaw, 0, "sRGB", kWarning});
        cases.push_back({k + ".png", cli::kEmbeddedProfile, narrowRaw, 0, "sRGB", kWarning});
        cases.push_back({k + ".jpg", cli::kEmbeddedProfile, jpegValues, 1, "sRGB", kWarning});
    }
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file + " with input profile " + c.choice);
        cli::ReadOptions options;
        options.inputProfile = c.choice;
        std::vector<std::string> warnings;
        options.warn = [&](const std::string& w) { warnings.push_back(w); };
        options.note = [&](const std::string& n) { ADD_FAILURE() << n; }; // none is wide
        std::string used;
        const Image image = cli::readImage(dir.file(c.file).string(), options, &used);
        EXPECT_NE(used.find(c.profileWords), std::string::npos) << used;
        EXPECT_EQ(warnings.size(), *c.warning ? 1u : 0u) << testing::PrintToString(warnings);
        EXPECT_TRUE(warnings.empty() || warnings[0].find(c.warning) != std::string::npos)
            << warnings[0];
        ASSERT_EQ(image.width, kWidth);
        long wrong = 0;
        for (int x = 0; x < kWidth; ++x)
            for (int ch = 0; ch < image.channels; ++ch)
                wrong += std::abs(image.pixels[std::size_t(x * image.channels + ch)] -
                                  c.expected[std::size_t(x)]) > c.tolerance;
        EXPECT_EQ(wrong, 0);
    }
}

// The RGB space of the database's tables (--database-space): an image in a
// wider space is converted into it with a note when it is sRGB, and its
// values go through as they are when it is that space; grey stays grey.
TEST(InputColour, ImagesAreBroughtIntoTheDatabaseSpace) {
    test::TempDir dir;
    const std::string gs = "/usr/share/color/icc/ghostscript/";
    const auto a98 = readFileBytes(gs + "a98.icc"), romm = readFileBytes(gs + "rommrgb.icc");
    std::vector<uint16_t> samples, grey;
    for (int i = 0; i < 3 * 64; ++i)
        samples.push_back(uint16_t(i * 37 % 256));
    for (int i = 0; i < 64; ++i)
        grey.push_back(uint16_t(i * 4));
    const auto tagged = [&](const char* name, const std::vector<uint8_t>& icc) {
        writeTiff(dir.file(name), 64, 3, 8, PHOTOMETRIC_RGB, samples, [&](TIFF* t) {
            if (!icc.empty())
                TIFFSetField(t, TIFFTAG_ICCPROFILE, uint32_t(icc.size()), icc.data());
        });
    };
    tagged("a98.tif", a98);
    tagged("romm.tif", romm);
    tagged("plain.tif", {});
    writeTiff(dir.file("grey.tif"), 64, 1, 8, PHOTOMETRIC_MINISBLACK, grey);
    const std::vector<uint8_t> values(samples.begin(), samples.end()),
        greyValues(grey.begin(), grey.end());
    const std::string wide = "colours outside ";
    struct Case {
        const char* file;
        std::string inputProfile, space;
        const char* profileWords;
        std::string note; // words of the one note expected, if any
        const std::vector<uint8_t>* exact = nullptr;
    } cases[] = {
        {"a98.tif", cli::kEmbeddedProfile, "srgb", "A98", wide + "sRGB are clipped"},
        {"a98.tif", cli::kEmbeddedProfile, gs + "a98.icc", "the database's own space", "", &values},
        {"plain.tif", cli::kNoProfile, gs + "a98.icc", "none", "", &values},
        {"romm.tif", cli::kEmbeddedProfile, gs + "a98.icc", "converted to 'Artifex", wide + "'"},
        {"a98.tif", cli::kEmbeddedProfile, gs + "rommrgb.icc", "ROMMRGB", ""},
        {"plain.tif", cli::kEmbeddedProfile, gs + "a98.icc", "no colour information), conv", ""},
        {"grey.tif", cli::kEmbeddedProfile, gs + "a98.icc", "no colour information", "",
         &greyValues},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.file) + " into " + c.space);
        cli::ReadOptions options;
        options.inputProfile = c.inputProfile;
        options.databaseSpace = c.space;
        std::vector<std::string> notes;
        options.note = [&](const std::string& n) { notes.push_back(n); };
        std::string used;
        const Image image = cli::readImage(dir.file(c.file).string(), options, &used);
        EXPECT_NE(used.find(c.profileWords), std::string::npos) << used;
        ASSERT_EQ(notes.size(), c.note.empty() ? 0u : 1u) << testing::PrintToString(notes);
        EXPECT_TRUE(notes.empty() || notes[0].find(c.note) != std::string::npos) << notes[0];
        EXPECT_TRUE(!c.exact || image.pixels == *c.exact);
        EXPECT_TRUE(c.exact || image.pixels != values) << "no conversion";
    }
}

} // namespace
} // namespace vrel::clitest
