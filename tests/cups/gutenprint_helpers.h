// Shared by the tests of vrel's colour in front of Gutenprint: the printer's
// PPD from Gutenprint's driver, the PPD merged with a database, flat test
// pages and the dots of the printer-language output.
#pragma once

#include "cups_test_helpers.h"
#include "escp2_dots.h"

#include <filesystem>
#include <string>

namespace vrel::cups_test {

inline const fs::path kGutenprintDriver = "/usr/lib/cups/driver/gutenprint.5.3";

// Skips the test, with the reason, where Gutenprint's drivers are missing.
#define SKIP_WITHOUT_GUTENPRINT()                                                                  \
    if (!fs::exists(kGutenprintDriver))                                                            \
    GTEST_SKIP() << "Gutenprint's drivers are not installed (printer-driver-gutenprint)"

// The Epson model's PPD (say "r2400"), from `gutenprint.5.3 cat`, in dir.
fs::path gutenprintPpd(const test::TempDir& dir, const std::string& model);

// The database built from tests/cups/data/grey-to-black.json in dir: one
// four-ink profile whose neutral greys go to black ink only.
fs::path greyToBlackDatabase(const test::TempDir& dir);

// `vrel ppd --printer-ppd` of the printer's PPD and the database; the
// warnings it gave go to *warnings when given.
fs::path mergedPpd(const test::TempDir& dir, const fs::path& printer, const fs::path& database,
                   std::string* warnings = nullptr);

enum class Flat { White, Cyan, GreyRamp };

// A 300 x 200 binary PPM of the page: white, or a ramp from white on the
// left to full cyan or black on the right.
fs::path flatPage(const test::TempDir& dir, Flat page);

std::vector<unsigned char> readBytes(const fs::path& path);

} // namespace vrel::cups_test
