// The "db" subcommands: build a database from its JSON description, dump a
// database as such a description (or as a readable summary), check a file
// against the engine's loading rules.
#pragma once

#include "files/output_budget.h"

#include <CLI/CLI.hpp>
#include <cstdint>
#include <iosfwd>
#include <string>

namespace vrel::cli {

// db build, db dump and db check.
void addDatabaseCommands(CLI::App& app);

// Errors name the description file and the JSON path; warnings are written
// to `warnings` as "vrel: warning: ..." lines.
void buildDatabaseFile(const std::string& descriptionPath, const std::string& outputPath,
                       uint64_t maxBytes, std::ostream& warnings);
void dumpDatabaseFile(const std::string& databasePath, const std::string& outputPath, bool summary,
                      std::ostream& out);

} // namespace vrel::cli
