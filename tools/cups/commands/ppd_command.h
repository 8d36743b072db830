// vrel ppd: a PPD for the CUPS filter rastertovrel, written from a database's
// profiles. Each profile the engine can print with (black only, four, six or
// seven inks) becomes a choice of the ink set option, whose code puts the
// profile's number and key fields into the raster page header; colour model,
// raster format, colour order, colour adjustment, density and balance are
// further options. Every text goes into the PPD by its field's rules or is
// refused (ppd_text.h). With a printer's PPD, vrel's options are merged into
// it instead (ppd_merge.h).
#pragma once

#include <CLI/CLI.hpp>
#include <string>

namespace vrel::cli {

struct PpdOptions {
    std::string database;     // the database file to read
    std::string databasePath; // what the PPD's *vrelDatabase names; default: absolute path
    std::string model;        // printer model name; default: the database's extension name
    std::string printerPpd;   // a printer driver's PPD to merge with; empty: none
    std::string output;       // PPD file; empty or "-": standard output
};

// Adds the command; its options live as long as the app.
void addPpdCommand(CLI::App& app);

// The PPD text for the options.
std::string makePpd(const PpdOptions& options);

} // namespace vrel::cli
