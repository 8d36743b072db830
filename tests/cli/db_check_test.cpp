// "db check" against the engine: every malformed file that VrelInit (or the
// conversion set-up) refuses is reported, at the offset of the offending
// bytes; the well-formed base file gives no problem and opens.
#include "core/engine_context.h"
#include "database_catalogue.h"
#include "db_check.h"
#include "support/param_builder.h"
#include "support/test_support.h"
#include "support/test_support.h"

#include <functional>
#include <gtest/gtest.h>

namespace vrel::cli {
namespace {

using namespace vrel::dbwriter;

constexpr size_t kProfileRecord = 0, kLutRecord = 1, kCorrectionRecord = 2, kExtRecord = 3;

// Profile 0 (layout 1, extension flag): four channels, conversion table 0x100
// on 5 nodes, correction table 0x200 on the default grid, extension 0x640.
Database baseDatabase() {
    Database db;
    ProfileIndex index;
    index.layoutWord = makeLayoutWord(1, kFlagExtension);
    index.entryLayout = 1;
    ProfileEntry entry;
    entry.key = 0;
    entry.tableIds = {0x200, 0x200, 0x200};
    entry.lutChunk = 0x100;
    entry.descriptors = descriptorsForChannels(4);
    entry.name2 = makeName("base");
    index.entries.push_back(entry);
    db.addProfileIndex(0, index);
    db.addColourTable(0x100, tableType1({0, 64, 128, 192, 255}, makeRandomGrid(5, 4, 11)));
    db.addColourTable(0x200, tableType0(makeRandomGrid(17, 3, 12)));
    dbwriter::ExtensionChunk ext;
    ext.extName1 = makeName("ext");
    db.addExtension(0x640, ext);
    db.addExtension(0x641, ext);
    db.addExtension(0x642, ext);
    return db;
}

struct Outcome {
    CheckReport report;
    VrelResult init = 0;
    int line = 0; // VrelLineColorConversion of one grey pixel when the context opened
    int method = 0;
};

// The parameter record that opens `name` in `directory`.
using ParamsFor = std::function<ParamRecord(const char* directory, const char* name)>;

Outcome checkAndOpen(const Database& db, const ParamsFor& paramsFor) {
    test::TempDir dir;
    const auto bytes = writeDatabase(db);
    test::writeBytesFile(dir.path(), "check.vdb", bytes);
    Outcome out;
    out.report = checkDatabase(bytes);
    test::OpenContext context(paramsFor(dir.c_str(), "check.vdb"));
    out.init = context.result();
    if (context) {
        uint8_t grey = 128, planes[7][1] = {};
        LineRecord line{};
        line.format = VrelFormatGray8;
        line.source = &grey;
        for (int i = 0; i < 7; ++i)
            line.planes[i] = planes[i];
        out.line = VrelLineColorConversion(&line, 1, 0, 0, 0, context.get());
        out.method = context.get()->conversionMethod;
    }
    return out;
}

Outcome checkAndOpen(const Database& db,
                     const std::function<void(test::ParamBuilder&)>& tweak = {}) {
    return checkAndOpen(db, [&](const char* directory, const char* name) {
        test::ParamBuilder params;
        params.database(name).directory(directory);
        if (tweak)
            tweak(params);
        return params.build();
    });
}

// VrelInit failed, or the line conversion refused a context whose method it
// should take (a three-channel context converts bitmaps only).
bool engineRefused(const Outcome& out) {
    return (out.init != VREL_OK && out.init != VREL_OK_ADJUST) ||
           (out.line < 0 && out.method != VrelMethodThreeChannel);
}

std::string describe(const CheckReport& report) {
    std::string text;
    for (const auto& p : report.problems)
        text += "  at " + std::to_string(p.offset) + ": " + p.message + "\n";
    return text.empty() ? "  (no problems)\n" : text;
}

// The check finds exactly one problem, at `offset`, and the engine refuses.
void expectRefused(const char* what, const Database& db, uint64_t offset,
                   const std::function<void(test::ParamBuilder&)>& tweak = {}) {
    SCOPED_TRACE(what);
    const auto out = checkAndOpen(db, tweak);
    ASSERT_EQ(out.report.problems.size(), 1u) << describe(out.report);
    EXPECT_EQ(out.report.problems[0].offset, offset) << describe(out.report);
    EXPECT_TRUE(engineRefused(out))
        << "the engine took it: VrelInit " << out.init << ", line conversion " << out.line;
}

TEST(DatabaseCheck, WellFormedFileHasNoProblemAndOpens) {
    const auto out = checkAndOpen(baseDatabase());
    EXPECT_TRUE(out.report.problems.empty()) << describe(out.report);
    EXPECT_EQ(out.report.profileEntries, 1);
    EXPECT_EQ(out.report.chunksChecked, 5); // two colour tables and three extension chunks
    EXPECT_EQ(out.init, VREL_OK);
    EXPECT_EQ(out.line, VREL_OK);
}

TEST(DatabaseCheck, FindsEveryRefusedFileAtTheRightOffset) {
    const auto layout = writeDatabaseWithLayout(baseDatabase());
    const auto data = [&](size_t record) { return uint64_t{layout.dataOffset(record)}; };
    const auto sizeWord = [&](size_t record) { return uint64_t{layout.recordOffsets.at(record)}; };
    const auto table = [](Database& db, size_t i) -> ColourTable& {
        return std::get<ColourTable>(db.records[i].content);
    };

    {
        auto db = baseDatabase();
        auto& index = std::get<ProfileIndex>(db.records[kProfileRecord].content);
        index.layoutWord = 3;
        expectRefused("layout 3", db, data(kProfileRecord));
    }
    {
        auto db = baseDatabase();
        table(db, kLutRecord).headerType = 2; // type 2 only for the correction group
        expectRefused("header type 2 in the conversion table", db, data(kLutRecord) + 4);
    }
    {
        auto db = baseDatabase();
        table(db, kCorrectionRecord).headerType = 3;
        expectRefused("header type 3 in the correction table", db, data(kCorrectionRecord) + 4);
    }
    {
        auto db = baseDatabase();
        table(db, kLutRecord).pointCountOverride = 65;
        expectRefused("65 grid points", db, data(kLutRecord) + 5);
    }
    {
        auto db = baseDatabase();
        table(db, kLutRecord).nodes = {0, 64, 64, 192, 255};
        expectRefused("nodes not rising", db, data(kLutRecord) + 6 + 2);
    }
    {
        auto db = baseDatabase();
        table(db, kLutRecord).nodes = {1, 64, 128, 192, 255};
        expectRefused("nodes not starting at 0", db, data(kLutRecord) + 6);
    }
    {
        auto db = baseDatabase();
        table(db, kLutRecord).nodes = {0, 64, 128, 192, 254};
        expectRefused("nodes not ending at 255", db, data(kLutRecord) + 6 + 4);
    }
    {
        auto db = baseDatabase();
        table(db, kLutRecord).data.pop_back();
        expectRefused("conversion chunk one byte short of its grid", db, sizeWord(kLutRecord));
    }
    {
        auto db = baseDatabase();
        table(db, kCorrectionRecord).data.resize(100);
        expectRefused("correction chunk short of its grid", db, sizeWord(kCorrectionRecord));
    }
    {
        auto db = baseDatabase();
        std::get<dbwriter::ExtensionChunk>(db.records[kExtRecord].content).extSize = 80;
        expectRefused("extension size word 80", db, data(kExtRecord) + 2);
    }
    {
        auto db = baseDatabase();
        db.records[kExtRecord].sizeOverride = 87;
        expectRefused("extension chunk of 87 bytes", db, sizeWord(kExtRecord));
    }
    {
        auto db = baseDatabase();
        std::get<ProfileIndex>(db.records[kProfileRecord].content).entries[0].lutChunk = 0x300;
        expectRefused("conversion chunk not in the directory", db, 16);
    }
    {
        auto db = baseDatabase();
        db.chunkDirectory.offsetOverride = 0x7fffff00;
        expectRefused("chunk directory past the end", db, 16);
    }
    {
        auto db = baseDatabase();
        db.records[kLutRecord].sizeOverride = 0x40000000;
        expectRefused("record longer than the file", db, sizeWord(kLutRecord));
    }
    {
        auto db = baseDatabase();
        db.records[kProfileRecord].sizeOverride = 12 + 4 + 200; // payload needs 292
        expectRefused("entry payload past the record", db, data(kProfileRecord) + 12);
    }
    {
        auto db = baseDatabase();
        auto& entry = std::get<ProfileIndex>(db.records[kProfileRecord].content).entries[0];
        entry.descriptors = descriptorsForChannels(5);
        db.records[kLutRecord].content =
            tableType1({0, 64, 128, 192, 255}, makeRandomGrid(5, 5, 13));
        expectRefused("five channels (no method the line conversion takes)", db,
                      data(kProfileRecord) + 12 + 4 + 36);
    }
    {
        // Two node sets; input kind 22 chooses set 4.
        auto db = baseDatabase();
        db.records[kCorrectionRecord].content =
            tableType2({{0, 128, 255}, {0, 100, 255}}, makeRandomGrid(3, 3, 14));
        expectRefused("node set the chunk does not hold", db, data(kCorrectionRecord) + 7,
                      [](test::ParamBuilder& p) { p.inputKind(22); });
    }
}

TEST(DatabaseCheck, NodesTheEngineNeverReadsAreNoProblem) {
    // Selector 3 lays a type-1 correction table on the default grid and,
    // without the extension flag, reads only node set 0 of a type-2 one.
    const Bytes bad = {0, 9, 9};
    for (const auto& table :
         {tableType1({7}, makeRandomGrid(17, 3, 15)),
          tableType2({{0, 128, 255}, bad, bad, bad, bad}, makeRandomGrid(3, 3, 16))}) {
        auto db = baseDatabase();
        auto& index = std::get<ProfileIndex>(db.records[kProfileRecord].content);
        index.layoutWord = makeLayoutWord(1, 0);
        index.entries[0].tableIds[2] = 0x300;
        db.addColourTable(0x300, table);
        const auto out =
            checkAndOpen(db, [](test::ParamBuilder& p) { p.adjustSwitch(1).tableSelector(3); });
        EXPECT_TRUE(out.report.problems.empty()) << describe(out.report);
        EXPECT_FALSE(engineRefused(out));
    }
}

// Over the whole catalogue of sample files, db check finds a problem exactly
// when the engine refuses the file under one of the standard parameter
// records, and always when it refuses it under the entry's own; every
// problem lies inside the file. A search that finds no entry for the
// caller's key (-128) depends on the key, not on the file, and is left out.
TEST(DatabaseCheck, AgreesWithTheEngineOnEveryCatalogueFile) {
    for (const auto& entry : test::databaseCatalogue()) {
        if (entry.expected == VREL_ERR_PARAM)
            continue;
        SCOPED_TRACE(entry.name);
        bool refusedBySome = false;
        CheckReport report;
        for (int index = 0; index < test::kStandardParamCount; ++index) {
            const auto out = checkAndOpen(entry.database, [&](const char* dir, const char* name) {
                return test::standardParams(index, dir, name);
            });
            const bool refused = engineRefused(out) && out.init != VREL_ERR_PARAM;
            EXPECT_TRUE(!refused || index != entry.params || !out.report.problems.empty());
            refusedBySome = refusedBySome || refused;
            report = out.report;
        }
        EXPECT_EQ(!report.problems.empty(), refusedBySome) << describe(report);
        for (const auto& problem : report.problems)
            EXPECT_LE(problem.offset, report.fileSize) << problem.message;
    }
}

TEST(DatabaseCheck, CountsTheFileCannotHoldAreBoundedAndRepeatsSummarised) {
    // 0xffffffff entries of 0 words in a record that holds one key and no
    // payload: an entry of no words holds no key, so the engine finds none.
    auto db = baseDatabase();
    auto& index = std::get<ProfileIndex>(db.records[kProfileRecord].content);
    const auto entry = index.entries[0];
    index.entries.clear();
    index.trailing = {0, 0, 0, 0};
    index.profileCountOverride = 0xffffffffu;
    index.entryWordsOverride = 0;
    const auto zeroWords = checkDatabase(writeDatabase(db));
    EXPECT_EQ(zeroWords.profileEntries, 0);
    EXPECT_EQ(zeroWords.problems.size(), 1u) << describe(zeroWords);
    EXPECT_LE(zeroWords.notes.size(), 2u) << zeroWords.notes.size() << " notes";

    // 3000 entries of one key: four are listed, the rest counted in one line.
    index = ProfileIndex{};
    index.layoutWord = makeLayoutWord(1, kFlagExtension);
    index.entryLayout = 1;
    index.entries.resize(3000, entry);
    const auto repeated = checkDatabase(writeDatabase(db));
    EXPECT_TRUE(repeated.problems.empty()) << describe(repeated);
    ASSERT_EQ(repeated.notes.size(), 5u);
    EXPECT_EQ(repeated.notes[4].message, "and 2995 more profile entries repeat an earlier key "
                                         "(the first 4 are listed)");
}

TEST(DatabaseCheck, ReportsFilesTooShortForTheirDirectories) {
    const std::vector<uint8_t> tiny(10, 0);
    const auto report = checkDatabase(tiny);
    ASSERT_EQ(report.problems.size(), 1u);
    EXPECT_EQ(report.problems[0].offset, 0u);

    auto bytes = writeDatabase(baseDatabase());
    const auto layout = writeDatabaseWithLayout(baseDatabase());
    // The profile directory claims more entries than the file holds.
    const uint32_t dir = layout.profileDirectoryOffset;
    bytes[dir] = 0xff;
    bytes[dir + 1] = 0xff;
    const auto report2 = checkDatabase(bytes);
    ASSERT_FALSE(report2.problems.empty());
    EXPECT_EQ(report2.problems[0].offset, dir);
}

} // namespace
} // namespace vrel::cli
