// Start-up, reset and the queries as a caller sees them: every database of
// the catalogue, the records that choose tables and adjustments, which
// record changes VrelReset keeps a context for, and the profile answers.
#include "battery.h"
#include "core/engine_context.h"
#include "database_catalogue.h"
#include "init_outcome.h"
#include "resources/file_layer.h"
#include "setup/test_hooks.h"
#include "support/test_support.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>
#include <set>
#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

using namespace vrel::test;
namespace db = vrel::dbwriter;
using vrel::testing::openFiles;

db::Database catalogued(const std::string& name) {
    for (CatalogueEntry& entry : databaseCatalogue()) {
        if (entry.name == name) {
            return std::move(entry.database);
        }
    }
    throw std::logic_error("no catalogue entry " + name);
}

TEST(StartUp, EveryCatalogueEntryGivesItsResultAndSlotAndLeavesNothingBehind) {
    std::set<std::string> names;
    int broken = 0;
    for (const CatalogueEntry& entry : databaseCatalogue()) {
        SCOPED_TRACE(entry.name);
        EXPECT_TRUE(names.insert(entry.name).second);
        EXPECT_EQ(entry.damage.empty(), entry.slot == SlotAfter::Context);
        SampleFile file(entry.database);
        const ParamRecord params = file.params(entry.params);
        const long before = liveBlocks();
        EngineContext* slot = untouchedSlotMarker();
        EXPECT_EQ(VrelInit(&slot, &params), entry.expected);
        EXPECT_EQ(openFiles(), 0);
        if (entry.slot == SlotAfter::Context) {
            ASSERT_NE(slot, nullptr);
            ASSERT_NE(slot, untouchedSlotMarker());
            EXPECT_EQ(slot->ready, 1u);
            (void)runBattery(slot, BatteryOptions{.everyPair = false});
            VrelClose(slot);
        } else {
            EXPECT_EQ(slot, entry.slot == SlotAfter::Null ? nullptr : untouchedSlotMarker());
            ++broken;
        }
        EXPECT_EQ(liveBlocks(), before);
    }
    EXPECT_GE(broken, 40);
}

TEST(StartUp, RefusedRecordsAndPathsLeaveTheSlotAndAllocateNothing) {
    SampleFile file(makeSampleDatabase(SampleRecipe{}));
    const ParamRecord params = file.params(0);
    const long before = liveBlocks();
    EXPECT_EQ(VrelInit(nullptr, &params), VREL_ERR_PARAM);
    EXPECT_EQ(VrelReset(nullptr, &params), VREL_ERR_PARAM);
    EngineContext* slot = untouchedSlotMarker();
    EXPECT_EQ(VrelInit(&slot, nullptr), VREL_ERR_PARAM);
    ParamRecord missing = params;
    std::strcpy(missing.databaseName, "absent.db");
    EXPECT_EQ(VrelInit(&slot, &missing), VREL_ERR_FILE);
    EXPECT_EQ(slot, untouchedSlotMarker());
    EXPECT_EQ(liveBlocks(), before);
    EXPECT_EQ(openFiles(), 0);
    VrelClose(nullptr);

    // Directory, separator and name of 287 characters open; 288 are refused
    // rather than cut to a path that names another file.
    const std::string name = "sample.db";
    for (const size_t length : {size_t{287}, size_t{288}}) {
        std::string dir = file.dir().str() + "/" + std::string(200, 'd') + "/";
        dir.append(length - 1 - name.size() - dir.size(), 'e');
        std::filesystem::create_directories(dir);
        std::filesystem::copy_file(file.path(), std::filesystem::path(dir) / name);
        ParamRecord deep = params;
        deep.directoryName = dir.c_str();
        slot = untouchedSlotMarker();
        const int result = VrelInit(&slot, &deep);
        EXPECT_EQ(result, length == 287 ? 0 : VREL_ERR_FILE) << length;
        if (result == 0) {
            VrelClose(slot);
        } else {
            EXPECT_EQ(slot, untouchedSlotMarker());
        }
    }
#ifndef _WIN32
    // Only a regular file opens: a FIFO whose writer never writes would block,
    // a device may never end, a directory holds no data.
    const std::string pipe = file.dir().str() + "/pipe";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    const int writer = ::open(pipe.c_str(), O_RDWR | O_NONBLOCK);
    std::filesystem::create_directory(file.dir().path() / "folder");
    for (const auto& [name, folder] :
         {std::pair<const char*, const char*>{"pipe", file.dir().c_str()},
          {"folder", file.dir().c_str()},
          {"zero", "/dev"}}) {
        const ParamRecord special = standardParams(0, folder, name);
        slot = untouchedSlotMarker();
        EXPECT_EQ(VrelInit(&slot, &special), VREL_ERR_FILE) << name;
        EXPECT_EQ(slot, untouchedSlotMarker()) << name;
    }
    ::close(writer);
    EXPECT_EQ(openFiles(), 0);
#endif
    // A name filling its 20 bytes has no NUL: the switch after it is no part of it.
    SampleFile full(makeSampleDatabase(SampleRecipe{}), "ABCDEFGHIJKLMNOPQRST");
    OpenContext context(full.params(1));
    EXPECT_EQ(context.result(), VREL_OK_ADJUST);
}

// The adjustment switch decides the result, whether the selector and the
// balance apply; the record flags silence the black balance.
TEST(StartUp, SwitchSelectorAndFlagsChooseTableAndAdjustments) {
    struct Row {
        int layout;
        uint32_t flags;
        uint16_t adjustSwitch, selector, keyField16;
        int result;
        uint16_t table;
        bool balance, blackBalance;
    };
    const uint32_t noBlack = db::kFlagNoBlackBalance;
    const Row rows[] = {
        {1, 0, 1, 2, 0, 1, 0x11, true, true},        {1, 0, 2, 3, 0, 0, 0x12, true, true},
        {1, 0, 0, 2, 0, 0, 0x10, false, false},      {1, 0, 1, 7, 0, 1, 0x10, true, true},
        {1, 0, 1, 3, 4, 1, 0x12, false, false},      {0, 0, 1, 3, 0, 1, 0x10, true, true},
        {2, noBlack, 2, 0, 0, 0, 0x10, true, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << "switch " << row.adjustSwitch << " selector "
                                        << row.selector << " layout " << row.layout);
        SampleRecipe recipe;
        recipe.layout = row.layout;
        recipe.recordFlags = row.flags;
        recipe.correctionForm = TableForm::Type0;
        SampleFile file(makeSampleDatabase(recipe));
        ParamRecord params = file.params(0);
        params.adjustSwitch = row.adjustSwitch;
        params.tableSelector = row.selector;
        params.keyField16 = row.keyField16;
        params.balance[0] = -20;
        params.balance[3] = 30;
        params.density = 12;
        OpenContext context(params);
        ASSERT_EQ(context.result(), row.result);
        const vrel::SettingsRecord& s = context.get()->settings;
        EXPECT_EQ(s.correctionTableId, row.table);
        EXPECT_EQ(static_cast<int16_t>(s.balance[0]), row.balance ? -20 : 0);
        EXPECT_EQ(s.balance[3], row.blackBalance ? 30 : 0);
        EXPECT_EQ(s.density, 12);
    }
}

TEST(StartUp, ChannelsAndOverrideGiveTheConversionMethod) {
    struct Row {
        int channels;
        bool fourWithE256;
        uint16_t methodOverride;
        int method;
    };
    for (const Row& row : {Row{4, false, 1, 3}, Row{3, true, 0, 3}, Row{6, false, 0, 6},
                           Row{7, false, 0, 7}, Row{4, false, 2, 4}, Row{1, false, 0, 1}}) {
        SampleRecipe recipe;
        recipe.channels = row.channels;
        recipe.fourWithE256 = row.fourWithE256;
        SampleFile file(makeSampleDatabase(recipe));
        ParamRecord params = file.params(0);
        params.methodOverride = row.methodOverride;
        OpenContext context(params);
        ASSERT_EQ(context.result(), 0) << row.channels;
        EXPECT_EQ(VrelInitColorConversion(context.get(), VrelModeDirect, nullptr), row.method)
            << row.channels << " channels, override " << row.methodOverride;
    }
}

// Which changes of the record VrelReset keeps the context for (2, or 3 when
// it was opened with the adjustment switch on) and which open a new one.
TEST(Reset, KeepsTheContextExactlyWhenTheComparedFieldsAreEqual) {
    struct Row {
        const char* what;
        int startRecord; // standard record the context was opened with
        void (*change)(ParamRecord&);
        int result; // 2 or 3: kept
    };
    const Row rows[] = {
        {"key field 94", 0, [](ParamRecord& p) { p.keyField94 = 17; }, 2},
        {"key fields 104-108", 0, [](ParamRecord& p) { p.keyField104 = p.keyField108 = 5; }, 2},
        {"database name", 0, [](ParamRecord& p) { std::strcpy(p.databaseName, "other.db"); }, 2},
        {"reserved word 26", 0, [](ParamRecord& p) { p.reserved26 = 1; }, 2},
        {"switch on", 0, [](ParamRecord& p) { p.adjustSwitch = 1; }, 2},
        {"selector with switch off", 0, [](ParamRecord& p) { p.tableSelector = 2; }, 2},
        {"switch off, balance", 1,
         [](ParamRecord& p) {
             p.adjustSwitch = 0;
             p.balance[0] = 9;
         },
         3},
        {"selector", 1, [](ParamRecord& p) { p.tableSelector = 3; }, 1},
        {"input kind", 1, [](ParamRecord& p) { p.inputKind = 18; }, 1},
        {"black balance", 1, [](ParamRecord& p) { p.balance[3] = -7; }, 1},
        {"record word 0", 0, [](ParamRecord& p) { p.recordWord0 = 1; }, 0},
        {"record word 12", 0, [](ParamRecord& p) { p.recordWords9to12[3] = 1; }, 0},
        {"key field 16", 0, [](ParamRecord& p) { p.keyField16 = 0x100; }, 0},
        {"density", 0, [](ParamRecord& p) { p.density = 20; }, 0},
        {"method override", 0, [](ParamRecord& p) { p.methodOverride = 2; }, 0},
        {"word 134", 0, [](ParamRecord& p) { p.paramWord134 = 1; }, 0},
    };
    SampleFile file(makeSampleDatabase(recipeForMethod(4)));
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const ParamRecord start = file.params(row.startRecord);
        EngineContext* slot = nullptr;
        ASSERT_GE(VrelInit(&slot, &start), 0);
        EngineContext* const opened = slot;
        ParamRecord changed = start;
        row.change(changed);
        const long blocks = liveBlocks();
        vrel::testing::resetFileOperationCounter();
        EXPECT_EQ(VrelReset(&slot, &changed), row.result);
        ASSERT_NE(slot, nullptr);
        const bool kept = row.result >= 2;
        EXPECT_EQ(std::memcmp(&slot->params, kept ? &start : &changed, sizeof changed), 0);
        if (kept) {
            EXPECT_EQ(slot, opened);
            EXPECT_EQ(vrel::testing::fileOperationsMade(), 0);
            EXPECT_EQ(liveBlocks(), blocks);
        }
        VrelClose(slot);
    }
}

// A failed re-open closes the old context and leaves the slot null, never
// pointing at the freed context; a layout number comes back as -138, since
// 2 and 3 would read as a kept context. An empty slot behaves like VrelInit.
TEST(Reset, FailedReopenEmptiesTheSlotAndEmptySlotOpens) {
    TempDir dir;
    writeDatabaseFile(dir.path(), "good.db", makeSampleDatabase(SampleRecipe{}));
    const long before = liveBlocks();
    for (const auto& [entry, result] : {std::pair<std::string, int>{"", VREL_ERR_FILE},
                                        {"layout-three", VREL_ERR_FILE},
                                        {"conversion-chunk-missing", VREL_ERR_MEMORY}}) {
        SCOPED_TRACE(entry);
        if (!entry.empty()) {
            writeDatabaseFile(dir.path(), "next.db", catalogued(entry));
        }
        const std::string name = entry.empty() ? "absent.db" : "next.db";
        ParamRecord changed = standardParams(0, dir.c_str(), name.c_str());
        changed.density = 20;
        EngineContext* slot = nullptr;
        const ParamRecord good = standardParams(0, dir.c_str(), "good.db");
        ASSERT_EQ(VrelReset(&slot, &good), 0);
        ASSERT_NE(slot, nullptr);
        EXPECT_EQ(VrelReset(&slot, &changed), result);
        EXPECT_EQ(slot, nullptr);
        VrelClose(slot);
        EXPECT_EQ(VrelReset(&slot, &changed), result);
        EXPECT_EQ(slot, nullptr);
        EXPECT_EQ(liveBlocks(), before);
    }
}

// 11 and 12 answer from the extension chunk the selector chose, 13 and 14
// from the profile record; the name slot depends on the profile class.
TEST(Queries, AnswerFromExtensionOrRecordByFormAndProfileClass) {
    struct Row {
        bool extension;
        uint32_t profileClass;
        const char* name;       // plain form (11, 12)
        const char* recordName; // record form (13, 14)
    };
    const Row rows[] = {
        {false, 2, "sample-two", "sample-two"},
        {false, 9, "sample-one", "sample-one"},
        {true, 2, "ext-one-1", "sample-two"},
        {true, 1, "ext-one-1", "sample-two"},
        {true, 9, "ext-nine-1", "sample-one"},
        {true, 12, "ext-nine-1", "sample-one"},
        {true, 10, "ext-ten-1", "sample-two"},
        {true, 11, "ext-ten-1", "sample-two"},
        {true, 7, nullptr, nullptr},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << row.extension << " class " << row.profileClass);
        SampleRecipe recipe;
        recipe.recordFlags = row.extension ? db::kFlagExtension : 0;
        SampleFile file(makeSampleDatabase(recipe));
        OpenContext context(file.params(1)); // selector 2: the second extension chunk
        ASSERT_EQ(context.result(), VREL_OK_ADJUST);
        vrel::testing::setProfileClass(context.get(), row.profileClass);
        const uint32_t value = 0xc0ffee01u;
        const uint32_t plainValue = row.extension ? 0x5151u : value;
        uint8_t plain[8], record[8];
        EXPECT_EQ(VrelGetSearchData(context.get(), plain, 0), plainValue);
        EXPECT_EQ(VrelGetSearchDataC(context.get(), record, 0), value);
        const uint8_t plainKey[8] = {0xa0, 0xb0, 0xc0, 0xd1, 1, 0, 2, 0};
        const uint8_t recordKey[8] = {0x11, 0x22, 0x33, 0x44, 5, 0, 7, 0};
        EXPECT_EQ(std::memcmp(plain, row.extension ? plainKey : recordKey, 8), 0);
        EXPECT_EQ(std::memcmp(record, recordKey, 8), 0);
        char name[24], recordName[24];
        std::memset(name, 0x33, sizeof name);
        std::memset(recordName, 0x33, sizeof recordName);
        EXPECT_EQ(VrelGetProfileName(context.get(), reinterpret_cast<uint8_t*>(name), 0),
                  plainValue);
        EXPECT_EQ(VrelGetProfileNameC(context.get(), reinterpret_cast<uint8_t*>(recordName), 0),
                  value);
        const auto text = [](const char* buffer, const char* expected) {
            return expected != nullptr ? std::string(buffer) : std::string(buffer, 24);
        };
        const std::string untouched(24, 0x33);
        EXPECT_EQ(text(name, row.name), row.name ? row.name : untouched);
        EXPECT_EQ(text(recordName, row.recordName), row.recordName ? row.recordName : untouched);
    }
    uint8_t untouched[24];
    std::memset(untouched, 0x77, sizeof untouched);
    EXPECT_EQ(VrelGetSearchData(nullptr, untouched, 0), 0u);
    EXPECT_EQ(VrelGetSearchDataC(nullptr, untouched, 0), 0u);
    EXPECT_EQ(VrelGetProfileName(nullptr, untouched, 0), 0u);
    EXPECT_EQ(VrelGetProfileNameC(nullptr, untouched, 0), 0u);
    EXPECT_EQ(std::count(untouched, untouched + 24, 0x77), 24);
}

} // namespace
