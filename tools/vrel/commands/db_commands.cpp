#include "db_commands.h"

#include "cli_error.h"
#include "db_compare.h"
#include "description/db_check.h"
#include "description/description.h"
#include "description/json_reader.h"
#include "files/input_file.h"
#include "files/output_set.h"

#include <fmt/format.h>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>

namespace vrel::cli {

using namespace vrel::dbwriter;

namespace {

void writeBytes(const std::string& path, const void* data, std::size_t size) {
    OutputSet set;
    set.add(path).write(data, size);
    set.commit();
}

std::string nameText(const Name24& name) {
    std::string text;
    for (auto b : name) {
        if (b == 0)
            break;
        text.push_back(b >= 0x20 && b < 0x7f ? static_cast<char>(b) : '?');
    }
    return text;
}

// The summary's description of a colour table chunk: header, points, channels.
std::string colourTableKind(const ColourTable& t) {
    std::size_t points = kDefaultGridPoints;
    std::string text;
    if (!t.marked) {
        text = "colour table, no header";
    } else {
        text = fmt::format("colour table, header type {}", int(t.headerType));
        if (t.headerType == 1 && !t.nodes.empty())
            points = t.nodes.size();
        if (t.headerType == 2 && !t.nodeSets.empty()) {
            points = t.nodeSets[0].size();
            text += fmt::format(", {} node sets", t.nodeSets.size());
        }
    }
    const std::size_t cells = points * points * points;
    text += fmt::format(", {} points", points);
    if (cells && t.data.size() % cells == 0)
        text += fmt::format(", {} channels", t.data.size() / cells);
    return text;
}

void printSummary(const Database& db, std::ostream& out) {
    const auto written = writeDatabaseWithLayout(db);
    out << fmt::format("profile database: {} bytes, {} records\n\nprofiles\n", written.bytes.size(),
                       db.records.size());
    out << "  number layout flags      key        method lut    correction (sel. other/2/3)  "
           "name\n";
    for (std::size_t i = 0; i < db.records.size(); ++i) {
        const auto* index = std::get_if<ProfileIndex>(&db.records[i].content);
        if (!index)
            continue;
        for (const auto& e : index->entries) {
            const int channels = channelCountOf(e.descriptors);
            out << fmt::format("  {:<6} {:<6} 0x{:08x} 0x{:08x} {:<6} 0x{:04x} 0x{:04x} 0x{:04x} "
                               "0x{:04x}       {}\n",
                               static_cast<uint16_t>(db.records[i].id - kProfileIdBase),
                               decodeLayout(index->layoutWord),
                               decodeRecordFlags(index->layoutWord), e.key, channels,
                               e.lutChunk & 0xffff, e.tableIds[0] & 0xffff, e.tableIds[1] & 0xffff,
                               e.tableIds[2] & 0xffff, nameText(e.name2));
        }
    }
    out << "\nchunks\n  id     offset     bytes  kind\n";
    for (std::size_t i = 0; i < db.records.size(); ++i) {
        const auto& record = db.records[i];
        if (std::holds_alternative<ProfileIndex>(record.content))
            continue;
        std::string kind = "raw";
        if (const auto* t = std::get_if<ColourTable>(&record.content)) {
            kind = colourTableKind(*t);
        } else if (const auto* e = std::get_if<ExtensionChunk>(&record.content)) {
            kind = "extension, name \"" + nameText(e->extName1) + "\"";
        }
        out << fmt::format("  0x{:04x} 0x{:08x} {:<6} {}\n", record.id, written.recordOffsets[i],
                           record.encodeData().size(), kind);
    }
}

} // namespace

Database readDatabase(const std::string& path) {
    const auto bytes = readInputFile(path, "database");
    std::string error;
    auto db = parseDatabase(bytes, &error);
    if (!db)
        throw CliError("cannot read database '" + path + "': " + error +
                       " (run 'vrel db check' for the engine's view of the file)");
    return std::move(*db);
}

void buildDatabaseFile(const std::string& descriptionPath, const std::string& outputPath,
                       uint64_t maxBytes, std::ostream& warnings) {
    const auto root = loadJsonFile(descriptionPath);
    const auto base = std::filesystem::path(descriptionPath).parent_path();
    buildDatabaseFromJson(root, base, "description '" + clipped(descriptionPath, 200) + "'",
                          outputPath, maxBytes, warnings);
}

void buildDatabaseFromJson(const nlohmann::json& root, const std::filesystem::path& base,
                           const std::string& label, const std::string& outputPath,
                           uint64_t maxBytes, std::ostream& warnings) {
    const std::string description = label + ": ";
    std::vector<std::string> remarks;
    Database db;
    try {
        db = databaseFromJson(root, base, maxBytes, &remarks);
    } catch (const CliError& e) {
        throw CliError(description + e.what());
    }
    for (const auto& remark : remarks)
        warnings << fmt::format("vrel: warning: {}{}\n", description, remark);
    Bytes bytes;
    try {
        bytes = writeDatabase(db);
    } catch (const std::invalid_argument& e) {
        throw CliError(description + "cannot write the database: " + std::string(e.what()));
    }
    writeBytes(outputPath, bytes.data(), bytes.size());
}

void dumpDatabaseFile(const std::string& databasePath, const std::string& outputPath, bool summary,
                      std::ostream& out) {
    const auto db = readDatabase(databasePath);
    std::ostringstream text;
    if (summary)
        printSummary(db, text);
    else
        text << databaseToJson(db).dump(2) << "\n";
    if (outputPath.empty() || outputPath == "-") {
        out << text.str();
    } else {
        const auto s = text.str();
        writeBytes(outputPath, s.data(), s.size());
    }
}

namespace {

struct DbOptions {
    std::string description, output, maxSize;
    std::string dumpInput, dumpOutput;
    bool summary = false;
    std::string checkInput;
};

} // namespace

void addDatabaseCommands(CLI::App& app) {
    auto options = std::make_shared<DbOptions>();
    DbOptions& o = *options;
    auto* db = app.add_subcommand("db", "Build, dump and check profile database files");
    db->require_subcommand(1);

    auto* build = db->add_subcommand(
        "build", "Build a database file from a JSON description; a profile that converts through "
                 "an ICC or ink-model grid gets grey mode 2, which reproduces the grid, unless "
                 "the description names a grey mode");
    build->footer("An ICC or ink-model table that names no node positions (nodes, points, "
                  "nodeSets, headerType) is computed on 33 even points; three-channel tables "
                  "keep the default 17-point grid.");
    build->add_option("DESCRIPTION", o.description, "JSON description of the database")->required();
    build->add_option("-o,--output", o.output, "database file to write")->required();
    build->add_option("--max-size", o.maxSize,
                      "refuse a database larger than this many bytes (K, M, G: binary "
                      "multiples; default 256M)");
    build->callback([options] {
        const uint64_t limit =
            options->maxSize.empty() ? kDefaultMaxDatabaseBytes : parseByteSize(options->maxSize);
        buildDatabaseFile(options->description, options->output, limit, std::cerr);
    });

    auto* dump = db->add_subcommand("dump", "Print a database as a JSON description that "
                                            "'db build' turns back into the same file");
    dump->add_option("FILE", o.dumpInput, "database file")->required();
    dump->add_option("-o,--output", o.dumpOutput, "write to this file instead of stdout");
    dump->add_flag("--summary", o.summary, "print a readable table of profiles and chunks");
    dump->callback([options] {
        dumpDatabaseFile(options->dumpInput, options->dumpOutput, options->summary, std::cout);
    });

    auto* check = db->add_subcommand(
        "check", "Check a database file against the engine's loading rules; exit status 1 "
                 "when a problem is found");
    check->add_option("FILE", o.checkInput, "database file")->required();
    check->callback([options] {
        const auto& checkInput = options->checkInput;
        const auto report = checkDatabaseFile(checkInput);
        printCheckReport(report, std::cout);
        if (!report.problems.empty())
            throw CliError(fmt::format("{} problem{} found in '{}'", report.problems.size(),
                                       report.problems.size() == 1 ? "" : "s", checkInput),
                           1);
    });

    addCompareCommand(db);
}

} // namespace vrel::cli
