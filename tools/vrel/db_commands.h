// The "db" subcommands: build a database from its JSON description, dump a
// database as such a description (or as a readable summary), check a file
// against the engine's loading rules.
#pragma once

#include <iosfwd>
#include <string>

namespace vrel::cli {

void buildDatabaseFile(const std::string& descriptionPath, const std::string& outputPath);
void dumpDatabaseFile(const std::string& databasePath, const std::string& outputPath, bool summary,
                      std::ostream& out);

} // namespace vrel::cli
