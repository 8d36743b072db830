// The options of the engine-driving subcommands (convert, info and plot):
// the print settings that select a profile, and what each command takes.
#pragma once

#include "convert/engine_settings.h"

#include <CLI/CLI.hpp>
#include <cstdint>
#include <cstdio>
#include <iosfwd>
#include <string>

namespace vrel::cli {

struct ConversionOptions {
    std::string database;
    PrintSettings settings;
    std::string input, output, planesDir, preview;
    bool correct = false;
    int threads = 1;
    std::string compression = "deflate"; // of the ink TIFF
    bool noProgress = false;
    std::string plotOutput;
    int slice = -1;
    // Signed, so that a negative value is refused rather than wrapped.
    long long maxPixels = 1'000'000'000;
    long long maxImageMiB = 512; // for images decoded whole
    int page = 1;
    std::string inputProfile = "embedded";
    std::string databaseSpace = "srgb"; // the RGB space of the database's tables
    std::string outputProfile;          // the printer's ink profile, none when empty
    std::string dpi;                    // the outputs' resolution; the image's when empty
    // Progress is drawn here, when it is a terminal, for images above this size.
    std::FILE* progressStream = stderr;
    long progressPixels = 4'000'000;
};

// The settings options (--db, --settings, --profile, --key14 ...) of one
// command, into `options`.
void addSettingsOptions(CLI::App* command, ConversionOptions& options);
// The same without --db, for commands that name their databases otherwise.
void addProfileSelectionOptions(CLI::App* command, PrintSettings& settings);

} // namespace vrel::cli
