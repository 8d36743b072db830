// rastertovrel in CUPS filter chains run by cupsfilter (without a scheduler),
// and alone on raster written byte by byte. Every output line is checked
// against the engine's own conversion of the raster line the filter was handed.
#include "support/test_support.h"

#include <array>
#include <cstring>
#include <cups/raster.h>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <span>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace vrel {
namespace {

namespace fs = std::filesystem;

const fs::path kSampleDir = fs::path(VREL_SOURCE_DIR) / "data" / "sample";
const fs::path kSamplePpd = kSampleDir / "vrel-demo-inkjet.ppd";

std::string quote(const std::string& text) { // no path or option here holds a quote
    return "'" + text + "'";
}

struct ShellRun {
    int status = -1; // exit status, -1 when the process died of a signal
    std::string err;
    long maxRssKb = 0; // the largest resident size of the shell and what it ran
};

std::string readText(const fs::path& path) {
    std::ifstream in(path);
    return {std::istreambuf_iterator<char>(in), {}};
}

ShellRun runShell(const std::string& command) {
    const test::TempDir scratch;
    const std::string line = command + " 2>" + quote(scratch.file("err").string());
    const pid_t pid = fork();
    if (pid == 0) {
        execl("/bin/sh", "sh", "-c", line.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    int raw = 0;
    rusage usage{};
    EXPECT_EQ(wait4(pid, &raw, 0, &usage), pid);
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, readText(scratch.file("err")), usage.ru_maxrss};
}

// cupsfilter with a cups-files.conf of its own in `dir`: ServerBin holds the
// system's filters (without the Ghostscript and MuPDF renderers, so that PDF
// pages go through pdftoraster) and, as rastertovrel, a script that keeps a
// copy of the raster it is handed (dir/captured.ras) before it runs the
// filter given (the built one unless named). Prints input through the PPD into output.
ShellRun print(const test::TempDir& dir, const fs::path& input,
               const std::vector<std::string>& options, const fs::path& output,
               const fs::path& ppd = kSamplePpd, const fs::path& filter = VREL_RASTERTOVREL) {
    const fs::path filters = dir.path() / "serverbin" / "filter";
    if (fs::create_directories(filters)) {
        for (const auto& entry : fs::directory_iterator(VREL_CUPS_FILTER_DIR)) {
            const std::string name = entry.path().filename().string();
            if (name != "gstoraster" && name != "mupdftoraster" && name != "rastertovrel")
                fs::create_symlink(entry.path(), filters / name);
        }
        // The copy goes to a fixed path: filters get only the environment
        // that cupsfilter gives them.
        std::ofstream(filters / "rastertovrel")
            << "#!/bin/sh\ntee " << quote(dir.file("captured.ras").string()) << " | "
            << quote(filter.string()) << " \"$@\"\n";
        fs::permissions(filters / "rastertovrel",
                        fs::perms::owner_exec | fs::perms::group_exec | fs::perms::others_exec,
                        fs::perm_options::add);
        std::ofstream(dir.file("cups-files.conf"))
            << "ServerBin " << (dir.path() / "serverbin").string()
            << "\nDataDir /usr/share/cups\nServerRoot /etc/cups\n";
    }
    std::string command = quote(VREL_CUPSFILTER) + " -e -c " +
                          quote(dir.file("cups-files.conf").string()) + " -p " +
                          quote(ppd.string()) + " -m printer/foo";
    for (const auto& o : options)
        command += " -o " + quote(o);
    return runShell(command + " " + quote(input.string()) + " >" + quote(output.string()));
}

struct RasterPage {
    cups_page_header2_t header{};
    std::vector<unsigned char> data; // every line (planar: every plane) in file order
};

// Reads every page with the CUPS raster API; a short page fails the test.
std::vector<RasterPage> readRaster(const fs::path& path) {
    std::vector<RasterPage> pages;
    const int fd = open(path.c_str(), O_RDONLY);
    EXPECT_GE(fd, 0) << path;
    cups_raster_t* raster = cupsRasterOpen(fd, CUPS_RASTER_READ);
    for (RasterPage page; cupsRasterReadHeader2(raster, &page.header); pages.push_back(page)) {
        const cups_page_header2_t& h = page.header;
        const std::size_t lines =
            h.cupsHeight * (h.cupsColorOrder == CUPS_ORDER_PLANAR ? h.cupsNumColors : 1);
        page.data.assign(lines * h.cupsBytesPerLine, 0);
        for (std::size_t y = 0; y < lines; ++y)
            EXPECT_EQ(cupsRasterReadPixels(raster, page.data.data() + y * h.cupsBytesPerLine,
                                           h.cupsBytesPerLine),
                      h.cupsBytesPerLine)
                << path << ": page " << pages.size() + 1 << " is short";
    }
    cupsRasterClose(raster);
    close(fd);
    return pages;
}

// Uncompressed (version 3) raster of the pages exactly as given.
std::vector<unsigned char> rawRaster(const std::vector<RasterPage>& pages) {
    const uint32_t sync = 0x52615333; // "RaS3", uncompressed, in the host's order
    std::vector<unsigned char> bytes(reinterpret_cast<const unsigned char*>(&sync),
                                     reinterpret_cast<const unsigned char*>(&sync) + 4);
    for (const auto& page : pages) {
        const auto* h = reinterpret_cast<const unsigned char*>(&page.header);
        bytes.insert(bytes.end(), h, h + sizeof page.header);
        bytes.insert(bytes.end(), page.data.begin(), page.data.end());
    }
    return bytes;
}

struct Layout {
    cups_cspace_t space;
    unsigned colours, bits;
    cups_order_t order;
    std::vector<int> inks; // engine ink of each output colour
};

// Ink planes of one input line as the engine makes them: a byte per pixel,
// or bits from the filter's 4 x 4 ordered dither and on-dot black.
std::array<std::vector<uint8_t>, 7> enginePlanes(EngineContext* context, int method,
                                                 const cups_page_header2_t& in, const uint8_t* line,
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
        EXPECT_EQ(VrelLineColorConversion(&record, static_cast<uint16_t>(w), 0, 0, 0, context), 0);
        return p;
    }
    static const int dither[4][4] = {{0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};
    for (unsigned x = 0; x < w; ++x)
        for (int c = 0; c < (method == VrelMethodBlack ? 1 : 3); ++c) {
            const int level = rgb ? line[x * 3 + c] : grey[x];
            if (level > dither[y % 4][x % 4] * 16 + 8)
                p[method == VrelMethodBlack ? 3 : c][x / 8] |= 0x80 >> (x % 8);
        }
    EXPECT_EQ(VrelOnDotBlack(p[0].data(), p[1].data(), p[2].data(), p[3].data(),
                             static_cast<int16_t>(w), 0, 0, 0, context),
              0);
    return p;
}

// Checks the header fields of the ink raster and every byte of the page.
void expectInkPage(const RasterPage& in, const RasterPage& out, const test::ParamBuilder& settings,
                   const Layout& layout) {
    const cups_page_header2_t& h = out.header;
    const unsigned w = in.header.cupsWidth, height = in.header.cupsHeight, n = layout.colours;
    const unsigned colourLine = layout.bits == 1 ? (w + 7) / 8 : w; // bytes of one colour
    const bool chunked = layout.order == CUPS_ORDER_CHUNKED;
    ASSERT_EQ(
        (std::vector<unsigned>{h.cupsWidth, h.cupsHeight, h.HWResolution[0], h.cupsColorSpace,
                               h.cupsNumColors, h.cupsBitsPerColor, h.cupsColorOrder,
                               h.cupsBitsPerPixel, h.cupsBytesPerLine}),
        (std::vector<unsigned>{w, height, in.header.HWResolution[0], layout.space, n, layout.bits,
                               layout.order, chunked ? layout.bits * n : layout.bits,
                               chunked                             ? (w * n * layout.bits + 7) / 8
                               : layout.order == CUPS_ORDER_BANDED ? colourLine * n
                                                                   : colourLine}));
    const test::OpenContext context(
        test::ParamBuilder(settings).database("sample.vdb").directory(kSampleDir.c_str()));
    ASSERT_GE(context.result(), 0);
    const int method = VrelInitColorConversion(context.get(), VrelModeDirect, nullptr);
    std::vector<uint8_t> expected(out.data.size());
    const std::size_t units = 8 / layout.bits; // samples in a byte
    for (unsigned y = 0; y < height; ++y) {
        const auto p = enginePlanes(context.get(), method, in.header,
                                    &in.data[std::size_t{y} * in.header.cupsBytesPerLine], y,
                                    layout.bits == 1);
        for (unsigned i = 0; i < n; ++i)
            for (unsigned x = 0; x < w; ++x) {
                const auto& plane = p[static_cast<std::size_t>(layout.inks[i])];
                const unsigned v = layout.bits == 1 ? plane[x / 8] >> (7 - x % 8) & 1 : plane[x];
                const std::size_t at = // sample number in the page
                    chunked ? y * h.cupsBytesPerLine * units + x * n + i
                    : layout.order == CUPS_ORDER_BANDED
                        ? (std::size_t{y} * n + i) * colourLine * units + x
                        : (std::size_t{i} * height + y) * colourLine * units + x;
                if (layout.bits == 8)
                    expected[at] = static_cast<uint8_t>(v);
                else
                    expected[at / 8] |= static_cast<uint8_t>(v << (7 - at % 8));
            }
    }
    EXPECT_TRUE(out.data == expected) << "the page differs from the engine's conversion";
}

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

// An RGB page (or, with one colour, a black one) of 8-bit samples.
RasterPage makePage(unsigned width, unsigned height, unsigned colours = 3) {
    RasterPage page;
    cups_page_header2_t& h = page.header;
    h.HWResolution[0] = h.HWResolution[1] = 300;
    h.cupsWidth = width;
    h.cupsHeight = height;
    h.cupsBitsPerColor = 8;
    h.cupsBitsPerPixel = 8 * colours;
    h.cupsBytesPerLine = width * colours;
    h.cupsColorSpace = colours == 3 ? CUPS_CSPACE_RGB : CUPS_CSPACE_K;
    h.cupsNumColors = colours;
    h.NumCopies = 1;
    page.data.resize(std::size_t{width} * height * colours);
    for (std::size_t i = 0; i < page.data.size(); ++i)
        page.data[i] = static_cast<uint8_t>(i * 37 + i / 7);
    return page;
}

// Version 1 raster: uncompressed, with the short page header.
std::vector<unsigned char> v1Raster(const std::vector<RasterPage>& pages) {
    std::vector<unsigned char> bytes{'t', 'S', 'a', 'R'}; // "RaSt" in little-endian order
    for (const auto& page : pages) {
        const auto* h = reinterpret_cast<const unsigned char*>(&page.header);
        bytes.insert(bytes.end(), h, h + sizeof(cups_page_header_t));
        bytes.insert(bytes.end(), page.data.begin(), page.data.end());
    }
    return bytes;
}

// Version 2 raster: run-length compressed, written by libcups.
std::vector<unsigned char> v2Raster(const std::vector<RasterPage>& pages) {
    const test::TempDir dir;
    const int fd = open(dir.file("v2.ras").c_str(), O_WRONLY | O_CREAT, 0600);
    cups_raster_t* raster = cupsRasterOpen(fd, CUPS_RASTER_WRITE_COMPRESSED);
    for (RasterPage page : pages) {
        EXPECT_TRUE(cupsRasterWriteHeader2(raster, &page.header));
        EXPECT_EQ(cupsRasterWritePixels(raster, page.data.data(), unsigned(page.data.size())),
                  page.data.size());
    }
    cupsRasterClose(raster);
    close(fd);
    const std::string text = readText(dir.file("v2.ras"));
    return {text.begin(), text.end()};
}

std::vector<unsigned char> rasterOfVersion(int version, const std::vector<RasterPage>& pages) {
    return version == 1 ? v1Raster(pages) : version == 2 ? v2Raster(pages) : rawRaster(pages);
}

// An enumerated header field set to a word outside its enumeration.
template <class Enum> void setWord(Enum& field, unsigned word) {
    std::memcpy(&field, &word, sizeof word);
}

// The sample PPD naming `database` as its database, in dir.
fs::path ppdNaming(const test::TempDir& dir, const std::string& database) {
    std::string text = readText(kSamplePpd);
    const std::string line = "*vrelDatabase: \"sample.vdb\"";
    text.replace(text.find(line), line.size(), "*vrelDatabase: \"" + database + "\"");
    std::ofstream(dir.file("queue.ppd")) << text;
    return dir.file("queue.ppd");
}

struct FilterFiles {
    fs::path ppd = kSamplePpd;
    fs::path input; // the raster file; dir/in.ras unless set
};

ShellRun runFilter(const std::vector<unsigned char>& raster, const test::TempDir& dir,
                   const FilterFiles& files = {}) {
    test::writeBytesFile(dir.path(), "in.ras", raster);
    const fs::path input = files.input.empty() ? dir.file("in.ras") : files.input;
    return runShell("PPD=" + quote(files.ppd.string()) + " timeout 60 " + quote(VREL_RASTERTOVREL) +
                    " 1 user title 1 '' " + quote(input.string()) + " >" +
                    quote(dir.file("out.ras").string()));
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

TEST(CupsFilter, BadRasterGivesAnErrorLineAndAFailureExit) {
    using Damage = std::function<void(cups_page_header2_t&)>;
    // Files other than the raster: the PPD and its database, or the raster
    // file named on the command line.
    using Setup = std::function<void(const test::TempDir&, FilterFiles&)>;
    const auto database = [](const std::string& name, std::size_t bytes = 0) {
        return [name, bytes](const test::TempDir& dir, FilterFiles& files) {
            if (bytes != 0) {
                const std::string db = readText(kSampleDir / "sample.vdb");
                std::ofstream(dir.file(name)) << db.substr(0, bytes);
            }
            files.ppd = ppdNaming(dir, name);
        };
    };
    const std::vector<unsigned char> cutHeader(100, 0), junk{1, 2, 3, 4, 5};
    std::vector<unsigned char> syncAndCut{'3', 'S', 'a', 'R'}; // "RaS3" in little-endian order
    syncAndCut.resize(104);
    struct Case {
        const char* name;
        const char* message;
        Damage damage;
        std::size_t cutBytes = 0;
        bool onPage2 = false;
        int version = 3;
        std::vector<unsigned char> tail{}; // bytes after the pages
        Setup setup{};
    };
    std::vector<Case> cases = {
        {"empty input", "no raster page", nullptr},
        {"truncated page", "ends after 2 of its 4 lines", [](auto&) {}, 16 * 3 * 2},
        {"line size not the width's", "header of page 2 is damaged",
         [](auto& h) { h.cupsBytesPerLine = 47; }, 0, true},
        {"width far beyond any page", "impossible page size",
         [](auto& h) { h.cupsWidth = 0x200000, h.cupsBytesPerLine = 0x600000; }},
        {"CMYK input", "unsupported colour space 6",
         [](auto& h) { h.cupsColorSpace = CUPS_CSPACE_CMYK; }},
        {"colour space beyond the enumeration", "unsupported colour space 4294967295",
         [](auto& h) { setWord(h.cupsColorSpace, 0xffffffff); }},
        {"grey in a colour order beyond the enumeration", "unsupported colour order 4294967295",
         [](auto& h) {
             h.cupsColorSpace = CUPS_CSPACE_K, h.cupsNumColors = 1, h.cupsBitsPerPixel = 8;
             h.cupsBytesPerLine = 16, setWord(h.cupsColorOrder, 0xffffffff);
         }},
        {"16 bits per colour", "unsupported bit depth 16",
         [](auto& h) {
             h.cupsBitsPerColor = 16, h.cupsBitsPerPixel = 48, h.cupsBytesPerLine = 96;
         }},
        {"RGB for the black-only profile", "takes grey or black raster",
         [](auto& h) { h.cupsInteger[0] = 2; }},
        {"six inks as bilevel planes", "bilevel output takes a four-ink",
         [](auto& h) { h.cupsInteger[3] = 1, h.cupsInteger[15] = 2; }},
        {"no such profile", "the engine refused", [](auto& h) { h.cupsInteger[0] = 9; }},
        // A header alone asks for 4 GiB of seven planes; none of it arrives.
        {"planar page of 4 GiB with no lines", "ends after 0 of its 585 lines",
         [](auto& h) {
             h.cupsColorSpace = CUPS_CSPACE_K, h.cupsNumColors = 1, h.cupsBitsPerPixel = 8;
             h.cupsWidth = h.cupsBytesPerLine = 1 << 20, h.cupsHeight = 585;
             h.cupsInteger[0] = 1, h.cupsInteger[14] = CUPS_ORDER_PLANAR;
         },
         std::size_t{16} * 4 * 3},
        {"not raster at all", "not CUPS raster", nullptr, 0, false, 3, junk},
        {"a cut first header", "ends within the first page header", nullptr, 0, false, 3,
         syncAndCut},
        {"PPD without end",
         "the PPD '/dev/zero' is a device",
         [](auto&) {},
         0,
         false,
         3,
         {},
         [](const test::TempDir&, FilterFiles& files) { files.ppd = "/dev/zero"; }},
        {"PPD a directory",
         "is a directory",
         [](auto&) {},
         0,
         false,
         3,
         {},
         [](const test::TempDir& dir, FilterFiles& files) { files.ppd = dir.path(); }},
        {"database missing",
         "missing.vdb' does not exist",
         [](auto&) {},
         0,
         false,
         3,
         {},
         database("missing.vdb")},
        {"database a device",
         "the database '/dev/null' is a device",
         [](auto&) {},
         0,
         false,
         3,
         {},
         database("/dev/null")},
        {"database a directory",
         "is a directory",
         [](auto&) {},
         0,
         false,
         3,
         {},
         [&](const test::TempDir& dir, FilterFiles& files) {
             fs::create_directory(dir.file("db"));
             files.ppd = ppdNaming(dir, "db");
         }},
        {"database a FIFO",
         "fifo.vdb' is a FIFO",
         [](auto&) {},
         0,
         false,
         3,
         {},
         [&](const test::TempDir& dir, FilterFiles& files) {
             mkfifo(dir.file("fifo.vdb").c_str(), 0600);
             files.ppd = ppdNaming(dir, "fifo.vdb");
         }},
        {"database too short",
         "is too short to be a profile database (10 bytes)",
         [](auto&) {},
         0,
         false,
         3,
         {},
         database("short.vdb", 10)},
        {"database cut short",
         "cut.vdb' is cut short or not a profile database",
         [](auto&) {},
         0,
         false,
         3,
         {},
         database("cut.vdb", 1000)},
        {"raster file a directory",
         "the raster file '/tmp' is a directory",
         [](auto&) {},
         0,
         false,
         3,
         {},
         [](const test::TempDir&, FilterFiles& files) { files.input = "/tmp"; }},
        {"raster file a device",
         "the raster file '/dev/zero' is a device",
         [](auto&) {},
         0,
         false,
         3,
         {},
         [](const test::TempDir&, FilterFiles& files) { files.input = "/dev/zero"; }},
    };
    // Damage after whole pages, in each version of the stream.
    for (const int version : {1, 2, 3})
        for (const auto& tail : {std::vector<unsigned char>{7}, junk, cutHeader})
            cases.push_back({"trailing bytes", "the input ends with damage after page 1",
                             [](auto&) {}, 0, false, version, tail});
    if (geteuid() != 0) // root reads any file
        cases.push_back({"database unreadable",
                         "locked.vdb' cannot be read",
                         [](auto&) {},
                         0,
                         false,
                         3,
                         {},
                         [&](const test::TempDir& dir, FilterFiles& files) {
                             database("locked.vdb", 200000)(dir, files);
                             fs::permissions(dir.file("locked.vdb"), fs::perms::none);
                         }});
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.name) + ", version " + std::to_string(c.version) + ", " +
                     std::to_string(c.tail.size()) + " bytes after");
        std::vector<unsigned char> raster;
        if (c.damage) {
            RasterPage page = makePage(16, 4);
            c.damage(page.header);
            raster = rasterOfVersion(c.version, c.onPage2 ? std::vector{makePage(16, 4), page}
                                                          : std::vector{page});
            raster.resize(raster.size() - c.cutBytes);
        }
        raster.insert(raster.end(), c.tail.begin(), c.tail.end());
        const test::TempDir dir;
        FilterFiles files;
        if (c.setup)
            c.setup(dir, files);
        const ShellRun run = runFilter(raster, dir, files);
        EXPECT_EQ(run.status, 1) << run.err;
        EXPECT_NE(run.err.find("ERROR: "), std::string::npos) << run.err;
        EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
        // A sanitizer build reports faults on standard error with status 1 too.
        EXPECT_EQ(run.err.find("Sanitizer"), std::string::npos) << run.err;
        EXPECT_EQ(run.err.find("runtime error"), std::string::npos) << run.err;
        // Files are looked at before any raster is read.
        if (c.setup) {
            EXPECT_EQ(run.err.find("converting page 1"), std::string::npos) << run.err;
        }
        // Whole pages stay written; a page refused before its first line
        // writes nothing, not even its header.
        const bool pageWritten = c.onPage2 || (!c.tail.empty() && c.damage);
        EXPECT_EQ(readRaster(dir.file("out.ras")).size(), pageWritten ? 1u : 0u);
        if (!pageWritten) {
            EXPECT_EQ(fs::file_size(dir.file("out.ras")), 0u);
        }
        EXPECT_LT(run.maxRssKb, 256 * 1024) << "the filter's memory follows the raster that came";
    }
}

// A SIGTERM ends each wait promptly with an INFO: line and exit status 0.
TEST(CupsFilter, SigtermStopsTheJobWhereverItWaits) {
    const auto page = rawRaster({makePage(64, 400)});
    const RasterPage big = makePage(1000, 1000); // 4 MB of inks: more than the output pipe holds
    const struct {
        const char* name;
        std::vector<unsigned char> raster; // sent through a FIFO that stays open
        const char* waitFor;
        const char* message;
        bool outputStalls = false;
    } cases[] = {
        {"for a page's last lines",
         {page.begin(), page.end() - 64 * 3 * 2},
         "converting page 1",
         "stopped on request at line"},
        {"for the first page header",
         {},
         "reading raster",
         "stopped on request before the first page"},
        {"for the next page header", page, "PAGE: 1 1",
         "stopped on request while waiting for page 2"},
        {"for room in the output", rawRaster({big}), "converting page 1",
         "stopped on request while writing page 1", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        // The filter's standard input (and, where it stalls, its output) is
        // a FIFO that the shell keeps open; a filter that does not leave its
        // wait is killed after a minute.
        const test::TempDir dir;
        const fs::path in = test::writeBytesFile(dir.path(), "in.ras", c.raster);
        const std::string fifo = quote(dir.file("fifo").string()), log = dir.file("log").string();
        const std::string out = c.outputStalls ? quote(dir.file("out").string()) : "/dev/null";
        const ShellRun run = runShell(
            "mkfifo " + fifo + " " + quote(dir.file("out").string()) + "; exec 4<>" +
            quote(dir.file("out").string()) + "; PPD=" + quote(kSamplePpd.string()) + " " +
            quote(VREL_RASTERTOVREL) + " 1 user title 1 '' <" + fifo + " >" + out + " 2>" +
            quote(log) + " & pid=$!; exec 3>" + fifo + "; cat " + quote(in.string()) +
            " >&3; i=0; until grep -q " + quote(c.waitFor) + " " + quote(log) +
            " || [ $((i += 1)) -gt 600 ]; do sleep 0.1; done; sleep 0.5; kill -TERM $pid; " +
            "timeout 60 tail -s 0.1 --pid=$pid -f /dev/null; kill -KILL $pid; wait $pid");
        const std::string err = readText(log);
        EXPECT_EQ(run.status, 0) << err;
        EXPECT_NE(err.find("INFO: " + std::string(c.message)), std::string::npos) << err;
        EXPECT_EQ(err.find("ERROR:"), std::string::npos) << err;
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
