#include "resources/block_layer.h"
#include "resources/database.h"
#include "resources/file_layer.h"
#include "resources/profile_records.h"
#include "sample_database.h"

#include <cstring>
#include <gtest/gtest.h>
#include <string>

namespace {

using foundation::DatabaseTest;
namespace dbw = vrel::dbwriter;
namespace hooks = vrel::testing;

class DatabaseReading : public DatabaseTest {
  protected:
    // Reads one record of the written database; its data on success.
    int16_t read(uint32_t recordClass, uint16_t id, std::string* data) {
        vrel::ResourceFile file{};
        std::strcpy(file.fileName, foundation::kDatabaseName);
        file.directory = directory_.c_str();
        if (vrel::openFile(&file, 0) != 0) {
            return 1;
        }
        vrel::RecordRequest request{};
        request.id = id;
        request.recordClass = recordClass;
        request.swapUnit = 1;
        const int16_t rc = vrel::readRecord(&file, &request);
        vrel::closeFile(&file);
        if (rc == 0) {
            data->assign(reinterpret_cast<const char*>(request.data), request.size);
            vrel::releaseRecord(&request);
            EXPECT_EQ(request.data, nullptr);
        } else {
            EXPECT_EQ(request.data, nullptr);
            EXPECT_EQ(request.block.address, nullptr);
        }
        return rc;
    }

    int16_t profile(vrel::ProfileRecord* decoded) { return vrel::readProfile(&params_, decoded); }

    void SetUp() override {
        liveAtStart_ = hooks::liveBlocks();
        openAtStart_ = hooks::openFiles();
    }
    void TearDown() override {
        EXPECT_EQ(hooks::liveBlocks(), liveAtStart_) << "blocks leaked";
        EXPECT_EQ(hooks::openFiles(), openAtStart_) << "files left open";
    }

    long liveAtStart_ = 0;
    long openAtStart_ = 0;
};

dbw::Bytes text(const std::string& s) {
    return dbw::Bytes(s.begin(), s.end());
}

TEST_F(DatabaseReading, FindsRecordsByClassAndIdWithTheFirstEntryWinning) {
    dbw::Database db;
    db.addRaw(16, 5, text("chunk five"));
    db.addRaw(8, 5, text("index five"));
    db.addRaw(16, 6, text("chunk six"));
    db.addRaw(16, 7, text("second seven"));
    // A hand-made entry for chunk 6 that points at record 3: the generated
    // entry comes first in the directory, so it wins.
    db.chunkDirectory.extraEntries.push_back({16, 6, 0, size_t{3}, 0});
    write(db);
    std::string data;
    ASSERT_EQ(read(16, 5, &data), 0);
    EXPECT_EQ(data, "chunk five");
    ASSERT_EQ(read(8, 5, &data), 0);
    EXPECT_EQ(data, "index five");
    ASSERT_EQ(read(16, 6, &data), 0);
    EXPECT_EQ(data, "chunk six");
    EXPECT_EQ(read(16, 8, &data), -138);
    EXPECT_EQ(read(8, 6, &data), -138);
}

TEST_F(DatabaseReading, DuplicateEntryEarlierInTheDirectoryWins) {
    dbw::Database db;
    db.directoryLayout = dbw::DirectoryLayout::Shared;
    db.addRaw(16, 1, text("one"));
    db.addRaw(16, 2, text("two"));
    db.records[0].listing = dbw::Listing::None;
    // Entries: (16, 2 -> record 1) generated first, then (16, 1 -> record 0)
    // and (16, 1 -> record 1) added by hand.
    db.profileDirectory.extraEntries.push_back({16, 1, 0, size_t{0}, 0});
    db.profileDirectory.extraEntries.push_back({16, 1, 0, size_t{1}, 0});
    write(db);
    std::string data;
    ASSERT_EQ(read(16, 1, &data), 0);
    EXPECT_EQ(data, "one");
}

TEST_F(DatabaseReading, DirectoryCountBeyondTheFileIsAReadFailureWithoutAllocation) {
    for (uint32_t count : {3u, 4u, 1000u, 0x15555555u, 0x15555556u, 0xffffffffu}) {
        dbw::Database db;
        db.addRaw(16, 1, text("one"));
        db.addRaw(16, 2, text("two"));
        db.chunkDirectory.entryCountOverride = count;
        write(db);
        hooks::resetAllocationCounter();
        std::string data;
        const int16_t rc = read(16, 2, &data);
        // A third entry lies in the record bytes that follow the directory,
        // so it is inside the file and the lookup works; a fourth is not.
        if (count == 3u) {
            EXPECT_EQ(rc, 0);
        } else {
            EXPECT_EQ(rc, -138) << count;
            EXPECT_EQ(hooks::allocationsMade(), 0) << count;
        }
    }
    dbw::Database empty;
    empty.addRaw(16, 1, text("one"));
    empty.chunkDirectory.entryCountOverride = 0;
    write(empty);
    std::string data;
    EXPECT_EQ(read(16, 1, &data), -138);
}

TEST_F(DatabaseReading, RecordSizeBeyondTheFileIsAReadFailureWithoutAllocation) {
    for (uint32_t size : {4u, 5u, 100u, 0x7fffffffu, 0xfffffffcu, 0xffffffffu}) {
        dbw::Database db;
        db.addRaw(16, 1, text("abcd"));
        db.records[0].sizeOverride = size;
        write(db);
        std::string data;
        hooks::resetAllocationCounter();
        const int16_t rc = read(16, 1, &data);
        if (size == 4u) {
            ASSERT_EQ(rc, 0);
            EXPECT_EQ(data, "abcd");
        } else {
            EXPECT_EQ(rc, -138) << size;
            // Only the directory was allocated.
            EXPECT_EQ(hooks::allocationsMade(), 1) << size;
        }
    }
}

TEST_F(DatabaseReading, NoMemoryForDirectoryOrDataIsAMemoryFailure) {
    dbw::Database db;
    db.addRaw(16, 1, text("abcd"));
    write(db);
    std::string data;
    for (long k : {1L, 2L}) {
        hooks::failAllocationAt(k);
        EXPECT_EQ(read(16, 1, &data), -108) << k;
    }
    hooks::failAllocationAt(0);
}

TEST_F(DatabaseReading, EveryTruncationOfTheFileReadsTheProfileOrFailsCleanly) {
    dbw::Database db = foundation::sampleDatabase(params_, 1);
    const dbw::WrittenDatabase layout = dbw::writeDatabaseWithLayout(db);
    // readProfile needs the header word at 8, the profile directory and the
    // profile index record (record 0).
    const std::size_t indexEnd = layout.dataOffset(0) + db.records[0].encodeData().size();
    const std::size_t directoryEnd = layout.profileDirectoryOffset + 4 + 12;
    const std::size_t needed = std::max(indexEnd, directoryEnd);
    const std::size_t full = layout.bytes.size();
    for (std::size_t cut = 0; cut <= full; cut += (cut < needed + 64 ? 1 : 997)) {
        dbw::Database truncated = db;
        truncated.truncateAt = cut;
        write(truncated);
        vrel::ProfileRecord decoded;
        const int16_t rc = profile(&decoded);
        ASSERT_EQ(rc, cut >= needed ? 0 : -138) << "cut at " << cut;
        const int16_t probed = vrel::probeDatabase(&params_);
        ASSERT_EQ(probed, cut >= needed ? 1 : -138) << "cut at " << cut;
    }
}

TEST_F(DatabaseReading, LayoutWordGivesLayoutAndRecordFlags) {
    struct Case {
        uint32_t word;
        int layout;
        uint32_t flags;
    };
    for (const Case& c :
         {Case{0x00000100, 0, 0x100}, Case{0x00060002, 2, 0x00060000}, Case{0xffff0000, 0, 0},
          Case{0x00030001, 1, 0x00030000}, Case{0x12345600, 0, 0x5600}}) {
        dbw::Database db = foundation::sampleDatabase(params_, c.layout);
        foundation::profileIndexOf(db).layoutWord = c.word;
        write(db);
        EXPECT_EQ(vrel::probeDatabase(&params_), c.layout) << std::hex << c.word;
        vrel::ProfileRecord decoded;
        ASSERT_EQ(profile(&decoded), 0) << std::hex << c.word;
        EXPECT_EQ(decoded.layout, c.layout);
        EXPECT_EQ(decoded.recordFlags, c.flags) << std::hex << c.word;
        EXPECT_EQ(decoded.searchKey, 0x11223344u);
        EXPECT_EQ(decoded.channelCount, 4);
        EXPECT_EQ(std::string(decoded.fileName), foundation::kDatabaseName);
    }
}

TEST_F(DatabaseReading, UnknownLayoutIsReportedByTheProbeAndRefusedByTheSearch) {
    for (uint32_t word : {0x00000003u, 0x00010005u, 0x0000ff7fu}) {
        dbw::Database db = foundation::sampleDatabase(params_, 1);
        foundation::profileIndexOf(db).layoutWord = word;
        write(db);
        EXPECT_EQ(vrel::probeDatabase(&params_), static_cast<int16_t>(word & 0xffff));
        vrel::ProfileRecord decoded;
        EXPECT_EQ(profile(&decoded), -138);
    }
}

TEST_F(DatabaseReading, SearchUsesKeyBForLayout2AndKeyAOtherwise) {
    params_.keyField104 = 0xe5; // differs between the keys
    params_.keyField106 = 2;
    params_.keyField108 = 1;
    for (int layout = 0; layout <= 2; ++layout) {
        dbw::Database db = foundation::sampleDatabase(params_, layout);
        write(db);
        vrel::ProfileRecord decoded;
        ASSERT_EQ(profile(&decoded), 0) << layout;
        EXPECT_EQ(decoded.tableIds[0], foundation::kCorrectionIds[0]);
        EXPECT_EQ(decoded.lutChunkWord, foundation::kConversionId);
        // The other layout's key is not found.
        foundation::profileIndexOf(db).entries[1].key =
            layout == 2 ? vrel::profileKeyA(&params_) : vrel::profileKeyB(&params_);
        write(db);
        EXPECT_EQ(profile(&decoded), -128) << layout;
    }
}

TEST_F(DatabaseReading, EntriesBeyondTheRecordSizeAreNeverSearched) {
    for (int layout = 0; layout <= 2; ++layout) {
        dbw::Database db = foundation::sampleDatabase(params_, layout);
        const uint32_t stride = 4 + dbw::payloadBytes(layout);
        // The record's size ends just before the matching entry's key (the
        // bytes stay in the file): not found.
        db.find(8, foundation::kProfileNumber + 1000)->sizeOverride = 12 + stride + 3;
        write(db);
        vrel::ProfileRecord decoded;
        EXPECT_EQ(profile(&decoded), -128) << layout;
        // A count far beyond the entries present ends as not found too.
        dbw::Database counted = foundation::sampleDatabase(params_, layout);
        dbw::ProfileIndex& countedIndex = foundation::profileIndexOf(counted);
        countedIndex.entries[1].key ^= 0x2u;
        countedIndex.profileCountOverride = 0xffffffffu;
        write(counted);
        EXPECT_EQ(profile(&decoded), -128) << layout;
    }
}

TEST_F(DatabaseReading, MatchingPayloadPastTheRecordIsAFileError) {
    for (int layout = 0; layout <= 2; ++layout) {
        const uint32_t stride = 4 + dbw::payloadBytes(layout);
        for (uint32_t shortBy : {1u, 4u, dbw::payloadBytes(layout)}) {
            dbw::Database db = foundation::sampleDatabase(params_, layout);
            db.find(8, foundation::kProfileNumber + 1000)->sizeOverride = 12 + 2 * stride - shortBy;
            write(db);
            vrel::ProfileRecord decoded;
            EXPECT_EQ(profile(&decoded), -138) << layout << " short by " << shortBy;
        }
        // Exactly the payload: found.
        dbw::Database exact = foundation::sampleDatabase(params_, layout);
        exact.find(8, foundation::kProfileNumber + 1000)->sizeOverride = 12 + 2 * stride;
        write(exact);
        vrel::ProfileRecord decoded;
        EXPECT_EQ(profile(&decoded), 0) << layout;
    }
}

TEST_F(DatabaseReading, DegenerateEntrySizesAndCountsAreHandledSafely) {
    vrel::ProfileRecord decoded;
    // No entries.
    dbw::Database none = foundation::sampleDatabase(params_, 1);
    foundation::profileIndexOf(none).profileCountOverride = 0;
    write(none);
    EXPECT_EQ(profile(&decoded), -128);
    // Entries of zero words hold no key.
    dbw::Database zero = foundation::sampleDatabase(params_, 1);
    foundation::profileIndexOf(zero).entryWordsOverride = 0;
    write(zero);
    EXPECT_EQ(profile(&decoded), -128);
    // Not even when the first key would match.
    std::swap(foundation::profileIndexOf(zero).entries[0],
              foundation::profileIndexOf(zero).entries[1]);
    write(zero);
    EXPECT_EQ(profile(&decoded), -128);
    // A stride so large that the second entry lies far beyond the record:
    // the decoy is examined, the matching entry is not.
    dbw::Database huge = foundation::sampleDatabase(params_, 1);
    foundation::profileIndexOf(huge).entryWordsOverride = 0xffffffffu;
    write(huge);
    EXPECT_EQ(profile(&decoded), -128);
    // The same stride with the match first: found and decoded.
    dbw::Database first = foundation::sampleDatabase(params_, 1);
    std::swap(foundation::profileIndexOf(first).entries[0],
              foundation::profileIndexOf(first).entries[1]);
    foundation::profileIndexOf(first).entryWordsOverride = 0xffffffffu;
    write(first);
    ASSERT_EQ(profile(&decoded), 0);
    EXPECT_EQ(decoded.searchKey, 0x11223344u);
    // A one-word stride walks the keys word by word.
    dbw::Database narrow = foundation::sampleDatabase(params_, 1);
    foundation::profileIndexOf(narrow).entryWordsOverride = 1;
    foundation::profileIndexOf(narrow).profileCountOverride = 1;
    write(narrow);
    EXPECT_EQ(profile(&decoded), -128);
    // A record too short for its own header.
    dbw::Database stub;
    stub.addRaw(8, foundation::kProfileNumber + 1000, {1, 0, 0, 0, 0, 0, 0, 0});
    write(stub);
    EXPECT_EQ(profile(&decoded), -138);
    EXPECT_EQ(vrel::probeDatabase(&params_), -138);
}

TEST_F(DatabaseReading, ProfileIdIsTheSixteenBitSumWithAThousand) {
    params_.profileNumber = 65000; // 65000 + 1000 wraps to 464
    dbw::Database db = foundation::sampleDatabase(params_, 1);
    db.find(8, foundation::kProfileNumber + 1000)->id = 464;
    write(db);
    vrel::ProfileRecord decoded;
    EXPECT_EQ(profile(&decoded), 0);
    params_.profileNumber = 8;
    EXPECT_EQ(profile(&decoded), -138);
}

} // namespace
