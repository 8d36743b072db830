// Writing the container of the profile database: the header, the
// directories, then the records, each after its size word.
#include "byte_io.h"

#include <algorithm>
#include <fstream>
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

void checkEntryOptions(const Database& db) {
    if (db.directoryLayout == DirectoryLayout::Shared &&
        (!db.chunkDirectory.extraEntries.empty() || db.chunkDirectory.entryCountOverride))
        throw std::invalid_argument("shared directory: put entry options in profileDirectory");
}

std::vector<Bytes> encodeRecords(const Database& db) {
    std::vector<Bytes> data;
    data.reserve(db.records.size());
    for (const Record& r : db.records)
        data.push_back(r.encodeData());
    return data;
}

// Which directories list each record, and how long each directory is.
struct Listings {
    std::vector<Placement> placements;
    size_t profileCount = 0;
    size_t chunkCount = 0;
};

Listings listRecords(const Database& db) {
    const bool shared = db.directoryLayout == DirectoryLayout::Shared;
    Listings l;
    l.profileCount = db.profileDirectory.extraEntries.size();
    l.chunkCount = shared ? 0 : db.chunkDirectory.extraEntries.size();
    for (const Record& r : db.records) {
        l.placements.push_back(placementOf(r, db.directoryLayout));
        l.profileCount += l.placements.back().inProfile ? 1 : 0;
        l.chunkCount += l.placements.back().inChunk ? 1 : 0;
    }
    return l;
}

// Sets the directory and record offsets; returns the length of the file.
size_t layOut(WrittenDatabase& w, bool shared, const Listings& l, const std::vector<Bytes>& data) {
    w.profileDirectoryOffset = kHeaderBytes;
    w.chunkDirectoryOffset =
        shared ? kHeaderBytes
               : checkedU32(kHeaderBytes + 4 + kEntryBytes * l.profileCount, "directory too long");
    size_t at = w.chunkDirectoryOffset +
                (shared ? 4 + kEntryBytes * l.profileCount : 4 + kEntryBytes * l.chunkCount);
    for (const Bytes& d : data) {
        w.recordOffsets.push_back(checkedU32(at, "file too long"));
        at += 4 + d.size();
    }
    checkedU32(at, "file too long");
    return at;
}

struct Directories {
    std::vector<PendingEntry> profile;
    std::vector<PendingEntry> chunk;
};

// The generated entries in record order, then the extra entries.
Directories gatherEntries(const Database& db, const Listings& l,
                          const std::vector<uint32_t>& recordOffsets) {
    auto resolve = [&](const DirectoryEntry& e) {
        if (!e.recordIndex)
            return e.recordOffset;
        if (*e.recordIndex >= recordOffsets.size())
            throw std::invalid_argument("recordIndex out of range");
        return recordOffsets[*e.recordIndex];
    };
    Directories d;
    for (size_t i = 0; i < db.records.size(); ++i) {
        const Record& r = db.records[i];
        const PendingEntry e{r.recordClass, r.id, r.directorySpare, recordOffsets[i]};
        if (l.placements[i].inProfile)
            d.profile.push_back(e);
        if (l.placements[i].inChunk)
            d.chunk.push_back(e);
    }
    for (const DirectoryEntry& e : db.profileDirectory.extraEntries)
        d.profile.push_back({e.entryClass, e.id, e.spare, resolve(e)});
    if (db.directoryLayout != DirectoryLayout::Shared)
        for (const DirectoryEntry& e : db.chunkDirectory.extraEntries)
            d.chunk.push_back({e.entryClass, e.id, e.spare, resolve(e)});
    return d;
}

void putFile(Bytes& out, const Database& db, const WrittenDatabase& w, const Directories& d,
             const std::vector<Bytes>& data) {
    putBytes(out, db.tag);
    putU32(out, db.profileDirectory.offsetOverride.value_or(w.profileDirectoryOffset));
    putU32(out, db.version);
    putU32(out, db.chunkDirectory.offsetOverride.value_or(w.chunkDirectoryOffset));
    putDirectory(out, d.profile, db.profileDirectory);
    if (db.directoryLayout != DirectoryLayout::Shared)
        putDirectory(out, d.chunk, db.chunkDirectory);
    for (size_t i = 0; i < db.records.size(); ++i) {
        const Record& r = db.records[i];
        putU32(out, r.sizeOverride.value_or(checkedU32(data[i].size(), "record too long")));
        putBytes(out, data[i]);
    }
}

void applyPatches(Bytes& out, const Database& db) {
    for (const Patch& p : db.patches) {
        if (out.size() < p.offset + p.bytes.size())
            out.resize(p.offset + p.bytes.size(), 0);
        std::copy(p.bytes.begin(), p.bytes.end(),
                  out.begin() + static_cast<std::ptrdiff_t>(p.offset));
    }
    if (db.truncateAt && *db.truncateAt < out.size())
        out.resize(*db.truncateAt);
}

} // namespace

WrittenDatabase writeDatabaseWithLayout(const Database& db) {
    checkEntryOptions(db);
    const std::vector<Bytes> data = encodeRecords(db);
    const Listings listings = listRecords(db);
    WrittenDatabase w;
    const size_t fileLength =
        layOut(w, db.directoryLayout == DirectoryLayout::Shared, listings, data);
    const Directories directories = gatherEntries(db, listings, w.recordOffsets);
    w.bytes.reserve(fileLength);
    putFile(w.bytes, db, w, directories, data);
    applyPatches(w.bytes, db);
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

} // namespace vrel::dbwriter
