#include "interface/context_lifecycle.h"
#include "lifecycle_fixture.h"
#include "vrel/vrel.h"

#include <cstring>
#include <gtest/gtest.h>
#include <string>

namespace {

namespace dbw = vrel::dbwriter;
using foundation::LifecycleTest;

TEST_F(LifecycleTest, InitBuildsAReadyContextFromARealDatabase) {
    write(foundation::sampleDatabase(params_, 1));
    EngineContext* slot = sentinel();
    ASSERT_EQ(VrelInit(&slot, &params_), 0);
    ASSERT_NE(slot, nullptr);
    ASSERT_NE(slot, sentinel());
    EXPECT_EQ(slot->ready, 1u);
    EXPECT_EQ(slot->profileClass, 2u);
    EXPECT_EQ(slot->kernelFlags, 0x08101800u);
    EXPECT_EQ(slot->statusBits, 0u);
    EXPECT_EQ(slot->initMagic, 0x980912ffu);
    EXPECT_EQ(slot->adjustFlag, 0);
    EXPECT_EQ(slot->preparedAddress, nullptr);
    EXPECT_EQ(slot->conversionMethod, 4);
    EXPECT_EQ(std::memcmp(&slot->params, &params_, sizeof params_), 0);
    EXPECT_EQ(std::memcmp(&slot->settings.paramsCopy, &params_, sizeof params_), 0);
    const vrel::SettingsRecord& s = slot->settings;
    EXPECT_EQ(s.layout, 1);
    EXPECT_EQ(s.channelCount, 4);
    EXPECT_EQ(s.correctionTableId, foundation::kCorrectionIds[0]);
    EXPECT_EQ(s.lutChunkId, foundation::kConversionId);
    EXPECT_EQ(s.nodeChunkId0, 0xffff);
    EXPECT_EQ(s.nodeChunkId1, 0xffff);
    EXPECT_EQ(s.methodSource, 4);
    EXPECT_EQ(std::string(s.fileNameBlock), foundation::kDatabaseName);
    // Both groups loaded, each with its cache.
    EXPECT_NE(slot->groups[0].lutBlock.address, nullptr);
    EXPECT_NE(slot->groups[0].cache8Block.address, nullptr);
    EXPECT_EQ(slot->groups[0].channels, 4);
    EXPECT_NE(slot->groups[1].lutBlock.address, nullptr);
    EXPECT_EQ(slot->groups[1].channels, 3);
    EXPECT_EQ(vrel::testing::openFiles(), openAtStart_);
    VrelClose(slot);
}

TEST_F(LifecycleTest, AdjustSwitchDecidesResultSelectorAndBalance) {
    struct Case {
        uint16_t adjustSwitch;
        uint16_t selector;
        uint16_t keyField16;
        int16_t expectedResult;
        uint16_t expectedTable;
        bool balanceApplies;
    };
    const Case cases[] = {
        {1, 2, 0, 1, 102, true}, {2, 3, 0, 0, 103, true},  {0, 2, 0, 0, 101, false},
        {1, 7, 0, 1, 101, true}, {1, 3, 1, 1, 103, false},
    };
    for (const Case& c : cases) {
        params_.adjustSwitch = c.adjustSwitch;
        params_.tableSelector = c.selector;
        params_.keyField16 = c.keyField16;
        params_.balance[0] = -20;
        params_.balance[3] = 30;
        params_.density = 12;
        write(foundation::sampleDatabase(params_, 1));
        EngineContext* slot = nullptr;
        ASSERT_EQ(VrelInit(&slot, &params_), c.expectedResult) << c.adjustSwitch;
        ASSERT_NE(slot, nullptr);
        EXPECT_EQ(slot->adjustFlag, c.expectedResult);
        EXPECT_EQ(slot->settings.correctionTableId, c.expectedTable) << c.selector;
        EXPECT_EQ(slot->settings.tableSelector, c.adjustSwitch != 0 ? c.selector : 0);
        EXPECT_EQ(static_cast<int16_t>(slot->settings.balance[0]), c.balanceApplies ? -20 : 0);
        EXPECT_EQ(slot->settings.balance[3], c.balanceApplies ? 30 : 0);
        EXPECT_EQ(slot->settings.density, 12);
        VrelClose(slot);
    }
}

TEST_F(LifecycleTest, RecordFlagsSetExtensionGreyModeAndSilenceBlackBalance) {
    params_.adjustSwitch = 2;
    params_.balance[3] = 40;
    params_.balance[1] = 5;
    const uint32_t flags = dbw::kFlagNoBlackBalance | dbw::kFlagExtension | dbw::greyModeFlags(2);
    write(foundation::sampleDatabase(params_, 2, flags));
    EngineContext* slot = nullptr;
    ASSERT_EQ(VrelInit(&slot, &params_), 0);
    EXPECT_EQ(slot->settings.noBlackBalance, 1);
    EXPECT_EQ(slot->settings.flagExtension, 1);
    EXPECT_EQ(slot->settings.greyMode, 2);
    EXPECT_EQ(slot->settings.balance[1], 5);
    EXPECT_EQ(slot->settings.balance[3], 0);
    EXPECT_EQ(slot->settings.extChunk.extSearchKey, 0xa0b0c0d0u);
    VrelClose(slot);
}

TEST_F(LifecycleTest, MethodFollowsOverrideAndChannelRule) {
    struct Case {
        int channels;
        uint16_t methodOverride;
        int method;
        int tableChannels;
    };
    for (const Case& c : {Case{4, 1, 3, 4}, Case{3, 0, 3, 4}, Case{6, 0, 6, 6}, Case{4, 2, 4, 4},
                          Case{1, 0, 1, 0}}) {
        params_.methodOverride = c.methodOverride;
        write(foundation::sampleDatabase(params_, 1, 0, c.channels));
        EngineContext* slot = nullptr;
        ASSERT_EQ(VrelInit(&slot, &params_), 0) << c.channels;
        EXPECT_EQ(slot->conversionMethod, c.method) << c.channels;
        EXPECT_EQ(slot->groups[0].channels, c.tableChannels) << c.channels;
        VrelClose(slot);
    }
}

TEST_F(LifecycleTest, Layout0SelectorThreeUsesTheFirstIdentifier) {
    params_.adjustSwitch = 1;
    params_.tableSelector = 3;
    write(foundation::sampleDatabase(params_, 0));
    EngineContext* slot = nullptr;
    ASSERT_EQ(VrelInit(&slot, &params_), 1);
    EXPECT_EQ(slot->settings.tableIds[2], foundation::kCorrectionIds[0]);
    EXPECT_EQ(slot->settings.correctionTableId, foundation::kCorrectionIds[0]);
    VrelClose(slot);
}

TEST_F(LifecycleTest, FailuresBeforeTheContextLeaveTheSlotUntouched) {
    EngineContext* slot = sentinel();
    // No file.
    EXPECT_EQ(VrelInit(&slot, &params_), -138);
    EXPECT_EQ(slot, sentinel());
    // Layout numbers of 3 or more come back unchanged.
    for (uint32_t word : {0x00000003u, 0x00000005u, 0x000000ffu}) {
        dbw::Database db = foundation::sampleDatabase(params_, 1);
        foundation::profileIndexOf(db).layoutWord = word;
        write(db);
        EXPECT_EQ(VrelInit(&slot, &params_), static_cast<int16_t>(word));
        EXPECT_EQ(slot, sentinel());
    }
    // Key not found.
    dbw::Database other = foundation::sampleDatabase(params_, 1);
    foundation::profileIndexOf(other).entries[1].key ^= 0x40u;
    write(other);
    EXPECT_EQ(VrelInit(&slot, &params_), -128);
    EXPECT_EQ(slot, sentinel());
    // File error while reading the profile: the payload runs past the record.
    dbw::Database cut = foundation::sampleDatabase(params_, 1);
    cut.find(8, foundation::kProfileNumber + 1000)->sizeOverride = 12 + 2 * (4 + 292) - 1;
    write(cut);
    EXPECT_EQ(VrelInit(&slot, &params_), -138);
    EXPECT_EQ(slot, sentinel());
    // No profile index record for the number.
    write(foundation::sampleDatabase(params_, 1));
    params_.profileNumber = 8;
    EXPECT_EQ(VrelInit(&slot, &params_), -138);
    EXPECT_EQ(slot, sentinel());
    // No parameter record at all.
    EXPECT_EQ(VrelInit(&slot, nullptr), -128);
    EXPECT_EQ(slot, sentinel());
}

TEST_F(LifecycleTest, NullSlotReadsTheDatabaseThenRefusesWithoutAllocating) {
    write(foundation::sampleDatabase(params_, 1));
    EXPECT_EQ(VrelInit(nullptr, &params_), -128);
    EXPECT_EQ(VrelReset(nullptr, &params_), -128);
}

TEST_F(LifecycleTest, TableFileThatCannotBeOpenedEmptiesTheSlot) {
    write(foundation::sampleDatabase(params_, 1));
    for (const char* name : {"missing.qz", "a-name-that-is-far-too-long-for-a-file-record.qz"}) {
        vrel::SettingsRecord settings;
        std::memset(&settings, 0, sizeof settings);
        settings.paramsCopy = params_;
        std::strcpy(settings.fileNameBlock, name);
        EngineContext* slot = sentinel();
        EXPECT_EQ(vrel::buildContext(&slot, &settings), -138) << name;
        EXPECT_EQ(slot, nullptr) << name;
    }
}

TEST_F(LifecycleTest, LoadFailuresReportMemoryAndEmptyTheSlot) {
    struct Breakage {
        const char* what;
        void (*apply)(dbw::Database&, ParamRecord&);
    };
    const Breakage breakages[] = {
        {"conversion chunk missing",
         [](dbw::Database& db, ParamRecord&) {
             db.find(16, foundation::kConversionId)->listing = dbw::Listing::None;
         }},
        {"correction chunk missing",
         [](dbw::Database& db, ParamRecord&) {
             db.find(16, static_cast<uint16_t>(foundation::kCorrectionIds[0]))->listing =
                 dbw::Listing::None;
         }},
        {"nodes not ending at 255",
         [](dbw::Database& db, ParamRecord&) {
             db.find(16, foundation::kConversionId)->content =
                 dbw::tableType1({0, 128, 200}, dbw::makeRandomGrid(3, 4, 1));
         }},
        {"conversion table of header type 2",
         [](dbw::Database& db, ParamRecord&) {
             db.find(16, foundation::kConversionId)->content =
                 dbw::tableType2({{0, 128, 255}}, dbw::makeRandomGrid(3, 4, 1));
         }},
        {"extension chunk of the wrong size",
         [](dbw::Database& db, ParamRecord&) {
             foundation::profileIndexOf(db).layoutWord =
                 dbw::makeLayoutWord(1, dbw::kFlagExtension);
             std::get<dbw::ExtensionChunk>(db.find(16, dbw::kExtensionIdFirst)->content).extSize =
                 83;
         }},
        {"table data shorter than its grid",
         [](dbw::Database& db, ParamRecord&) {
             db.find(16, foundation::kConversionId)->content =
                 dbw::tableType1({0, 128, 255}, dbw::makeRandomGrid(3, 3, 1));
         }},
    };
    for (const Breakage& b : breakages) {
        dbw::Database db = foundation::sampleDatabase(params_, 1);
        ParamRecord params = params_;
        b.apply(db, params);
        write(db);
        EngineContext* slot = sentinel();
        EXPECT_EQ(VrelInit(&slot, &params), -108) << b.what;
        EXPECT_EQ(slot, nullptr) << b.what;
        VrelClose(slot); // the driver's final close is harmless
        EXPECT_EQ(vrel::testing::liveBlocks(), liveAtStart_) << b.what;
        EXPECT_EQ(vrel::testing::openFiles(), openAtStart_) << b.what;
    }
}

TEST_F(LifecycleTest, OverlongDirectoryIsRefusedNotTruncated) {
    write(foundation::sampleDatabase(params_, 1));
    // Directories whose joined path is 287 characters (opens) and longer
    // (refused), each holding a real copy of the database.
    const std::string name = foundation::kDatabaseName;
    for (std::size_t dirLength : {287 - 1 - name.size(), 288 - 1 - name.size(), std::size_t{280}}) {
        std::string dir = directory_ + "/";
        dir.append(dirLength - dir.size(), 'd');
        std::filesystem::create_directories(dir);
        std::filesystem::copy_file(dir_.path() / name, std::filesystem::path(dir) / name,
                                   std::filesystem::copy_options::overwrite_existing);
        ParamRecord params = params_;
        params.directoryName = dir.c_str();
        EngineContext* slot = sentinel();
        const int16_t rc = VrelInit(&slot, &params);
        if (dirLength + 1 + name.size() <= 287) {
            EXPECT_EQ(rc, 0) << dirLength;
            VrelClose(slot);
        } else {
            EXPECT_EQ(rc, -138) << dirLength;
            EXPECT_EQ(slot, sentinel()) << dirLength;
        }
    }
}

TEST_F(LifecycleTest, TwentyByteDatabaseNameWithoutNulIsReadWhole) {
    const std::string name = "ABCDEFGHIJKLMNOPQRST";
    ParamRecord params = foundation::makeParams(name, directory_.c_str());
    params.profileNumber = params_.profileNumber;
    params.adjustSwitch = 1; // the byte after the name is 0x01, not a NUL
    write(foundation::sampleDatabase(params, 1), name);
    EngineContext* slot = nullptr;
    ASSERT_EQ(VrelInit(&slot, &params), 1);
    EXPECT_EQ(std::string(slot->settings.fileNameBlock), name);
    VrelClose(slot);
}

TEST_F(LifecycleTest, QueriesAnswerFromTheExtensionChunkTheSelectorChose) {
    params_.adjustSwitch = 1;
    params_.tableSelector = 2;
    write(foundation::sampleDatabase(params_, 1, dbw::kFlagExtension));
    EngineContext* slot = nullptr;
    ASSERT_EQ(VrelInit(&slot, &params_), 1);
    uint8_t plain[8] = {}, record[8] = {};
    EXPECT_EQ(VrelGetSearchData(slot, plain, 0), 0x5001u);
    EXPECT_EQ(VrelGetSearchDataC(slot, record, 0), 0x0badcafeu);
    const uint8_t plainKey[4] = {0xa0, 0xb0, 0xc0, 0xd1};
    const uint8_t recordKey[4] = {0x11, 0x22, 0x33, 0x44};
    EXPECT_EQ(std::memcmp(plain, plainKey, 4), 0);
    EXPECT_EQ(std::memcmp(record, recordKey, 4), 0);
    uint16_t halves[2];
    std::memcpy(halves, plain + 4, 4);
    EXPECT_EQ(halves[0], 0x0020);
    EXPECT_EQ(halves[1], 0x0031);
    uint8_t name[24] = {}, recordName[24] = {};
    EXPECT_EQ(VrelGetProfileName(slot, name, 0), 0x5001u);
    EXPECT_EQ(VrelGetProfileNameC(slot, recordName, 0), 0x0badcafeu);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(name), 16), "extension name 1");
    EXPECT_EQ(std::string(reinterpret_cast<char*>(recordName), 15), "record name two");
    VrelClose(slot);
}

} // namespace
