// The engine context: everything one set of print settings needs, in one
// block owned by the library from VrelInit to VrelClose.
#pragma once

#include "core/records.h"
#include "vrel/vrel.h"

#include <cstdint>

namespace vrel {

inline constexpr uint32_t kInitMagic = 0x980912ffu;
inline constexpr uint32_t kDefaultProfileClass = 2;
inline constexpr uint32_t kPreparedProfileClass = 9;
// Key shifts of the cache key (red, green, blue in bits 24-31, 16-23, 8-15).
inline constexpr uint32_t kKernelFlagsDefault = 0x08101800u;  // key = b<<24 | g<<16 | r<<8
inline constexpr uint32_t kKernelFlagsPrepared = 0x10080000u; // key = r<<16 | g<<8 | b
inline constexpr uint32_t kStatusModeSelected = 4;

// Extended search data and names (88 bytes, read from chunk 0x640..0x642).
struct ExtensionChunk {
    uint16_t unused;
    uint16_t extSize; // must be 84
    uint8_t extName9[24];
    uint8_t extName1[24];
    uint8_t extName10[24];
    uint32_t extSearchKey;
    uint32_t extSearchPair;
    uint32_t extProfileValue;
};
static_assert(sizeof(ExtensionChunk) == 88);

struct SettingsRecord {
    ParamRecord paramsCopy;
    uint16_t inputKind;
    uint16_t paramWord54;
    uint16_t balance[4];
    uint16_t density;
    uint16_t keyField16;
    uint16_t adjustSwitch;
    uint16_t methodSource;
    uint16_t correctionTableId;
    uint16_t lutChunkId;
    int16_t tableSelector;
    uint16_t layout;
    uint16_t channelCount;
    uint32_t tableIds[3];
    uint32_t lutChunkWord;
    uint32_t searchKey;
    uint32_t searchPair;
    uint8_t name1[24];
    uint8_t name2[24];
    uint8_t profileValue[4];
    uint32_t recordFlags;
    uint8_t reservedAfterFlags[40];
    char fileNameBlock[280];
    ExtensionChunk extChunk;
    uint16_t noBlackBalance;
    uint16_t flagExtension;
    uint16_t greyMode;
    ResourceFile tableFile;
    RecordRequest chunkRequest;
    uint16_t nodeChunkId0;
    uint16_t nodeChunkId1;
};

inline constexpr int kMaxGridPoints = 64;

struct TableGroup {
    uint8_t channels;   // output channels of the group's table
    uint8_t gridPoints; // grid points per axis
    uint8_t nodes[kMaxGridPoints];
    BlockHandle lutBlock;
    BlockHandle cache8Block;
    BlockHandle cache12Block;
};

} // namespace vrel

// The public header declares the handle type in the global namespace; its
// layout is private to the library.
struct EngineContext {
    vrel::BlockHandle selfBlock;
    uint32_t ready;
    uint8_t inputCurve[256];
    uint8_t greyCurve[256];
    uint16_t adjustFlag;
    uint32_t initMagic;
    uint32_t profileClass;
    uint8_t adjustCurves[4][256];
    void* preparedAddress;
    uint32_t conversionMode;
    int16_t conversionMethod;
    vrel::BlockHandle preparedBlock;
    ParamRecord params;
    vrel::SettingsRecord settings;
    uint32_t statusBits;
    vrel::TableGroup groups[2];
    uint32_t kernelFlags;
};

namespace vrel {
using ::EngineContext;
} // namespace vrel
