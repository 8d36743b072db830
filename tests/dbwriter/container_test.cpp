// The container bytes: header, directories, entries and records at
// their hand-checked offsets, and the escape hatches for broken files.
#include "byte_reading.h"

#include <gtest/gtest.h>
#include <stdexcept>
#include <vrel/dbwriter.h>

namespace {

using namespace vrel::dbwriter;
using namespace dbwriter_test;

// One layout-0 profile (record 1005, 12 + 164 data bytes) and one type-0
// colour-table chunk 0x200 with three data bytes (8 data bytes).
Database smallDatabase(DirectoryLayout layout) {
    Database db;
    db.directoryLayout = layout;
    ProfileIndex index;
    ProfileEntry entry;
    entry.key = 0x116475;
    index.entries.push_back(entry);
    db.addProfileIndex(5, index);
    db.addColourTable(0x200, tableType0({1, 2, 3}));
    return db;
}

TEST(DatabaseContainer, SeparateDirectoriesSitAtHandCheckedOffsets) {
    const WrittenDatabase w = writeDatabaseWithLayout(smallDatabase(DirectoryLayout::Separate));
    const Bytes& b = w.bytes;
    ASSERT_EQ(b.size(), 244u);
    EXPECT_EQ(slice(b, 0, 8), (Bytes{'V', 'R', 'E', 'L', 'D', 'B', 0, 0}));
    EXPECT_EQ(u32at(b, 8), 20u);  // class-8 directory
    EXPECT_EQ(u32at(b, 12), 1u);  // version
    EXPECT_EQ(u32at(b, 16), 36u); // class-16 directory
    // Profile directory: one entry (class 8, id 1005, spare 0, offset 52).
    EXPECT_EQ(u32at(b, 20), 1u);
    EXPECT_EQ(u32at(b, 24), 8u);
    EXPECT_EQ(u16at(b, 28), 1005u);
    EXPECT_EQ(u16at(b, 30), 0u);
    EXPECT_EQ(u32at(b, 32), 52u);
    // Chunk directory: one entry (class 16, id 0x200, offset 232).
    EXPECT_EQ(u32at(b, 36), 1u);
    EXPECT_EQ(u32at(b, 40), 16u);
    EXPECT_EQ(u16at(b, 44), 0x200u);
    EXPECT_EQ(u32at(b, 48), 232u);
    // Records: size word, then data, no gaps.
    EXPECT_EQ(u32at(b, 52), 176u);
    EXPECT_EQ(u32at(b, 56), 0u);  // layout word
    EXPECT_EQ(u32at(b, 60), 1u);  // profile count
    EXPECT_EQ(u32at(b, 64), 41u); // entry words
    EXPECT_EQ(u32at(b, 68), 0x116475u);
    EXPECT_EQ(u32at(b, 232), 8u);
    EXPECT_EQ(slice(b, 236, 8), (Bytes{0xff, 0x00, 0xff, 0x00, 0x00, 1, 2, 3}));

    EXPECT_EQ(w.profileDirectoryOffset, 20u);
    EXPECT_EQ(w.chunkDirectoryOffset, 36u);
    EXPECT_EQ(w.recordOffsets, (std::vector<uint32_t>{52, 232}));
    EXPECT_EQ(w.dataOffset(1), 236u);
}

TEST(DatabaseContainer, SharedDirectoryIsNamedByBothHeaderOffsets) {
    const Bytes b = writeDatabase(smallDatabase(DirectoryLayout::Shared));
    ASSERT_EQ(b.size(), 240u);
    EXPECT_EQ(u32at(b, 8), 20u);
    EXPECT_EQ(u32at(b, 16), 20u);
    EXPECT_EQ(u32at(b, 20), 2u);
    EXPECT_EQ(u32at(b, 24), 8u);
    EXPECT_EQ(u16at(b, 28), 1005u);
    EXPECT_EQ(u32at(b, 32), 48u);
    EXPECT_EQ(u32at(b, 36), 16u);
    EXPECT_EQ(u16at(b, 40), 0x200u);
    EXPECT_EQ(u32at(b, 44), 228u);
    EXPECT_EQ(u32at(b, 48), 176u);
    EXPECT_EQ(u32at(b, 228), 8u);
}

TEST(DatabaseContainer, TagAndVersionGoToBytesZeroToSevenAndTwelveToFifteen) {
    Database db;
    db.tag = {'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H'};
    db.version = 0x01020304;
    const Bytes b = writeDatabase(db);
    ASSERT_EQ(b.size(), 28u); // header and two empty directories
    EXPECT_EQ(textAt(b, 0, 8), "ABCDEFGH");
    EXPECT_EQ(u32at(b, 12), 0x01020304u);
    EXPECT_EQ(u32at(b, 20), 0u);
    EXPECT_EQ(u32at(b, 24), 0u);
}

TEST(DatabaseContainer, ProfileRecordIdIsProfileNumberPlus1000In16Bits) {
    EXPECT_EQ(profileRecordId(0), 1000);
    EXPECT_EQ(profileRecordId(65000), 464);
    Database db;
    db.addProfileIndex(65535, ProfileIndex{});
    EXPECT_EQ(db.records[0].id, 999);
    EXPECT_EQ(db.records[0].recordClass, 8u);
}

TEST(DatabaseContainer, ListingPutsRecordsInTheChosenDirectories) {
    Database db;
    db.addRaw(16, 1, {0xaa}).listing = Listing::ProfileDirectory;
    db.addRaw(8, 2, {0xbb}).listing = Listing::Both;
    db.addRaw(16, 3, {0xcc}).listing = Listing::None;
    const WrittenDatabase w = writeDatabaseWithLayout(db);
    const Bytes& b = w.bytes;
    // Profile directory: records 0 and 1; chunk directory: record 1.
    EXPECT_EQ(u32at(b, 20), 2u);
    EXPECT_EQ(u32at(b, 24), 16u);
    EXPECT_EQ(u16at(b, 28), 1u);
    EXPECT_EQ(u32at(b, 32), w.recordOffsets[0]);
    EXPECT_EQ(u32at(b, 36), 8u);
    EXPECT_EQ(u32at(b, 44), w.recordOffsets[1]);
    EXPECT_EQ(w.chunkDirectoryOffset, 48u);
    EXPECT_EQ(u32at(b, 48), 1u);
    EXPECT_EQ(u16at(b, 56), 2u);
    EXPECT_EQ(u32at(b, 60), w.recordOffsets[1]);
    // The unlisted record is still written.
    EXPECT_EQ(w.recordOffsets[2], 64u + 5 + 5);
    EXPECT_EQ(u8at(b, w.dataOffset(2)), 0xccu);
}

TEST(DatabaseContainer, DirectorySpareIsWrittenAtEntryByteSix) {
    Database db;
    db.addRaw(16, 9, {1}).directorySpare = 0xbeef;
    const Bytes b = writeDatabase(db);
    EXPECT_EQ(u32at(b, 20), 0u); // empty profile directory
    EXPECT_EQ(u32at(b, 24), 1u); // chunk directory count
    EXPECT_EQ(u16at(b, 32), 9u);
    EXPECT_EQ(u16at(b, 34), 0xbeefu);
}

TEST(DatabaseContainer, EscapeHatchesOverrideSizeCountAndOffsets) {
    Database db = smallDatabase(DirectoryLayout::Separate);
    db.records[1].sizeOverride = 1000;
    db.chunkDirectory.entryCountOverride = 7;
    db.profileDirectory.offsetOverride = 0x12345678;
    const WrittenDatabase w = writeDatabaseWithLayout(db);
    const Bytes& b = w.bytes;
    EXPECT_EQ(b.size(), 244u);
    EXPECT_EQ(u32at(b, 8), 0x12345678u);
    EXPECT_EQ(u32at(b, 36), 7u);
    EXPECT_EQ(u32at(b, 232), 1000u);
    EXPECT_EQ(slice(b, 236, 8), (Bytes{0xff, 0x00, 0xff, 0x00, 0x00, 1, 2, 3}));
}

TEST(DatabaseContainer, ExtraEntriesAreAppendedAndMayDuplicateOrDangle) {
    Database db = smallDatabase(DirectoryLayout::Separate);
    db.chunkDirectory.extraEntries.push_back(
        {16, 0x200, 0, size_t{0}, 0}); // duplicate id, other record
    db.chunkDirectory.extraEntries.push_back({16, 0x300, 5, std::nullopt, 0xfffffff0u});
    const WrittenDatabase w = writeDatabaseWithLayout(db);
    const Bytes& b = w.bytes;
    EXPECT_EQ(u32at(b, 36), 3u);
    EXPECT_EQ(u16at(b, 44), 0x200u);
    EXPECT_EQ(u32at(b, 48), w.recordOffsets[1]);
    EXPECT_EQ(u16at(b, 56), 0x200u);
    EXPECT_EQ(u32at(b, 60), w.recordOffsets[0]);
    EXPECT_EQ(u16at(b, 68), 0x300u);
    EXPECT_EQ(u16at(b, 70), 5u);
    EXPECT_EQ(u32at(b, 72), 0xfffffff0u);
}

TEST(DatabaseContainer, PatchesApplyInOrderThenTheFileIsTruncated) {
    Database db = smallDatabase(DirectoryLayout::Separate);
    db.patches.push_back({240, {9, 9}});
    db.patches.push_back({241, {7}});
    db.patches.push_back({250, {1}}); // past the end: the file grows, zero-filled
    Bytes b = writeDatabase(db);
    ASSERT_EQ(b.size(), 251u);
    EXPECT_EQ(slice(b, 238, 13), (Bytes{0xff, 0x00, 9, 7, 2, 3, 0, 0, 0, 0, 0, 0, 1}));

    db.truncateAt = 100;
    b = writeDatabase(db);
    EXPECT_EQ(b.size(), 100u);
    db.truncateAt = 5000; // longer than the file: nothing happens
    EXPECT_EQ(writeDatabase(db).size(), 251u);
}

TEST(DatabaseContainer, RefusesDescriptionsThatCannotBeWritten) {
    Database shared = smallDatabase(DirectoryLayout::Shared);
    shared.chunkDirectory.extraEntries.push_back({});
    EXPECT_THROW(writeDatabase(shared), std::invalid_argument);

    Database dangling = smallDatabase(DirectoryLayout::Separate);
    dangling.profileDirectory.extraEntries.push_back({8, 1, 0, size_t{5}, 0});
    EXPECT_THROW(writeDatabase(dangling), std::invalid_argument);

    Database badLayout;
    ProfileIndex index;
    index.entryLayout = 3;
    badLayout.addProfileIndex(1, index);
    EXPECT_THROW(writeDatabase(badLayout), std::invalid_argument);
}

TEST(DatabaseContainer, FindReturnsTheFirstRecordOfAClassAndId) {
    Database db;
    db.addRaw(16, 4, {1});
    db.addRaw(8, 4, {2});
    db.addRaw(16, 4, {3});
    ASSERT_NE(db.find(16, 4), nullptr);
    EXPECT_EQ(std::get<RawData>(db.find(16, 4)->content).bytes, Bytes{1});
    EXPECT_EQ(std::get<RawData>(db.find(8, 4)->content).bytes, Bytes{2});
    EXPECT_EQ(db.find(16, 5), nullptr);
}

} // namespace
