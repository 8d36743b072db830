#include "cups_test_helpers.h"

#include <array>
#include <fcntl.h>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace vrel::cups_test {

std::string quote(const std::string& text) {
    return "'" + text + "'";
}

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
// filter given (the built one unless named); the built rastertovrel-gutenprint
// is there too. Prints input through the PPD into output.
ShellRun print(const test::TempDir& dir, const fs::path& input,
               const std::vector<std::string>& options, const fs::path& output, const fs::path& ppd,
               const fs::path& filter) {
    const fs::path filters = dir.path() / "serverbin" / "filter";
    if (fs::create_directories(filters)) {
        for (const auto& entry : fs::directory_iterator(VREL_CUPS_FILTER_DIR)) {
            const std::string name = entry.path().filename().string();
            if (name != "gstoraster" && name != "mupdftoraster" && name != "rastertovrel" &&
                name != "rastertovrel-gutenprint")
                fs::create_symlink(entry.path(), filters / name);
        }
        fs::create_symlink(VREL_BRIDGE, filters / "rastertovrel-gutenprint");
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

namespace {

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

} // namespace

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

// An RGB page (or, with one colour, a black one) of 8-bit samples.
RasterPage makePage(unsigned width, unsigned height, unsigned colours) {
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

// The sample PPD naming `database` as its database, in dir.
fs::path ppdNaming(const test::TempDir& dir, const std::string& database) {
    std::string text = readText(kSamplePpd);
    const std::string line = "*vrelDatabase: \"sample.vdb\"";
    text.replace(text.find(line), line.size(), "*vrelDatabase: \"" + database + "\"");
    std::ofstream(dir.file("queue.ppd")) << text;
    return dir.file("queue.ppd");
}

ShellRun runFilter(const std::vector<unsigned char>& raster, const test::TempDir& dir,
                   const FilterFiles& files) {
    test::writeBytesFile(dir.path(), "in.ras", raster);
    const fs::path input = files.input.empty() ? dir.file("in.ras") : files.input;
    return runShell("PPD=" + quote(files.ppd.string()) + " timeout 60 " + quote(VREL_RASTERTOVREL) +
                    " 1 user title 1 '' " + quote(input.string()) + " >" +
                    quote(dir.file("out.ras").string()));
}

} // namespace vrel::cups_test
