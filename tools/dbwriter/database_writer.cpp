// The container of the profile database: header, directories
// and records; writing, and parsing back what was written.
#include "byte_io.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <map>
#include <stdexcept>
#include <vrel/dbwriter.h>

namespace vrel::dbwriter {

using namespace detail;

namespace {

constexpr uint32_t kHeaderBytes = format::kHeaderBytes;
constexpr uint32_t kEntryBytes = format::kDirectoryEntryBytes;

struct Placement {
    bool inProfile;
    bool inChunk;
};

Placement placementOf(const Record& r, DirectoryLayout layout) {
    Placement p{false, false};
    switch (r.listing) {
    case Listing::Default:
        (r.recordClass == kProfileClass ? p.inProfile : p.inChunk) = true;
        break;
    case Listing::None:
        break;
    case Listing::ProfileDirectory:
        p.inProfile = true;
        break;
    case Listing::ChunkDirectory:
        p.inChunk = true;
        break;
    case Listing::Both:
        p.inProfile = p.inChunk = true;
        break;
    }
    if (layout == DirectoryLayout::Shared) {
        // One directory: listed once or not at all.
        p.inProfile = p.inProfile || p.inChunk;
        p.inChunk = false;
    }
    return p;
}

struct PendingEntry {
    uint32_t entryClass;
    uint16_t id;
    uint16_t spare;
    uint32_t offset;
};

void putDirectory(Bytes& out, const std::vector<PendingEntry>& entries,
                  const DirectoryOptions& options) {
    putU32(out,
           options.entryCountOverride.value_or(checkedU32(entries.size(), "directory too long")));
    for (const PendingEntry& e : entries) {
        putU32(out, e.entryClass);
        putU16(out, e.id);
        putU16(out, e.spare);
        putU32(out, e.offset);
    }
}

} // namespace

// ------------------------------------------------------------- records

Bytes Record::encodeData() const {
    struct Visitor {
        Bytes operator()(const ProfileIndex& x) const { return encodeProfileIndex(x); }
        Bytes operator()(const ColourTable& x) const { return encodeColourTable(x); }
        Bytes operator()(const ExtensionChunk& x) const { return encodeExtension(x); }
        Bytes operator()(const RawData& x) const { return x.bytes; }
    };
    return std::visit(Visitor{}, content);
}

Record& Database::addProfileIndex(uint16_t profileNumber, ProfileIndex index) {
    Record r;
    r.recordClass = kProfileClass;
    r.id = profileRecordId(profileNumber);
    r.content = std::move(index);
    return records.emplace_back(std::move(r));
}

Record& Database::addColourTable(uint16_t id, ColourTable table) {
    Record r;
    r.recordClass = kChunkClass;
    r.id = id;
    r.content = std::move(table);
    return records.emplace_back(std::move(r));
}

Record& Database::addExtension(uint16_t id, ExtensionChunk ext) {
    Record r;
    r.recordClass = kChunkClass;
    r.id = id;
    r.content = std::move(ext);
    return records.emplace_back(std::move(r));
}

Record& Database::addRaw(uint32_t recordClass, uint16_t id, Bytes data) {
    Record r;
    r.recordClass = recordClass;
    r.id = id;
    r.content = RawData{std::move(data)};
    return records.emplace_back(std::move(r));
}

Record* Database::find(uint32_t recordClass, uint16_t id) {
    for (Record& r : records)
        if (r.recordClass == recordClass && r.id == id)
            return &r;
    return nullptr;
}

const Record* Database::find(uint32_t recordClass, uint16_t id) const {
    for (const Record& r : records)
        if (r.recordClass == recordClass && r.id == id)
            return &r;
    return nullptr;
}

// ---------------------------------------------------------------- write

WrittenDatabase writeDatabaseWithLayout(const Database& db) {
    const bool shared = db.directoryLayout == DirectoryLayout::Shared;
    if (shared && (!db.chunkDirectory.extraEntries.empty() || db.chunkDirectory.entryCountOverride))
        throw std::invalid_argument("shared directory: put entry options in profileDirectory");

    std::vector<Bytes> data;
    data.reserve(db.records.size());
    for (const Record& r : db.records)
        data.push_back(r.encodeData());

    std::vector<Placement> placements;
    size_t profileCount = db.profileDirectory.extraEntries.size();
    size_t chunkCount = shared ? 0 : db.chunkDirectory.extraEntries.size();
    for (const Record& r : db.records) {
        placements.push_back(placementOf(r, db.directoryLayout));
        profileCount += placements.back().inProfile ? 1 : 0;
        chunkCount += placements.back().inChunk ? 1 : 0;
    }

    WrittenDatabase w;
    w.profileDirectoryOffset = kHeaderBytes;
    w.chunkDirectoryOffset =
        shared ? kHeaderBytes
               : checkedU32(kHeaderBytes + 4 + kEntryBytes * profileCount, "directory too long");
    size_t at = w.chunkDirectoryOffset +
                (shared ? 4 + kEntryBytes * profileCount : 4 + kEntryBytes * chunkCount);
    for (const Bytes& d : data) {
        w.recordOffsets.push_back(checkedU32(at, "file too long"));
        at += 4 + d.size();
    }
    checkedU32(at, "file too long");

    auto resolve = [&](const DirectoryEntry& e) {
        if (!e.recordIndex)
            return e.recordOffset;
        if (*e.recordIndex >= w.recordOffsets.size())
            throw std::invalid_argument("recordIndex out of range");
        return w.recordOffsets[*e.recordIndex];
    };
    std::vector<PendingEntry> profileEntries, chunkEntries;
    for (size_t i = 0; i < db.records.size(); ++i) {
        const Record& r = db.records[i];
        const PendingEntry e{r.recordClass, r.id, r.directorySpare, w.recordOffsets[i]};
        if (placements[i].inProfile)
            profileEntries.push_back(e);
        if (placements[i].inChunk)
            chunkEntries.push_back(e);
    }
    for (const DirectoryEntry& e : db.profileDirectory.extraEntries)
        profileEntries.push_back({e.entryClass, e.id, e.spare, resolve(e)});
    if (!shared)
        for (const DirectoryEntry& e : db.chunkDirectory.extraEntries)
            chunkEntries.push_back({e.entryClass, e.id, e.spare, resolve(e)});

    Bytes& out = w.bytes;
    out.reserve(at);
    putBytes(out, db.tag);
    putU32(out, db.profileDirectory.offsetOverride.value_or(w.profileDirectoryOffset));
    putU32(out, db.version);
    putU32(out, db.chunkDirectory.offsetOverride.value_or(w.chunkDirectoryOffset));
    putDirectory(out, profileEntries, db.profileDirectory);
    if (!shared)
        putDirectory(out, chunkEntries, db.chunkDirectory);
    for (size_t i = 0; i < db.records.size(); ++i) {
        const Record& r = db.records[i];
        putU32(out, r.sizeOverride.value_or(checkedU32(data[i].size(), "record too long")));
        putBytes(out, data[i]);
    }

    for (const Patch& p : db.patches) {
        if (out.size() < p.offset + p.bytes.size())
            out.resize(p.offset + p.bytes.size(), 0);
        std::copy(p.bytes.begin(), p.bytes.end(),
                  out.begin() + static_cast<std::ptrdiff_t>(p.offset));
    }
    if (db.truncateAt && *db.truncateAt < out.size())
        out.resize(*db.truncateAt);
    return w;
}

Bytes writeDatabase(const Database& db) {
    return writeDatabaseWithLayout(db).bytes;
}

bool writeDatabaseFile(const std::filesystem::path& path, const Database& db, std::string* error) {
    const Bytes bytes = writeDatabase(db);
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    if (f)
        f.write(reinterpret_cast<const char*>(bytes.data()),
                static_cast<std::streamsize>(bytes.size()));
    if (f)
        f.close();
    if (!f) {
        if (error)
            *error = "cannot write " + path.string();
        return false;
    }
    return true;
}

// ---------------------------------------------------------------- parse

namespace {

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

} // namespace

std::optional<Database> parseDatabase(std::span<const uint8_t> in, std::string* errorOut) {
    std::string error;
    auto fail = [&](std::string message) -> std::optional<Database> {
        if (errorOut)
            *errorOut = std::move(message);
        return std::nullopt;
    };
    if (in.size() < kHeaderBytes)
        return fail("shorter than the 20-byte header");

    Database db;
    getBytes(in, 0, db.tag);
    db.version = getU32(in, 12);
    const uint32_t profileAt = getU32(in, 8), chunkAt = getU32(in, 16);
    db.directoryLayout = profileAt == chunkAt ? DirectoryLayout::Shared : DirectoryLayout::Separate;
    const bool shared = db.directoryLayout == DirectoryLayout::Shared;
    if (profileAt != kHeaderBytes)
        return fail("directory does not follow the header");

    std::vector<RawEntry> profileEntries, chunkEntries;
    if (!readDirectory(in, profileAt, profileEntries, error))
        return fail(error);
    size_t recordsAt = profileAt + 4 + kEntryBytes * profileEntries.size();
    if (!shared) {
        if (chunkAt != recordsAt)
            return fail("chunk directory does not follow the profile directory");
        if (!readDirectory(in, chunkAt, chunkEntries, error))
            return fail(error);
        recordsAt = chunkAt + 4 + kEntryBytes * chunkEntries.size();
    }

    // Records follow the directories without gaps.
    std::vector<std::span<const uint8_t>> data;
    std::map<uint32_t, size_t> indexAt;
    std::vector<uint32_t> offsets;
    for (size_t at = recordsAt; at < in.size();) {
        if (at + 4 > in.size())
            return fail("record size word cut short at offset " + std::to_string(at));
        const uint32_t size = getU32(in, at);
        if (at + 4 + static_cast<uint64_t>(size) > in.size())
            return fail("record at offset " + std::to_string(at) +
                        " runs past the end of the file");
        indexAt[static_cast<uint32_t>(at)] = data.size();
        offsets.push_back(static_cast<uint32_t>(at));
        data.push_back(in.subspan(at + 4, size));
        at += 4 + size;
    }

    struct Seen {
        bool listed = false;
        bool inProfile = false;
        bool inChunk = false;
        uint32_t entryClass = kChunkClass;
        uint16_t id = 0;
        uint16_t spare = 0;
    };
    std::vector<Seen> seen(data.size());

    // The writer lists records in file order, then the extra entries. Take
    // entries as generated while they follow that order; the rest are extras.
    auto assign = [&](const std::vector<RawEntry>& entries, bool profileDirectory,
                      DirectoryOptions& options) {
        size_t next = 0;
        bool extras = false;
        for (const RawEntry& e : entries) {
            const auto hit = indexAt.find(e.offset);
            if (!extras && hit != indexAt.end() && hit->second >= next) {
                Seen& s = seen[hit->second];
                const bool matches = !s.listed || (s.entryClass == e.entryClass && s.id == e.id &&
                                                   s.spare == e.spare);
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
            DirectoryEntry extra;
            extra.entryClass = e.entryClass;
            extra.id = e.id;
            extra.spare = e.spare;
            if (hit != indexAt.end())
                extra.recordIndex = hit->second;
            else
                extra.recordOffset = e.offset;
            options.extraEntries.push_back(extra);
        }
    };
    assign(profileEntries, true, db.profileDirectory);
    if (!shared)
        assign(chunkEntries, false, db.chunkDirectory);

    for (size_t i = 0; i < data.size(); ++i) {
        const Seen& s = seen[i];
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
        r.content = s.listed ? decodeContent(r.recordClass, r.id, data[i])
                             : RecordContent{RawData{Bytes(data[i].begin(), data[i].end())}};
        db.records.push_back(std::move(r));
    }

    const Bytes again = writeDatabase(db);
    if (!std::equal(again.begin(), again.end(), in.begin(), in.end()))
        return fail("not in the writer's canonical form (rewriting gives other bytes)");
    return db;
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
