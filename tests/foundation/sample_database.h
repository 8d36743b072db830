// A complete profile database built with the project's writer: one profile
// index record holding a decoy entry and the entry that matches the record,
// three correction tables, a conversion table and three extension chunks.
// Tests change the description before writing it to disk.
#pragma once

#include "foundation_helpers.h"
#include "vrel/dbwriter.h"

#include <gtest/gtest.h>
#include <string>

namespace foundation {

namespace dbw = vrel::dbwriter;

inline constexpr uint16_t kProfileNumber = 7;
inline constexpr uint32_t kCorrectionIds[3] = {101, 102, 103};
inline constexpr uint16_t kConversionId = 200;
inline constexpr const char* kDatabaseName = "sample.qz";

// Channel count 3 is written as four descriptors with the marker, as real
// three-channel profiles are; the conversion table then has four channels.
inline dbw::Database sampleDatabase(const ParamRecord& params, int layout, uint32_t flags = 0,
                                    int channels = 4) {
    dbw::Database db;
    dbw::ProfileIndex index;
    index.layoutWord = dbw::makeLayoutWord(static_cast<uint16_t>(layout), flags);
    index.entryLayout = layout;

    dbw::ProfileEntry decoy;
    decoy.key = dbw::profileKey(params, layout) ^ 0x1u;
    decoy.tableIds = {9, 9, 9};
    decoy.lutChunk = 9;
    decoy.descriptors = dbw::descriptorsForChannels(1);
    decoy.name2 = dbw::makeName("decoy");
    index.entries.push_back(decoy);

    dbw::ProfileEntry entry;
    entry.key = dbw::profileKey(params, layout);
    entry.tableIds = {kCorrectionIds[0], kCorrectionIds[1], kCorrectionIds[2]};
    entry.lutChunk = kConversionId;
    entry.descriptors = dbw::descriptorsForChannels(channels, channels == 3);
    entry.name1 = dbw::makeName("record name one");
    entry.name2 = dbw::makeName("record name two");
    entry.searchKey = 0x11223344;
    entry.searchPair = 0x00050007;
    entry.setProfileValue(0x0badcafe);
    index.entries.push_back(entry);
    db.addProfileIndex(kProfileNumber, index);

    for (int i = 0; i < 3; ++i) {
        db.addColourTable(static_cast<uint16_t>(kCorrectionIds[i]),
                          dbw::unmarkedTable(dbw::makeRandomGrid(17, 3, 40u + i)));
    }
    const int tableChannels = channels == 3 ? 4 : channels;
    db.addColourTable(kConversionId,
                      dbw::tableType1({0, 128, 255}, dbw::makeRandomGrid(3, tableChannels, 50)));
    const uint16_t extIds[3] = {dbw::kExtensionIdFirst, dbw::kExtensionIdSecond,
                                dbw::kExtensionIdThird};
    for (int i = 0; i < 3; ++i) {
        dbw::ExtensionChunk ext;
        ext.extName1 = dbw::makeName("extension name " + std::to_string(i));
        ext.extSearchKey = 0xa0b0c0d0u + static_cast<uint32_t>(i);
        ext.extSearchPair = 0x00200030u + static_cast<uint32_t>(i);
        ext.extProfileValue = 0x5000u + static_cast<uint32_t>(i);
        db.addExtension(extIds[i], ext);
    }
    return db;
}

inline dbw::ProfileIndex& profileIndexOf(dbw::Database& db) {
    return std::get<dbw::ProfileIndex>(db.find(dbw::kProfileClass, kProfileNumber + 1000)->content);
}

// A scratch directory holding the database, and a parameter record naming it.
class DatabaseTest : public ::testing::Test {
  protected:
    DatabaseTest() : directory_(dir_.str()) {
        params_ = makeParams(kDatabaseName, directory_.c_str());
        params_.profileNumber = kProfileNumber;
        params_.keyField14 = 0x123;
        params_.keyField94 = 3;
        params_.keyField104 = 0x15;
    }

    void write(const dbw::Database& db, const std::string& name = kDatabaseName) {
        std::string error;
        ASSERT_TRUE(dbw::writeDatabaseFile(dir_.path() / name, db, &error)) << error;
    }

    ScratchDir dir_;
    std::string directory_;
    ParamRecord params_{};
};

} // namespace foundation
