// The profile database file format: the constants of the container
// (directories of numbered records), of the profile index records, of the
// colour-table chunks and of the extension chunks, and the rules their bytes
// must meet. The engine's loader refuses a file on the first rule broken;
// `vrel db check` asks the same rules of every record and lists each fault;
// the database writer (tools/dbwriter) writes by the same constants.
#pragma once

#include "resources/byte_order.h"
#include "vrel/vrel.h"

#include <cstdint>

namespace vrel::format {

// Container: a directory entry is id, class and offset; a profile index
// record starts with layoutWord, profileCount and entryWords. The class
// number is also the file offset of the word that holds its directory's
// offset, so the header ends after the chunk class's word.
inline constexpr uint32_t kProfileIndexClass = 8;
inline constexpr uint32_t kTableChunkClass = 16;
inline constexpr uint32_t kHeaderBytes = kTableChunkClass + 4;
inline constexpr uint32_t kDirectoryEntryBytes = 12;
inline constexpr uint32_t kIndexHeaderBytes = 12;
// The index record of profile number p has id p + 1000.
inline constexpr uint16_t kProfileIdBase = 1000;

// Profile records: the payload of each record layout (0, 1, 2), where its
// channel descriptors start, and what they carry.
inline constexpr uint32_t kPayloadBytes[3] = {160, 292, 276};
inline constexpr uint32_t kDescriptorOffset[3] = {64, 36, 20};
inline constexpr int kDescriptorCount = 8;
// Descriptor 0's field e in a three-channel profile of four descriptors.
inline constexpr uint32_t kThreeChannelMarker = 256;
inline constexpr uint32_t kFlagNoBlackBalance = 1u << 16;
inline constexpr uint32_t kFlagExtension = 1u << 17;

// Colour-table chunks: the mark that starts a chunk with a header, and the
// grid a chunk without node positions has.
inline constexpr uint8_t kChunkMark[4] = {0xff, 0x00, 0xff, 0x00};
inline constexpr uint32_t kDefaultGridPoints = 17;
inline constexpr uint32_t kMaxGridPoints = 64;

// Extension chunks, by table selector (other, 2, 3): 88 bytes whose second
// word holds 84.
inline constexpr uint16_t kExtensionIds[3] = {0x640, 0x641, 0x642};
inline constexpr uint16_t kExtensionSizeWord = 84;
inline constexpr uint32_t kExtensionBytes = 88;

// A rule broken: what is wrong, and where, as an offset from the start of
// the bytes that were checked (-4 is the size word before a record's data).
// No fault when `what` is null.
struct Fault {
    const char* what = nullptr;
    int64_t at = 0;
    explicit operator bool() const { return what != nullptr; }
};

// ------------------------------------------------------------- container

// A directory of entryCount entries whose count word is at `at`; `holds`
// answers whether the file holds every byte of a range (start, length).
template <class Holds> Fault directoryFault(uint32_t at, uint32_t entryCount, Holds&& holds) {
    if (entryCount == 0) {
        return {"the directory lists no record", at};
    }
    if (!holds(uint64_t{at} + 4, uint64_t{entryCount} * kDirectoryEntryBytes)) {
        return {"the directory's entries run past the end of the file", at};
    }
    return {};
}

// A directory entry: class, id (then two unread bytes) and record offset.
struct DirectoryEntry {
    uint32_t recordClass;
    uint16_t id;
    uint32_t recordOffset;
};
inline DirectoryEntry readDirectoryEntry(const uint8_t* entry) {
    return {loadLe32(entry), loadLe16(entry + 4), loadLe32(entry + 8)};
}

// The record whose size word is at `at` holds `size` bytes after it.
template <class Holds> Fault recordFault(uint32_t at, uint32_t size, Holds&& holds) {
    if (!holds(uint64_t{at} + 4, size)) {
        return {"the record claims more bytes than the file holds after it", at};
    }
    return {};
}

// ---------------------------------------------------- profile index records

// The layout word: when bits 0-7 are clear the layout is 0 and only bits
// 8-15 are flags; otherwise bits 0-15 are the layout (as a signed number)
// and bits 16-31 the flags.
inline int16_t layoutOf(uint32_t layoutWord) {
    return (layoutWord & 0xffu) == 0 ? int16_t{0} : static_cast<int16_t>(layoutWord & 0xffffu);
}
inline uint32_t recordFlagsOf(uint32_t layoutWord) {
    return (layoutWord & 0xffu) == 0 ? (layoutWord & 0xff00u) : (layoutWord & 0xffff0000u);
}

// The channel count of a profile: the descriptors present, except that four
// whose first descriptor carries the marker 256 drive a three-channel table.
inline int channelCountOf(int present, uint32_t firstDescriptorE) {
    return present == 4 && firstDescriptorE == kThreeChannelMarker ? 3 : present;
}

// The profile keys packed from a parameter record, each field masked to its
// width: key A for layouts 0 and 1, key B for layout 2.
uint32_t profileKeyA(const ParamRecord* params);
uint32_t profileKeyB(const ParamRecord* params);
// The inverse: sets the key fields that key B (layout 2) or key A (any
// other layout) packs, leaving the other fields alone. False when those
// fields pack into another key (the key has bits no field fills).
bool splitProfileKey(uint32_t key, int layout, ParamRecord* params);

struct IndexHead {
    int16_t layout; // 0, 1, 2 are loaded; any other value is only reported
    uint32_t recordFlags;
    uint32_t profileCount;
    uint32_t entryWords;
};

// The head of a profile index record of `size` bytes: layout, flags, count
// and entry size. Faulty when the record cannot hold it.
Fault readIndexHead(const uint8_t* data, uint64_t size, IndexHead* head);
// The layout of an index head that can be searched.
Fault layoutFault(const IndexHead& head);
uint32_t payloadBytes(int16_t layout); // of layouts 0, 1, 2

// The key search reads the entries from the first, stepping entryWords x 4
// bytes, and stops at the first whose key does not lie inside the record:
// this many entries are looked at. An entry of no words holds no key, so
// none is.
uint64_t searchedEntries(const IndexHead& head, uint64_t size);
uint64_t entryOffset(const IndexHead& head, uint64_t index); // of its key
// The payload after the key of the entry at `at` must lie inside the record.
Fault payloadFault(const IndexHead& head, uint64_t at, uint64_t size);

// What opening a profile entry makes the engine load, decoded as the engine
// decodes the entry: its channel count (the conversion method), its
// conversion table's chunk word and its three table identifiers. The
// payload (after the key) must hold the layout's payloadBytes; layout is
// 0, 1 or 2.
struct EntryTables {
    uint16_t channelCount;
    uint32_t lutChunkWord;
    uint32_t tableIds[3];
};
EntryTables entryTables(const uint8_t* payload, int16_t layout, uint32_t recordFlags);

// -------------------------------------------------------------- table use

// The slot of the profile's three table identifiers that names the
// correction table for a table selector (other, 2, 3), and the extension
// chunk the selector loads.
int correctionSlotFor(int16_t tableSelector);
uint16_t extensionIdFor(int16_t tableSelector);
// The node set of a type-2 header that the input kind chooses; selector 3
// without the extension flag always takes set 0. Sets 0 to
// nodeSetsChosen() - 1 are chosen by some input kind.
uint32_t nodeSetFor(uint16_t inputKind, int16_t tableSelector, uint16_t flagExtension);
uint32_t nodeSetsChosen(int16_t tableSelector, uint16_t flagExtension);
// The channels of the conversion table of a method: three-channel output is
// driven by a four-channel table.
inline uint32_t conversionTableChannels(uint32_t method) {
    return method == VrelMethodThreeChannel ? 4u : method;
}

// ----------------------------------------------------- colour-table chunks

// What a colour-table chunk is loaded for: the conversion group (0) or the
// correction group (1), its channel count, whether a type-1 header's nodes
// give way to the default grid (the correction table of selector 3), and the
// node set a type-2 header is read from.
struct TableRequest {
    int group;
    uint32_t channels;
    bool defaultGridForType1;
    uint32_t nodeSet;
};

// The table a chunk holds, as offsets from the chunk's start.
struct TableChunk {
    uint8_t headerType; // 0xff when the chunk carries no header
    uint8_t pointCount; // 0: the default grid
    uint32_t nodesAt;   // pointCount node positions (when pointCount != 0)
    uint32_t dataAt;    // n^3 x channels bytes, stored by channel
};

// Group 1 takes header types 0, 1 and 2, group 0 types 0 and 1. The header
// must fit the chunk, the chosen node set must exist, and the grid must
// follow the header inside the chunk. The nodes found are checked by
// nodesFault when the table is built.
Fault readTableChunk(const uint8_t* chunk, uint32_t size, const TableRequest& request,
                     TableChunk* table);

// Node positions of a table axis start at 0, rise strictly and end at 255
// (so there are at least two). The fault's offset is from the first node.
Fault nodesFault(const uint8_t* nodes, uint32_t count);
inline bool validNodes(const uint8_t* nodes, uint32_t count) {
    return !nodesFault(nodes, count);
}

// An extension chunk holds its 88 bytes with 84 in its size word.
Fault extensionFault(const uint8_t* chunk, uint32_t size);

} // namespace vrel::format
