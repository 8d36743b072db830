// rastertovrel in CUPS filter chains run by cupsfilter (without a scheduler),
// and alone on raster written byte by byte. Every output line is checked
// against the engine's own conversion of the raster line the filter was handed.
#include "cups_test_helpers.h"

#include <gtest/gtest.h>

namespace vrel {
namespace {

using namespace cups_test;

TEST(CupsChain, PdfAndPngPagesBecomeInkRasterEqualToTheEnginesConversion) {
    const test::TempDir dir;
    const fs::path chart = dir.file("chart.png");
    ASSERT_EQ(runShell(quote(VREL_CLI_EXECUTABLE) + " chart --width 600 --height 400 -o " +
                       quote(chart.string()))
                  .status,
              0);
    const struct {
        const char* name;
        std::vector<std::string> options;
        test::ParamBuilder settings;
        Layout layout;
    } cases[] = {
        {"pdf, four inks, adjusted",
         {"VrelAdjustment=Table2", "VrelDensity=Plus10", "VrelBalanceCyan=Minus10"},
         test::ParamBuilder().adjustSwitch(1).tableSelector(2).density(10).balance(-10, 0, 0, 0),
         {CUPS_CSPACE_CMYK, 4, 8, CUPS_ORDER_CHUNKED, {0, 1, 2, 3}}},
        {"png, six inks, black first, banded",
         {"VrelInkSet=VDIPhoto6", "VrelRasterFormat=KCMY", "VrelColorOrder=Banded"},
         test::ParamBuilder().keyField94(1),
         {CUPS_CSPACE_DEVICE6, 6, 8, CUPS_ORDER_BANDED, {3, 0, 1, 2, 4, 5}}},
        {"pdf, seven inks, planar",
         {"VrelInkSet=VDIPhoto7", "VrelColorOrder=Planar"},
         test::ParamBuilder().profileNumber(1),
         {CUPS_CSPACE_DEVICE7, 7, 8, CUPS_ORDER_PLANAR, {0, 1, 2, 3, 4, 5, 6}}},
        {"pdf, black only",
         {"VrelInkSet=VDIMono"},
         test::ParamBuilder().profileNumber(2),
         {CUPS_CSPACE_K, 1, 8, CUPS_ORDER_CHUNKED, {3}}},
        {"png, bilevel, black first",
         {"VrelRasterFormat=BilevelKCMY"},
         test::ParamBuilder(),
         {CUPS_CSPACE_KCMY, 4, 1, CUPS_ORDER_CHUNKED, {3, 0, 1, 2}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const bool png = std::string(c.name).starts_with("png");
        auto options = c.options;
        options.push_back("Resolution=150dpi");
        const fs::path out = dir.file("out.ras");
        const ShellRun run = print(dir, png ? chart : fs::path(VREL_CUPS_TEST_PDF), options, out);
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_NE(run.err.find(png ? "imagetoraster" : "pdftoraster"), std::string::npos);
        EXPECT_NE(run.err.find("PAGE: 1 1"), std::string::npos) << run.err;
        const auto input = readRaster(dir.file("captured.ras"));
        const auto output = readRaster(out);
        ASSERT_EQ(input.size(), 1u);
        ASSERT_EQ(output.size(), 1u);
        expectInkPage(input[0], output[0], c.settings, c.layout);
    }
}

TEST(CupsFilter, EachPageIsConvertedWithItsOwnSettings) {
    RasterPage first = makePage(40, 3);
    first.header.NumCopies = 0xffffffff;         // beyond any copy count: one copy
    const RasterPage black = makePage(40, 3, 1); // the same settings on black raster
    RasterPage denser = first;                   // and black first, which the engine does not see
    denser.header.cupsReal[0] = 20;
    denser.header.cupsInteger[15] = 1;
    // Key field 94 chooses the six-ink profile; the engine's reset does not
    // compare it, so the filter has to open a new context.
    RasterPage sixInks = denser;
    sixInks.header.cupsInteger[3] = 1;
    sixInks.header.NumCopies = 9999;
    const test::TempDir dir;
    const ShellRun run = runFilter(rawRaster({first, black, denser, sixInks}), dir);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.err.find("PAGE: 1 1\n"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("PAGE: 4 9999\n"), std::string::npos) << run.err;
    const auto out = readRaster(dir.file("out.ras"));
    ASSERT_EQ(out.size(), 4u);
    expectInkPage(black, out[1], test::ParamBuilder(),
                  {CUPS_CSPACE_CMYK, 4, 8, CUPS_ORDER_CHUNKED, {0, 1, 2, 3}});
    expectInkPage(denser, out[2], test::ParamBuilder().density(20),
                  {CUPS_CSPACE_KCMY, 4, 8, CUPS_ORDER_CHUNKED, {3, 0, 1, 2}});
    expectInkPage(sixInks, out[3], test::ParamBuilder().keyField94(1).density(20),
                  {CUPS_CSPACE_DEVICE6, 6, 8, CUPS_ORDER_CHUNKED, {3, 0, 1, 2, 4, 5}});
}

TEST(CupsFilter, EveryRasterVersionThatEndsCleanlyIsConverted) {
    for (const int version : {1, 2, 3}) {
        SCOPED_TRACE(version);
        const RasterPage page = makePage(16, 4);
        const test::TempDir dir;
        const ShellRun run = runFilter(rasterOfVersion(version, {page, page}), dir);
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_NE(run.err.find("INFO: 2 pages converted"), std::string::npos) << run.err;
        const auto out = readRaster(dir.file("out.ras"));
        ASSERT_EQ(out.size(), 2u);
        expectInkPage(page, out[1], test::ParamBuilder(),
                      {CUPS_CSPACE_CMYK, 4, 8, CUPS_ORDER_CHUNKED, {0, 1, 2, 3}});
    }
}

// The README's commands that need no scheduler: install, write a PPD with
// vrel ppd, print through the installed filter and PPD with cupsfilter, look
// at the separations with vrel raster.
TEST(CupsReadme, InstalledFilterAndPpdPrintWithoutAQueue) {
    const test::TempDir dir;
    const fs::path prefix = dir.path() / "prefix", written = dir.file("written.ppd");
    const fs::path ppd = prefix / "share/ppd/vrel/vrel-demo-inkjet.ppd";
    const fs::path database = prefix / "share/vrel/sample.vdb";
    const fs::path out = dir.file("page.ras"), planes = dir.path() / "planes";
    ASSERT_EQ(runShell(quote(VREL_CMAKE) + " --install " + quote(VREL_BUILD_DIR) +
                       " --component cups --prefix " + quote(prefix.string()) + " >/dev/null")
                  .status,
              0);
    ASSERT_EQ(runShell(quote(VREL_CLI_EXECUTABLE) + " ppd --db " + quote(database.string()) +
                       " -o " + quote(written.string()))
                  .status,
              0);
    // The installed PPD is the sample's, naming the installed database.
    EXPECT_NE(readText(ppd).find("*vrelDatabase: \"" + database.string() + "\""),
              std::string::npos);
    EXPECT_EQ(readText(written), readText(ppd));
    const ShellRun run =
        print(dir, VREL_CUPS_TEST_PDF, {"Resolution=150dpi", "VrelInkSet=VDIPhoto6"}, out, ppd,
              prefix / "lib/cups/filter/rastertovrel");
    ASSERT_EQ(run.status, 0) << run.err;
    const auto pages = readRaster(out);
    ASSERT_EQ(pages.size(), 1u);
    EXPECT_EQ(pages[0].header.cupsColorSpace, CUPS_CSPACE_DEVICE6);
    ASSERT_EQ(runShell(quote(VREL_CLI_EXECUTABLE) + " raster " + quote(out.string()) +
                       " --planes " + quote(planes.string()) + " >/dev/null")
                  .status,
              0);
    // The separations, one PNG per colour.
    EXPECT_TRUE(fs::exists(planes / "page1-colour5-colour5.png"));
    EXPECT_FALSE(fs::exists(planes / "page1-colour6-colour6.png"));
}

} // namespace
} // namespace vrel
