// Helpers of the CUPS filter tests: a test-local CUPS configuration whose
// ServerBin holds the built filter, shell runs, and CUPS raster read and
// written byte by byte.
#pragma once

#include "support/test_support.h"

#include <cups/raster.h>
#include <filesystem>
#include <string>
#include <vector>

namespace vrel::cupstest {

struct ShellRun {
    int status = -1; // exit status, -1 when the process died of a signal
    std::string err;
};

// Runs a shell command; its standard error is captured.
ShellRun runShell(const std::string& command);
std::string quote(const std::string& text);

// cupsfilter with a cups-files.conf of its own: ServerBin holds the system's
// filters (without the Ghostscript and MuPDF renderers, so that PDF pages go
// through pdftoraster) and, as rastertovrel, a script that keeps a copy of
// the raster it is handed before it runs the built filter.
class FilterChain {
  public:
    // filter: the rastertovrel that the chain ends in.
    explicit FilterChain(const std::filesystem::path& filter = VREL_RASTERTOVREL);
    // Prints input through the PPD into output (-m printer/foo).
    ShellRun print(const std::filesystem::path& ppd, const std::filesystem::path& input,
                   const std::vector<std::string>& options,
                   const std::filesystem::path& output) const;
    std::filesystem::path captured() const { return dir_.file("captured.ras"); }
    const test::TempDir& dir() const { return dir_; }

  private:
    test::TempDir dir_;
};

struct RasterPage {
    cups_page_header2_t header{};
    std::vector<unsigned char> data; // every line (planar: every plane) in file order
};
// Reads every page with the CUPS raster API; a short page fails the test.
std::vector<RasterPage> readRaster(const std::filesystem::path& path);
// Uncompressed (version 3) raster of the pages exactly as given.
std::vector<unsigned char> rawRaster(const std::vector<RasterPage>& pages);

} // namespace vrel::cupstest
