// The profile database of a queue, named in its PPD by the line
//   *vrelDatabase: "/usr/share/vrel/printer.vdb"
// A relative path is taken from the PPD's own folder.
#pragma once

#include <string>

namespace vrel::cups {

struct DatabaseLocation {
    std::string directory; // empty: the working directory
    std::string name;      // the file name, at most 20 bytes
};

// Reads the PPD at ppdPath. Empty on success, otherwise what is wrong.
std::string findDatabase(const std::string& ppdPath, DatabaseLocation* location);

} // namespace vrel::cups
