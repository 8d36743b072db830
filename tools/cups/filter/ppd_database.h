// The profile database of a queue, named in its PPD by the line
//   *vrelDatabase: "/usr/share/vrel/printer.vdb"
// A relative path is taken from the PPD's own folder.
#pragma once

#include "common/database_name.h"

#include <string>

namespace vrel::cups {

using vrel::tools::DatabaseLocation;

// Reads the PPD at ppdPath. Empty on success, otherwise what is wrong.
std::string findDatabase(const std::string& ppdPath, DatabaseLocation* location);

// The first line of the PPD that starts with `keyword` (say
// "*vrelDatabase:"), whole. Empty on success, otherwise what is wrong.
std::string findPpdLine(const std::string& ppdPath, const std::string& keyword, std::string* line);

// The quoted value of a "*Keyword: "value"" line, or empty.
std::string quotedValue(const std::string& line);

} // namespace vrel::cups
