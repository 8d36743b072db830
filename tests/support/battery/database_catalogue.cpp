// The catalogue of valid and broken sample databases; see database_catalogue.h.
#include "database_catalogue.h"

#include "support/test_support.h"

#include <algorithm>
#include <stdexcept>
#include <utility>

namespace vrel::test {

namespace db = vrel::dbwriter;

namespace {

constexpr int kMemory = -108; // every failure while the tables load
constexpr int kParam = -128;
constexpr int kFile = -138;
constexpr uint16_t kStandardIndexId = 1000;

db::ProfileIndex& indexOf(db::Database& d) {
    db::Record* r = d.find(db::kProfileClass, kStandardIndexId);
    if (r == nullptr) {
        throw std::logic_error("sample without profile index");
    }
    return std::get<db::ProfileIndex>(r->content);
}

db::Record& recordOf(db::Database& d, uint16_t id) {
    db::Record* r = d.find(db::kChunkClass, id);
    if (r == nullptr) {
        throw std::logic_error("sample without chunk");
    }
    return *r;
}

db::ColourTable& tableOf(db::Database& d, uint16_t id) {
    return std::get<db::ColourTable>(recordOf(d, id).content);
}

size_t recordIndexOf(const db::Database& d, uint32_t recordClass, uint16_t id) {
    for (size_t i = 0; i < d.records.size(); ++i) {
        if (d.records[i].recordClass == recordClass && d.records[i].id == id) {
            return i;
        }
    }
    throw std::logic_error("no such record");
}

void removeRecord(db::Database& d, uint32_t recordClass, uint16_t id) {
    d.records.erase(d.records.begin() +
                    static_cast<std::ptrdiff_t>(recordIndexOf(d, recordClass, id)));
}

// A small valid database: layout 1, four inks, type-1 tables of 5 points.
db::Database base() {
    return makeSampleDatabase(SampleRecipe{});
}

SampleRecipe withExtension() {
    SampleRecipe s;
    s.recordFlags = db::kFlagExtension;
    return s;
}

class Builder {
  public:
    void valid(std::string name, db::Database d, int params = 0) {
        entries_.push_back(
            {std::move(name), "", std::move(d), params, params == 1 ? 1 : 0, SlotAfter::Context});
    }
    // Broken before the context exists: the profile search fails.
    void search(std::string name, std::string damage, db::Database d, int expected) {
        entries_.push_back(
            {std::move(name), std::move(damage), std::move(d), 0, expected, SlotAfter::Unchanged});
    }
    // Broken in the tables: the context is released and the slot cleared.
    void tables(std::string name, std::string damage, db::Database d, int params = 0) {
        entries_.push_back(
            {std::move(name), std::move(damage), std::move(d), params, kMemory, SlotAfter::Null});
    }
    std::vector<CatalogueEntry> take() { return std::move(entries_); }

  private:
    std::vector<CatalogueEntry> entries_;
};

void addValid(Builder& b) {
    SampleRecipe s;
    s.layout = 0;
    s.conversionForm = TableForm::Unmarked;
    b.valid("valid-layout0-method4-unmarked", makeSampleDatabase(s));

    s = SampleRecipe{};
    s.correctionForm = TableForm::Type0;
    b.valid("valid-layout1-type0-correction", makeSampleDatabase(s));

    s = SampleRecipe{};
    s.fullThirdTable = true;
    b.valid("valid-selector3-type1-on-default-grid", makeSampleDatabase(s), 2);

    s = SampleRecipe{};
    s.channels = 3;
    s.fourWithE256 = true;
    b.valid("valid-layout1-method3-type1", makeSampleDatabase(s));

    s = SampleRecipe{};
    s.layout = 2;
    s.channels = 1;
    s.correctionForm = TableForm::Type2;
    b.valid("valid-layout2-method1-type2", makeSampleDatabase(s));

    s = withExtension();
    s.channels = 6;
    b.valid("valid-layout1-method6-extension", makeSampleDatabase(s));

    s = SampleRecipe{};
    s.layout = 2;
    s.channels = 7;
    s.recordFlags = db::kFlagExtension | db::greyModeFlags(1);
    b.valid("valid-layout2-method7-extension-selector2", makeSampleDatabase(s), 1);

    s = SampleRecipe{};
    s.recordFlags = db::greyModeFlags(1);
    b.valid("valid-layout1-method4-greymode1", makeSampleDatabase(s));

    s.correction = false;
    b.valid("valid-layout1-greymode1-without-correction", makeSampleDatabase(s));

    s = SampleRecipe{};
    s.recordFlags = db::greyModeFlags(3) | db::kFlagNoBlackBalance;
    b.valid("valid-layout1-greymode3-noblackbalance", makeSampleDatabase(s), 1);

    s = SampleRecipe{};
    s.sharedDirectory = true;
    b.valid("valid-shared-directory", makeSampleDatabase(s));

    s = SampleRecipe{};
    s.layout = 2;
    s.correctionForm = TableForm::Type2;
    s.recordFlags = db::kFlagExtension;
    b.valid("valid-layout2-selector3-forced-three-channel", makeSampleDatabase(s), 2);

    s = SampleRecipe{};
    s.layout = 2;
    b.valid("valid-layout2-second-profile-full-key", makeSampleDatabase(s), 3);

    // Header type 2 with the node set chosen by input kinds 10 and 18, and
    // by selector 3 without the extension flag (set 0).
    s = SampleRecipe{};
    s.correctionForm = TableForm::Type2;
    b.valid("valid-type2-input-kind-10", makeSampleDatabase(s), 1);
    b.valid("valid-type2-input-kind-18", makeSampleDatabase(s), 3);
    b.valid("valid-type2-selector3-set0", makeSampleDatabase(s), 2);

    // Channel counts that name no conversion method still load.
    for (const int channels : {0, 2, 5, 8}) {
        s = SampleRecipe{};
        s.channels = channels;
        b.valid("valid-odd-channel-count-" + std::to_string(channels), makeSampleDatabase(s));
    }

    // Two entries for the same chunk: the first in file order serves.
    db::Database d = base();
    db::DirectoryEntry copy;
    copy.id = kCorrectionChunkIds[0];
    copy.recordIndex = recordIndexOf(d, db::kChunkClass, kConversionChunkId);
    d.chunkDirectory.extraEntries.push_back(copy);
    b.valid("valid-duplicate-entry-second-ignored", std::move(d));
}

void addContainerDamage(Builder& b) {
    db::Database d = base();
    d.truncateAt = 0;
    b.search("empty-file", "the file holds no byte", std::move(d), kFile);

    d = base();
    d.truncateAt = 12;
    b.search("truncated-header", "the file ends inside its header", std::move(d), kFile);

    d = base();
    d.profileDirectory.offsetOverride = 0x7ffffff0u;
    b.search("profile-directory-beyond-file", "the profile directory offset is past the end",
             std::move(d), kFile);

    d = base();
    d.profileDirectory.entryCountOverride = 0xffffffffu;
    b.search("profile-directory-count-huge", "the directory claims 2^32-1 entries", std::move(d),
             kFile);

    d = base();
    d.profileDirectory.entryCountOverride = 0;
    b.search("profile-directory-empty", "the profile directory has no entry", std::move(d), kFile);

    d = base();
    removeRecord(d, db::kProfileClass, kStandardIndexId);
    b.search("profile-record-missing", "no profile index record for the profile number",
             std::move(d), kFile);

    d = base();
    d.find(db::kProfileClass, kStandardIndexId)->listing = db::Listing::ChunkDirectory;
    b.search("profile-record-in-wrong-directory", "the index record is listed as a chunk",
             std::move(d), kFile);

    d = base();
    d.find(db::kProfileClass, kStandardIndexId)->sizeOverride = 0x00100000u;
    b.search("profile-record-size-beyond-file", "the record size runs past the end", std::move(d),
             kFile);

    d = base();
    d.find(db::kProfileClass, kStandardIndexId)->sizeOverride = 0xffffffffu;
    b.search("profile-record-size-huge", "the record size is 2^32-1", std::move(d), kFile);

    d = base();
    d.find(db::kProfileClass, kStandardIndexId)->sizeOverride = 8;
    b.search("profile-record-shorter-than-header", "layout, count and stride do not fit",
             std::move(d), kFile);

    d = base();
    removeRecord(d, db::kProfileClass, kStandardIndexId);
    d.addRaw(db::kProfileClass, kStandardIndexId, db::Bytes{1, 0, 0, 0, 1, 0, 0});
    b.search("profile-record-seven-bytes", "a seven-byte index record", std::move(d), kFile);
}

void addSearchDamage(Builder& b) {
    db::Database d = base();
    indexOf(d).layoutWord = db::makeLayoutWord(3);
    b.search("layout-three", "layout number 3", std::move(d), 3);

    d = base();
    indexOf(d).layoutWord = 0x0000ffffu;
    b.search("layout-minus-one", "layout bits read as -1", std::move(d), -1);

    d = base();
    indexOf(d).profileCountOverride = 0;
    b.search("profile-count-zero", "no profile entry", std::move(d), kParam);

    d = base();
    indexOf(d).profileCountOverride = 1;
    b.search("profile-count-hides-match", "the count stops before the matching entry", std::move(d),
             kParam);

    d = base();
    indexOf(d).entries.pop_back(); // the decoy stays
    indexOf(d).profileCountOverride = 0xffffffffu;
    b.search("profile-count-huge", "2^32-1 entries in a record of one", std::move(d), kParam);

    d = base();
    indexOf(d).entryWordsOverride = 0;
    b.search("entry-words-zero", "entries of zero words", std::move(d), kParam);

    d = base();
    indexOf(d).entryWordsOverride = 0x40000000u;
    b.search("entry-words-huge", "a stride past any record", std::move(d), kParam);

    d = base();
    indexOf(d).entries.pop_back();
    b.search("key-not-present", "no entry carries the key", std::move(d), kParam);

    d = base();
    const uint32_t stride = db::entryWordsOf(indexOf(d)) * 4;
    d.find(db::kProfileClass, kStandardIndexId)->sizeOverride = 12 + stride + 4 + 100;
    b.search("matching-payload-truncated", "the record ends inside the matching payload",
             std::move(d), kFile);
}

void addTableDamage(Builder& b) {
    db::Database d = base();
    removeRecord(d, db::kChunkClass, kCorrectionChunkIds[0]);
    b.tables("correction-chunk-missing", "the correction table is not in the directory",
             std::move(d));

    d = base();
    removeRecord(d, db::kChunkClass, kConversionChunkId);
    b.tables("conversion-chunk-missing", "the conversion table is not in the directory",
             std::move(d));

    d = base();
    tableOf(d, kCorrectionChunkIds[0]).headerType = 3;
    b.tables("header-type-three", "header type 3", std::move(d));

    d = base();
    // Five well-formed node sets: only the conversion group's rule refuses it.
    tableOf(d, kConversionChunkId) = db::tableType2(
        std::vector<db::Bytes>(5, db::Bytes{0, 64, 128, 192, 255}), db::makeRandomGrid(5, 4, 3));
    b.tables("conversion-header-type-two", "header type 2 in the conversion table", std::move(d));

    d = base();
    tableOf(d, kConversionChunkId).pointCountOverride = 65;
    b.tables("point-count-65", "65 grid points, more than a group holds", std::move(d));

    d = base();
    tableOf(d, kConversionChunkId) = db::tableType1(db::Bytes{0}, db::Bytes(4, 9));
    b.tables("single-node", "a grid of one point", std::move(d));

    const db::Bytes badNodes[] = {db::Bytes{1, 64, 128, 192, 255}, db::Bytes{0, 100, 100, 200, 255},
                                  db::Bytes{0, 64, 128, 192, 254}, db::Bytes{0, 200, 100, 50, 255}};
    const char* badNames[] = {"nodes-not-from-zero", "nodes-not-rising", "nodes-not-to-255",
                              "nodes-falling"};
    for (int i = 0; i < 4; ++i) {
        d = base();
        tableOf(d, kCorrectionChunkIds[0]).nodes = badNodes[i];
        b.tables(badNames[i], "node positions break the grid rule", std::move(d));
    }

    d = base();
    tableOf(d, kConversionChunkId).data.pop_back();
    b.tables("grid-one-byte-short", "the table data lacks its last byte", std::move(d));

    d = base();
    recordOf(d, kConversionChunkId).content = db::RawData{db::Bytes{1, 2, 3}};
    b.tables("chunk-three-bytes", "an unmarked chunk of three bytes", std::move(d));

    d = base();
    recordOf(d, kConversionChunkId).content = db::RawData{db::Bytes{0xff, 0, 0xff, 0}};
    b.tables("chunk-mark-only", "the chunk mark and nothing after it", std::move(d));

    d = base();
    recordOf(d, kConversionChunkId).content = db::RawData{db::Bytes{0xff, 0, 0xff, 0, 1}};
    b.tables("type1-header-cut", "a type-1 header without its point count", std::move(d));

    d = base();
    recordOf(d, kCorrectionChunkIds[0]).content = db::RawData{db::Bytes{0xff, 0, 0xff, 0, 2, 5, 0}};
    b.tables("type2-header-cut", "a type-2 header without its set count", std::move(d));

    d = base();
    recordOf(d, kConversionChunkId).content = db::RawData{};
    b.tables("chunk-empty", "a chunk of no byte", std::move(d));

    d = base();
    tableOf(d, kCorrectionChunkIds[0]) =
        db::tableType2({db::Bytes{0, 64, 128, 192, 255}, db::Bytes{0, 60, 120, 180, 255}},
                       db::makeRandomGrid(5, 3, 4));
    b.tables("node-set-missing", "input kind selects set 2 of a chunk with two", std::move(d));

    d = base();
    tableOf(d, kCorrectionChunkIds[0]) = db::tableType2({}, db::makeRandomGrid(5, 3, 4));
    tableOf(d, kCorrectionChunkIds[0]).pointCountOverride = 5;
    b.tables("node-sets-none", "five points but no node set", std::move(d));

    d = base();
    recordOf(d, kConversionChunkId).sizeOverride = 0xffffff00u;
    b.tables("chunk-size-huge", "a chunk size of almost 4 GiB", std::move(d));

    d = base();
    d.chunkDirectory.offsetOverride = 0x7ffffff0u;
    b.tables("chunk-directory-beyond-file", "the chunk directory offset is past the end",
             std::move(d));

    d = base();
    d.chunkDirectory.entryCountOverride = 0x20000000u;
    b.tables("chunk-directory-count-huge", "the chunk directory claims 2^29 entries", std::move(d));

    d = base();
    removeRecord(d, db::kChunkClass, kCorrectionChunkIds[0]);
    db::DirectoryEntry dangling;
    dangling.id = kCorrectionChunkIds[0];
    dangling.recordOffset = 0xfffffff0u;
    d.chunkDirectory.extraEntries.push_back(dangling);
    b.tables("chunk-entry-dangling", "the chunk's entry points past the end", std::move(d));

    d = base();
    const db::WrittenDatabase written = db::writeDatabaseWithLayout(d);
    d.truncateAt = written.dataOffset(recordIndexOf(d, db::kChunkClass, kConversionChunkId)) + 40;
    b.tables("truncated-in-conversion-table", "the file ends inside the conversion table",
             std::move(d));
}

void addExtensionDamage(Builder& b) {
    db::Database d = makeSampleDatabase(withExtension());
    std::get<db::ExtensionChunk>(recordOf(d, db::kExtensionIdFirst).content).extSize = 83;
    b.tables("extension-size-83", "the extension size word is 83", std::move(d));

    d = makeSampleDatabase(withExtension());
    recordOf(d, db::kExtensionIdFirst).content = db::RawData{db::Bytes(87, 0)};
    std::get<db::RawData>(recordOf(d, db::kExtensionIdFirst).content).bytes[2] = 84;
    b.tables("extension-87-bytes", "an extension chunk one byte short", std::move(d));

    d = makeSampleDatabase(withExtension());
    removeRecord(d, db::kChunkClass, db::kExtensionIdSecond);
    b.tables("extension-missing", "selector 2 names an extension chunk that is not there",
             std::move(d), 1);
}

} // namespace

std::vector<CatalogueEntry> databaseCatalogue() {
    Builder b;
    addValid(b);
    addContainerDamage(b);
    addSearchDamage(b);
    addTableDamage(b);
    addExtensionDamage(b);
    return b.take();
}

} // namespace vrel::test
