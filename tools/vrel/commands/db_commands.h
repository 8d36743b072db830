// The "db" subcommands: build a database from its JSON description, dump a
// database as such a description (or as a readable summary), check a file
// against the engine's loading rules.
#pragma once

#include "files/output_budget.h"

#include <CLI/CLI.hpp>
#include <cstdint>
#include <filesystem>
#include <iosfwd>
#include <nlohmann/json.hpp>
#include <string>
#include <vrel/dbwriter.h>

namespace vrel::cli {

// db build, db dump and db check.
void addDatabaseCommands(CLI::App& app);

// Errors name the description file and the JSON path; warnings are written
// to `warnings` as "vrel: warning: ..." lines.
void buildDatabaseFile(const std::string& descriptionPath, const std::string& outputPath,
                       uint64_t maxBytes, std::ostream& warnings);
// The same from a description already parsed: relative ICC paths are taken
// from `base`, and errors and warnings start with `label` (which names the
// description).
void buildDatabaseFromJson(const nlohmann::json& root, const std::filesystem::path& base,
                           const std::string& label, const std::string& outputPath,
                           uint64_t maxBytes, std::ostream& warnings);
// A database file as the writer's description; throws CliError naming the
// file when it cannot be read or parsed.
dbwriter::Database readDatabase(const std::string& path);
void dumpDatabaseFile(const std::string& databasePath, const std::string& outputPath, bool summary,
                      std::ostream& out);

} // namespace vrel::cli
