// How a parameter record names its database: the file name (at most
// VREL_DATABASE_NAME_SIZE bytes) and the folder that holds it.
#pragma once

#include <filesystem>
#include <string>
#include <vrel/vrel.h>

namespace vrel::tools {

struct DatabaseLocation {
    std::string directory; // empty: the working directory
    std::string name;      // the file name
};

// The folder and file name of a database path.
DatabaseLocation locateDatabase(const std::filesystem::path& path);

// Whether a file name fits the record's databaseName: 1 to
// VREL_DATABASE_NAME_SIZE bytes.
bool databaseNameFits(const std::string& name);

// Names the database in params: databaseName holds the name (zero-padded;
// a longer name is cut, so check it with databaseNameFits first),
// directoryName points at directory's text (null when empty), which must
// outlive the record's use.
void nameDatabase(ParamRecord& params, const std::string& name, const std::string& directory);

} // namespace vrel::tools
