// The profile database file format: the constants of the container
// (directories of numbered records), of the profile index records, of the
// colour-table chunks and of the extension chunks, and the rules their values
// must meet. The engine's loader, the database writer (tools/dbwriter) and
// `vrel db check` all take them from here.
#pragma once

#include <cstdint>

namespace vrel::format {

// Container: a directory entry is id, class and offset; a profile index
// record starts with layoutWord, profileCount and entryWords.
inline constexpr uint32_t kProfileIndexClass = 8;
inline constexpr uint32_t kTableChunkClass = 16;
inline constexpr uint32_t kDirectoryEntryBytes = 12;
inline constexpr uint32_t kIndexHeaderBytes = 12;
// The index record of profile number p has id p + 1000.
inline constexpr uint16_t kProfileIdBase = 1000;

// Profile records: the payload of each record layout (0, 1, 2), and the
// channel descriptors in it.
inline constexpr uint32_t kPayloadBytes[3] = {160, 292, 276};
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

// Node positions of a table axis start at 0, rise strictly and end at 255
// (so there are at least two).
inline bool validNodes(const uint8_t* nodes, uint32_t count) {
    bool valid = count >= 2 && nodes[0] == 0 && nodes[count - 1] == 255;
    for (uint32_t i = 1; valid && i < count; ++i) {
        valid = nodes[i] > nodes[i - 1];
    }
    return valid;
}

} // namespace vrel::format
