// The JSON description: build -> dump -> build is byte-identical, the
// bundled sample rebuilds to its committed bytes, and description errors
// name the JSON path of the offending field.
#include "cli_error.h"
#include "cli_test_helpers.h"
#include "description.h"
#include "json_reader.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

namespace vrel::cli {
namespace {

using namespace vrel::dbwriter;
using clitest::readFileBytes;

Bytes rebuildThroughJson(const Database& db) {
    // Through text, as a user would store the dump.
    const auto text = databaseToJson(db).dump(2);
    return writeDatabase(databaseFromJson(nlohmann::json::parse(text), {}));
}

TEST(Description, SampleRebuildsToTheCommittedDatabase) {
    const auto root = loadJsonFile(clitest::sampleDescription().string());
    const auto built = writeDatabase(databaseFromJson(root, VREL_SAMPLE_DIR));
    EXPECT_EQ(built, readFileBytes(clitest::sampleDatabase()))
        << "data/sample/sample.vdb is stale: rebuild it with "
           "'vrel db build data/sample/sample.json -o data/sample/sample.vdb'";
}

TEST(Description, DumpOfTheSampleBuildsTheSameBytes) {
    const auto bytes = readFileBytes(clitest::sampleDatabase());
    std::string error;
    const auto parsed = parseDatabase(bytes, &error);
    ASSERT_TRUE(parsed) << error;
    EXPECT_EQ(rebuildThroughJson(*parsed), bytes);
}

TEST(Description, DumpOfUnusualFilesBuildsTheSameBytes) {
    // Every escape hatch of the writer that a parsed file can carry.
    Database db;
    db.tag = {'X', 0x01, 'Y', 0, 0, 0, 0, 9};
    db.version = 77;
    db.directoryLayout = DirectoryLayout::Shared;

    ProfileIndex layout0;
    layout0.layoutWord = makeLayoutWord(0, 0x0300);
    layout0.entryLayout = 0;
    ProfileEntry e0;
    e0.key = 0xff000123; // bits no key fields produce: kept as a number
    e0.tableIds = {5, 6, 0};
    e0.lutChunk = 0x100;
    e0.descriptors = descriptorsForChannels(4);
    e0.descriptors[2].d = 77;
    e0.descriptors[5].f = 3;
    e0.name1 = makeName("twenty-four characters!!");
    e0.name2[0] = 0x01;
    e0.name2[10] = 'z';
    e0.unusedHead[3] = 9;
    e0.unusedWord = 0xdeadbeef;
    e0.setProfileValue(0x11223344);
    layout0.entries.push_back(e0);
    layout0.trailing = {1, 2, 3};
    db.addProfileIndex(3, layout0).directorySpare = 0x55;

    ProfileIndex layout2;
    layout2.layoutWord = makeLayoutWord(2, kFlagExtension | greyModeFlags(3) | 0x01000000);
    layout2.entryLayout = 2;
    layout2.extraWords = 2;
    ProfileEntry e2;
    ParamRecord keyParams{};
    keyParams.keyField94 = 3;
    keyParams.keyField106 = 2;
    keyParams.keyField108 = 1;
    e2.key = keyB(keyParams);
    e2.tableIds = {0xffff, 0, 7};
    e2.descriptors = descriptorsForChannels(3, true);
    e2.descriptors[1].word1High = 0xaa;
    e2.unusedTail[127] = 4;
    e2.extra = {9, 9, 9, 9, 0, 0, 0, 1};
    layout2.entries.push_back(e2);
    db.addProfileIndex(4, layout2);

    ProfileIndex broken;
    broken.layoutWord = 0x00000003; // layout 3: written raw
    broken.entryLayout = 1;
    broken.profileCountOverride = 9;
    db.addProfileIndex(5, broken);

    db.addColourTable(0x100, tableType1({0, 100, 255}, makeRandomGrid(3, 4, 1)));
    auto sets = tableType2({{0, 128, 255}, {0, 64, 255}}, makeRandomGrid(3, 3, 2));
    sets.type2Spare = 7;
    db.addColourTable(7, sets);
    db.addColourTable(5, unmarkedTable(makeRandomGrid(17, 3, 3)));
    db.addColourTable(6, tableType0({1, 2, 3, 4, 5})); // data of no whole grid
    db.addColourTable(8, tableType2({}, {9, 8, 7}));   // header type 2 without a node set
    ExtensionChunk ext;
    ext.extName1 = makeName("Ext");
    ext.extSize = 80;
    ext.trailing = {0xee};
    db.addExtension(0x640, ext).listing = Listing::None;
    db.addRaw(99, 0x77, {0xca, 0xfe});
    db.profileDirectory.extraEntries.push_back(DirectoryEntry{kChunkClass, 0x100, 1, 3, 0});
    db.profileDirectory.extraEntries.push_back(DirectoryEntry{kChunkClass, 0x999, 0, {}, 12345});
    // A record order other than profiles, tables, extensions, raw.
    std::swap(db.records[0], db.records[4]);

    const auto bytes = writeDatabase(db);
    std::string error;
    const auto parsed = parseDatabase(bytes, &error);
    ASSERT_TRUE(parsed) << error;
    EXPECT_EQ(rebuildThroughJson(*parsed), bytes);
}

std::string buildError(const std::string& text, uint64_t maxBytes = kDefaultMaxDatabaseBytes) {
    try {
        databaseFromJson(nlohmann::json::parse(text), {}, maxBytes);
    } catch (const CliError& e) {
        return e.what();
    }
    return "(no error)";
}

TEST(Description, ErrorsNameTheJsonPathOfTheField) {
    const std::string entry =
        R"({"key": 0, "channels": 4, "lutChunk": 256, "tableIds": [0, 0, 0]})";
    const std::string table = R"({"id": 256, "channels": 4, "grid": {"source": "ink-model"}})";
    EXPECT_EQ(buildError(R"({"profiles": [{"profileNumber": 0, "layout": 5, "entries": []}]})"),
              "/profiles/0/layout: must be 0, 1 or 2");
    EXPECT_EQ(buildError(R"({"profiles": [{"profileNumber": 0, "layout": 1, "entries": [)" + entry +
                         R"(, {"key": 1, "chanels": 4}]}]})"),
              "/profiles/0/entries/1: missing field 'channels'");
    EXPECT_EQ(buildError(R"({"profiles": [{"profileNumber": 0, "layout": 1, "entries": [)" + entry +
                         R"(], "colour": 1}]})"),
              "/profiles/0/colour: unknown field");
    EXPECT_EQ(buildError(R"({"profiles": [{"profileNumber": 0, "layout": 0, "greyMode": 2,
                              "entries": []}]})"),
              "/profiles/0: layout 0 carries only flag bits 8-15 (no noBlackBalance, extension "
              "or greyMode)");
    EXPECT_EQ(buildError(R"({"profiles": [{"profileNumber": 70000, "layout": 1, "entries": []}]})"),
              "/profiles/0/profileNumber: must be between 0 and 65535, not 70000");
    EXPECT_EQ(buildError(R"({"tables": [)" + table + R"(, {"id": 1, "nodes": [0, 128, 128, 255],
                              "channels": 3, "grid": {"source": "identity"}}]})"),
              "/tables/1/nodes: node positions must rise strictly (128 then 128)");
    EXPECT_EQ(buildError(R"({"tables": [{"id": 1, "nodes": [0, 255], "channels": 8,
                              "grid": {"source": "ink-model"}}]})"),
              "/tables/0/grid: the ink model drives 1 to 7 inks");
    EXPECT_EQ(buildError(R"({"tables": [{"id": 1, "channels": 4,
                              "grid": {"source": "ink-model", "blackStart": 2}}]})"),
              "/tables/0/grid/blackStart: must be between 0 and 0.99, not 2");
    EXPECT_EQ(buildError(R"({"tables": [{"id": 1, "channels": 4, "grid": {"source": "paint"}}]})"),
              "/tables/0/grid/source: must be values, icc, ink-model, correction or identity");
    EXPECT_EQ(buildError(R"({"tables": [{"id": 1, "data": "0g"}]})"),
              "/tables/0/data: not a hex digit: 'g'");
    EXPECT_EQ(buildError(R"({"tables": [{"id": 1, "points": 2, "channels": 1,
                              "grid": {"source": "values", "values": [1, 2, 3]}}]})"),
              "/tables/0/grid: values must hold n^3 x channels = 8 bytes, not 3");
    EXPECT_EQ(buildError(R"({"tables": [{"id": 1, "channels": 4, "grid": {"source": "icc",
                              "outputProfile": "/nonexistent/x.icc"}}]})"),
              "/tables/0/grid: cannot open ICC profile '/nonexistent/x.icc': File "
              "'/nonexistent/x.icc' not found");
    EXPECT_EQ(
        buildError(R"({"extensions": [{"id": 1600, "name1": "a name longer than the slot"}]})"),
        "/extensions/0/name1: longer than 24 bytes");
    EXPECT_EQ(buildError(R"({"recordOrder": ["tables/0"]})"),
              "/recordOrder: must list every record once (0)");
    EXPECT_EQ(buildError("[1, 2]"), "/: must be an object");
    EXPECT_EQ(buildError(R"({"profiles": [{"profileNumber": 0, "layout": 1, "entries": [
                              {"key": 0, "channels": 4, "extra": "0102"}]}]})"),
              "/profiles/0/entries/0/extra: longer than the 0 extraWords of the profile");
    // Quoted text from the file is cut to a readable length.
    EXPECT_EQ(buildError(R"({"tag": "T", ")" + std::string(100000, 'k') + R"(": 1})"),
              "/" + std::string(48, 'k') + "... (100000 bytes): unknown field");
    // Output beyond the size limit is refused where it arises, before it is made.
    const std::string limit = "the database would grow past 256 MiB here (the limit of 'db "
                              "build'; raise it with --max-size)";
    EXPECT_EQ(buildError(R"({"patches": [{"offset": 4294967295, "data": "00"}]})"),
              "/patches/0/offset: " + limit);
    std::string padded = R"({"profiles": [{"profileNumber": 0, "layout": 1,
                             "extraWords": 1048576, "entries": [)";
    for (int i = 0; i < 64; ++i)
        padded +=
            std::string(i ? ", " : "") + R"({"key": )" + std::to_string(i) + R"(, "channels": 4})";
    EXPECT_EQ(buildError(padded + "]}]}"), "/profiles/0: " + limit);
    EXPECT_EQ(buildError(R"({"tables": [)" + table + "]}", 10000),
              "/tables/0/grid: the database would grow past 10000 bytes here (the limit of 'db "
              "build'; raise it with --max-size)");
}

TEST(Description, ComputedTablesGetTheGreyModeThatReproducesThem) {
    // Profile 0 converts through an ICC grid, 1 through the ink model, 2 the
    // same with an explicit grey mode 0, 3 through explicit values, 4 in
    // layout 0, which stores no grey mode.
    std::string db = R"({"profiles": [)";
    const char* profiles[] = {R"("layout": 1)", R"("layout": 2)", R"("layout": 1, "greyMode": 0)",
                              R"("layout": 1)", R"("layout": 0)"};
    const int lut[] = {1, 2, 2, 3, 2};
    for (int i = 0; i < 5; ++i)
        db += std::string(i ? ", " : "") + R"({"profileNumber": )" + std::to_string(i) + ", " +
              profiles[i] + R"(, "entries": [{"key": 0, "channels": 4, "lutChunk": )" +
              std::to_string(lut[i]) + "}]}";
    db += R"(], "tables": [
        {"id": 1, "points": 2, "channels": 4, "grid": {"source": "icc",
         "outputProfile": "/usr/share/color/icc/ghostscript/default_cmyk.icc"}},
        {"id": 2, "points": 2, "channels": 4, "grid": {"source": "ink-model"}},
        {"id": 3, "points": 2, "channels": 4, "data": "00"}]})";
    std::vector<std::string> warnings;
    const auto built =
        databaseFromJson(nlohmann::json::parse(db), {}, kDefaultMaxDatabaseBytes, &warnings);
    const int expected[5] = {2, 2, 0, 0, 0};
    for (int i = 0; i < 5; ++i) {
        const auto word =
            std::get<ProfileIndex>(built.records.at(std::size_t(i)).content).layoutWord;
        EXPECT_EQ(decodeRecordFlags(word) >> 18 & 3, uint32_t(expected[i])) << "profile " << i;
    }
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_EQ(warnings[0].rfind("/profiles/4: layout 0 stores no grey mode", 0), 0u) << warnings[0];
}

TEST(Description, ModelGridsUseTheNodesOfTheirHeader) {
    // A type-1 table of three points: the grid holds the model at 0, 100, 255.
    const auto db = databaseFromJson(nlohmann::json::parse(R"({"tables": [
        {"id": 9, "nodes": [0, 100, 255], "channels": 3, "grid": {"source": "identity"}}]})"),
                                     {});
    const auto& table = std::get<ColourTable>(db.records.at(0).content);
    ASSERT_EQ(table.data.size(), 27u * 3);
    const uint8_t nodes[3] = {0, 100, 255};
    for (int q = 0; q < 3; ++q)
        for (int i0 = 0; i0 < 3; ++i0)
            for (int i1 = 0; i1 < 3; ++i1)
                for (int i2 = 0; i2 < 3; ++i2) {
                    const int axis[3] = {i0, i1, i2};
                    EXPECT_EQ(table.data[gridIndex(3, q, i0, i1, i2)], nodes[axis[q]]);
                }
}

} // namespace
} // namespace vrel::cli
