// Parsing a profile database back into the description the writer was
// given: only files in the writer's canonical form are accepted.
#include "byte_io.h"

#include <algorithm>
#include <fmt/format.h>
#include <fstream>
#include <iterator>
#include <map>
#include <vrel/dbwriter.h>

namespace vrel::dbwriter {

using namespace detail;

namespace {

constexpr uint32_t kHeaderBytes = format::kHeaderBytes;
constexpr uint32_t kEntryBytes = format::kDirectoryEntryBytes;

struct RawEntry {
    uint32_t entryClass;
    uint16_t id;
    uint16_t spare;
    uint32_t offset;
};

bool readDirectory(std::span<const uint8_t> in, uint32_t at, std::vector<RawEntry>& out,
                   std::string& error) {
    if (static_cast<uint64_t>(at) + 4 > in.size()) {
        error = "directory offset beyond the end of the file";
        return false;
    }
    const uint32_t count = getU32(in, at);
    if (static_cast<uint64_t>(at) + 4 + static_cast<uint64_t>(count) * kEntryBytes > in.size()) {
        error = "directory longer than the file";
        return false;
    }
    for (uint32_t i = 0; i < count; ++i) {
        const size_t e = at + 4 + static_cast<size_t>(i) * kEntryBytes;
        out.push_back({getU32(in, e), getU16(in, e + 4), getU16(in, e + 6), getU32(in, e + 8)});
    }
    return true;
}

RecordContent decodeContent(uint32_t recordClass, uint16_t id, std::span<const uint8_t> data) {
    if (recordClass == kProfileClass) {
        if (auto index = decodeProfileIndex(data))
            return *index;
    } else if (recordClass == kChunkClass) {
        if (id >= kExtensionIdFirst && id <= kExtensionIdThird)
            if (auto ext = decodeExtension(data))
                return *ext;
        const bool marked =
            data.size() >= 5 && std::equal(kChunkMark.begin(), kChunkMark.end(), data.begin());
        constexpr size_t defaultGrid = 17 * 17 * 17;
        if (marked || (!data.empty() && data.size() % defaultGrid == 0))
            if (auto table = decodeColourTable(data))
                return *table;
    }
    return RawData{Bytes(data.begin(), data.end())};
}

bool readHeader(std::span<const uint8_t> in, Database& db, std::string& error) {
    if (in.size() < kHeaderBytes) {
        error = "shorter than the 20-byte header";
        return false;
    }
    getBytes(in, 0, db.tag);
    db.version = getU32(in, 12);
    const uint32_t profileAt = getU32(in, 8), chunkAt = getU32(in, 16);
    db.directoryLayout = profileAt == chunkAt ? DirectoryLayout::Shared : DirectoryLayout::Separate;
    if (profileAt != kHeaderBytes) {
        error = "directory does not follow the header";
        return false;
    }
    return true;
}

struct Directories {
    std::vector<RawEntry> profile;
    std::vector<RawEntry> chunk;
    size_t recordsAt = 0; // where the records begin
};

bool readDirectories(std::span<const uint8_t> in, const Database& db, Directories& d,
                     std::string& error) {
    if (!readDirectory(in, kHeaderBytes, d.profile, error))
        return false;
    d.recordsAt = kHeaderBytes + 4 + kEntryBytes * d.profile.size();
    if (db.directoryLayout == DirectoryLayout::Shared)
        return true;
    const uint32_t chunkAt = getU32(in, 16);
    if (chunkAt != d.recordsAt) {
        error = "chunk directory does not follow the profile directory";
        return false;
    }
    if (!readDirectory(in, chunkAt, d.chunk, error))
        return false;
    d.recordsAt = chunkAt + 4 + kEntryBytes * d.chunk.size();
    return true;
}

struct RecordSpans {
    std::vector<std::span<const uint8_t>> data; // file order
    std::map<uint32_t, size_t> indexAt;         // offset of a size word -> record index
};

// Records follow the directories without gaps.
bool splitRecords(std::span<const uint8_t> in, size_t recordsAt, RecordSpans& r,
                  std::string& error) {
    for (size_t at = recordsAt; at < in.size();) {
        if (at + 4 > in.size()) {
            error = fmt::format("record size word cut short at offset {}", at);
            return false;
        }
        const uint32_t size = getU32(in, at);
        if (at + 4 + static_cast<uint64_t>(size) > in.size()) {
            error = fmt::format("record at offset {} runs past the end of the file", at);
            return false;
        }
        r.indexAt[static_cast<uint32_t>(at)] = r.data.size();
        r.data.push_back(in.subspan(at + 4, size));
        at += 4 + size;
    }
    return true;
}

// How the directories list one record.
struct Seen {
    bool listed = false;
    bool inProfile = false;
    bool inChunk = false;
    uint32_t entryClass = kChunkClass;
    uint16_t id = 0;
    uint16_t spare = 0;
};

DirectoryEntry extraEntry(const RawEntry& e, std::optional<size_t> recordIndex) {
    DirectoryEntry extra;
    extra.entryClass = e.entryClass;
    extra.id = e.id;
    extra.spare = e.spare;
    if (recordIndex)
        extra.recordIndex = *recordIndex;
    else
        extra.recordOffset = e.offset;
    return extra;
}

// The writer lists records in file order, then the extra entries. Take
// entries as generated while they follow that order; the rest are extras.
void assignEntries(const std::vector<RawEntry>& entries, bool profileDirectory,
                   const RecordSpans& records, std::vector<Seen>& seen, DirectoryOptions& options) {
    size_t next = 0;
    bool extras = false;
    for (const RawEntry& e : entries) {
        const auto hit = records.indexAt.find(e.offset);
        const bool found = hit != records.indexAt.end();
        if (!extras && found && hit->second >= next) {
            Seen& s = seen[hit->second];
            const bool matches =
                !s.listed || (s.entryClass == e.entryClass && s.id == e.id && s.spare == e.spare);
            if (matches) {
                s.listed = true;
                s.entryClass = e.entryClass;
                s.id = e.id;
                s.spare = e.spare;
                (profileDirectory ? s.inProfile : s.inChunk) = true;
                next = hit->second + 1;
                continue;
            }
        }
        extras = true;
        options.extraEntries.push_back(
            extraEntry(e, found ? std::optional<size_t>(hit->second) : std::nullopt));
    }
}

Record recordFrom(const Seen& s, std::span<const uint8_t> data, bool shared) {
    Record r;
    r.recordClass = s.entryClass;
    r.id = s.id;
    r.directorySpare = s.spare;
    if (!s.listed) {
        r.listing = Listing::None;
    } else if (!shared) {
        const bool profileByDefault = s.entryClass == kProfileClass;
        if (s.inProfile && s.inChunk)
            r.listing = Listing::Both;
        else if (s.inProfile != profileByDefault)
            r.listing = s.inProfile ? Listing::ProfileDirectory : Listing::ChunkDirectory;
    }
    r.content = s.listed ? decodeContent(r.recordClass, r.id, data)
                         : RecordContent{RawData{Bytes(data.begin(), data.end())}};
    return r;
}

bool parseInto(std::span<const uint8_t> in, Database& db, std::string& error) {
    Directories directories;
    RecordSpans records;
    if (!readHeader(in, db, error) || !readDirectories(in, db, directories, error) ||
        !splitRecords(in, directories.recordsAt, records, error))
        return false;
    const bool shared = db.directoryLayout == DirectoryLayout::Shared;
    std::vector<Seen> seen(records.data.size());
    assignEntries(directories.profile, true, records, seen, db.profileDirectory);
    if (!shared)
        assignEntries(directories.chunk, false, records, seen, db.chunkDirectory);
    for (size_t i = 0; i < records.data.size(); ++i)
        db.records.push_back(recordFrom(seen[i], records.data[i], shared));

    const Bytes again = writeDatabase(db);
    if (!std::equal(again.begin(), again.end(), in.begin(), in.end())) {
        error = "not in the writer's canonical form (rewriting gives other bytes)";
        return false;
    }
    return true;
}

} // namespace

std::optional<Database> parseDatabase(std::span<const uint8_t> in, std::string* errorOut) {
    Database db;
    std::string error;
    if (parseInto(in, db, error))
        return db;
    if (errorOut)
        *errorOut = std::move(error);
    return std::nullopt;
}

std::optional<Database> readDatabaseFile(const std::filesystem::path& path, std::string* error) {
    std::ifstream f(path, std::ios::binary);
    if (!f) {
        if (error)
            *error = "cannot open " + path.string();
        return std::nullopt;
    }
    const Bytes bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    return parseDatabase(bytes, error);
}

} // namespace vrel::dbwriter
