// rastertovrel in CUPS filter chains run by cupsfilter, and alone on raster
// written byte by byte. Every output line is checked against the engine's own
// conversion of the raster line the chain handed to the filter.
#include "cups_harness.h"

#include <array>
#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

namespace vrel::cupstest {
namespace {

namespace fs = std::filesystem;

const fs::path kSampleDir = fs::path(VREL_SOURCE_DIR) / "data" / "sample";
const fs::path kSamplePpd = kSampleDir / "vrel-demo-inkjet.ppd";

// The settings a page asks for, as the filter passes them to the engine.
struct Settings {
    uint16_t profile = 0, key94 = 0, adjust = 0, selector = 0;
    int16_t density = 0, cyanBalance = 0;
};

struct Layout {
    cups_cspace_t space;
    unsigned colours, bits;
    cups_order_t order;
    std::vector<int> inks; // engine ink of each output colour
};

class Engine {
  public:
    explicit Engine(const Settings& s) {
        ParamRecord p{};
        p.profileNumber = s.profile;
        p.keyField94 = s.key94;
        p.adjustSwitch = s.adjust;
        p.tableSelector = s.selector;
        p.density = s.density;
        p.balance[0] = s.cyanBalance;
        std::snprintf(p.databaseName, sizeof p.databaseName, "sample.vdb");
        p.directoryName = dir_.c_str();
        EXPECT_GE(VrelInit(&context_, &p), 0);
        method_ = VrelInitColorConversion(context_, VrelModeDirect, nullptr);
    }
    ~Engine() { VrelClose(context_); }

    // Ink planes of one input line: a byte per pixel, or bits from the
    // filter's 4 x 4 ordered dither and on-dot black.
    std::array<std::vector<uint8_t>, 7> planes(const cups_page_header2_t& in, const uint8_t* line,
                                               unsigned y, bool bilevel) {
        const unsigned w = in.cupsWidth;
        const bool rgb = in.cupsColorSpace == CUPS_CSPACE_RGB;
        std::vector<uint8_t> grey(line, line + w);
        if (in.cupsColorSpace == CUPS_CSPACE_K)
            for (auto& g : grey)
                g = static_cast<uint8_t>(255 - g);
        std::array<std::vector<uint8_t>, 7> p;
        for (auto& plane : p)
            plane.assign(bilevel ? (w + 7) / 8 : w, 0);
        if (!bilevel) {
            LineRecord record{};
            record.format = rgb ? VrelFormatRgb24 : VrelFormatGray8;
            record.source = rgb ? line : grey.data();
            for (int i = 0; i < 7; ++i)
                record.planes[i] = p[i].data();
            EXPECT_EQ(VrelLineColorConversion(&record, static_cast<uint16_t>(w), 0, 0, 0, context_),
                      0);
            return p;
        }
        static const int dither[4][4] = {
            {0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};
        for (unsigned x = 0; x < w; ++x)
            for (int c = 0; c < (method_ == VrelMethodBlack ? 1 : 3); ++c) {
                const int level = rgb ? line[x * 3 + c] : grey[x];
                if (level > dither[y % 4][x % 4] * 16 + 8)
                    p[method_ == VrelMethodBlack ? 3 : c][x / 8] |= 0x80 >> (x % 8);
            }
        EXPECT_EQ(VrelOnDotBlack(p[0].data(), p[1].data(), p[2].data(), p[3].data(),
                                 static_cast<int16_t>(w), 0, 0, 0, context_),
                  0);
        return p;
    }

  private:
    std::string dir_ = kSampleDir.string();
    EngineContext* context_ = nullptr;
    int method_ = 0;
};

// Checks the header fields of the ink raster and every byte of the page.
void expectInkPage(const RasterPage& in, const RasterPage& out, const Settings& settings,
                   const Layout& layout) {
    const cups_page_header2_t& h = out.header;
    const unsigned w = in.header.cupsWidth, height = in.header.cupsHeight;
    const unsigned colourLine = layout.bits == 1 ? (w + 7) / 8 : w;
    ASSERT_EQ(h.cupsWidth, w);
    ASSERT_EQ(h.cupsHeight, height);
    EXPECT_EQ(h.HWResolution[0], in.header.HWResolution[0]);
    ASSERT_EQ(h.cupsColorSpace, layout.space);
    ASSERT_EQ(h.cupsNumColors, layout.colours);
    ASSERT_EQ(h.cupsBitsPerColor, layout.bits);
    ASSERT_EQ(h.cupsColorOrder, layout.order);
    const bool chunked = layout.order == CUPS_ORDER_CHUNKED;
    ASSERT_EQ(h.cupsBitsPerPixel, chunked ? layout.bits * layout.colours : layout.bits);
    ASSERT_EQ(h.cupsBytesPerLine, chunked ? (w * layout.colours * layout.bits + 7) / 8
                                  : layout.order == CUPS_ORDER_BANDED ? colourLine * layout.colours
                                                                      : colourLine);
    Engine engine(settings);
    std::vector<uint8_t> expected(out.data.size());
    for (unsigned y = 0; y < height; ++y) {
        const auto p = engine.planes(
            in.header, &in.data[std::size_t{y} * in.header.cupsBytesPerLine], y, layout.bits == 1);
        uint8_t* line = &expected[std::size_t{y} * h.cupsBytesPerLine];
        for (unsigned i = 0; i < layout.colours; ++i) {
            const auto& plane = p[static_cast<std::size_t>(layout.inks[i])];
            for (unsigned b = 0; b < colourLine; ++b) {
                if (layout.order == CUPS_ORDER_BANDED)
                    line[i * colourLine + b] = plane[b];
                else if (layout.order == CUPS_ORDER_PLANAR)
                    expected[(std::size_t{i} * height + y) * colourLine + b] = plane[b];
                else if (layout.bits == 8)
                    line[b * layout.colours + i] = plane[b];
            }
            if (chunked && layout.bits == 1)
                for (unsigned x = 0; x < w; ++x) {
                    const int bit = (plane[x / 8] >> (7 - x % 8)) & 1;
                    const unsigned position = x * layout.colours + i; // bit number in the line
                    line[position / 8] |= static_cast<uint8_t>(bit << (7 - position % 8));
                }
        }
    }
    for (std::size_t b = 0; b < expected.size(); ++b)
        ASSERT_EQ(out.data[b], expected[b]) << "byte " << b << " of the page";
}

struct ChainCase {
    const char* name;
    bool png;
    std::vector<std::string> options;
    Settings settings;
    Layout layout;
};

TEST(CupsChain, PdfAndPngPagesBecomeInkRasterEqualToTheEnginesConversion) {
    const test::TempDir dir;
    const fs::path png = dir.file("chart.png");
    ASSERT_EQ(runShell(quote(VREL_CLI_EXECUTABLE) + " chart --width 600 --height 400 -o " +
                       quote(png.string()))
                  .status,
              0);
    const ChainCase cases[] = {
        {"pdf, four inks, adjusted",
         false,
         {"VrelAdjustment=Table2", "VrelDensity=Plus10", "VrelBalanceCyan=Minus10"},
         {0, 0, 1, 2, 10, -10},
         {CUPS_CSPACE_CMYK, 4, 8, CUPS_ORDER_CHUNKED, {0, 1, 2, 3}}},
        {"png, six inks, black first, banded",
         true,
         {"VrelInkSet=VDIPhoto6", "VrelRasterFormat=KCMY", "VrelColorOrder=Banded"},
         {0, 1, 0, 0, 0, 0},
         {CUPS_CSPACE_DEVICE6, 6, 8, CUPS_ORDER_BANDED, {3, 0, 1, 2, 4, 5}}},
        {"pdf, seven inks, planar",
         false,
         {"VrelInkSet=VDIPhoto7", "VrelColorOrder=Planar"},
         {1, 0, 0, 0, 0, 0},
         {CUPS_CSPACE_DEVICE7, 7, 8, CUPS_ORDER_PLANAR, {0, 1, 2, 3, 4, 5, 6}}},
        {"pdf, black only",
         false,
         {"VrelInkSet=VDIMono"},
         {2, 0, 0, 0, 0, 0},
         {CUPS_CSPACE_K, 1, 8, CUPS_ORDER_CHUNKED, {3}}},
        {"png, bilevel, black first",
         true,
         {"VrelRasterFormat=BilevelKCMY"},
         {0, 0, 0, 0, 0, 0},
         {CUPS_CSPACE_KCMY, 4, 1, CUPS_ORDER_CHUNKED, {3, 0, 1, 2}}},
    };
    const FilterChain chain;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto options = c.options;
        options.push_back("Resolution=150dpi");
        const fs::path out = dir.file("out.ras");
        const ShellRun run =
            chain.print(kSamplePpd, c.png ? png : fs::path(VREL_CUPS_TEST_PDF), options, out);
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_NE(run.err.find(c.png ? "imagetoraster" : "pdftoraster"), std::string::npos);
        EXPECT_NE(run.err.find("PAGE: 1 1"), std::string::npos) << run.err;
        const auto input = readRaster(chain.captured());
        const auto output = readRaster(out);
        ASSERT_EQ(input.size(), 1u);
        ASSERT_EQ(output.size(), 1u);
        expectInkPage(input[0], output[0], c.settings, c.layout);
    }
}

RasterPage rgbPage(unsigned width, unsigned height) {
    RasterPage page;
    cups_page_header2_t& h = page.header;
    h.HWResolution[0] = h.HWResolution[1] = 300;
    h.cupsWidth = width;
    h.cupsHeight = height;
    h.cupsBitsPerColor = 8;
    h.cupsBitsPerPixel = 24;
    h.cupsBytesPerLine = width * 3;
    h.cupsColorSpace = CUPS_CSPACE_RGB;
    h.cupsNumColors = 3;
    h.NumCopies = 1;
    page.data.resize(std::size_t{width} * height * 3);
    for (std::size_t i = 0; i < page.data.size(); ++i)
        page.data[i] = static_cast<uint8_t>(i * 37 + i / 7);
    return page;
}

ShellRun runFilter(const std::vector<unsigned char>& raster, const test::TempDir& dir) {
    const fs::path in = dir.file("in.ras");
    std::ofstream(in, std::ios::binary)
        .write(reinterpret_cast<const char*>(raster.data()),
               static_cast<std::streamsize>(raster.size()));
    return runShell("PPD=" + quote(kSamplePpd.string()) + " " + quote(VREL_RASTERTOVREL) +
                    " 1 user title 1 '' " + quote(in.string()) + " >" +
                    quote(dir.file("out.ras").string()));
}

TEST(CupsFilter, UnchangedSettingsKeepTheContextAndChangedOnesOpenTheRightProfile) {
    RasterPage first = rgbPage(40, 3);
    RasterPage black = first; // the same settings on black raster
    black.header.cupsColorSpace = CUPS_CSPACE_K;
    black.header.cupsBitsPerPixel = 8;
    black.header.cupsBytesPerLine = 40;
    black.header.cupsNumColors = 1;
    black.data.resize(40 * 3);
    RasterPage denser = first; // and black first, which the engine does not see
    denser.header.cupsReal[0] = 20;
    denser.header.cupsInteger[15] = 1;
    // Key field 94 chooses the six-ink profile; the engine's reset does not
    // compare it, so the filter has to open a new context.
    RasterPage sixInks = denser;
    sixInks.header.cupsInteger[3] = 1;
    const test::TempDir dir;
    const ShellRun run = runFilter(rawRaster({first, black, denser, sixInks}), dir);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.err.find("page 2: engine context kept"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("page 3: engine context opened"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("page 4: engine context opened, method 6"), std::string::npos)
        << run.err;
    const auto out = readRaster(dir.file("out.ras"));
    ASSERT_EQ(out.size(), 4u);
    const Layout cmyk{CUPS_CSPACE_CMYK, 4, 8, CUPS_ORDER_CHUNKED, {0, 1, 2, 3}};
    expectInkPage(black, out[1], {}, cmyk);
    expectInkPage(denser, out[2], {0, 0, 0, 0, 20, 0},
                  {CUPS_CSPACE_KCMY, 4, 8, CUPS_ORDER_CHUNKED, {3, 0, 1, 2}});
    expectInkPage(sixInks, out[3], {0, 1, 0, 0, 20, 0},
                  {CUPS_CSPACE_DEVICE6, 6, 8, CUPS_ORDER_CHUNKED, {3, 0, 1, 2, 4, 5}});
}

TEST(CupsFilter, BadRasterGivesAnErrorLineAndAFailureExit) {
    struct BadCase {
        const char* name;
        const char* message;
        void (*damage)(RasterPage&);
        std::size_t cutBytes;
    };
    const BadCase cases[] = {
        {"empty input", "no raster page", nullptr, 0},
        {"truncated page", "ends after 2 of its 4 lines", [](RasterPage&) {}, 16 * 3 * 2},
        {"line size not the width's, on page 2", "header of page 2 is damaged",
         [](RasterPage& p) { p.header.cupsBytesPerLine = 47; }, 0},
        {"width far beyond any page", "impossible page size",
         [](RasterPage& p) {
             p.header.cupsWidth = 0x200000;
             p.header.cupsBytesPerLine = 0x600000;
         },
         0},
        {"CMYK input", "unsupported colour space 6",
         [](RasterPage& p) { p.header.cupsColorSpace = CUPS_CSPACE_CMYK; }, 0},
        {"16 bits per colour", "unsupported bit depth 16",
         [](RasterPage& p) {
             p.header.cupsBitsPerColor = 16;
             p.header.cupsBitsPerPixel = 48;
             p.header.cupsBytesPerLine = 96;
         },
         0},
        {"RGB for the black-only profile", "takes grey or black raster",
         [](RasterPage& p) { p.header.cupsInteger[0] = 2; }, 0},
        {"six inks as bilevel planes", "bilevel output takes a four-ink",
         [](RasterPage& p) {
             p.header.cupsInteger[3] = 1;
             p.header.cupsInteger[15] = 2;
         },
         0},
        {"no such profile", "the engine refused",
         [](RasterPage& p) { p.header.cupsInteger[0] = 9; }, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<unsigned char> raster;
        if (c.damage != nullptr) {
            RasterPage page = rgbPage(16, 4);
            c.damage(page);
            raster = std::string(c.name).ends_with("page 2") ? rawRaster({rgbPage(16, 4), page})
                                                             : rawRaster({page});
            raster.resize(raster.size() - c.cutBytes);
        }
        const test::TempDir dir;
        const ShellRun run = runFilter(raster, dir);
        EXPECT_EQ(run.status, 1) << run.err;
        EXPECT_NE(run.err.find("ERROR: "), std::string::npos) << run.err;
        EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
        // A sanitizer build reports faults on standard error with status 1 too.
        EXPECT_EQ(run.err.find("Sanitizer"), std::string::npos) << run.err;
        EXPECT_EQ(run.err.find("runtime error"), std::string::npos) << run.err;
    }
}

TEST(CupsFilter, SigtermStopsTheJobBetweenLines) {
    RasterPage page = rgbPage(64, 400);
    const auto raster = rawRaster({page});
    const std::size_t tail = 64 * 3 * 2; // the last two lines come after the signal
    int input[2], errors[2];
    ASSERT_EQ(pipe(input), 0);
    ASSERT_EQ(pipe(errors), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        dup2(input[0], 0);
        dup2(errors[1], 2);
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        close(input[1]);
        close(errors[0]);
        setenv("PPD", kSamplePpd.c_str(), 1);
        execl(VREL_RASTERTOVREL, "rastertovrel", "1", "user", "title", "1", "", nullptr);
        _exit(127);
    }
    close(input[0]);
    close(errors[1]);
    ASSERT_EQ(write(input[1], raster.data(), raster.size() - tail),
              static_cast<ssize_t>(raster.size() - tail));
    std::string err;
    char buffer[256];
    while (err.find("converting page 1") == std::string::npos) {
        const ssize_t n = read(errors[0], buffer, sizeof buffer);
        ASSERT_GT(n, 0) << err;
        err.append(buffer, static_cast<std::size_t>(n));
    }
    kill(child, SIGTERM);
    ASSERT_EQ(write(input[1], raster.data() + raster.size() - tail, tail),
              static_cast<ssize_t>(tail));
    close(input[1]);
    for (ssize_t n; (n = read(errors[0], buffer, sizeof buffer)) > 0;)
        err.append(buffer, static_cast<std::size_t>(n));
    close(errors[0]);
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status)) << err;
    EXPECT_EQ(WEXITSTATUS(status), 0) << err;
    EXPECT_NE(err.find("INFO: stopped on request at line"), std::string::npos) << err;
    EXPECT_EQ(err.find("PAGE:"), std::string::npos) << err;
}

// The README's commands that need no scheduler: install, write a PPD with
// vrel ppd, print through the installed filter and PPD with cupsfilter, look
// at the separations with vrel raster.
TEST(CupsReadme, InstalledFilterAndPpdPrintWithoutAQueue) {
    const test::TempDir dir;
    const fs::path prefix = dir.path() / "prefix";
    ASSERT_EQ(runShell(quote(VREL_CMAKE) + " --install " + quote(VREL_BUILD_DIR) +
                       " --component cups --prefix " + quote(prefix.string()) + " >/dev/null")
                  .status,
              0);
    const fs::path ppd = prefix / "share" / "ppd" / "vrel" / "vrel-demo-inkjet.ppd";
    const fs::path database = prefix / "share" / "vrel" / "sample.vdb";
    const fs::path written = dir.file("written.ppd");
    ASSERT_EQ(runShell(quote(VREL_CLI_EXECUTABLE) + " ppd --db " + quote(database.string()) +
                       " -o " + quote(written.string()))
                  .status,
              0);
    // The installed PPD is the sample's, naming the installed database.
    const auto text = [](const fs::path& p) {
        std::ifstream in(p);
        return std::string(std::istreambuf_iterator<char>(in), {});
    };
    EXPECT_NE(text(ppd).find("*vrelDatabase: \"" + database.string() + "\""), std::string::npos);
    EXPECT_EQ(text(written), text(ppd));

    const FilterChain chain(prefix / "lib" / "cups" / "filter" / "rastertovrel");
    const fs::path out = dir.file("page.ras");
    const ShellRun run =
        chain.print(ppd, VREL_CUPS_TEST_PDF, {"Resolution=150dpi", "VrelInkSet=VDIPhoto6"}, out);
    ASSERT_EQ(run.status, 0) << run.err;
    const auto pages = readRaster(out);
    ASSERT_EQ(pages.size(), 1u);
    EXPECT_EQ(pages[0].header.cupsColorSpace, CUPS_CSPACE_DEVICE6);
    EXPECT_EQ(pages[0].header.cupsNumColors, 6u);
    // The separations, one PNG per colour.
    const fs::path planes = dir.path() / "planes";
    ASSERT_EQ(runShell(quote(VREL_CLI_EXECUTABLE) + " raster " + quote(out.string()) +
                       " --planes " + quote(planes.string()) + " >/dev/null")
                  .status,
              0);
    EXPECT_TRUE(fs::exists(planes / "page1-colour5-colour5.png"));
    EXPECT_FALSE(fs::exists(planes / "page1-colour6-colour6.png"));
}

} // namespace
} // namespace vrel::cupstest
