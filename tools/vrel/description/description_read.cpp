// JSON description -> dbwriter::Database: the top level, the extension and
// raw records, and the writer's options.
#include "description.h"
#include "description_records.h"
#include "files/output_budget.h"
#include "grey_mode_default.h"
#include "json_reader.h"

#include <fmt/format.h>
#include <map>

namespace vrel::cli {

using namespace vrel::dbwriter;

std::vector<uint8_t> evenNodes(int points) {
    std::vector<uint8_t> nodes;
    for (int i = 0; i < points; ++i)
        nodes.push_back(static_cast<uint8_t>((i * 255 * 2 + (points - 1)) / (2 * (points - 1))));
    return nodes;
}

namespace description_detail {

void readRecordOptions(const JsonNode& node, Record& record) {
    if (const auto f = node.optionalField("class"))
        record.recordClass = static_cast<uint32_t>(f->integer(0, kU32));
    if (const auto f = node.optionalField("directorySpare"))
        record.directorySpare = static_cast<uint16_t>(f->integer(0, kU16));
    if (const auto f = node.optionalField("sizeOverride"))
        record.sizeOverride = static_cast<uint32_t>(f->integer(0, kU32));
    if (const auto f = node.optionalField("listing")) {
        const auto s = f->string();
        static const std::map<std::string, Listing> names = {
            {"default", Listing::Default},
            {"none", Listing::None},
            {"profileDirectory", Listing::ProfileDirectory},
            {"chunkDirectory", Listing::ChunkDirectory},
            {"both", Listing::Both}};
        const auto it = names.find(s);
        if (it == names.end())
            f->fail("must be default, none, profileDirectory, chunkDirectory or both");
        record.listing = it->second;
    }
}

} // namespace description_detail

namespace {

using namespace description_detail;

Record readExtensionRecord(const JsonNode& node) {
    ExtensionChunk ext;
    ext.unused = static_cast<uint16_t>(node.integerOr("unused", 0, 0, kU16));
    ext.extSize = static_cast<uint16_t>(node.integerOr("extSize", kExtensionSize, 0, kU16));
    if (const auto f = node.optionalField("name9"))
        ext.extName9 = textField<24>(*f);
    if (const auto f = node.optionalField("name1"))
        ext.extName1 = textField<24>(*f);
    if (const auto f = node.optionalField("name10"))
        ext.extName10 = textField<24>(*f);
    ext.extSearchKey = static_cast<uint32_t>(node.integerOr("searchKey", 0, 0, kU32));
    ext.extSearchPair = static_cast<uint32_t>(node.integerOr("searchPair", 0, 0, kU32));
    ext.extProfileValue = static_cast<uint32_t>(node.integerOr("value", 0, 0, kU32));
    if (const auto f = node.optionalField("trailing"))
        ext.trailing = f->bytes();
    Record record;
    record.recordClass = kChunkClass;
    record.id = static_cast<uint16_t>(node.field("id").integer(0, kU16));
    readRecordOptions(node, record);
    record.content = std::move(ext);
    node.finish();
    return record;
}

Record readRawRecord(const JsonNode& node) {
    Record record;
    record.recordClass = static_cast<uint32_t>(node.field("class").integer(0, kU32));
    record.id = static_cast<uint16_t>(node.field("id").integer(0, kU16));
    record.content = RawData{node.field("data").bytes()};
    readRecordOptions(node, record);
    node.finish();
    return record;
}

DirectoryOptions readDirectoryOptions(const JsonNode& node,
                                      const std::map<std::string, std::size_t>& recordIndex) {
    DirectoryOptions options;
    if (const auto f = node.optionalField("entryCountOverride"))
        options.entryCountOverride = static_cast<uint32_t>(f->integer(0, kU32));
    if (const auto f = node.optionalField("offsetOverride"))
        options.offsetOverride = static_cast<uint32_t>(f->integer(0, kU32));
    if (const auto f = node.optionalField("extraEntries"))
        for (const auto& e : f->elements()) {
            DirectoryEntry entry;
            entry.entryClass = static_cast<uint32_t>(e.field("class").integer(0, kU32));
            entry.id = static_cast<uint16_t>(e.field("id").integer(0, kU16));
            entry.spare = static_cast<uint16_t>(e.integerOr("spare", 0, 0, kU16));
            if (const auto r = e.optionalField("record")) {
                const auto it = recordIndex.find(r->string());
                if (it == recordIndex.end())
                    r->fail("no record \"" + r->string() + "\"");
                entry.recordIndex = it->second;
            } else {
                entry.recordOffset = static_cast<uint32_t>(e.field("offset").integer(0, kU32));
            }
            e.finish();
            options.extraEntries.push_back(entry);
        }
    node.finish();
    return options;
}

void readHeaderFields(const JsonNode& top, Database& db) {
    if (const auto f = top.optionalField("tag"))
        db.tag = textField<8>(*f);
    db.version = static_cast<uint32_t>(top.integerOr("version", db.version, 0, kU32));
    const auto layoutName = top.stringOr("directoryLayout", "separate");
    if (layoutName == "shared" && top.has("chunkDirectory") &&
        (top.value()["chunkDirectory"].contains("extraEntries") ||
         top.value()["chunkDirectory"].contains("entryCountOverride")))
        top.field("chunkDirectory")
            .fail("with a shared directory, entry options go in profileDirectory");
    if (layoutName == "shared")
        db.directoryLayout = DirectoryLayout::Shared;
    else if (layoutName != "separate")
        top.field("directoryLayout").fail("must be separate or shared");
}

using NamedRecords = std::vector<std::pair<std::string, Record>>;

// Records by their description name ("profiles/0"), in default order.
// Every record is counted against the size limit as soon as it is read.
NamedRecords readRecords(const JsonNode& top, const std::filesystem::path& base,
                         OutputBudget& budget, std::vector<std::string>* warnings) {
    NamedRecords named;
    std::vector<JsonNode> profileNodes;
    std::map<uint16_t, std::string> computedTables;
    const auto readList = [&](const char* key, auto reader) {
        if (const auto list = top.optionalField(key)) {
            const auto elements = list->elements();
            for (std::size_t i = 0; i < elements.size(); ++i) {
                named.emplace_back(fmt::format("{}/{}", key, i), reader(elements[i]));
                budget.add(recordFileBytes(named.back().second), elements[i]);
            }
        }
    };
    readList("profiles", [&](const JsonNode& n) {
        profileNodes.push_back(n);
        return readProfileRecord(n);
    });
    readList("tables", [&](const JsonNode& n) {
        auto record = readTableRecord(n, base, budget);
        const auto& value = n.value();
        if (value.contains("grid")) {
            const auto source = value["grid"]["source"].get<std::string>();
            if (source == "icc" || source == "ink-model")
                computedTables.emplace(record.id, source);
        }
        return record;
    });
    readList("extensions", [](const JsonNode& n) { return readExtensionRecord(n); });
    readList("rawRecords", [](const JsonNode& n) { return readRawRecord(n); });
    std::vector<std::string> ownWarnings;
    for (std::size_t i = 0; i < profileNodes.size(); ++i)
        applyDefaultGreyMode(named[i].second, profileNodes[i], computedTables,
                             warnings ? *warnings : ownWarnings);
    return named;
}

// Puts the records in "recordOrder" when given; returns each name's position.
std::map<std::string, std::size_t> putInOrder(const JsonNode& top, NamedRecords& named) {
    std::map<std::string, std::size_t> position;
    if (const auto order = top.optionalField("recordOrder")) {
        std::map<std::string, std::size_t> byName;
        for (std::size_t i = 0; i < named.size(); ++i)
            byName[named[i].first] = i;
        const auto list = order->elements();
        if (list.size() != named.size())
            order->fail(fmt::format("must list every record once ({})", named.size()));
        std::vector<std::pair<std::string, Record>> ordered;
        for (const auto& item : list) {
            const auto name = item.string();
            const auto it = byName.find(name);
            if (it == byName.end())
                item.fail("no record \"" + name + "\"");
            if (position.count(name))
                item.fail("\"" + name + "\" listed twice");
            position[name] = ordered.size();
            ordered.push_back(std::move(named[it->second]));
        }
        named = std::move(ordered);
    } else {
        for (std::size_t i = 0; i < named.size(); ++i)
            position[named[i].first] = i;
    }
    return position;
}

std::vector<Patch> readPatches(const JsonNode& list, OutputBudget& budget) {
    std::vector<Patch> patches;
    for (const auto& p : list.elements()) {
        Patch patch;
        const auto offset = p.field("offset");
        patch.offset = static_cast<std::size_t>(offset.integer(0, kU32));
        patch.bytes = p.field("data").bytes();
        p.finish();
        budget.reach(uint64_t{patch.offset} + patch.bytes.size(), offset);
        patches.push_back(std::move(patch));
    }
    return patches;
}

// The directories' options, the patches and the truncation.
void readWriterOptions(const JsonNode& top, const std::map<std::string, std::size_t>& position,
                       OutputBudget& budget, Database& db) {
    if (const auto f = top.optionalField("profileDirectory")) {
        db.profileDirectory = readDirectoryOptions(*f, position);
        budget.add(12 * uint64_t{db.profileDirectory.extraEntries.size()}, *f);
    }
    if (const auto f = top.optionalField("chunkDirectory")) {
        db.chunkDirectory = readDirectoryOptions(*f, position);
        budget.add(12 * uint64_t{db.chunkDirectory.extraEntries.size()}, *f);
    }
    if (const auto f = top.optionalField("patches"))
        db.patches = readPatches(*f, budget);
    if (const auto f = top.optionalField("truncateAt"))
        db.truncateAt = static_cast<std::size_t>(f->integer(0, kU32));
}

} // namespace

Database databaseFromJson(const nlohmann::json& root, const std::filesystem::path& base,
                          uint64_t maxBytes, std::vector<std::string>* warnings) {
    const JsonNode top(root, "");
    if (!top.isObject())
        top.fail("must be an object");
    Database db;
    readHeaderFields(top, db);
    OutputBudget budget(maxBytes);
    NamedRecords named = readRecords(top, base, budget, warnings);
    const auto position = putInOrder(top, named);
    for (auto& item : named)
        db.records.push_back(std::move(item.second));
    readWriterOptions(top, position, budget, db);
    top.optionalField("comment"); // free text for the reader of the file
    top.optionalField("format");
    top.finish();
    return db;
}

} // namespace vrel::cli
