// dbwriter::Database -> JSON description (the inverse of description_read).
#include "common/name_text.h"
#include "description.h"
#include "json_reader.h"
#include "resources/database_format.h"

#include <cstring>
#include <fmt/format.h>

namespace vrel::cli {

using namespace vrel::dbwriter;
using json = nlohmann::ordered_json;

namespace {

// Text when the bytes are printable characters followed by zero bytes only.
template <std::size_t N> json textJson(const std::array<uint8_t, N>& bytes) {
    if (tools::isPlainName(bytes.data(), N))
        return std::string(tools::nameText(bytes.data(), N));
    return json{{"hex", toHex(bytes.data(), N)}};
}

template <std::size_t N> bool allZero(const std::array<uint8_t, N>& bytes) {
    for (auto b : bytes)
        if (b)
            return false;
    return true;
}

void writeRecordOptions(json& out, const Record& record, uint32_t defaultClass) {
    if (record.recordClass != defaultClass)
        out["class"] = record.recordClass;
    if (record.directorySpare)
        out["directorySpare"] = record.directorySpare;
    if (record.sizeOverride)
        out["sizeOverride"] = *record.sizeOverride;
    static const char* const names[] = {"default", "none", "profileDirectory", "chunkDirectory",
                                        "both"};
    if (record.listing != Listing::Default)
        out["listing"] = names[static_cast<int>(record.listing)];
}

json keyJson(uint32_t key, int layout) {
    ParamRecord params;
    std::memset(&params, 0, sizeof params);
    if (!vrel::format::splitProfileKey(key, layout, &params))
        return hexNumber(key, 8);
    json fields = json::object();
    fields["keyField94"] = params.keyField94;
    fields["keyField14"] = params.keyField14;
    fields["keyField16"] = params.keyField16;
    fields["keyField104"] = params.keyField104;
    if (layout == 2) {
        fields["keyField106"] = params.keyField106;
        fields["keyField108"] = params.keyField108;
    }
    return fields;
}

json entryJson(const ProfileEntry& entry, int layout) {
    json out = json::object();
    out["key"] = keyJson(entry.key, layout);
    out["tableIds"] = {entry.tableIds[0], entry.tableIds[1], entry.tableIds[2]};
    out["lutChunk"] = entry.lutChunk;
    const int count = channelCountOf(entry.descriptors);
    bool described = false;
    for (bool e256 : {false, true})
        if (!described && (!e256 || count == 3) &&
            descriptorsForChannels(count, e256) == entry.descriptors) {
            out["channels"] = count;
            if (e256)
                out["fourWithE256"] = true;
            described = true;
        }
    if (!described) {
        json list = json::array();
        for (const auto& d : entry.descriptors)
            list.push_back({{"a", d.a},
                            {"b", d.b},
                            {"c", d.c},
                            {"d", d.d},
                            {"e", d.e},
                            {"f", d.f},
                            {"word1High", d.word1High},
                            {"word2High", d.word2High}});
        out["descriptors"] = list;
    }
    out["name1"] = textJson(entry.name1);
    out["name2"] = textJson(entry.name2);
    out["searchKey"] = hexNumber(entry.searchKey, 8);
    out["searchPair"] = hexNumber(entry.searchPair, 8);
    out["value"] = entry.profileValueWord();
    if (!allZero(entry.unusedHead))
        out["unusedHead"] = toHex(entry.unusedHead.data(), entry.unusedHead.size());
    if (entry.unusedWord)
        out["unusedWord"] = hexNumber(entry.unusedWord, 8);
    if (!allZero(entry.unusedTail))
        out["unusedTail"] = toHex(entry.unusedTail.data(), entry.unusedTail.size());
    if (!entry.extra.empty())
        out["extra"] = toHex(entry.extra.data(), entry.extra.size());
    return out;
}

json profileJson(const Record& record, const ProfileIndex& index) {
    json out = json::object();
    out["profileNumber"] = static_cast<uint16_t>(record.id - kProfileIdBase);
    const int layout = decodeLayout(index.layoutWord);
    const uint32_t flags = decodeRecordFlags(index.layoutWord);
    const bool regular = layout >= 0 && layout <= 2 &&
                         makeLayoutWord(static_cast<uint16_t>(layout), flags) == index.layoutWord;
    if (regular) {
        out["layout"] = layout;
        if (flags & kFlagNoBlackBalance)
            out["noBlackBalance"] = true;
        if (flags & kFlagExtension)
            out["extension"] = true;
        if ((flags >> 18) & 3)
            out["greyMode"] = (flags >> 18) & 3;
        const uint32_t rest = flags & ~(kFlagNoBlackBalance | kFlagExtension | greyModeFlags(3));
        if (rest)
            out["recordFlags"] = hexNumber(rest, 8);
    } else {
        out["layoutWord"] = hexNumber(index.layoutWord, 8);
    }
    if (!regular || index.entryLayout != layout)
        out["entryLayout"] = index.entryLayout;
    if (index.extraWords)
        out["extraWords"] = index.extraWords;
    if (index.profileCountOverride)
        out["profileCountOverride"] = *index.profileCountOverride;
    if (index.entryWordsOverride)
        out["entryWordsOverride"] = *index.entryWordsOverride;
    if (!index.trailing.empty())
        out["trailing"] = toHex(index.trailing.data(), index.trailing.size());
    writeRecordOptions(out, record, kProfileClass);
    json entries = json::array();
    for (const auto& e : index.entries)
        entries.push_back(entryJson(e, index.entryLayout));
    out["entries"] = entries;
    return out;
}

json nodeList(const Bytes& nodes) {
    json list = json::array();
    for (auto v : nodes)
        list.push_back(v);
    return list;
}

json tableJson(const Record& record, const ColourTable& table) {
    json out = json::object();
    out["id"] = record.id;
    std::size_t points = kDefaultGridPoints;
    if (!table.marked) {
        out["marked"] = false;
    } else {
        out["headerType"] = table.headerType;
        if (table.headerType == 1) {
            out["nodes"] = nodeList(table.nodes);
            if (!table.nodes.empty())
                points = table.nodes.size();
        } else if (table.headerType == 2) {
            json sets = json::array();
            for (const auto& set : table.nodeSets)
                sets.push_back(nodeList(set));
            out["nodeSets"] = sets;
            if (table.type2Spare)
                out["type2Spare"] = table.type2Spare;
            if (!table.nodeSets.empty() && !table.nodeSets[0].empty())
                points = table.nodeSets[0].size();
        }
        if (table.pointCountOverride)
            out["pointCountOverride"] = *table.pointCountOverride;
        if (table.nodeSetCountOverride)
            out["nodeSetCountOverride"] = *table.nodeSetCountOverride;
    }
    const std::size_t cells = points * points * points;
    const std::size_t size = table.data.size();
    if (size > 0 && size % cells == 0 && size / cells <= 16) {
        // One hex string per channel, in channel order.
        out["channels"] = size / cells;
        json parts = json::array();
        for (std::size_t q = 0; q < size / cells; ++q)
            parts.push_back(toHex(table.data.data() + q * cells, cells));
        out["data"] = parts;
    } else {
        out["data"] = toHex(table.data.data(), size);
    }
    writeRecordOptions(out, record, kChunkClass);
    return out;
}

json extensionJson(const Record& record, const ExtensionChunk& ext) {
    json out = json::object();
    out["id"] = record.id;
    if (ext.unused)
        out["unused"] = ext.unused;
    if (ext.extSize != kExtensionSize)
        out["extSize"] = ext.extSize;
    out["name9"] = textJson(ext.extName9);
    out["name1"] = textJson(ext.extName1);
    out["name10"] = textJson(ext.extName10);
    out["searchKey"] = hexNumber(ext.extSearchKey, 8);
    out["searchPair"] = hexNumber(ext.extSearchPair, 8);
    out["value"] = ext.extProfileValue;
    if (!ext.trailing.empty())
        out["trailing"] = toHex(ext.trailing.data(), ext.trailing.size());
    writeRecordOptions(out, record, kChunkClass);
    return out;
}

json directoryJson(const DirectoryOptions& options, const std::vector<std::string>& names) {
    json out = json::object();
    if (options.entryCountOverride)
        out["entryCountOverride"] = *options.entryCountOverride;
    if (options.offsetOverride)
        out["offsetOverride"] = *options.offsetOverride;
    if (!options.extraEntries.empty()) {
        json list = json::array();
        for (const auto& e : options.extraEntries) {
            json item = {{"class", e.entryClass}, {"id", e.id}};
            if (e.spare)
                item["spare"] = e.spare;
            if (e.recordIndex && *e.recordIndex < names.size())
                item["record"] = names[*e.recordIndex];
            else
                item["offset"] = e.recordOffset;
            list.push_back(item);
        }
        out["extraEntries"] = list;
    }
    return out;
}

json rawJson(const Record& record) {
    const auto& data = std::get<RawData>(record.content).bytes;
    json item = {{"class", record.recordClass},
                 {"id", record.id},
                 {"data", toHex(data.data(), data.size())}};
    writeRecordOptions(item, record, record.recordClass);
    return item;
}

// The records by kind, and their names ("tables/0") in file order.
struct RecordLists {
    json profiles = json::array();
    json tables = json::array();
    json extensions = json::array();
    json raw = json::array();
    std::vector<std::string> names;
};

RecordLists recordLists(const Database& db) {
    RecordLists l;
    for (const auto& record : db.records) {
        if (const auto* p = std::get_if<ProfileIndex>(&record.content)) {
            l.names.push_back(fmt::format("profiles/{}", l.profiles.size()));
            l.profiles.push_back(profileJson(record, *p));
        } else if (const auto* t = std::get_if<ColourTable>(&record.content)) {
            l.names.push_back(fmt::format("tables/{}", l.tables.size()));
            l.tables.push_back(tableJson(record, *t));
        } else if (const auto* e = std::get_if<ExtensionChunk>(&record.content)) {
            l.names.push_back(fmt::format("extensions/{}", l.extensions.size()));
            l.extensions.push_back(extensionJson(record, *e));
        } else {
            l.names.push_back(fmt::format("rawRecords/{}", l.raw.size()));
            l.raw.push_back(rawJson(record));
        }
    }
    return l;
}

// Profiles, then tables, extensions and raw records.
std::vector<std::string> defaultOrder(const RecordLists& l) {
    std::vector<std::string> order;
    for (const char* kind : {"profiles", "tables", "extensions", "rawRecords"}) {
        const std::size_t count = std::string(kind) == "profiles"     ? l.profiles.size()
                                  : std::string(kind) == "tables"     ? l.tables.size()
                                  : std::string(kind) == "extensions" ? l.extensions.size()
                                                                      : l.raw.size();
        for (std::size_t i = 0; i < count; ++i)
            order.push_back(fmt::format("{}/{}", kind, i));
    }
    return order;
}

json patchesJson(const std::vector<Patch>& patches) {
    json list = json::array();
    for (const auto& p : patches)
        list.push_back({{"offset", p.offset}, {"data", toHex(p.bytes.data(), p.bytes.size())}});
    return list;
}

} // namespace

json databaseToJson(const Database& db) {
    json out = json::object();
    out["format"] = "vrel profile database description";
    out["tag"] = textJson(db.tag);
    out["version"] = db.version;
    if (db.directoryLayout == DirectoryLayout::Shared)
        out["directoryLayout"] = "shared";
    const RecordLists lists = recordLists(db);
    out["profiles"] = lists.profiles;
    out["tables"] = lists.tables;
    if (!lists.extensions.empty())
        out["extensions"] = lists.extensions;
    if (!lists.raw.empty())
        out["rawRecords"] = lists.raw;
    // The order is spelled out only when it is not the default one.
    if (defaultOrder(lists) != lists.names)
        out["recordOrder"] = lists.names;
    const auto profileDir = directoryJson(db.profileDirectory, lists.names);
    const auto chunkDir = directoryJson(db.chunkDirectory, lists.names);
    if (!profileDir.empty())
        out["profileDirectory"] = profileDir;
    if (!chunkDir.empty())
        out["chunkDirectory"] = chunkDir;
    if (!db.patches.empty())
        out["patches"] = patchesJson(db.patches);
    if (db.truncateAt)
        out["truncateAt"] = *db.truncateAt;
    return out;
}

} // namespace vrel::cli
