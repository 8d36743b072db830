// parseDatabase is the inverse of writeDatabase: every file the writer makes
// parses back to the same description and rewrites byte for byte.
#include "support/database_factory.h"
#include "support/test_support.h"

#include <gtest/gtest.h>
#include <vrel/dbwriter.h>

namespace {

using namespace vrel::dbwriter;
using vrel::test::GridKind;
using vrel::test::makeProfileFixture;
using vrel::test::ProfileOptions;

void expectRoundTrip(const Database& db) {
    const Bytes bytes = writeDatabase(db);
    std::string error;
    const auto parsed = parseDatabase(bytes, &error);
    ASSERT_TRUE(parsed.has_value()) << error;
    EXPECT_EQ(writeDatabase(*parsed), bytes);
    if (*parsed == db)
        return;
    // Name the part that differs rather than dumping two objects.
    ADD_FAILURE() << "parsed description differs";
    EXPECT_EQ(parsed->records.size(), db.records.size());
    for (size_t i = 0; i < std::min(parsed->records.size(), db.records.size()); ++i) {
        const Record &a = parsed->records[i], &b = db.records[i];
        if (a == b)
            continue;
        ADD_FAILURE() << "record " << i << " (class " << b.recordClass << ", id " << b.id
                      << ") differs: content kind " << a.content.index() << " vs "
                      << b.content.index() << ", class " << a.recordClass << ", id " << a.id
                      << ", listing " << int(a.listing) << " vs " << int(b.listing);
    }
    EXPECT_TRUE(parsed->profileDirectory == db.profileDirectory)
        << "profile directory options differ";
    EXPECT_TRUE(parsed->chunkDirectory == db.chunkDirectory) << "chunk directory options differ";
}

class FixtureRoundTrip : public ::testing::TestWithParam<std::tuple<int, int, DirectoryLayout>> {};

TEST_P(FixtureRoundTrip, ParsesBackAndRewritesIdentically) {
    const auto [method, layout, directories] = GetParam();
    ProfileOptions o;
    o.method = method;
    o.layout = layout;
    o.directories = directories;
    o.withExtension = layout != 0;
    expectRoundTrip(makeProfileFixture(o).db);
}

INSTANTIATE_TEST_SUITE_P(
    EveryMethodLayoutAndDirectoryForm, FixtureRoundTrip,
    ::testing::Combine(::testing::Values(1, 3, 4, 6, 7), ::testing::Values(0, 1, 2),
                       ::testing::Values(DirectoryLayout::Separate, DirectoryLayout::Shared)));

TEST(DatabaseRoundTrip, FixtureVariantsParseBack) {
    std::vector<ProfileOptions> variants(6);
    variants[0].lutNodes = {0, 64, 128, 192, 255};
    variants[1].lutMarked = false;
    variants[2].correctionHeaderType = 1;
    variants[2].correctionNodes = {0, 30, 255};
    variants[3].correctionHeaderType = 2;
    variants[3].layout = 2;
    variants[4].withCorrection = false;
    variants[4].lutGrid = GridKind::Smooth;
    variants[5].correctionGrid = GridKind::Smooth;
    variants[5].withExtension = true;
    variants[5].layout = 1;
    variants[5].extraFlags = kFlagNoBlackBalance | greyModeFlags(2);
    for (const ProfileOptions& o : variants)
        expectRoundTrip(makeProfileFixture(o).db);
}

TEST(DatabaseRoundTrip, EscapeHatchesThatKeepTheFileCanonicalParseBack) {
    Database db = makeProfileFixture().db;
    db.tag = {'x', 'y', 0, 1, 2, 3, 4, 5};
    db.version = 77;
    db.records[1].directorySpare = 3;
    db.addRaw(16, 0, {1, 2, 3}).listing = Listing::None; // class and id are not in the file
    db.addRaw(8, 0x100, {4}).listing = Listing::ChunkDirectory;
    db.addRaw(16, 0x101, {5}).listing = Listing::Both;
    db.addRaw(42, 0x102, {});
    db.chunkDirectory.extraEntries.push_back({16, 0x200, 0, size_t{0}, 0});
    db.chunkDirectory.extraEntries.push_back({16, 0x201, 0, std::nullopt, 0x7fffffff});
    db.profileDirectory.extraEntries.push_back({8, 1007, 9, size_t{2}, 0});
    expectRoundTrip(db);
}

TEST(DatabaseRoundTrip, RecordsThatDoNotDecodeComeBackRaw) {
    Database db;
    db.addRaw(8, 1001, {1, 2, 3});            // too short for an index record
    db.addRaw(16, 0x640, Bytes(20, 1));       // extension id, too short
    db.addRaw(16, 0x300, {0xff, 0x00, 0xff}); // neither marked nor a default grid
    ProfileIndex broken;
    broken.entries = {ProfileEntry{}};
    broken.profileCountOverride = 5;
    db.addProfileIndex(2, broken);
    const Bytes bytes = writeDatabase(db);
    std::string error;
    const auto parsed = parseDatabase(bytes, &error);
    ASSERT_TRUE(parsed.has_value()) << error;
    for (const Record& r : parsed->records)
        EXPECT_TRUE(std::holds_alternative<RawData>(r.content));
    EXPECT_EQ(writeDatabase(*parsed), bytes);
}

TEST(DatabaseRoundTrip, TypedRecordsAreRecognised) {
    const Database parsed =
        *parseDatabase(writeDatabase(makeProfileFixture({.withExtension = true}).db));
    EXPECT_TRUE(std::holds_alternative<ProfileIndex>(parsed.find(8, 1007)->content));
    EXPECT_TRUE(std::holds_alternative<ColourTable>(parsed.find(16, 0x200)->content));
    EXPECT_TRUE(std::holds_alternative<ExtensionChunk>(parsed.find(16, 0x641)->content));
}

TEST(DatabaseRoundTrip, RefusesFilesTheWriterDidNotMake) {
    const Bytes good = writeDatabase(makeProfileFixture().db);
    std::string error;
    EXPECT_FALSE(parseDatabase(Bytes(good.begin(), good.begin() + 19), &error).has_value());
    EXPECT_FALSE(error.empty());

    Bytes cut(good.begin(), good.end() - 1); // last record runs past the end
    EXPECT_FALSE(parseDatabase(cut, &error).has_value());

    Bytes gap = good;
    gap.push_back(0); // three bytes short of a size word
    EXPECT_FALSE(parseDatabase(gap, &error).has_value());

    Bytes moved = good; // header names a directory elsewhere
    moved[8] = 24;
    EXPECT_FALSE(parseDatabase(moved, &error).has_value());

    Database overridden = makeProfileFixture().db;
    overridden.records[0].sizeOverride = 3;
    EXPECT_FALSE(parseDatabase(writeDatabase(overridden), &error).has_value());
}

TEST(DatabaseRoundTrip, FilesOnDiskReadBack) {
    vrel::test::TempDir dir;
    const Database db = makeProfileFixture({.method = 6, .layout = 1}).db;
    const auto path = vrel::test::writeDatabaseFile(dir.path(), "x.db", db);
    std::string error;
    const auto back = readDatabaseFile(path, &error);
    ASSERT_TRUE(back.has_value()) << error;
    EXPECT_EQ(*back, db);
    EXPECT_FALSE(readDatabaseFile(dir.file("missing.db"), &error).has_value());
    EXPECT_TRUE(writeDatabaseFile(dir.file("y.db"), db));
    EXPECT_FALSE(writeDatabaseFile(dir.file("no/such/dir/z.db"), db, &error));
}

} // namespace
