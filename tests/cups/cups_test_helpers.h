// Shared by the CUPS filter tests: shell runs, raster pages written and
// read with libcups (stream versions 1, 2 and 3), the filter run alone on a
// raster file, and the check of ink raster against the engine's conversion.
#pragma once

#include "support/test_support.h"

#include <cstring>
#include <cups/raster.h>
#include <filesystem>
#include <string>
#include <vector>

namespace vrel::cups_test {

namespace fs = std::filesystem;

inline const fs::path kSampleDir = fs::path(VREL_SOURCE_DIR) / "data" / "sample";
inline const fs::path kSamplePpd = kSampleDir / "vrel-demo-inkjet.ppd";

std::string quote(const std::string& text); // no path or option here holds a quote

struct ShellRun {
    int status = -1; // exit status, -1 when the process died of a signal
    std::string err;
    long maxRssKb = 0; // the largest resident size of the shell and what it ran
};

std::string readText(const fs::path& path);
ShellRun runShell(const std::string& command);

// cupsfilter with a cups-files.conf of its own in `dir`: ServerBin holds the
// system's filters (without the Ghostscript and MuPDF renderers, so that PDF
// pages go through pdftoraster) and, as rastertovrel, a script that keeps a
// copy of the raster it is handed (dir/captured.ras) before it runs the
// filter given (the built one unless named); the built rastertovrel-gutenprint
// is there too. Prints input through the PPD into output.
ShellRun print(const test::TempDir& dir, const fs::path& input,
               const std::vector<std::string>& options, const fs::path& output,
               const fs::path& ppd = kSamplePpd, const fs::path& filter = VREL_RASTERTOVREL);

struct RasterPage {
    cups_page_header2_t header{};
    std::vector<unsigned char> data; // every line (planar: every plane) in file order
};

// Reads every page with the CUPS raster API; a short page fails the test.
std::vector<RasterPage> readRaster(const fs::path& path);
// An RGB page (or, with one colour, a black one) of 8-bit samples.
RasterPage makePage(unsigned width, unsigned height, unsigned colours = 3);
// Uncompressed (version 3) raster of the pages exactly as given.
std::vector<unsigned char> rawRaster(const std::vector<RasterPage>& pages);
// Version 1 raster: uncompressed, with the short page header.
std::vector<unsigned char> v1Raster(const std::vector<RasterPage>& pages);
// Version 2 raster: run-length compressed, written by libcups.
std::vector<unsigned char> v2Raster(const std::vector<RasterPage>& pages);
std::vector<unsigned char> rasterOfVersion(int version, const std::vector<RasterPage>& pages);

// An enumerated header field set to a word outside its enumeration.
template <class Enum> void setWord(Enum& field, unsigned word) {
    std::memcpy(&field, &word, sizeof word);
}

struct Layout {
    cups_cspace_t space;
    unsigned colours, bits;
    cups_order_t order;
    std::vector<int> inks; // engine ink of each output colour
};

// Checks the header fields of the ink raster and every byte of the page.
void expectInkPage(const RasterPage& in, const RasterPage& out, const test::ParamBuilder& settings,
                   const Layout& layout);

// The sample PPD naming `database` as its database, in dir.
fs::path ppdNaming(const test::TempDir& dir, const std::string& database);

struct FilterFiles {
    fs::path ppd = kSamplePpd;
    fs::path input; // the raster file; dir/in.ras unless set
};

// The built filter alone on raster (written to dir/in.ras), its ink raster
// in dir/out.ras.
ShellRun runFilter(const std::vector<unsigned char>& raster, const test::TempDir& dir,
                   const FilterFiles& files = {});

} // namespace vrel::cups_test
