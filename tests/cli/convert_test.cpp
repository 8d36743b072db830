// "vrel convert" end to end: the ink TIFF, the planes and the preview of
// every profile kind against the engine called directly on the decoded
// pixels, the same bytes for any thread count, and the outputs written as
// one set.
#include "cli_test_helpers.h"
#include "convert/preview.h"
#include "draw/chart.h"
#include "files/output_set.h"
#include "image/image_read.h"
#include "image/image_write.h"

#include <algorithm>
#include <cmath>
#include <csignal>
#include <fcntl.h>
#include <lcms2.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

namespace vrel::cli {
namespace {

using clitest::readFileBytes;

struct Profile {
    const char* what;
    uint16_t profileNumber, keyField94;
    uint32_t outFormat;
    int inks;
    uint16_t photometric, inkSet;
};

// The engine's own calls on the decoded pixels, row by row; the black-only
// method takes the luminance (77 r + 151 g + 28 b + 128) / 256 of RGB.
std::vector<uint8_t> engineConversion(const Image& image, const Profile& p, bool correct) {
    test::OpenContext context(test::ParamBuilder()
                                  .database("sample.vdb")
                                  .directory(VREL_SAMPLE_DIR)
                                  .profileNumber(p.profileNumber)
                                  .keyField94(p.keyField94));
    EXPECT_EQ(context.result(), VREL_OK);
    const auto width = static_cast<std::size_t>(image.width);
    std::vector<uint8_t> out, row(image.rowBytes()), grey(width), inks(width * 8);
    for (int y = 0; y < image.height; ++y) {
        const uint8_t* source = image.row(y);
        uint32_t format = image.channels == 1 ? VrelFormatGray8 : VrelFormatRgb24;
        if (correct) {
            VrelBitmapColorCorrection(VrelFormatRgb24, source, row.data(),
                                      static_cast<uint16_t>(width), 0, 0, context.get());
            source = row.data();
        }
        if (p.inks == 1 && image.channels == 3) {
            for (std::size_t x = 0; x < width; ++x)
                grey[x] = static_cast<uint8_t>(
                    (77 * source[3 * x] + 151 * source[3 * x + 1] + 28 * source[3 * x + 2] + 128) >>
                    8);
            source = grey.data();
            format = VrelFormatGray8;
        }
        EXPECT_EQ(VrelBitmapColorConversion(format, p.outFormat, source, inks.data(),
                                            static_cast<uint32_t>(width), 0, 0, 0, context.get()),
                  VREL_OK);
        out.insert(out.end(), inks.begin(), inks.begin() + static_cast<long>(width) * p.inks);
    }
    return out;
}

TEST(Convert, OutputsAreTheEnginesConversionAndTheSameBytesForAnyThreadCount) {
    const Profile four{"four inks", 0, 0, VrelFormatCmyk32, 4, PHOTOMETRIC_SEPARATED, INKSET_CMYK},
        six{"six inks", 0, 1, VrelFormatInk6, 6, PHOTOMETRIC_SEPARATED, INKSET_MULTIINK},
        seven{"seven inks", 1, 0, VrelFormatInk7, 7, PHOTOMETRIC_SEPARATED, INKSET_MULTIINK},
        black{"black only", 2, 0, VrelFormatBlack8, 1, PHOTOMETRIC_MINISWHITE, 0},
        rgb{"three channels", 0, 2, VrelFormatRgb24, 3, PHOTOMETRIC_RGB, 0};
    const std::vector<std::string> inks = {"Cyan",       "Magenta",       "Yellow",     "Black",
                                           "Light Cyan", "Light Magenta", "Light Black"};
    test::TempDir dir;
    // The chart with random rows at the bottom, so that every grid cell is
    // hit, in several bands of rows for most profiles; 16-bit TIFFs decode
    // to the same 8-bit values, the grey one stored white-is-zero, and the
    // TIFF with an alpha sample to its colours laid on white paper.
    Image colour = makeChart(1200, 400), grey(1200, 400, 1);
    std::mt19937 random(1234);
    for (std::size_t i = colour.rowBytes() * 340; i < colour.pixels.size(); ++i)
        colour.pixels[i] = static_cast<uint8_t>(random());
    Image onWhite = colour; // at an alpha of 17 / 255, on white paper
    std::vector<uint16_t> deepColour, withAlpha, deepGrey;
    for (std::size_t i = 0; i < colour.pixels.size(); ++i) {
        deepColour.push_back(uint16_t(colour.pixels[i] * 257));
        withAlpha.push_back(colour.pixels[i]);
        if (i % 3 == 2)
            withAlpha.push_back(17);
        onWhite.pixels[i] = static_cast<uint8_t>((colour.pixels[i] * 17 + 255 * 238 + 127) / 255);
    }
    for (std::size_t i = 0; i < grey.pixels.size(); ++i) {
        grey.pixels[i] = static_cast<uint8_t>(i * 7 + i / 1200);
        deepGrey.push_back(uint16_t((255 - grey.pixels[i]) * 257));
    }
    writePng(dir.file("colour.png").string(), colour);
    clitest::writeTiff(dir.file("colour.tif"), 1200, 3, 16, PHOTOMETRIC_RGB, deepColour);
    clitest::writeTiff(dir.file("grey.tif"), 1200, 1, 16, PHOTOMETRIC_MINISWHITE, deepGrey);
    clitest::writeTiff(dir.file("alpha.tif"), 1200, 4, 8, PHOTOMETRIC_RGB, withAlpha, [](TIFF* t) {
        const uint16_t extra[1] = {EXTRASAMPLE_UNASSALPHA};
        TIFFSetField(t, TIFFTAG_EXTRASAMPLES, 1, extra);
    });
    clitest::writeJpegFile(dir.file("colour.jpg"), colour);
    const Image jpeg = readImage(dir.file("colour.jpg").string());
    const struct {
        const Profile& profile;
        const char* input;
        const Image* decoded; // what the input holds
        bool correct;
        const char* compression;
        uint16_t tag;
    } cases[] = {
        {four, "colour.png", &colour, false, "none", COMPRESSION_NONE},
        {four, "colour.tif", &colour, true, "lzw", COMPRESSION_LZW},
        {four, "grey.tif", &grey, false, "deflate", COMPRESSION_ADOBE_DEFLATE},
        {six, "colour.jpg", &jpeg, true, "deflate", COMPRESSION_ADOBE_DEFLATE},
        {seven, "colour.png", &colour, false, "zstd", COMPRESSION_ZSTD},
        {black, "colour.png", &colour, false, "lzw", COMPRESSION_LZW}, // in one band
        {rgb, "alpha.tif", &onWhite, false, "none", COMPRESSION_NONE},
    };
    ReadOptions strict; // a PNG that libpng warns about is a fault here
    strict.warn = [](const std::string& warning) { ADD_FAILURE() << warning; };
    for (const auto& c : cases) {
        const Profile& p = c.profile;
        const auto names = p.inks == 1 ? std::vector<std::string>{"Black"}
                           : p.inks == 3
                               ? std::vector<std::string>{"Red", "Green", "Blue"}
                               : std::vector<std::string>(inks.begin(), inks.begin() + p.inks);
        SCOPED_TRACE(std::string(p.what) + ", " + c.input + ", " + c.compression +
                     (c.correct ? ", corrected" : ""));
        if (c.tag == COMPRESSION_ZSTD && !TIFFIsCODECConfigured(COMPRESSION_ZSTD))
            continue;
        std::vector<std::vector<uint8_t>> first;
        for (const char* threads : {"1", "2", "3"}) {
            const auto planes = dir.path() / p.what / c.compression / threads; // made by the tool
            const auto run = clitest::runTool(
                {"convert", "--db", clitest::kSampleDatabase, "--profile",
                 std::to_string(p.profileNumber), "--key94", std::to_string(p.keyField94), c.input,
                 "-o", threads == std::string("3") ? "-" : "out.tif", "--preview", "preview.png",
                 "--planes", planes.string(), "--compression", c.compression, "--threads", threads,
                 c.correct ? "--correct" : "--no-progress"},
                dir.path());
            ASSERT_EQ(run.status, 0) << run.err;
            std::vector<std::vector<uint8_t>> files{
                threads == std::string("3") ? std::vector<uint8_t>(run.out.begin(), run.out.end())
                                            : readFileBytes(dir.file("out.tif")),
                readFileBytes(dir.file("preview.png"))};
            for (const auto& name : clitest::filesIn(planes))
                files.push_back(readFileBytes(planes / name));
            if (!first.empty()) {
                EXPECT_TRUE(files == first) << "the outputs of " << threads << " threads differ";
                continue;
            }
            first = files;
            static int warnings = 0; // libtiff's, while the ink TIFF is read
            warnings = 0;
            TIFFSetWarningHandler([](const char*, const char*, va_list) { ++warnings; });
            TIFF* t = TIFFOpen(dir.file("out.tif").c_str(), "r");
            ASSERT_NE(t, nullptr);
            std::vector<int> tags;
            for (const auto tag :
                 {TIFFTAG_BITSPERSAMPLE, TIFFTAG_SAMPLESPERPIXEL, TIFFTAG_PHOTOMETRIC,
                  TIFFTAG_COMPRESSION, TIFFTAG_INKSET, TIFFTAG_NUMBEROFINKS, TIFFTAG_PREDICTOR}) {
                uint16_t value = 0;
                TIFFGetField(t, tag, &value);
                tags.push_back(value);
            }
            const int predictor = c.tag == COMPRESSION_NONE ? 0 : PREDICTOR_HORIZONTAL;
            EXPECT_EQ(tags, (std::vector<int>{8, p.inks, p.photometric, c.tag, p.inkSet,
                                              p.inkSet ? p.inks : 0, predictor}));
            EXPECT_EQ(TIFFNumberOfStrips(t) > 1, p.inks > 1);
            std::vector<std::string> inkNames;
            char* text = nullptr;
            if (TIFFGetField(t, TIFFTAG_INKNAMES, &text) == 1)
                for (int i = 0; i < p.inks; ++i) // NUL-separated
                    text += inkNames.emplace_back(text).size() + 1;
            EXPECT_EQ(inkNames, p.inkSet ? names : std::vector<std::string>{});
            const auto rowBytes = static_cast<std::size_t>(TIFFScanlineSize(t));
            std::vector<uint8_t> pixels(rowBytes * 400);
            for (uint32_t y = 0; y < 400; ++y)
                EXPECT_GE(TIFFReadScanline(t, pixels.data() + y * rowBytes, y, 0), 0);
            TIFFClose(t);
            EXPECT_EQ(warnings, 0);
            ASSERT_TRUE(pixels == engineConversion(*c.decoded, p, c.correct))
                << "the TIFF differs from the engine's calls";
            // Each plane is its ink as a grey PNG, black for full ink.
            ASSERT_EQ(clitest::filesIn(planes).size(), std::size_t(p.inks));
            for (int i = 0; i < p.inks; ++i) {
                std::string name = names[std::size_t(i)];
                for (auto& ch : name)
                    ch = ch == ' ' ? '-' : static_cast<char>(std::tolower(ch));
                const auto plane = readImage(
                    (planes / ("ink" + std::to_string(i) + "-" + name + ".png")).string(), strict);
                ASSERT_EQ(plane.pixels.size() * std::size_t(p.inks), pixels.size());
                long wrong = 0;
                for (std::size_t x = 0; x < plane.pixels.size(); ++x)
                    wrong +=
                        plane.pixels[x] != 255 - pixels[x * std::size_t(p.inks) + std::size_t(i)];
                EXPECT_EQ(wrong, 0) << name;
            }
            // The preview: RGB as it is, inks as the product of (1 - a (1 - T)) per channel.
            const Image preview = readImage(dir.file("preview.png").string(), strict);
            const auto colours = inkColoursFor(p.inks);
            long wrong = 0;
            for (std::size_t x = 0; x < preview.pixels.size() / 3; ++x)
                for (std::size_t ch = 0; ch < 3; ++ch) {
                    double light = p.inks == 3 ? pixels[3 * x + ch] / 255.0 : 1.0;
                    for (std::size_t i = 0; p.inks != 3 && i < std::size_t(p.inks); ++i)
                        light *= 1.0 - pixels[x * std::size_t(p.inks) + i] / 255.0 *
                                           (1.0 - colours[i][ch]);
                    wrong += std::abs(preview.pixels[3 * x + ch] - light * 255.0) > 0.5 + 1e-9;
                }
            EXPECT_EQ(wrong, 0);
        }
    }
}

const std::string kCmykProfile = "/usr/share/color/icc/ghostscript/default_cmyk.icc";

// The ink TIFF's samples, its embedded profile (empty without) and its
// resolution tags (x, y, unit; zeros without).
struct InkTiff {
    std::vector<uint8_t> pixels, icc;
    std::array<float, 3> resolution{};
};

InkTiff readInkTiff(const std::filesystem::path& path) {
    InkTiff got;
    TIFF* t = TIFFOpen(path.c_str(), "r");
    EXPECT_NE(t, nullptr);
    if (!t)
        return got;
    uint32_t height = 0, size = 0;
    void* icc = nullptr;
    uint16_t unit = 0;
    TIFFGetField(t, TIFFTAG_IMAGELENGTH, &height);
    if (TIFFGetField(t, TIFFTAG_ICCPROFILE, &size, &icc))
        got.icc.assign(static_cast<uint8_t*>(icc), static_cast<uint8_t*>(icc) + size);
    if (TIFFGetField(t, TIFFTAG_XRESOLUTION, &got.resolution[0]) &&
        TIFFGetField(t, TIFFTAG_YRESOLUTION, &got.resolution[1]) &&
        TIFFGetField(t, TIFFTAG_RESOLUTIONUNIT, &unit))
        got.resolution[2] = unit;
    const auto rowBytes = static_cast<std::size_t>(TIFFScanlineSize(t));
    got.pixels.resize(rowBytes * height);
    for (uint32_t y = 0; y < height; ++y)
        TIFFReadScanline(t, got.pixels.data() + y * rowBytes, y, 0);
    TIFFClose(t);
    return got;
}

// Mean CIEDE2000 difference of two runs of sRGB pixels.
double meanDeltaE(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
    cmsHPROFILE srgb = cmsCreate_sRGBProfile(), lab = cmsCreateLab4Profile(nullptr);
    cmsHTRANSFORM toLab =
        cmsCreateTransform(srgb, TYPE_RGB_8, lab, TYPE_Lab_DBL, INTENT_RELATIVE_COLORIMETRIC, 0);
    double sum = 0;
    for (std::size_t i = 0; i + 3 <= a.size(); i += 3) {
        cmsCIELab one, other;
        cmsDoTransform(toLab, &a[i], &one, 1);
        cmsDoTransform(toLab, &b[i], &other, 1);
        sum += cmsCIE2000DeltaE(&one, &other, 1, 1, 1);
    }
    cmsDeleteTransform(toLab);
    cmsCloseProfile(srgb);
    cmsCloseProfile(lab);
    return sum / double(a.size() / 3);
}

// Inks through an ICC profile into sRGB, relative colorimetric, as a
// proofing application shows them.
std::vector<uint8_t> proofOf(const std::vector<uint8_t>& inks, const std::string& profile,
                             cmsUInt32Number format) {
    cmsHPROFILE from = cmsOpenProfileFromFile(profile.c_str(), "r"), srgb = cmsCreate_sRGBProfile();
    cmsHTRANSFORM proof =
        cmsCreateTransform(from, format, srgb, TYPE_RGB_8, INTENT_RELATIVE_COLORIMETRIC, 0);
    const auto pixels = inks.size() / T_CHANNELS(format);
    std::vector<uint8_t> rgb(pixels * 3);
    cmsDoTransform(proof, inks.data(), rgb.data(), static_cast<cmsUInt32Number>(pixels));
    cmsDeleteTransform(proof);
    cmsCloseProfile(from);
    cmsCloseProfile(srgb);
    return rgb;
}

// The ink profile: embedded when it describes the TIFF's inks, else not
// (with a line saying why); the preview is the soft proof of the TIFF's
// inks through it; six inks folded for a CMYK profile come close to the
// four-ink proof of the same image.
TEST(Convert, TheInkProfileIsEmbeddedAndThePreviewIsItsSoftProof) {
    test::TempDir dir;
    Image chart = makeChart(600, 400);
    std::mt19937 random(99);
    for (std::size_t i = chart.rowBytes() * 350; i < chart.pixels.size(); ++i)
        chart.pixels[i] = static_cast<uint8_t>(random());
    writePng(dir.file("chart.png").string(), chart);
    test::writeBytesFile(dir.path(), "six.icc", clitest::sixColourProfile());
    const std::string six = dir.file("six.icc").string();
    const struct {
        const char* key94;
        std::string profile;
        cmsUInt32Number format; // of the TIFF's inks; 0: folded, against the four-ink proof
        double most;            // mean CIEDE2000
    } cases[] = {{"0", kCmykProfile, TYPE_CMYK_8, 0.5},
                 {"1", kCmykProfile, 0, 1.5},
                 {"1", six, TYPE_CMYK6_8, 0.5}};
    std::vector<uint8_t> fourInkProof;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.key94 + std::string(" ") + c.profile);
        const auto run = clitest::runTool({"convert", "--db", clitest::kSampleDatabase, "--key94",
                                           c.key94, "chart.png", "-o", "ink.tif", "--preview",
                                           "proof.png", "--output-profile", c.profile},
                                          dir.path());
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.err.find("does not embed") == std::string::npos, c.format != 0) << run.err;
        EXPECT_NE(run.err.find("is a soft proof through"), std::string::npos) << run.err;
        const InkTiff ink = readInkTiff(dir.file("ink.tif"));
        EXPECT_TRUE(ink.icc == (c.format ? readFileBytes(c.profile) : std::vector<uint8_t>{}));
        if (c.format == TYPE_CMYK_8)
            fourInkProof = proofOf(ink.pixels, c.profile, c.format);
        const auto proof = readImage(dir.file("proof.png").string()).pixels;
        EXPECT_LE(
            meanDeltaE(proof, c.format ? proofOf(ink.pixels, c.profile, c.format) : fourInkProof),
            c.most);
    }
}

// A copy of a PNG with a pHYs chunk of `perMetre` pixels per metre after its header.
void addPhys(const std::filesystem::path& from, const std::filesystem::path& to, uint8_t high,
             uint8_t low) {
    auto bytes = readFileBytes(from);
    std::vector<uint8_t> chunk{0, 0, 0, 9, 'p', 'H', 'Y', 's', 0, 0, high, low, 0, 0, high, low, 1};
    const auto crc = crc32(0, chunk.data() + 4, 13);
    for (int i = 3; i >= 0; --i)
        chunk.push_back(static_cast<uint8_t>(crc >> (8 * i)));
    bytes.insert(bytes.begin() + 33, chunk.begin(), chunk.end());
    test::writeBytesFile(to.parent_path(), to.filename().string(), bytes);
}

// The ink TIFF and the preview carry the image's resolution (TIFF tags, PNG
// pHYs), or --dpi's, and none when neither gives one.
TEST(Convert, TheOutputsCarryTheImagesResolutionOrDpi) {
    test::TempDir dir;
    Image chart(64, 32, 3);
    for (std::size_t i = 0; i < chart.pixels.size(); ++i)
        chart.pixels[i] = static_cast<uint8_t>(i);
    writePng(dir.file("plain.png").string(), chart);
    addPhys(dir.file("plain.png"), dir.file("dpi300.png"), 0x2e, 0x23); // 11811 per metre
    std::vector<uint16_t> samples(chart.pixels.begin(), chart.pixels.end());
    clitest::writeTiff(dir.file("cm.tif"), 64, 3, 8, PHOTOMETRIC_RGB, samples, [](TIFF* t) {
        TIFFSetField(t, TIFFTAG_XRESOLUTION, 72.0);
        TIFFSetField(t, TIFFTAG_YRESOLUTION, 144.0);
        TIFFSetField(t, TIFFTAG_RESOLUTIONUNIT, RESUNIT_CENTIMETER);
    });
    // Turned a quarter upright, the image is read across what was stored down.
    clitest::writeTiff(dir.file("turned.tif"), 64, 3, 8, PHOTOMETRIC_RGB, samples, [](TIFF* t) {
        TIFFSetField(t, TIFFTAG_XRESOLUTION, 72.0);
        TIFFSetField(t, TIFFTAG_YRESOLUTION, 144.0);
        TIFFSetField(t, TIFFTAG_RESOLUTIONUNIT, RESUNIT_CENTIMETER);
        TIFFSetField(t, TIFFTAG_ORIENTATION, ORIENTATION_RIGHTTOP);
    });
    const struct {
        std::vector<std::string> args;
        std::array<float, 3> tiff; // x, y, unit
        std::vector<uint8_t> phys; // the preview's pHYs data, empty without
    } cases[] = {
        {{"plain.png"}, {0, 0, 0}, {}},
        {{"dpi300.png"}, {300, 300, RESUNIT_INCH}, {0, 0, 0x2e, 0x23, 0, 0, 0x2e, 0x23, 1}},
        {{"dpi300.png", "--dpi", "600"},
         {600, 600, RESUNIT_INCH},
         {0, 0, 0x5c, 0x46, 0, 0, 0x5c, 0x46, 1}},
        {{"cm.tif"}, {72, 144, RESUNIT_CENTIMETER}, {0, 0, 0x1c, 0x20, 0, 0, 0x38, 0x40, 1}},
        {{"turned.tif"}, {144, 72, RESUNIT_CENTIMETER}, {0, 0, 0x38, 0x40, 0, 0, 0x1c, 0x20, 1}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        auto args = c.args;
        args.insert(args.begin(), {"convert", "--db", clitest::kSampleDatabase, "-o", "ink.tif",
                                   "--preview", "p.png"});
        const auto run = clitest::runTool(args, dir.path());
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(readInkTiff(dir.file("ink.tif")).resolution, c.tiff);
        const auto preview = readFileBytes(dir.file("p.png"));
        const auto at =
            std::search(preview.begin(), preview.end(), std::begin("pHYs"), std::end("pHYs") - 1);
        EXPECT_EQ(at == preview.end() ? std::vector<uint8_t>{}
                                      : std::vector<uint8_t>(at + 4, at + 13),
                  c.phys);
    }
}

// The outputs of one command appear together or not at all, are never
// written through a link planted under a temporary name, and stream into a
// FIFO instead of replacing it.
TEST(OutputSet, AllOrNothingNeverThroughAPlantedLinkAndIntoAFifo) {
    test::TempDir dir;
    OutputSet set;
    set.createDirectories((dir.path() / "made" / "here").string());
    set.add((dir.path() / "made" / "here" / "first.bin").string()).write("one", 3);
    set.add(dir.file("second.bin").string()).write("two", 3);
    // The second name turns into a folder that holds a file: its rename fails
    // after the first output is already in place.
    std::filesystem::create_directories(dir.file("second.bin") / "inside");
    EXPECT_THROW(set.commit(), std::runtime_error);
    EXPECT_EQ(clitest::filesIn(dir.path()),
              (std::vector<std::string>{"second.bin", "second.bin/inside"}));

    // Links under every name a predictable scheme (".NAME.tmpPID-N") would use.
    const auto victim = dir.file("victim.txt");
    test::writeBytesFile(dir.path(), "victim.txt", std::vector<uint8_t>{'k', 'e', 'e', 'p'});
    for (int n = 0; n < 2000; ++n)
        std::filesystem::create_symlink(
            victim,
            dir.file(".out.tif.tmp" + std::to_string(::getpid()) + "-" + std::to_string(n)));
    Image inks(8, 4, 4);
    writeInkTiff(dir.file("out.tif").string(), inks, {"Cyan", "Magenta", "Yellow", "Black"});
    EXPECT_EQ(clitest::readFileBytes(victim), (std::vector<uint8_t>{'k', 'e', 'e', 'p'}));
    EXPECT_FALSE(std::filesystem::is_symlink(dir.file("out.tif")));

    const auto expected = clitest::readFileBytes(dir.file("out.tif"));
    ASSERT_EQ(::mkfifo(dir.file("pipe").c_str(), 0600), 0);
    const std::string reader = "cd '" + dir.str() + "' && timeout 60 cat pipe > got.tif &";
    ASSERT_EQ(std::system(reader.c_str()), 0);
    writeInkTiff(dir.file("pipe").string(), inks, {"Cyan", "Magenta", "Yellow", "Black"});
    struct stat info {};
    ASSERT_EQ(::stat(dir.file("pipe").c_str(), &info), 0);
    EXPECT_TRUE(S_ISFIFO(info.st_mode)) << "the FIFO was replaced";
    for (int i = 0; i < 100 && clitest::readFileBytes(dir.file("got.tif")) != expected; ++i)
        ::usleep(50'000); // the reader finishes on its own time
    EXPECT_TRUE(clitest::readFileBytes(dir.file("got.tif")) == expected);

    // Standard output is streamed before any rename: when its reader has
    // gone, an existing preview keeps its old content and nothing is left.
    const test::TempDir kept;
    test::writeBytesFile(kept.path(), "old.png", std::vector<uint8_t>{'o', 'l', 'd'});
    int pipeEnds[2];
    ASSERT_EQ(::pipe(pipeEnds), 0);
    ::close(pipeEnds[0]);
    const int savedStdout = ::dup(STDOUT_FILENO);
    ::dup2(pipeEnds[1], STDOUT_FILENO);
    ::close(pipeEnds[1]);
    {
        OutputSet streamed;
        streamed.add("-").write("ink", 3);
        streamed.add(kept.file("old.png").string()).write("new", 3);
        EXPECT_THROW(streamed.commit(), std::runtime_error);
    }
    ::dup2(savedStdout, STDOUT_FILENO);
    ::close(savedStdout);
    EXPECT_EQ(clitest::filesIn(kept.path()), (std::vector<std::string>{"old.png"}));
    EXPECT_EQ(clitest::readFileBytes(kept.file("old.png")), (std::vector<uint8_t>{'o', 'l', 'd'}));
}

// Runs `args` in `dir` as a child process (standard output and error to
// /dev/null) with the stop signals at their default action.
pid_t startTool(const std::filesystem::path& dir, std::vector<std::string> args) {
    args.insert(args.begin(), VREL_CLI_EXECUTABLE);
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int null = ::open("/dev/null", O_RDWR);
        ::dup2(null, STDOUT_FILENO);
        ::dup2(null, STDERR_FILENO);
        for (const int sig : {SIGINT, SIGTERM, SIGHUP})
            ::signal(sig, SIG_DFL);
        if (::chdir(dir.c_str()) == 0)
            ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    return pid;
}

// SIGINT, SIGTERM and SIGHUP during a conversion remove its temporaries and
// the folders made for them, and still end the process by the signal.
TEST(OutputSet, StopSignalsLeaveNoTemporaryBehind) {
    const test::TempDir dir;
    ASSERT_EQ(clitest::runTool({"chart", "-o", "big.png", "--width", "6000", "--height", "6000"},
                               dir.path())
                  .status,
              0);
    for (const int sig : {SIGINT, SIGTERM, SIGHUP}) {
        SCOPED_TRACE(sig);
        const pid_t pid = startTool(dir.path(), {"convert", "--db", VREL_SAMPLE_DIR "/sample.vdb",
                                                 "big.png", "-o", "out.tif", "--preview", "p.png",
                                                 "--planes", "planes/deep", "--threads", "1"});
        ASSERT_GT(pid, 0);
        // Waits for the planes' temporaries, the last ones made.
        bool staged = false;
        for (int i = 0; i < 6000 && !staged; ++i) {
            std::error_code error;
            for (const auto& e :
                 std::filesystem::directory_iterator(dir.path() / "planes/deep", error))
                staged = staged || e.path().filename().string().rfind(".ink0-", 0) == 0;
            if (!staged)
                ::usleep(10'000);
        }
        EXPECT_TRUE(staged);
        ::kill(pid, sig);
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == sig) << status;
        EXPECT_EQ(clitest::filesIn(dir.path()), (std::vector<std::string>{"big.png"}));
    }
}

// The ink TIFF's samples as an image of its inks.
Image readInkImage(const std::filesystem::path& path) {
    TIFF* t = TIFFOpen(path.c_str(), "r");
    Image inks;
    if (!t)
        return inks;
    uint32_t width = 0, height = 0;
    uint16_t samples = 0;
    TIFFGetField(t, TIFFTAG_IMAGEWIDTH, &width);
    TIFFGetField(t, TIFFTAG_IMAGELENGTH, &height);
    TIFFGetField(t, TIFFTAG_SAMPLESPERPIXEL, &samples);
    inks = Image(int(width), int(height), samples);
    for (uint32_t y = 0; y < height; ++y)
        TIFFReadScanline(t, inks.row(int(y)), y, 0);
    TIFFClose(t);
    return inks;
}

// What a viewer shows for `orientation`: transposed for 5 to 8, then
// mirrored and/or flipped.
Image turnedAsViewed(const Image& in, int orientation) {
    const bool transpose = orientation >= 5, mirror = orientation % 4 == 2 || orientation % 4 == 3,
               flip = orientation == 3 || orientation == 4 || orientation >= 7;
    Image out(transpose ? in.height : in.width, transpose ? in.width : in.height, in.channels);
    for (int y = 0; y < out.height; ++y)
        for (int x = 0; x < out.width; ++x) {
            const int u = mirror ? out.width - 1 - x : x, v = flip ? out.height - 1 - y : y;
            std::memcpy(out.row(y) + x * out.channels,
                        transpose ? in.row(u) + v * in.channels : in.row(v) + u * in.channels,
                        std::size_t(in.channels));
        }
    return out;
}

// A camera's JPEG (EXIF) and a scanner's TIFF (its Orientation tag, on page 2
// of 2) come out upright: each output of orientations 2 to 8 is the output of
// the stored image turned as a viewer turns it, and orientation 1 gives the
// bytes of an untagged file.
TEST(Convert, OrientedInputsComeOutUpright) {
    test::TempDir dir;
    const Image chart = makeChart(600, 400);
    clitest::writeJpegFile(dir.file("plain.jpg"), chart);
    const auto jpeg = readFileBytes(dir.file("plain.jpg"));
    std::vector<uint16_t> samples(chart.pixels.begin(), chart.pixels.end());
    const auto run = [&](const std::string& input, const std::string& page) {
        return clitest::runTool({"convert", "--db", clitest::kSampleDatabase, input, "-o",
                                 "out.tif", "--preview", "preview.png", "--page", page, "--threads",
                                 "2"},
                                dir.path());
    };
    for (const bool tiff : {false, true}) {
        Image upright, uprightPreview;
        for (int o = 1; o <= 8; ++o) {
            const std::string name =
                (tiff ? "o" : "e") + std::to_string(o) + (tiff ? ".tif" : ".jpg");
            SCOPED_TRACE(name);
            if (tiff) {
                clitest::writeTiff(dir.file(name), 8, 1, 8, PHOTOMETRIC_MINISBLACK,
                                   std::vector<uint16_t>(64, 0));
                clitest::writeTiff(
                    dir.file(name), 600, 3, 8, PHOTOMETRIC_RGB, samples,
                    [&](TIFF* t) { TIFFSetField(t, TIFFTAG_ORIENTATION, o); }, "a");
            } else {
                auto bytes = jpeg;
                const auto app1 = clitest::exifSegment(uint16_t(o), o % 2 == 1);
                bytes.insert(bytes.begin() + 2, app1.begin(), app1.end());
                test::writeBytesFile(dir.path(), name, bytes);
            }
            const auto result = run(name, tiff ? "2" : "1");
            ASSERT_EQ(result.status, 0) << result.err;
            const Image inks = readInkImage(dir.file("out.tif"));
            const Image preview = readImage(dir.file("preview.png").string());
            const auto said = "vrel: '" + name + (tiff ? "': TIFF" : "': EXIF") + " orientation " +
                              std::to_string(o) + " applied (";
            EXPECT_EQ(result.err.find(said) != std::string::npos, o > 1) << result.err;
            EXPECT_EQ(result.err.find("orientation"), result.err.rfind("orientation"));
            EXPECT_EQ(result.err.find("has 2 pages; page 2 is converted") != std::string::npos,
                      tiff);
            if (o == 1) {
                upright = inks, uprightPreview = preview;
                if (!tiff) {
                    const auto tagged = readFileBytes(dir.file("out.tif"));
                    ASSERT_EQ(run("plain.jpg", "1").status, 0);
                    EXPECT_TRUE(tagged == readFileBytes(dir.file("out.tif")));
                }
                continue;
            }
            const Image expected = turnedAsViewed(upright, o);
            ASSERT_EQ(inks.width, expected.width);
            EXPECT_TRUE(inks.pixels == expected.pixels);
            EXPECT_TRUE(preview.pixels == turnedAsViewed(uprightPreview, o).pixels);
        }
    }
}

} // namespace
} // namespace vrel::cli
