// vrel db compare: how far two databases' conversions of the same colours
// lie apart, or one database's conversion from lcms2's own transform into
// a CMYK profile, in ink levels and (through a CMYK profile) in CIEDE2000.
#pragma once

#include "convert/engine_settings.h"

#include <CLI/CLI.hpp>
#include <iosfwd>
#include <string>

namespace vrel::cli {

struct CompareOptions {
    std::string first, second; // databases; second empty with againstProfile
    PrintSettings settings;    // the profile compared, in both databases
    std::string outputProfile; // CMYK profile for colour differences of two databases
    std::string againstProfile;
    std::string intent = "perceptual"; // of the transform into againstProfile
    bool blackPointCompensation = false;
    std::string image; // compared pixel by pixel besides the sRGB grid
    bool json = false;
};

// Colour levels of the sRGB grid: every kGridStep-th, 0 to 255.
inline constexpr int kGridStep = 5;

// Throws CliError for options that do not fit together and for files that
// cannot be used; writes the table (or JSON) to `out`.
void runCompare(const CompareOptions& options, std::ostream& out);

// Adds "compare" to the db command.
void addCompareCommand(CLI::App* db);

} // namespace vrel::cli
