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

} // namespace vrel::cups
