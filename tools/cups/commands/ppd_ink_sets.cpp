#include "ppd_ink_sets.h"

#include "common/name_text.h"
#include "ppd_probe.h"
#include "ppd_text.h"
#include "resources/database_format.h"

#include <cctype>
#include <fmt/format.h>
#include <unordered_set>

namespace vrel::cli {

namespace {

using namespace vrel::dbwriter;

// A choice keyword: the letters and digits of the name (32 at most, a letter
// first), else InkSetN; _N added when another ink set has it already.
std::string keywordFor(const std::string& name, std::unordered_set<std::string>* taken,
                       int number) {
    std::string keyword = ppdtext::keywordLetters(name, 32);
    if (keyword.empty() || !std::isalpha(static_cast<unsigned char>(keyword[0])))
        keyword = fmt::format("InkSet{}", number);
    if (!taken->insert(keyword).second) {
        keyword += fmt::format("_{}", number);
        taken->insert(keyword);
    }
    return keyword;
}

bool printsWith(int method) {
    return method == VrelMethodBlack || method == VrelMethodFourColor ||
           method == VrelMethodSixColor || method == VrelMethodSevenColor;
}

// The choice's translation and keyword, from the entry's names.
void nameInkSet(const ProfileEntry& entry, int number, std::unordered_set<std::string>* keywords,
                InkSet* set) {
    set->text = bytesOf(entry.name2).empty() ? bytesOf(entry.name1) : bytesOf(entry.name2);
    if (set->text.empty())
        set->text = fmt::format("Profile {}, ink set {}", set->params.profileNumber, number);
    const std::string name1 = bytesOf(entry.name1);
    set->keyword = keywordFor(name1.empty() ? set->text : name1, keywords, number);
}

// The ink sets of one profile index record. VrelInit takes the first entry
// with the key it composes, so a later entry with the same key is never
// opened and gives no ink set.
void addInkSets(const Database& db, std::size_t recordIndex, const std::filesystem::path& path,
                std::unordered_set<std::string>* keywords, std::vector<InkSet>* sets) {
    const Record& record = db.records[recordIndex];
    const auto& index = std::get<ProfileIndex>(record.content);
    if (index.entries.empty())
        return;
    const int layout = decodeLayout(index.layoutWord);
    EntryProbe probe(db, recordIndex, path);
    std::unordered_set<uint32_t> keys;
    for (const auto& entry : index.entries) {
        InkSet set;
        set.params.profileNumber = static_cast<uint16_t>(record.id - kProfileIdBase);
        if (!keys.insert(entry.key).second ||
            !vrel::format::splitProfileKey(entry.key, layout, &set.params))
            continue;
        set.method = probe.method(entry, set.params);
        if (!printsWith(set.method))
            continue;
        nameInkSet(entry, static_cast<int>(sets->size()) + 1, keywords, &set);
        set.hasCorrection = (entry.tableIds[0] & 0xffff) != 0;
        sets->push_back(std::move(set));
    }
}

} // namespace

std::string bytesOf(const Name24& name) {
    return std::string(tools::nameText(name.data(), name.size()));
}

std::vector<InkSet> inkSets(const Database& db, const std::filesystem::path& path) {
    std::vector<InkSet> sets;
    std::unordered_set<std::string> keywords;
    std::unordered_set<uint16_t> ids;
    for (std::size_t i = 0; i < db.records.size(); ++i) {
        const Record& record = db.records[i];
        if (record.recordClass != kProfileClass || !ids.insert(record.id).second ||
            !std::holds_alternative<ProfileIndex>(record.content))
            continue;
        addInkSets(db, i, path, &keywords, &sets);
    }
    return sets;
}

int inkCount(int method) {
    switch (method) {
    case VrelMethodBlack:
        return 1;
    case VrelMethodSixColor:
        return 6;
    case VrelMethodSevenColor:
        return 7;
    default:
        return 4;
    }
}

} // namespace vrel::cli
