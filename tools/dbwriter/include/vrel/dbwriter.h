// vrel::dbwriter: writes profile database files
// from an in-memory description, and parses the files it wrote back into the
// same description.
//
// The writer takes the format's constants and rules (layout word, keys,
// channel count, sizes) from the engine's format module,
// resources/database_format.h, so that the two cannot disagree; the tests
// check those rules against references of their own.
//
// Output is deterministic and canonical: header (20 bytes), directory or
// directories, then the records in the order of Database::records, with no
// gaps. parseDatabase(writeDatabase(db)) gives a description that writes the
// same bytes again.
//
// Every number is written little-endian, whatever the host.
#pragma once

#include "resources/database_format.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>
#include <vrel/vrel.h>

namespace vrel::dbwriter {

using Bytes = std::vector<uint8_t>;
using Name24 = std::array<uint8_t, 24>;

// A 24-byte name slot: the text, then zero bytes (truncated at 24, no NUL
// added when the text fills the slot).
Name24 makeName(std::string_view text);

// ------------------------------------------------------------ constants

// The format's own constants (resources/database_format.h, which the engine
// reads by), under the writer's names.
inline constexpr uint32_t kProfileClass = format::kProfileIndexClass;
inline constexpr uint32_t kChunkClass = format::kTableChunkClass;
inline constexpr uint16_t kProfileIdBase = format::kProfileIdBase;
inline constexpr uint16_t kExtensionIdFirst = format::kExtensionIds[0];  // selector other
inline constexpr uint16_t kExtensionIdSecond = format::kExtensionIds[1]; // selector 2
inline constexpr uint16_t kExtensionIdThird = format::kExtensionIds[2];  // selector 3
inline constexpr uint16_t kExtensionSize = format::kExtensionSizeWord;   // value of extSize
inline constexpr size_t kExtensionChunkBytes = format::kExtensionBytes;
inline constexpr std::array<uint8_t, 4> kChunkMark = {format::kChunkMark[0], format::kChunkMark[1],
                                                      format::kChunkMark[2], format::kChunkMark[3]};
inline constexpr int kDefaultGridPoints = format::kDefaultGridPoints;

// recordFlags bits (only taken when the layout is not 0).
inline constexpr uint32_t kFlagNoBlackBalance = format::kFlagNoBlackBalance;
inline constexpr uint32_t kFlagExtension = format::kFlagExtension;
inline constexpr uint32_t greyModeFlags(uint32_t greyMode) {
    return (greyMode & 3u) << 18;
}

// Payload bytes that follow the 4-byte key of one profile entry.
inline constexpr uint32_t kPayloadBytesLayout0 = format::kPayloadBytes[0];
inline constexpr uint32_t kPayloadBytesLayout1 = format::kPayloadBytes[1];
inline constexpr uint32_t kPayloadBytesLayout2 = format::kPayloadBytes[2];
uint32_t payloadBytes(int layout); // 160, 292, 276; 0 for any other layout

// Record id of the profile index record of a profile number (16-bit sum).
inline constexpr uint16_t profileRecordId(uint16_t profileNumber) {
    return static_cast<uint16_t>(profileNumber + kProfileIdBase);
}

// ---------------------------------------------------------- layout word

// The layoutWord of a profile index record. For layout 0 the word is
// flags & 0xff00 (bits 0-7 must be zero, so bits 16-31 cannot be carried);
// for any other layout it is (flags & 0xffff0000) | layout.
uint32_t makeLayoutWord(uint16_t layout, uint32_t flags = 0);
// As the engine reads it: 0 when bits 0-7 are zero, else bits 0-15 as i16.
int decodeLayout(uint32_t layoutWord);
// recordFlags: word & 0xff00 for layout 0, else word & 0xffff0000.
uint32_t decodeRecordFlags(uint32_t layoutWord);

// ---------------------------------------------------------- profile keys

// The keys of the format module.
uint32_t keyA(const ParamRecord& params);                   // layouts 0 and 1
uint32_t keyB(const ParamRecord& params);                   // layout 2
uint32_t profileKey(const ParamRecord& params, int layout); // A for 0, 1; B for 2

// --------------------------------------------------- channel descriptors

// One channel descriptor, fields a to f. The writer masks every
// field to the width of the packing in use:
//   packing A (layout 0):     a 3 bits, b 5, c 3, d 12, e 9
//   packing B (layouts 1, 2): a 3 bits, b 16, c 8, d 12, e 9, plus the
//                             ignored bits 24-31 of both words
//   f: one nibble of descriptorNibbles in both packings.
struct ChannelDescriptor {
    uint8_t a = 0;
    uint16_t b = 0;
    uint8_t c = 0; // nonzero: the channel is present
    uint16_t d = 0;
    uint16_t e = 0; // descriptor 0: 256 with four present channels gives 3
    uint8_t f = 0;
    uint8_t word1High = 0; // packing B only: bits 24-31 of word 1 (ignored by the engine)
    uint8_t word2High = 0; // packing B only: bits 24-31 of word 2 (ignored by the engine)

    bool operator==(const ChannelDescriptor&) const = default;
};
using Descriptors = std::array<ChannelDescriptor, 8>;

uint32_t packDescriptorA(const ChannelDescriptor& d);
std::array<uint32_t, 2> packDescriptorB(const ChannelDescriptor& d); // word 1, word 2
uint32_t packDescriptorNibbles(const Descriptors& d);                // descriptor 0 in bits 28-31
ChannelDescriptor unpackDescriptorA(uint32_t word, uint8_t nibble);
ChannelDescriptor unpackDescriptorB(uint32_t word1, uint32_t word2, uint8_t nibble);
uint8_t descriptorNibble(uint32_t nibbles, int index); // index 0..7

// Descriptors giving the channel count `count` (0..8): descriptors 0..count-1
// present (c = 1), the rest absent. With count 3 and fourWithE256, four
// channels are present and descriptor 0's e is 256 (the channel count rule
// turns that into 3).
Descriptors descriptorsForChannels(int count, bool fourWithE256 = false);
// The channel count rule: present descriptors, 3 for four with e = 256.
int channelCountOf(const Descriptors& d);

// -------------------------------------------------------- profile records

// One profile entry: the key and the payload fields. Which bytes are written
// depends on the layout of the index record that holds it.
struct ProfileEntry {
    uint32_t key = 0;
    // Layout 0: tableIds[0] and [1] only (the record has two slots; [2] is
    // not written and parses as 0). Layout 2: the low 16 bits of each are
    // written (parsed back zero-extended).
    std::array<uint32_t, 3> tableIds{};
    uint32_t lutChunk = 0; // layout 2: low 16 bits
    Descriptors descriptors{};
    Name24 name1{};
    Name24 name2{};
    uint32_t searchKey = 0;
    uint32_t searchPair = 0;
    std::array<uint8_t, 4> profileValue{}; // stored byte by byte; see setProfileValue
    // Bytes the engine does not use, kept so that any file parses and
    // rewrites exactly. Layout 0 writes all 48 head bytes (offsets 0-47),
    // layout 1 the first 16, layout 2 the first 8. unusedWord: offset 60
    // (layout 0), 32 (layout 1), 16-19 (layout 2). unusedTail: offsets
    // 164-291 (layout 1) or 148-275 (layout 2); not written for layout 0.
    std::array<uint8_t, 48> unusedHead{};
    uint32_t unusedWord = 0;
    std::array<uint8_t, 128> unusedTail{};
    // Bytes after the payload, up to the entry stride (ProfileIndex::extraWords).
    Bytes extra{};

    void setProfileValue(uint32_t value); // little-endian
    uint32_t profileValueWord() const;

    bool operator==(const ProfileEntry&) const = default;
};

// Encodes the payload (without the key) of one entry: exactly
// payloadBytes(layout) bytes. Throws std::invalid_argument for a layout
// other than 0, 1, 2.
Bytes encodeProfilePayload(const ProfileEntry& entry, int layout);

// The data of a class-8 profile index record.
struct ProfileIndex {
    uint32_t layoutWord = 0; // makeLayoutWord(layout, flags)
    // Layout of the payloads of the entries (0, 1 or 2). Normally equal to
    // decodeLayout(layoutWord); differs only in deliberately broken files.
    int entryLayout = 0;
    std::vector<ProfileEntry> entries{};
    // Each entry is padded by extraWords 32-bit words (from ProfileEntry::extra,
    // zero-filled); the entry stride is 4 + payloadBytes + 4·extraWords.
    uint32_t extraWords = 0;
    // Escape hatches: written instead of the true values; entries are still
    // written at the true stride.
    std::optional<uint32_t> profileCountOverride{};
    std::optional<uint32_t> entryWordsOverride{};
    Bytes trailing{}; // bytes after the last entry

    bool operator==(const ProfileIndex&) const = default;
};

Bytes encodeProfileIndex(const ProfileIndex& index);
uint32_t entryWordsOf(const ProfileIndex& index); // the true stride in words

// ---------------------------------------------------- colour-table chunks

// A colour-table chunk (class 16). Table data are stored channel-major: all
// n³ values of channel 0 first; within a channel grid point (i0, i1, i2) is at
// i0·n² + i1·n + i2 (see makeGrid).
struct ColourTable {
    bool marked = true;            // false: no mark, no header, data from byte 0
    uint8_t headerType = 0;        // 0, 1, 2; any other value is written as is
    Bytes nodes{};                 // type 1: the k node positions
    std::vector<Bytes> nodeSets{}; // type 2: s sets of k positions
    uint8_t type2Spare = 0;        // type 2: byte 6 (not read by the engine)
    // Escape hatches: written instead of nodes.size() / nodeSets[0].size()
    // and nodeSets.size().
    std::optional<uint8_t> pointCountOverride{};
    std::optional<uint8_t> nodeSetCountOverride{};
    Bytes data{}; // table data (channel-major), written after the header

    bool operator==(const ColourTable&) const = default;
};

Bytes encodeColourTable(const ColourTable& table);
// Bytes before the table data: 0 (unmarked), 5 (type 0 or other), 6 + k
// (type 1), 8 + s·k (type 2).
size_t colourTableHeaderBytes(const ColourTable& table);

// Convenience constructors. Unmarked: data only (default 17-point grid).
ColourTable unmarkedTable(Bytes data);
ColourTable tableType0(Bytes data);                              // mark, type 0, default grid
ColourTable tableType1(Bytes nodes, Bytes data);                 // mark, type 1, k = nodes.size()
ColourTable tableType2(std::vector<Bytes> nodeSets, Bytes data); // mark, type 2

// ----------------------------------------------------- extension chunk

struct ExtensionChunk {
    uint16_t unused = 0;
    uint16_t extSize = kExtensionSize;
    Name24 extName9{};
    Name24 extName1{};
    Name24 extName10{};
    uint32_t extSearchKey = 0;
    uint32_t extSearchPair = 0;
    uint32_t extProfileValue = 0;
    Bytes trailing{}; // bytes after the 88

    bool operator==(const ExtensionChunk&) const = default;
};

Bytes encodeExtension(const ExtensionChunk& ext); // 88 bytes + trailing

// ------------------------------------------------------------- records

struct RawData {
    Bytes bytes{};
    bool operator==(const RawData&) const = default;
};

using RecordContent = std::variant<ProfileIndex, ColourTable, ExtensionChunk, RawData>;

// Which directory lists a record. Default: class 8 in the profile directory,
// every other class in the chunk directory. With a shared directory every
// value but None lists the record once. An unlisted record has no class or id
// in the file: it parses back as RawData of class 16, id 0.
enum class Listing : uint8_t { Default, None, ProfileDirectory, ChunkDirectory, Both };

struct Record {
    uint32_t recordClass = kChunkClass;
    uint16_t id = 0;
    uint16_t directorySpare = 0; // the unread u16 of the directory entry
    Listing listing = Listing::Default;
    std::optional<uint32_t> sizeOverride{}; // written in the size word instead of the true length
    RecordContent content{};

    Bytes encodeData() const; // the record's data bytes (without the size word)
    bool operator==(const Record&) const = default;
};

// A directory entry added by hand (duplicates, dangling offsets). When
// recordIndex is set the entry points at that record of Database::records
// (its size word), otherwise at recordOffset.
struct DirectoryEntry {
    uint32_t entryClass = kChunkClass;
    uint16_t id = 0;
    uint16_t spare = 0;
    std::optional<size_t> recordIndex{};
    uint32_t recordOffset = 0;

    bool operator==(const DirectoryEntry&) const = default;
};

struct DirectoryOptions {
    std::optional<uint32_t> entryCountOverride{}; // written instead of the true count
    std::vector<DirectoryEntry> extraEntries{};   // appended after the generated entries
    std::optional<uint32_t> offsetOverride{};     // written in the header instead

    bool operator==(const DirectoryOptions&) const = default;
};

enum class DirectoryLayout : uint8_t {
    Separate, // a class-8 directory, then a class-16 directory
    Shared,   // one directory; header bytes 8 and 16 both point at it
};

// A post-write byte patch: bytes replace the file from offset on (the file
// grows, zero-filled, if the patch reaches past its end).
struct Patch {
    size_t offset = 0;
    Bytes bytes{};
    bool operator==(const Patch&) const = default;
};

struct Database {
    std::array<uint8_t, 8> tag = {'V', 'R', 'E', 'L', 'D', 'B', 0, 0}; // bytes 0-7
    uint32_t version = 1;                                              // bytes 12-15
    DirectoryLayout directoryLayout = DirectoryLayout::Separate;
    // Shared layout: profileDirectory's options apply to the one directory;
    // chunkDirectory.offsetOverride still applies to header byte 16.
    DirectoryOptions profileDirectory{};
    DirectoryOptions chunkDirectory{};
    std::vector<Record> records{};      // file order
    std::vector<Patch> patches{};       // applied after writing, in order
    std::optional<size_t> truncateAt{}; // applied after the patches

    // Append a record and return it for further changes. The reference is
    // valid until the next append.
    Record& addProfileIndex(uint16_t profileNumber, ProfileIndex index);
    Record& addColourTable(uint16_t id, ColourTable table);
    Record& addExtension(uint16_t id, ExtensionChunk ext);
    Record& addRaw(uint32_t recordClass, uint16_t id, Bytes data);

    // Find the first record of a class and id (nullptr when none).
    Record* find(uint32_t recordClass, uint16_t id);
    const Record* find(uint32_t recordClass, uint16_t id) const;

    bool operator==(const Database&) const = default;
};

// Where the parts of a written file are.
struct WrittenDatabase {
    Bytes bytes{};
    uint32_t profileDirectoryOffset = 0; // true offsets (before overrides)
    uint32_t chunkDirectoryOffset = 0;
    std::vector<uint32_t> recordOffsets{}; // per record: offset of its size word
    uint32_t dataOffset(size_t recordIndex) const { return recordOffsets.at(recordIndex) + 4; }
};

// Writes the file image. Throws std::invalid_argument for a description that
// cannot be written at all (a node list longer than 255, a profile entry of a
// layout other than 0..2, a recordIndex out of range, ...).
Bytes writeDatabase(const Database& db);
WrittenDatabase writeDatabaseWithLayout(const Database& db);
// Writes the image to path; false (with a message in *error) on I/O failure.
bool writeDatabaseFile(const std::filesystem::path& path, const Database& db,
                       std::string* error = nullptr);

// The inverse of writeDatabase for the files it produces (patches and
// truncation aside): the result writes the same bytes again. Records whose
// content does not decode as a profile index, colour table or extension chunk
// come back as RawData. Fails (nullopt, with a message) for a file that the
// writer could not have produced (gaps, unordered directories, ...).
std::optional<Database> parseDatabase(std::span<const uint8_t> bytes, std::string* error = nullptr);
std::optional<Database> readDatabaseFile(const std::filesystem::path& path,
                                         std::string* error = nullptr);

// Decoders for single records, also used by parseDatabase. Each succeeds only
// when encoding its result gives the input bytes exactly.
std::optional<ProfileIndex> decodeProfileIndex(std::span<const uint8_t> data);
std::optional<ColourTable> decodeColourTable(std::span<const uint8_t> data);
std::optional<ExtensionChunk> decodeExtension(std::span<const uint8_t> data);

// --------------------------------------------------------------- grids

// 0, 16, 32, ..., 240, 255.
Bytes defaultNodes();

// Channel-major table data of n = nodes.size() points and `channels`
// channels: for every grid point fn(nodes[i0], nodes[i1], nodes[i2]) gives the
// values of channels 0..channels-1 (missing values are 0, extra ones ignored).
using GridFunction = std::function<Bytes(uint8_t v0, uint8_t v1, uint8_t v2)>;
Bytes makeGrid(const Bytes& nodes, int channels, const GridFunction& fn);
// n³·channels pseudo-random bytes from a seed (the same on every platform).
Bytes makeRandomGrid(int points, int channels, uint32_t seed);
// Index of grid point (i0, i1, i2) of channel q in channel-major data.
inline size_t gridIndex(int points, int q, int i0, int i1, int i2) {
    const size_t n = static_cast<size_t>(points);
    return static_cast<size_t>(q) * n * n * n + static_cast<size_t>(i0) * n * n +
           static_cast<size_t>(i1) * n + static_cast<size_t>(i2);
}

// A small deterministic generator (splitmix64), for grids and tests.
class Random {
  public:
    explicit Random(uint64_t seed) : state_(seed) {}
    uint64_t next();
    uint8_t byte() { return static_cast<uint8_t>(next() >> 56); }
    uint32_t below(uint32_t bound); // 0..bound-1; bound > 0
  private:
    uint64_t state_;
};

} // namespace vrel::dbwriter
