// vrel raster on raster written by the test: hostile page headers are
// refused with their reason and leave nothing behind; the planes of every
// raster version, colour order, depth and colour space hold the raster's
// colours byte by byte; any number of pages needs only a few descriptors.
#include "cups_test_helpers.h"
#include "support/test_support.h"

#include <cups/raster.h>
#include <functional>
#include <gtest/gtest.h>
#include <png.h>
#include <random>
#include <sys/stat.h>

namespace vrel {
namespace {

using namespace cups_test;
using Bytes = std::vector<unsigned char>;

struct ToolRun {
    int status = -1;
    std::string out, err;
};

// vrel raster INPUT --planes planes, in `dir`, after the shell commands of `prefix`.
ToolRun runRaster(const fs::path& dir, const std::string& input, const std::string& prefix = "") {
    const test::TempDir capture;
    const ShellRun run = runShell(
        "cd " + quote(dir.string()) + " && " + prefix + quote(VREL_CLI_EXECUTABLE) + " raster " +
        quote(input) + " --planes planes >" + quote(capture.file("out").string()) + " </dev/null");
    return {run.status, readText(capture.file("out")), run.err};
}

std::vector<std::string> filesIn(const fs::path& dir) {
    std::vector<std::string> names;
    for (const auto& e : fs::recursive_directory_iterator(dir))
        names.push_back(e.path().lexically_relative(dir).string());
    std::sort(names.begin(), names.end());
    return names;
}

struct Page : RasterPage {
    std::vector<Bytes> inks; // of each colour, a byte per pixel (0 or 255 at 1 bit)
};

// A page of random inks, packed as the raster format lays out the colour order.
Page makePage(cups_cspace_t space, unsigned colours, unsigned bits, cups_order_t order,
              unsigned seed, unsigned width = 13, unsigned height = 5) {
    Page p;
    std::mt19937 random(seed);
    for (unsigned c = 0; c < colours; ++c) {
        Bytes& ink = p.inks.emplace_back(width * height);
        for (auto& v : ink)
            v = static_cast<unsigned char>(bits == 8 ? random() & 255 : (random() & 1) * 255);
    }
    const unsigned colourLine = bits == 1 ? (width + 7) / 8 : width;
    const unsigned line = order == CUPS_ORDER_CHUNKED  ? (width * colours * bits + 7) / 8
                          : order == CUPS_ORDER_BANDED ? colourLine * colours
                                                       : colourLine;
    const unsigned lines = height * (order == CUPS_ORDER_PLANAR ? colours : 1);
    p.data.assign(std::size_t{line} * lines, 0);
    for (unsigned c = 0; c < colours; ++c)
        for (unsigned y = 0; y < height; ++y)
            for (unsigned x = 0; x < width; ++x) {
                const unsigned char v = p.inks[c][y * width + x];
                const std::size_t row = order == CUPS_ORDER_PLANAR ? c * height + y : y;
                const std::size_t s = order == CUPS_ORDER_CHUNKED  ? x * colours + c
                                      : order == CUPS_ORDER_BANDED ? c * colourLine * 8 / bits + x
                                                                   : x;
                unsigned char* at = p.data.data() + row * line;
                if (bits == 8)
                    at[s] = v;
                else if (v)
                    at[s / 8] |= static_cast<unsigned char>(0x80 >> (s % 8));
            }
    cups_page_header2_t& h = p.header;
    h.HWResolution[0] = h.HWResolution[1] = 72;
    h.PageSize[0] = width;
    h.PageSize[1] = height;
    h.cupsWidth = width;
    h.cupsHeight = height;
    h.cupsBitsPerColor = bits;
    h.cupsBitsPerPixel = order == CUPS_ORDER_CHUNKED ? bits * colours : bits;
    h.cupsBytesPerLine = line;
    h.cupsColorOrder = order;
    h.cupsColorSpace = space;
    h.cupsNumColors = colours;
    return p;
}

void writeRaster(const fs::path& dir, const Bytes& bytes) {
    test::writeBytesFile(dir, "in.ras", std::vector<uint8_t>(bytes.begin(), bytes.end()));
}

Bytes readGreyPng(const fs::path& path) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str()))
        return {};
    image.format = PNG_FORMAT_GRAY;
    Bytes pixels(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr))
        return {};
    return pixels;
}

TEST(RasterPlanes, HostilePagesAreRefusedWithTheirReasonAndLeaveNothing) {
    const test::TempDir dir;
    const Page k = makePage(CUPS_CSPACE_K, 1, 8, CUPS_ORDER_CHUNKED, 1);
    using Edit = std::function<void(cups_page_header2_t&)>;
    const auto edited = [&](const Edit& edit) {
        Page p = k;
        edit(p.header);
        return rawRaster({p});
    };
    Bytes cut = rawRaster({k});
    cut.resize(cut.size() - 5);
    Bytes cutHeader = rawRaster({k, k});
    cutHeader.resize(rawRaster({k}).size() + 100);
    Page cmyk7 = makePage(CUPS_CSPACE_CMYK, 7, 8, CUPS_ORDER_CHUNKED, 2);
    Page cmykBpp = makePage(CUPS_CSPACE_CMYK, 4, 8, CUPS_ORDER_CHUNKED, 3);
    cmykBpp.header.cupsBitsPerPixel = 8;
    Page badSecond = k;
    badSecond.header.cupsNumColors = 2;
    // Version 1 sync word with a page header of version 2's size.
    Bytes longV1 = rawRaster({k});
    std::copy_n(v1Raster({}).begin(), 4, longV1.begin());
    struct Case {
        const char* what;
        Bytes bytes;
        std::string needle;
    };
    const Case cases[] = {
        {"K page of 2 colours", edited([](auto& h) { h.cupsNumColors = 2; }),
         "cupsNumColors 2 disagrees with colour space 3, which has 1 colour"},
        {"CMYK page of 7 colours", rawRaster({cmyk7}),
         "cupsNumColors 7 disagrees with colour space 6, which has 4 colours"},
        {"RGB page", edited([](auto& h) { h.cupsColorSpace = CUPS_CSPACE_RGB; }),
         "colour space 1 is not an ink colour space"},
        {"16 bits", edited([](auto& h) {
             h.cupsBitsPerColor = h.cupsBitsPerPixel = 16, h.cupsBytesPerLine = 26;
         }),
         "16 bits per colour (ink raster has 1 or 8)"},
        {"bits per pixel", rawRaster({cmykBpp}), "cupsBitsPerPixel 8 disagrees with 4 colours"},
        {"bytes per line", edited([](auto& h) { h.cupsBytesPerLine = 26; }),
         "cupsBytesPerLine 26 disagrees with 13 pixels of 8 bits (13)"},
        {"width 0", edited([](auto& h) { h.cupsWidth = 0; }), "has no pixels (0 x 5)"},
        {"height 0", edited([](auto& h) { h.cupsHeight = 0; }),
         "page 1 of 'in.ras': libcups refuses its header"},
        {"width 2^32-1", edited([](auto& h) { h.cupsWidth = 0xffffffff; }),
         "4294967295 x 5 pixels is larger than"},
        {"height 2^32-1", edited([](auto& h) { h.cupsHeight = 0xffffffff; }),
         "13 x 4294967295 pixels is larger than"},
        {"colour order 3", edited([](auto& h) { h.cupsColorOrder = cups_order_t(3); }),
         "unknown colour order 3"},
        {"wrong sync word", Bytes{'R', 'a', 'S', 'x', 0, 0, 0, 0}, "is not CUPS raster"},
        {"empty file", Bytes{}, "is not CUPS raster"},
        {"cut short in the pixels", cut, "page 1 of 'in.ras' is cut short at line 5 of 5"},
        {"cut short in the second header", cutHeader,
         "page 2 of 'in.ras' is cut short in its header"},
        {"hostile second page", rawRaster({k, badSecond}),
         "page 2 of 'in.ras' is not ink raster: cupsNumColors 2"},
        {"version 1 with a long header", longV1, "page 2 of 'in.ras': libcups refuses its header"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        writeRaster(dir.path(), c.bytes);
        const ToolRun run = runRaster(dir.path(), "in.ras");
        EXPECT_EQ(run.status, 2);
        EXPECT_EQ(run.err.rfind("vrel: ", 0), 0u) << run.err;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
        EXPECT_NE(run.err.find(c.needle), std::string::npos) << run.err;
        EXPECT_EQ(filesIn(dir.path()), std::vector<std::string>{"in.ras"});
    }
    // Files that are not regular, and a large file of zeros, refused at once.
    ASSERT_EQ(::mkfifo(dir.file("pipe").c_str(), 0600), 0);
    EXPECT_NE(runRaster(dir.path(), "pipe").err.find("'pipe': it is a FIFO"), std::string::npos);
    EXPECT_NE(runRaster(dir.path(), ".").err.find("'.': it is a directory"), std::string::npos);
    test::writeBytesFile(dir.path(), "in.ras", {});
    fs::resize_file(dir.file("in.ras"), 1'200'000'000); // sparse
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
    const ToolRun zeros = runRaster(dir.path(), "in.ras", "ulimit -v 300000 && ");
#else
    const ToolRun zeros = runRaster(dir.path(), "in.ras");
#endif
    EXPECT_NE(zeros.err.find("'in.ras' is not CUPS raster"), std::string::npos) << zeros.err;
    EXPECT_EQ(filesIn(dir.path()), (std::vector<std::string>{"in.ras", "pipe"}));
}

TEST(RasterPlanes, PlanesAreTheRastersColoursForEveryVersionOrderDepthAndSpace) {
    const test::TempDir dir;
    const std::vector<std::vector<std::string>> names = {
        {"black"},
        {"cyan", "magenta", "yellow", "black"},
        {"black", "cyan", "magenta", "yellow"},
        {"colour0", "colour1", "colour2", "colour3", "colour4", "colour5"},
        {"colour0", "colour1", "colour2", "colour3", "colour4", "colour5", "colour6"}};
    for (const int version : {1, 2, 3})
        for (const auto order : {CUPS_ORDER_CHUNKED, CUPS_ORDER_BANDED, CUPS_ORDER_PLANAR}) {
            SCOPED_TRACE("version " + std::to_string(version) + ", order " + std::to_string(order));
            const unsigned seed = static_cast<unsigned>(version * 10 + order);
            const std::vector<Page> pages = {
                makePage(CUPS_CSPACE_K, 1, 1, order, seed),
                makePage(CUPS_CSPACE_CMYK, 4, 1, order, seed + 1, 21, 3),
                makePage(CUPS_CSPACE_KCMY, 4, 8, order, seed + 2),
                makePage(CUPS_CSPACE_DEVICE6, 6, 8, order, seed + 3, 8, 2),
                makePage(CUPS_CSPACE_DEVICE7, 7, 1, order, seed + 4, 9, 4)};
            fs::remove_all(dir.path() / "planes");
            writeRaster(dir.path(), rasterOfVersion(version, {pages.begin(), pages.end()}));
            const ToolRun run = runRaster(dir.path(), "in.ras");
            ASSERT_EQ(run.status, 0) << run.err;
            std::string listed;
            for (std::size_t p = 0; p < pages.size(); ++p)
                for (std::size_t c = 0; c < names[p].size(); ++c) {
                    const std::string name = "page" + std::to_string(p + 1) + "-colour" +
                                             std::to_string(c) + "-" + names[p][c] + ".png";
                    listed += name + "\n";
                    Bytes expected = pages[p].inks[c];
                    for (auto& v : expected)
                        v = static_cast<unsigned char>(255 - v);
                    EXPECT_TRUE(readGreyPng(dir.path() / "planes" / name) == expected) << name;
                }
            EXPECT_EQ(run.out, listed);
        }
}

// Every plane's descriptor is closed once the plane is written: 320 planes
// under a limit of 64 descriptors.
TEST(RasterPlanes, ManyPagesTakeFewDescriptors) {
    const test::TempDir dir;
    std::vector<Page> pages(80, makePage(CUPS_CSPACE_CMYK, 4, 8, CUPS_ORDER_CHUNKED, 7, 2, 2));
    writeRaster(dir.path(), rawRaster({pages.begin(), pages.end()}));
    const ToolRun run = runRaster(dir.path(), "in.ras", "ulimit -n 64 && ");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(filesIn(dir.path() / "planes").size(), 320u);
}

} // namespace
} // namespace vrel
