// vrel ppd --printer-ppd: vrel's colour in front of a printer driver that
// reads CUPS raster and can take its colour as given (Gutenprint's Raw colour
// correction). The printer's PPD is kept (media, resolutions, quality modes,
// ink sets), with these changes:
//   - its raster filter is rastertovrel-gutenprint, which runs the vrel
//     stage and hands the ink raster to the filter the PPD named, recorded
//     as *vrelPrinterFilter;
//   - StpColorCorrection offers Raw alone and ColorModel RGB alone, so that
//     pages are rendered in RGB and the driver does not correct vrel's
//     colour a second time;
//   - vrel's options and *vrelDatabase are added in a group of their own;
//   - *cupsLanguages goes: vrel's options have no translations.
// The driver reads at most four raw channels, so ink sets of six or seven
// inks are left out with a warning.
#pragma once

#include "ppd_ink_sets.h"

#include <ostream>
#include <string>
#include <vector>

namespace vrel::cli {

inline constexpr const char* kBridgeFilter = "rastertovrel-gutenprint";

struct PrinterPpd {
    std::string path; // for messages
    std::string text; // the whole file
};

struct MergeSource {
    std::string databaseName; // the database file's name, for the comment
    std::string databasePath; // what *vrelDatabase names
};

// The ink sets the driver can print: those of one or four inks; each one
// left out is named on `warnings`. A CliError when none is left.
std::vector<InkSet> driverInkSets(const std::vector<InkSet>& sets, std::ostream& warnings);

// The merged PPD, or a CliError naming what the printer's PPD lacks.
std::string mergePrinterPpd(const PrinterPpd& printer, const MergeSource& source,
                            const std::vector<InkSet>& sets);

} // namespace vrel::cli
