#include "common/database_name.h"

#include <algorithm>
#include <cstring>

namespace vrel::tools {

DatabaseLocation locateDatabase(const std::filesystem::path& path) {
    return {path.parent_path().string(), path.filename().string()};
}

bool databaseNameFits(const std::string& name) {
    return !name.empty() && name.size() <= VREL_DATABASE_NAME_SIZE;
}

void nameDatabase(ParamRecord& params, const std::string& name, const std::string& directory) {
    static_assert(sizeof params.databaseName == VREL_DATABASE_NAME_SIZE);
    std::memset(params.databaseName, 0, sizeof params.databaseName);
    std::memcpy(params.databaseName, name.data(),
                std::min(name.size(), sizeof params.databaseName));
    params.directoryName = directory.empty() ? nullptr : directory.c_str();
}

} // namespace vrel::tools
