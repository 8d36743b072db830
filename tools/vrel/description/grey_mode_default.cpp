#include "grey_mode_default.h"

namespace vrel::cli {

using namespace vrel::dbwriter;

void applyDefaultGreyMode(Record& profile, const JsonNode& node,
                          const std::map<uint16_t, std::string>& computedTables,
                          std::vector<std::string>& warnings) {
    auto* index = std::get_if<ProfileIndex>(&profile.content);
    if (!index || node.has("greyMode") || node.has("layoutWord"))
        return;
    // The first entry that converts through a computed table (method 1,
    // black only, reads no table).
    const std::string* source = nullptr;
    uint16_t table = 0;
    for (const auto& entry : index->entries) {
        const auto it = computedTables.find(static_cast<uint16_t>(entry.lutChunk));
        if (it != computedTables.end() && channelCountOf(entry.descriptors) != 1) {
            source = &it->second;
            table = it->first;
            break;
        }
    }
    if (!source)
        return;
    const int layout = decodeLayout(index->layoutWord);
    if (layout == 0) {
        warnings.push_back(node.path() + ": layout 0 stores no grey mode, so the fixed grey " +
                           "curve lightens every colour before the " + *source + " table " +
                           hexNumber(table, 4) + "; use layout 1 or 2 to reproduce it");
        return;
    }
    index->layoutWord |= greyModeFlags(2);
}

} // namespace vrel::cli
