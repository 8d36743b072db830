// The colour-table chunks of the JSON description and their grids.
#include "cli_error.h"
#include "description.h"
#include "description_records.h"
#include "grid_models.h"
#include "icc_grid.h"

#include <fmt/format.h>

namespace vrel::cli::description_detail {

using namespace vrel::dbwriter;

namespace {

void checkNodes(const JsonNode& node, const std::vector<uint8_t>& nodes) {
    if (nodes.size() < 2 || nodes.size() > 64)
        node.fail(fmt::format("must give 2 to 64 node positions, not {}", nodes.size()));
    if (nodes.front() != 0 || nodes.back() != 255)
        node.fail("node positions must start at 0 and end at 255");
    for (std::size_t i = 1; i < nodes.size(); ++i)
        if (nodes[i] <= nodes[i - 1])
            node.fail(fmt::format("node positions must rise strictly ({} then {})", nodes[i - 1],
                                  nodes[i]));
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

Bytes valuesGrid(const JsonNode& grid, std::size_t n, int channels) {
    Bytes data = grid.field("values").bytes();
    if (data.size() != n * n * n * static_cast<std::size_t>(channels))
        grid.fail(fmt::format("values must hold n^3 x channels = {} bytes, not {}",
                              n * n * n * static_cast<std::size_t>(channels), data.size()));
    return data;
}

Bytes iccGrid(const JsonNode& grid, const std::vector<uint8_t>& nodes, int channels,
              const std::filesystem::path& base) {
    if (channels != 4 && channels != 3)
        grid.fail("an ICC grid has 4 channels (CMYK output) or 3 (RGB correction)");
    try {
        const auto settings = readIccSettings(grid, base);
        return channels == 4 ? iccInkGrid(nodes, settings) : iccCorrectionGrid(nodes, settings);
    } catch (const CliError& e) {
        const std::string what = e.what();
        if (!what.empty() && what[0] == '/')
            throw;
        grid.fail(what);
    }
}

Bytes inkModelGrid(const JsonNode& grid, const std::vector<uint8_t>& nodes, int channels) {
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
    return analyticInkGrid(nodes, channels, m);
}

Bytes correctionModelGrid(const JsonNode& grid, const std::vector<uint8_t>& nodes, int channels) {
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
    return correctionGrid(nodes, m);
}

Bytes readGrid(const JsonNode& grid, const std::vector<uint8_t>& nodes, int channels,
               const std::filesystem::path& base) {
    const auto sourceNode = grid.field("source");
    const auto source = sourceNode.string();
    Bytes data;
    if (source == "values") {
        data = valuesGrid(grid, nodes.size(), channels);
    } else if (source == "icc") {
        data = iccGrid(grid, nodes, channels, base);
    } else if (source == "ink-model") {
        data = inkModelGrid(grid, nodes, channels);
    } else if (source == "correction") {
        data = correctionModelGrid(grid, nodes, channels);
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

// The table's fields that name its node positions.
struct NodeFields {
    std::optional<JsonNode> nodes;
    std::optional<JsonNode> points;
    std::optional<JsonNode> sets;
};

// Points of an ICC or ink-model grid that names no positions: these
// transforms bend too much between the default grid's 17 nodes.
constexpr int kFineGridPoints = 33;

// A marked table naming neither positions nor header type, computed from an
// ICC transform or the ink model, gets the fine grid (header type 1). A
// three-channel table keeps the default grid: it may serve as a correction
// table, and with selector 3 the engine lays a type-1 correction table on
// the default 17 nodes whatever positions it holds.
bool takesFineGrid(const JsonNode& node, const NodeFields& f, bool marked) {
    if (!marked || f.nodes || f.points || f.sets || node.has("headerType"))
        return false;
    const auto grid = node.optionalField("grid");
    const auto channels = node.optionalField("channels");
    if (!grid || !grid->isObject() || !grid->has("source") || !channels ||
        channels->integer(1, 16) == 3)
        return false;
    const auto& source = grid->value().at("source");
    return source == "icc" || source == "ink-model";
}

// "marked", "headerType", the node positions or node sets and the
// header's overrides.
ColourTable readTableHeader(const JsonNode& node, NodeFields& f) {
    ColourTable table;
    table.marked = node.booleanOr("marked", true);
    f.nodes = node.optionalField("nodes");
    f.points = node.optionalField("points");
    f.sets = node.optionalField("nodeSets");
    const bool fine = takesFineGrid(node, f, table.marked);
    const int defaultType = f.sets ? 2 : (f.nodes || f.points || fine) ? 1 : 0;
    table.headerType = static_cast<uint8_t>(node.integerOr("headerType", defaultType, 0, 255));
    if (!table.marked && (f.nodes || f.points || f.sets || node.has("headerType")))
        node.fail("a table without mark has no header: no headerType, nodes or nodeSets");
    if (f.nodes && f.points)
        f.points->fail("give either nodes or points, not both");
    // The header counts positions and sets in one byte each.
    if (f.nodes) {
        table.nodes = f.nodes->bytes();
        if (table.nodes.size() > 255)
            f.nodes->fail("more than 255 node positions");
    }
    if (f.points)
        table.nodes = evenNodes(static_cast<int>(f.points->integer(2, 64)));
    else if (fine)
        table.nodes = evenNodes(kFineGridPoints);
    if (f.sets) {
        for (const auto& set : f.sets->elements()) {
            table.nodeSets.push_back(set.bytes());
            if (table.nodeSets.back().size() > 255)
                set.fail("more than 255 node positions");
        }
        if (table.nodeSets.size() > 255)
            f.sets->fail("more than 255 node sets");
    }
    if (table.headerType == 1 && !f.nodes && !f.points && !fine)
        node.fail("header type 1 needs nodes or points");
    // A computed grid needs its nodes; raw data (as a dump of any file gives
    // it) may come with no node set at all.
    if (table.headerType == 2 && table.nodeSets.empty() && !node.has("data"))
        node.fail("header type 2 needs nodeSets");
    table.type2Spare = static_cast<uint8_t>(node.integerOr("type2Spare", 0, 0, 255));
    if (const auto o = node.optionalField("pointCountOverride"))
        table.pointCountOverride = static_cast<uint8_t>(o->integer(0, 255));
    if (const auto o = node.optionalField("nodeSetCountOverride"))
        table.nodeSetCountOverride = static_cast<uint8_t>(o->integer(0, 255));
    return table;
}

// The node positions the grid is computed for.
std::vector<uint8_t> gridNodesOf(const JsonNode& node, const ColourTable& table) {
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
    return gridNodes;
}

// Raw table data, reproduced byte for byte (also for unusual files).
Bytes rawTableData(const JsonNode& dataField) {
    if (!dataField.isArray())
        return dataField.bytes();
    Bytes data;
    for (const auto& part : dataField.elements()) {
        const auto bytes = part.bytes();
        data.insert(data.end(), bytes.begin(), bytes.end());
    }
    return data;
}

// The table's data: raw, or computed from "grid" at the grid's nodes.
Bytes readTableData(const JsonNode& node, const ColourTable& table, const NodeFields& f,
                    const std::vector<uint8_t>& gridNodes, const std::filesystem::path& base,
                    const OutputBudget& budget) {
    const auto channelsField = node.optionalField("channels");
    const auto dataField = node.optionalField("data");
    const auto gridField = node.optionalField("grid");
    if (dataField && gridField)
        gridField->fail("give either data or grid, not both");
    if (dataField)
        return rawTableData(*dataField);
    if (!gridField)
        node.fail("missing field 'grid' (or 'data')");
    if (!channelsField)
        node.fail("missing field 'channels'");
    const int channels = static_cast<int>(channelsField->integer(1, 16));
    const auto where = table.headerType == 2 ? node.field("nodeSets")
                       : f.nodes             ? *f.nodes
                       : f.points            ? *f.points
                                             : node;
    checkNodes(where, gridNodes);
    const uint64_t n = gridNodes.size();
    budget.check(n * n * n * static_cast<uint64_t>(channels), *gridField);
    return readGrid(*gridField, gridNodes, channels, base);
}

} // namespace

Record readTableRecord(const JsonNode& node, const std::filesystem::path& base,
                       const OutputBudget& budget) {
    NodeFields nodeFields;
    ColourTable table = readTableHeader(node, nodeFields);
    const std::vector<uint8_t> gridNodes = gridNodesOf(node, table);
    table.data = readTableData(node, table, nodeFields, gridNodes, base, budget);
    Record record;
    record.recordClass = kChunkClass;
    record.id = static_cast<uint16_t>(node.field("id").integer(0, kU16));
    readRecordOptions(node, record);
    record.content = std::move(table);
    node.finish();
    return record;
}

} // namespace vrel::cli::description_detail
