// Table loading from database files written by the project's writer: the
// failure table row by row, directly through the loaders (their own codes)
// and through VrelInit (which reports -108 for every loading failure), and
// the release of every chunk on every path.
#include "resources/file_layer.h"
#include "resources/table_loading.h"
#include "support/database_factory.h"
#include "support/test_support.h"
#include "table_fixtures.h"

#include <cstring>
#include <functional>
#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace vrel {
namespace {

namespace db = vrel::dbwriter;
using tables_test::ScratchContext;
using test::TempDir;

constexpr uint16_t kChunk = 0x300;

// One database file with the table file opened as VrelInit opens it, a
// scratch context and the settings the loaders read.
class LoaderRig {
  public:
    explicit LoaderRig(const db::Database& database) {
        test::writeDatabaseFile(dir_.path(), "tables.db", database);
        std::strcpy(settings_.tableFile.fileName, "tables.db");
        settings_.tableFile.directory = dir_.c_str();
        opened_ = openFile(&settings_.tableFile, 0) == 0;
        settings_.nodeChunkId0 = settings_.nodeChunkId1 = 0xffff;
    }
    ~LoaderRig() {
        if (opened_) {
            closeFile(&settings_.tableFile);
        }
    }

    bool opened() const { return opened_; }
    SettingsRecord& settings() { return settings_; }
    EngineContext* context() { return context_.get(); }
    // The loader gave its chunk back.
    bool chunkReleased() const {
        return settings_.chunkRequest.data == nullptr &&
               settings_.chunkRequest.block.address == nullptr;
    }

  private:
    TempDir dir_;
    SettingsRecord settings_{};
    ScratchContext context_;
    bool opened_ = false;
};

db::Bytes randomBytes(size_t n, uint32_t seed) {
    db::Random rng(seed);
    db::Bytes out(n);
    for (auto& b : out) {
        b = rng.byte();
    }
    return out;
}

size_t gridBytes(size_t n, size_t c) {
    return n * n * n * c;
}

struct LoaderCase {
    std::string what;
    db::Bytes chunk; // the chunk's bytes as written
    int group;       // 1: loadGroup1, 0: loadGroup0
    uint16_t method; // group 0: methodSource
    uint16_t inputKind;
    int16_t expected; // the loader's own code
};

std::vector<LoaderCase> failureRows() {
    std::vector<LoaderCase> rows;
    auto add = [&rows](std::string what, const db::ColourTable& table, int group, uint16_t method,
                       uint16_t inputKind, int16_t expected) {
        rows.push_back(
            {std::move(what), db::encodeColourTable(table), group, method, inputKind, expected});
    };
    const db::Bytes nodes5 = {0, 60, 128, 200, 255};
    const db::Bytes full3 = randomBytes(gridBytes(17, 3), 1);
    const db::Bytes full4 = randomBytes(gridBytes(17, 4), 2);

    db::ColourTable type3 = db::tableType0(full3);
    type3.headerType = 3;
    add("header type 3 in group 1", type3, 1, 0, 0, -138);
    add("header type 2 in group 0", db::tableType2({nodes5}, randomBytes(gridBytes(5, 4), 3)), 0, 4,
        0, -138);
    db::ColourTable type1In0 = db::tableType1(nodes5, randomBytes(gridBytes(5, 4), 4));
    type1In0.headerType = 7;
    add("header type 7 in group 0", type1In0, 0, 4, 0, -138);

    db::Bytes nodes65(65);
    for (int i = 0; i < 65; ++i) {
        nodes65[i] = static_cast<uint8_t>(i * 255 / 64);
    }
    add("65 grid points", db::tableType1(nodes65, randomBytes(gridBytes(65, 3), 5)), 1, 0, 0, -138);

    db::Bytes short3 = full3;
    short3.pop_back();
    add("unmarked chunk one byte short", db::unmarkedTable(short3), 1, 0, 0, -138);
    add("type 0 chunk one byte short", db::tableType0(short3), 1, 0, 0, -138);
    db::Bytes short5 = randomBytes(gridBytes(5, 4) - 1, 6);
    add("type 1 chunk one byte short", db::tableType1(nodes5, short5), 0, 4, 0, -138);
    add("type 2 chunk one byte short",
        db::tableType2({nodes5, nodes5, nodes5}, randomBytes(gridBytes(5, 3) - 1, 7)), 1, 0, 0,
        -138);
    // The point count promises nodes the chunk does not hold.
    db::ColourTable promised = db::tableType1(nodes5, {});
    promised.pointCountOverride = 60;
    add("nodes past the end", promised, 1, 0, 0, -138);
    rows.push_back({"mark only", db::Bytes{0xff, 0x00, 0xff, 0x00}, 1, 0, 0, -138});
    rows.push_back({"type 1 header cut", db::Bytes{0xff, 0x00, 0xff, 0x00, 0x01}, 1, 0, 0, -138});
    rows.push_back(
        {"type 2 header cut", db::Bytes{0xff, 0x00, 0xff, 0x00, 0x02, 5, 0}, 1, 0, 0, -138});
    rows.push_back(
        {"type 0 without a grid", db::Bytes{0xff, 0x00, 0xff, 0x00, 0x00}, 0, 4, 0, -138});

    // Input kind 22 chooses set 4; the chunk holds only two sets.
    add("node set beyond the set count",
        db::tableType2({nodes5, nodes5}, randomBytes(gridBytes(5, 3), 8)), 1, 0, 22, -138);
    db::ColourTable noSets = db::tableType2({}, randomBytes(gridBytes(5, 3), 8));
    noSets.pointCountOverride = 5;
    add("no node set at all", noSets, 1, 0, 32, -138);

    add("nodes not starting at 0",
        db::tableType1({3, 60, 128, 200, 255}, randomBytes(gridBytes(5, 3), 9)), 1, 0, 0, -128);
    add("nodes not ending at 255",
        db::tableType1({0, 60, 128, 200, 254}, randomBytes(gridBytes(5, 4), 10)), 0, 4, 0, -128);
    add("nodes not rising", db::tableType1({0, 60, 60, 200, 255}, randomBytes(gridBytes(5, 3), 11)),
        1, 0, 0, -128);
    add("nodes falling in the chosen set",
        db::tableType2({nodes5, nodes5, {0, 200, 128, 60, 255}}, randomBytes(gridBytes(5, 3), 12)),
        1, 0, 0, -128);

    add("17 channels", db::tableType0(randomBytes(gridBytes(17, 17), 13)), 0, 17, 0, -108);
    add("200 channels", db::tableType0(full4), 0, 200, 0, -108);
    return rows;
}

TEST(TableLoading, LoadersRefuseEveryFaultyChunkWithTheirOwnCode) {
    for (const LoaderCase& row : failureRows()) {
        db::Database database;
        database.addRaw(db::kChunkClass, kChunk, row.chunk);
        LoaderRig rig(database);
        ASSERT_TRUE(rig.opened()) << row.what;
        SettingsRecord& s = rig.settings();
        s.inputKind = row.inputKind;
        int16_t rc;
        if (row.group == 1) {
            s.correctionTableId = kChunk;
            rc = loadGroup1(rig.context(), &s);
        } else {
            s.methodSource = row.method;
            s.lutChunkId = kChunk;
            rc = loadGroup0(rig.context(), &s);
        }
        EXPECT_EQ(rc, row.expected) << row.what;
        EXPECT_TRUE(rig.chunkReleased()) << row.what;
    }
}

TEST(TableLoading, MissingChunksAndFaultyExtensionsAreRefused) {
    db::Database database;
    database.addColourTable(kChunk, db::tableType0(randomBytes(gridBytes(17, 3), 1)));
    db::ExtensionChunk wrongSize;
    wrongSize.extSize = 83;
    database.addExtension(0x640, wrongSize);
    database.addRaw(db::kChunkClass, 0x641, randomBytes(87, 2)); // one byte short
    db::Bytes shortWithSize = randomBytes(87, 3);
    shortWithSize[2] = 84;
    shortWithSize[3] = 0;
    database.addRaw(db::kChunkClass, 0x642, shortWithSize);
    LoaderRig rig(database);
    ASSERT_TRUE(rig.opened());
    SettingsRecord& s = rig.settings();

    s.correctionTableId = 0x301;
    EXPECT_EQ(loadGroup1(rig.context(), &s), -138);
    EXPECT_TRUE(rig.chunkReleased());
    EXPECT_EQ(static_cast<int32_t>(s.chunkRequest.lastError), -138);
    s.methodSource = 4;
    s.lutChunkId = 0x302;
    EXPECT_EQ(loadGroup0(rig.context(), &s), -138);
    EXPECT_TRUE(rig.chunkReleased());

    s.flagExtension = 1;
    for (int16_t selector : {0, 2, 3}) {
        s.tableSelector = selector;
        EXPECT_EQ(loadExtension(&s), -128) << "selector " << selector;
        EXPECT_TRUE(rig.chunkReleased());
        for (uint8_t b : s.extChunk.extName9) {
            ASSERT_EQ(b, 0) << "a refused extension chunk was copied";
        }
    }
    s.flagExtension = 0;
    EXPECT_EQ(loadExtension(&s), 0); // no extension wanted: nothing read
}

// Writes a fixture, applies a change to its database and opens it.
VrelResult initWith(const test::ProfileOptions& options,
                    const std::function<void(test::ProfileFixture&)>& change,
                    ParamRecord* paramsOut = nullptr) {
    test::ProfileFixture f = test::makeProfileFixture(options);
    change(f);
    TempDir dir;
    f.writeTo(dir);
    if (paramsOut != nullptr) {
        *paramsOut = f.params;
    }
    EngineContext* slot = nullptr;
    const VrelResult rc = VrelInit(&slot, &f.params);
    if (rc >= 0 && rc <= 1) {
        VrelClose(slot);
    } else {
        EXPECT_EQ(slot, nullptr) << "a failed start-up left a context in the slot";
    }
    return rc;
}

TEST(TableLoading, StartUpReportsEveryLoadingFailureAsMemory) {
    const long before = testing::liveBlocks();
    for (const LoaderCase& row : failureRows()) {
        test::ProfileOptions options;
        options.layout = 1;
        const bool group1 = row.group == 1;
        if (!group1) {
            if (row.method == 17 || row.method == 200) {
                continue; // the writer's profiles carry at most 8 channel descriptors
            }
            options.method = row.method;
        }
        const VrelResult rc = initWith(options, [&](test::ProfileFixture& f) {
            const uint16_t id = group1 ? test::kFactoryCorrectionIds[0] : test::kLutChunkId;
            f.db.find(db::kChunkClass, id)->content = db::RawData{row.chunk};
            f.params.inputKind = row.inputKind;
        });
        EXPECT_EQ(rc, -108) << row.what;
    }
    // A missing correction chunk and a missing conversion chunk.
    test::ProfileOptions options;
    EXPECT_EQ(initWith(options,
                       [](test::ProfileFixture& f) {
                           f.db.find(db::kChunkClass, test::kFactoryCorrectionIds[0])->id = 0x7777;
                       }),
              -108);
    EXPECT_EQ(initWith(options,
                       [](test::ProfileFixture& f) {
                           f.db.find(db::kChunkClass, test::kLutChunkId)->id = 0x7777;
                       }),
              -108);
    // A faulty extension chunk.
    options.layout = 2;
    options.withExtension = true;
    EXPECT_EQ(initWith(options,
                       [](test::ProfileFixture& f) {
                           auto& ext = std::get<db::ExtensionChunk>(
                               f.db.find(db::kChunkClass, db::kExtensionIdFirst)->content);
                           ext.extSize = 88;
                       }),
              -108);
    EXPECT_EQ(testing::liveBlocks(), before);
}

TEST(TableLoading, StartUpFreesEverythingWhenAnyAllocationFails) {
    test::ProfileOptions options;
    options.layout = 1;
    options.method = 6;
    options.withExtension = true;
    options.extraFlags = db::greyModeFlags(1);
    test::ProfileFixture f = test::makeProfileFixture(options);
    TempDir dir;
    f.writeTo(dir);
    const long before = testing::liveBlocks();
    bool succeeded = false;
    long failures = 0;
    for (long failing = 1; failing < 200 && !succeeded; ++failing) {
        EngineContext* slot = nullptr;
        testing::failAllocationAt(failing);
        const VrelResult rc = VrelInit(&slot, &f.params);
        testing::failAllocationAt(0);
        if (rc == 0) {
            succeeded = true;
            VrelClose(slot);
        } else {
            EXPECT_EQ(rc, -108) << "failing allocation " << failing;
            EXPECT_EQ(slot, nullptr);
            ++failures;
        }
        ASSERT_EQ(testing::liveBlocks(), before) << "failing allocation " << failing;
    }
    EXPECT_TRUE(succeeded);
    // Probe, profile, context, then per group chunk, table, work buffer and
    // cache, then the extension chunk: every one of them was made to fail.
    EXPECT_GE(failures, 11);
}

} // namespace
} // namespace vrel
