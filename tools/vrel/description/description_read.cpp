// JSON description -> dbwriter::Database.
#include "cli_error.h"
#include "description.h"
#include "grey_mode_default.h"
#include "grid_models.h"
#include "icc_grid.h"
#include "json_reader.h"
#include "files/output_budget.h"

#include <algorithm>
#include <cstring>
#include <map>

namespace vrel::cli {

using namespace vrel::dbwriter;

std::vector<uint8_t> evenNodes(int points) {
    std::vector<uint8_t> nodes;
    for (int i = 0; i < points; ++i)
        nodes.push_back(static_cast<uint8_t>((i * 255 * 2 + (points - 1)) / (2 * (points - 1))));
    return nodes;
}

namespace {

constexpr int64_t kU16 = 0xffff;
constexpr int64_t kU32 = 0xffffffffLL;

// A fixed-size byte field written as text (padded with zero bytes) or as
// {"hex": ...}.
template <std::size_t N> std::array<uint8_t, N> textField(const JsonNode& node) {
    std::array<uint8_t, N> out{};
    if (node.isString()) {
        const auto text = node.string();
        if (text.size() > N)
            node.fail("longer than " + std::to_string(N) + " bytes");
        std::memcpy(out.data(), text.data(), text.size());
        return out;
    }
    const auto hex = node.field("hex");
    node.finish();
    const auto bytes = hex.bytes();
    if (bytes.size() != N)
        hex.fail("must be " + std::to_string(N) + " bytes");
    std::copy(bytes.begin(), bytes.end(), out.begin());
    return out;
}

template <std::size_t N> std::array<uint8_t, N> fixedBytes(const JsonNode& node) {
    const auto bytes = node.bytes();
    if (bytes.size() > N)
        node.fail("at most " + std::to_string(N) + " bytes");
    std::array<uint8_t, N> out{};
    std::copy(bytes.begin(), bytes.end(), out.begin());
    return out;
}

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

uint32_t readKey(const JsonNode& node, int layout) {
    if (!node.isObject())
        return static_cast<uint32_t>(node.integer(0, kU32));
    ParamRecord params;
    std::memset(&params, 0, sizeof params);
    params.keyField94 = static_cast<uint16_t>(node.integerOr("keyField94", 0, 0, kU16));
    params.keyField14 = static_cast<uint16_t>(node.integerOr("keyField14", 0, 0, kU16));
    params.keyField16 = static_cast<uint16_t>(node.integerOr("keyField16", 0, 0, kU16));
    params.keyField104 = static_cast<uint16_t>(node.integerOr("keyField104", 0, 0, kU16));
    params.keyField106 = static_cast<uint16_t>(node.integerOr("keyField106", 0, 0, kU16));
    params.keyField108 = static_cast<uint16_t>(node.integerOr("keyField108", 0, 0, kU16));
    node.finish();
    return profileKey(params, layout);
}

Descriptors readDescriptors(const JsonNode& node) {
    const auto list = node.elements();
    if (list.size() != 8)
        node.fail("must list 8 descriptors");
    Descriptors out{};
    for (std::size_t i = 0; i < 8; ++i) {
        const auto& d = list[i];
        auto& o = out[i];
        o.a = static_cast<uint8_t>(d.integerOr("a", 0, 0, 7));
        o.b = static_cast<uint16_t>(d.integerOr("b", 0, 0, kU16));
        o.c = static_cast<uint8_t>(d.integerOr("c", 0, 0, 255));
        o.d = static_cast<uint16_t>(d.integerOr("d", 0, 0, 4095));
        o.e = static_cast<uint16_t>(d.integerOr("e", 0, 0, 511));
        o.f = static_cast<uint8_t>(d.integerOr("f", 0, 0, 15));
        o.word1High = static_cast<uint8_t>(d.integerOr("word1High", 0, 0, 255));
        o.word2High = static_cast<uint8_t>(d.integerOr("word2High", 0, 0, 255));
        d.finish();
    }
    return out;
}

ProfileEntry readEntry(const JsonNode& node, int layout) {
    ProfileEntry entry;
    entry.key = readKey(node.field("key"), layout);
    if (const auto f = node.optionalField("tableIds")) {
        const auto ids = f->elements();
        if (ids.size() != 3)
            f->fail("must list 3 table ids (selector other, 2, 3)");
        for (std::size_t i = 0; i < 3; ++i)
            entry.tableIds[i] = static_cast<uint32_t>(ids[i].integer(0, kU32));
    }
    entry.lutChunk = static_cast<uint32_t>(node.integerOr("lutChunk", 0, 0, kU32));
    const auto channels = node.optionalField("channels");
    const auto descriptors = node.optionalField("descriptors");
    if (channels && descriptors)
        descriptors->fail("give either channels or descriptors, not both");
    if (descriptors) {
        entry.descriptors = readDescriptors(*descriptors);
    } else if (channels) {
        const auto count = static_cast<int>(channels->integer(0, 8));
        const bool e256 = node.booleanOr("fourWithE256", false);
        if (e256 && count != 3)
            channels->fail("fourWithE256 describes a three-channel profile; channels must be 3");
        entry.descriptors = descriptorsForChannels(count, e256);
    } else {
        node.fail("missing field 'channels'");
    }
    if (const auto f = node.optionalField("name1"))
        entry.name1 = textField<24>(*f);
    if (const auto f = node.optionalField("name2"))
        entry.name2 = textField<24>(*f);
    entry.searchKey = static_cast<uint32_t>(node.integerOr("searchKey", 0, 0, kU32));
    entry.searchPair = static_cast<uint32_t>(node.integerOr("searchPair", 0, 0, kU32));
    entry.setProfileValue(static_cast<uint32_t>(node.integerOr("value", 0, 0, kU32)));
    if (const auto f = node.optionalField("unusedHead"))
        entry.unusedHead = fixedBytes<48>(*f);
    entry.unusedWord = static_cast<uint32_t>(node.integerOr("unusedWord", 0, 0, kU32));
    if (const auto f = node.optionalField("unusedTail"))
        entry.unusedTail = fixedBytes<128>(*f);
    if (const auto f = node.optionalField("extra"))
        entry.extra = f->bytes();
    node.finish();
    return entry;
}

Record readProfileRecord(const JsonNode& node) {
    const auto number = static_cast<uint16_t>(node.field("profileNumber").integer(0, kU16));
    ProfileIndex index;
    int layout = 0;
    if (const auto word = node.optionalField("layoutWord")) {
        // A raw layout word, for files whose word no layout and flags produce.
        index.layoutWord = static_cast<uint32_t>(word->integer(0, kU32));
        layout = decodeLayout(index.layoutWord);
        if (node.has("layout") || node.has("greyMode") || node.has("extension") ||
            node.has("noBlackBalance") || node.has("recordFlags"))
            word->fail("give either layoutWord or layout and flags, not both");
    } else {
        const auto layoutNode = node.field("layout");
        layout = static_cast<int>(layoutNode.integer(INT32_MIN, INT32_MAX));
        if (layout < 0 || layout > 2)
            layoutNode.fail("must be 0, 1 or 2");
        uint32_t flags = static_cast<uint32_t>(node.integerOr("recordFlags", 0, 0, kU32));
        if (node.booleanOr("noBlackBalance", false))
            flags |= kFlagNoBlackBalance;
        if (node.booleanOr("extension", false))
            flags |= kFlagExtension;
        flags |= greyModeFlags(static_cast<uint32_t>(node.integerOr("greyMode", 0, 0, 3)));
        if (layout == 0 && (flags & 0xffff00ffu) != 0)
            node.fail("layout 0 carries only flag bits 8-15 (no noBlackBalance, extension or "
                      "greyMode)");
        if (layout != 0 && (flags & 0xffffu) != 0)
            node.fail("recordFlags bits 0-15 hold the layout number");
        index.layoutWord = makeLayoutWord(static_cast<uint16_t>(layout), flags);
    }
    if (const auto f = node.optionalField("entryLayout"))
        index.entryLayout = static_cast<int>(f->integer(0, 2));
    else if (layout >= 0 && layout <= 2)
        index.entryLayout = layout;
    else
        node.fail("layoutWord names layout " + std::to_string(layout) +
                  "; give entryLayout (0, 1 or 2) for the entries");
    index.extraWords = static_cast<uint32_t>(node.integerOr("extraWords", 0, 0, 1 << 20));
    if (const auto f = node.optionalField("profileCountOverride"))
        index.profileCountOverride = static_cast<uint32_t>(f->integer(0, kU32));
    if (const auto f = node.optionalField("entryWordsOverride"))
        index.entryWordsOverride = static_cast<uint32_t>(f->integer(0, kU32));
    if (const auto f = node.optionalField("trailing"))
        index.trailing = f->bytes();
    for (const auto& e : node.field("entries").elements()) {
        index.entries.push_back(readEntry(e, index.entryLayout));
        if (index.entries.back().extra.size() > 4 * uint64_t{index.extraWords})
            e.field("extra").fail("longer than the " + std::to_string(index.extraWords) +
                                  " extraWords of the profile");
    }
    Record record;
    record.recordClass = kProfileClass;
    record.id = profileRecordId(number);
    readRecordOptions(node, record);
    if (const auto f = node.optionalField("recordId"))
        record.id = static_cast<uint16_t>(f->integer(0, kU16));
    record.content = std::move(index);
    node.finish();
    return record;
}

void checkNodes(const JsonNode& node, const std::vector<uint8_t>& nodes) {
    if (nodes.size() < 2 || nodes.size() > 64)
        node.fail("must give 2 to 64 node positions, not " + std::to_string(nodes.size()));
    if (nodes.front() != 0 || nodes.back() != 255)
        node.fail("node positions must start at 0 and end at 255");
    for (std::size_t i = 1; i < nodes.size(); ++i)
        if (nodes[i] <= nodes[i - 1])
            node.fail("node positions must rise strictly (" + std::to_string(nodes[i - 1]) +
                      " then " + std::to_string(nodes[i]) + ")");
}

IccTransformSettings readIccSettings(const JsonNode& grid, const std::filesystem::path& base) {
    IccTransformSettings settings;
    const auto resolve = [&](const std::string& name) {
        if (name == "srgb")
            return name;
        const std::filesystem::path p(name);
        return (p.is_absolute() ? p : base / p).string();
    };
    settings.source = resolve(grid.stringOr("sourceProfile", "srgb"));
    settings.output = resolve(grid.field("outputProfile").string());
    if (const auto f = grid.optionalField("intent")) {
        try {
            settings.intent = parseIntent(f->string());
        } catch (const CliError& e) {
            f->fail(e.what());
        }
    }
    settings.blackPointCompensation = grid.booleanOr("blackPointCompensation", false);
    return settings;
}

Bytes readGrid(const JsonNode& grid, const std::vector<uint8_t>& nodes, int channels,
               const std::filesystem::path& base) {
    const auto sourceNode = grid.field("source");
    const auto source = sourceNode.string();
    const std::size_t n = nodes.size();
    Bytes data;
    if (source == "values") {
        data = grid.field("values").bytes();
        if (data.size() != n * n * n * static_cast<std::size_t>(channels))
            grid.fail("values must hold n^3 x channels = " +
                      std::to_string(n * n * n * static_cast<std::size_t>(channels)) +
                      " bytes, not " + std::to_string(data.size()));
    } else if (source == "icc") {
        if (channels != 4 && channels != 3)
            grid.fail("an ICC grid has 4 channels (CMYK output) or 3 (RGB correction)");
        try {
            const auto settings = readIccSettings(grid, base);
            data = channels == 4 ? iccInkGrid(nodes, settings) : iccCorrectionGrid(nodes, settings);
        } catch (const CliError& e) {
            const std::string what = e.what();
            if (!what.empty() && what[0] == '/')
                throw;
            grid.fail(what);
        }
    } else if (source == "ink-model") {
        if (channels < 1 || channels > kMaxModelInks)
            grid.fail("the ink model drives 1 to 7 inks");
        InkModel m;
        m.blackStart = grid.numberOr("blackStart", m.blackStart, 0.0, 0.99);
        m.blackStrength = grid.numberOr("blackStrength", m.blackStrength, 0.0, 1.0);
        m.totalLimit = grid.numberOr("totalLimit", m.totalLimit, 1.0, 7.0);
        m.lightRatio = grid.numberOr("lightRatio", m.lightRatio, 0.05, 1.0);
        m.lightSplit = grid.numberOr("lightSplit", m.lightSplit, 0.0, 0.95);
        m.greyRatio = grid.numberOr("greyRatio", m.greyRatio, 0.05, 1.0);
        m.greySplit = grid.numberOr("greySplit", m.greySplit, 0.0, 0.95);
        m.inkGamma = grid.numberOr("inkGamma", m.inkGamma, 0.2, 5.0);
        if (m.lightSplit > m.lightRatio)
            grid.fail("lightSplit must not exceed lightRatio (the light ink alone reaches only "
                      "lightRatio)");
        if (m.greySplit > m.greyRatio)
            grid.fail("greySplit must not exceed greyRatio");
        data = analyticInkGrid(nodes, channels, m);
    } else if (source == "correction") {
        if (channels != 3)
            grid.fail("a correction grid has 3 channels");
        CorrectionModel m;
        if (const auto g = grid.optionalField("gain")) {
            const auto list = g->elements();
            if (list.size() != 3)
                g->fail("must list 3 gains (red, green, blue)");
            for (std::size_t i = 0; i < 3; ++i)
                m.gain[i] = list[i].number(0.0, 4.0);
        }
        m.saturation = grid.numberOr("saturation", m.saturation, 0.0, 4.0);
        m.gamma = grid.numberOr("gamma", m.gamma, 0.1, 10.0);
        data = correctionGrid(nodes, m);
    } else if (source == "identity") {
        if (channels != 3)
            grid.fail("an identity grid has 3 channels");
        data = identityGrid(nodes);
    } else {
        sourceNode.fail("must be values, icc, ink-model, correction or identity");
    }
    grid.finish();
    return data;
}

Record readTableRecord(const JsonNode& node, const std::filesystem::path& base,
                       const OutputBudget& budget) {
    ColourTable table;
    table.marked = node.booleanOr("marked", true);
    const auto nodesField = node.optionalField("nodes");
    const auto pointsField = node.optionalField("points");
    const auto setsField = node.optionalField("nodeSets");
    const int defaultType = setsField ? 2 : (nodesField || pointsField) ? 1 : 0;
    table.headerType = static_cast<uint8_t>(node.integerOr("headerType", defaultType, 0, 255));
    if (!table.marked && (nodesField || pointsField || setsField || node.has("headerType")))
        node.fail("a table without mark has no header: no headerType, nodes or nodeSets");
    if (nodesField && pointsField)
        pointsField->fail("give either nodes or points, not both");
    // The header counts positions and sets in one byte each.
    if (nodesField) {
        table.nodes = nodesField->bytes();
        if (table.nodes.size() > 255)
            nodesField->fail("more than 255 node positions");
    }
    if (pointsField)
        table.nodes = evenNodes(static_cast<int>(pointsField->integer(2, 64)));
    if (setsField) {
        for (const auto& set : setsField->elements()) {
            table.nodeSets.push_back(set.bytes());
            if (table.nodeSets.back().size() > 255)
                set.fail("more than 255 node positions");
        }
        if (table.nodeSets.size() > 255)
            setsField->fail("more than 255 node sets");
    }
    if (table.headerType == 1 && !nodesField && !pointsField)
        node.fail("header type 1 needs nodes or points");
    // A computed grid needs its nodes; raw data (as a dump of any file gives
    // it) may come with no node set at all.
    if (table.headerType == 2 && table.nodeSets.empty() && !node.has("data"))
        node.fail("header type 2 needs nodeSets");
    table.type2Spare = static_cast<uint8_t>(node.integerOr("type2Spare", 0, 0, 255));
    if (const auto f = node.optionalField("pointCountOverride"))
        table.pointCountOverride = static_cast<uint8_t>(f->integer(0, 255));
    if (const auto f = node.optionalField("nodeSetCountOverride"))
        table.nodeSetCountOverride = static_cast<uint8_t>(f->integer(0, 255));

    // The node positions the grid is computed for.
    std::vector<uint8_t> gridNodes = defaultNodes();
    const auto gridSetField = node.optionalField("gridNodeSet");
    if (table.marked && table.headerType == 1 && !table.nodes.empty())
        gridNodes = table.nodes;
    if (table.marked && table.headerType == 2 && !table.nodeSets.empty()) {
        const auto set = gridSetField ? static_cast<std::size_t>(gridSetField->integer(
                                            0, static_cast<int64_t>(table.nodeSets.size()) - 1))
                                      : 0u;
        gridNodes = table.nodeSets[set];
    }
    const auto channelsField = node.optionalField("channels");
    const auto dataField = node.optionalField("data");
    const auto gridField = node.optionalField("grid");
    if (dataField && gridField)
        gridField->fail("give either data or grid, not both");
    if (dataField) {
        // Raw table data, reproduced byte for byte (also for unusual files).
        if (dataField->isArray()) {
            for (const auto& part : dataField->elements()) {
                const auto bytes = part.bytes();
                table.data.insert(table.data.end(), bytes.begin(), bytes.end());
            }
        } else {
            table.data = dataField->bytes();
        }
    } else if (gridField) {
        if (!channelsField)
            node.fail("missing field 'channels'");
        const int channels = static_cast<int>(channelsField->integer(1, 16));
        const auto where = table.headerType == 2 ? node.field("nodeSets")
                           : nodesField          ? *nodesField
                           : pointsField         ? *pointsField
                                                 : node;
        checkNodes(where, gridNodes);
        const uint64_t n = gridNodes.size();
        budget.check(n * n * n * static_cast<uint64_t>(channels), *gridField);
        table.data = readGrid(*gridField, gridNodes, channels, base);
    } else {
        node.fail("missing field 'grid' (or 'data')");
    }
    Record record;
    record.recordClass = kChunkClass;
    record.id = static_cast<uint16_t>(node.field("id").integer(0, kU16));
    readRecordOptions(node, record);
    record.content = std::move(table);
    node.finish();
    return record;
}

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

} // namespace

Database databaseFromJson(const nlohmann::json& root, const std::filesystem::path& base,
                          uint64_t maxBytes, std::vector<std::string>* warnings) {
    const JsonNode top(root, "");
    if (!top.isObject())
        top.fail("must be an object");
    Database db;
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

    // Records by their description name ("profiles/0"), in default order.
    // Every record is counted against the size limit as soon as it is read.
    OutputBudget budget(maxBytes);
    std::vector<std::pair<std::string, Record>> named;
    std::vector<JsonNode> profileNodes;
    std::map<uint16_t, std::string> computedTables;
    const auto readList = [&](const char* key, auto reader) {
        if (const auto list = top.optionalField(key)) {
            const auto elements = list->elements();
            for (std::size_t i = 0; i < elements.size(); ++i) {
                named.emplace_back(std::string(key) + "/" + std::to_string(i), reader(elements[i]));
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

    std::map<std::string, std::size_t> position;
    if (const auto order = top.optionalField("recordOrder")) {
        std::map<std::string, std::size_t> byName;
        for (std::size_t i = 0; i < named.size(); ++i)
            byName[named[i].first] = i;
        const auto list = order->elements();
        if (list.size() != named.size())
            order->fail("must list every record once (" + std::to_string(named.size()) + ")");
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
    for (auto& item : named)
        db.records.push_back(std::move(item.second));

    if (const auto f = top.optionalField("profileDirectory")) {
        db.profileDirectory = readDirectoryOptions(*f, position);
        budget.add(12 * uint64_t{db.profileDirectory.extraEntries.size()}, *f);
    }
    if (const auto f = top.optionalField("chunkDirectory")) {
        db.chunkDirectory = readDirectoryOptions(*f, position);
        budget.add(12 * uint64_t{db.chunkDirectory.extraEntries.size()}, *f);
    }
    if (const auto f = top.optionalField("patches"))
        for (const auto& p : f->elements()) {
            Patch patch;
            const auto offset = p.field("offset");
            patch.offset = static_cast<std::size_t>(offset.integer(0, kU32));
            patch.bytes = p.field("data").bytes();
            p.finish();
            budget.reach(uint64_t{patch.offset} + patch.bytes.size(), offset);
            db.patches.push_back(std::move(patch));
        }
    if (const auto f = top.optionalField("truncateAt"))
        db.truncateAt = static_cast<std::size_t>(f->integer(0, kU32));
    top.optionalField("comment"); // free text for the reader of the file
    top.optionalField("format");
    top.finish();
    return db;
}

} // namespace vrel::cli
