#include "ppd_database.h"

#include <filesystem>
#include <fstream>
#include <vrel/vrel.h>

namespace vrel::cups {

std::string findDatabase(const std::string& ppdPath, DatabaseLocation* location) {
    std::ifstream ppd(ppdPath);
    if (!ppd)
        return "cannot read the PPD '" + ppdPath + "'";
    const std::string keyword = "*vrelDatabase:";
    std::string line;
    while (std::getline(ppd, line)) {
        if (line.compare(0, keyword.size(), keyword) != 0)
            continue;
        const auto open = line.find('"');
        const auto close = line.rfind('"');
        if (open == std::string::npos || close <= open + 1)
            return "the PPD's *vrelDatabase line has no quoted path";
        std::filesystem::path path = line.substr(open + 1, close - open - 1);
        if (path.is_relative())
            path = std::filesystem::path(ppdPath).parent_path() / path;
        location->name = path.filename().string();
        location->directory = path.parent_path().string();
        if (location->name.empty() || location->name.size() > VREL_DATABASE_NAME_SIZE)
            return "the database file name '" + location->name + "' is not 1 to " +
                   std::to_string(VREL_DATABASE_NAME_SIZE) + " bytes long";
        return {};
    }
    return "the PPD '" + ppdPath + "' has no *vrelDatabase line";
}

} // namespace vrel::cups
