// The rules of the profile database file, checked from bytes in memory.
// Every count, offset and length is checked against the bytes that hold it
// before it is used, with 64-bit arithmetic where a sum could pass 2^32.
#include "resources/database_format.h"

#include "resources/byte_order.h"
#include "resources/profile_records.h"

#include <cstring>

namespace vrel::format {

namespace {
// Bits 0..15, the same in both keys.
uint32_t keyLowBits(const ParamRecord* params) {
    return (uint32_t{params->keyField94} & 0x1fu) | ((uint32_t{params->keyField14} & 0x1ffu) << 5) |
           ((uint32_t{params->keyField16} & 0x3u) << 14);
}
} // namespace

uint32_t profileKeyA(const ParamRecord* params) {
    return keyLowBits(params) | ((uint32_t{params->keyField104} & 0xffu) << 16);
}

uint32_t profileKeyB(const ParamRecord* params) {
    return keyLowBits(params) | ((uint32_t{params->keyField104} & 0x1fu) << 16) |
           ((uint32_t{params->keyField106} & 0x3u) << 21) |
           ((uint32_t{params->keyField108} & 0x3u) << 23);
}

bool splitProfileKey(uint32_t key, int layout, ParamRecord* params) {
    params->keyField94 = static_cast<uint16_t>(key & 0x1fu);
    params->keyField14 = static_cast<uint16_t>((key >> 5) & 0x1ffu);
    params->keyField16 = static_cast<uint16_t>((key >> 14) & 0x3u);
    if (layout != 2) {
        params->keyField104 = static_cast<uint16_t>((key >> 16) & 0xffu);
        return profileKeyA(params) == key;
    }
    params->keyField104 = static_cast<uint16_t>((key >> 16) & 0x1fu);
    params->keyField106 = static_cast<uint16_t>((key >> 21) & 0x3u);
    params->keyField108 = static_cast<uint16_t>((key >> 23) & 0x3u);
    return profileKeyB(params) == key;
}

Fault readIndexHead(const uint8_t* data, uint64_t size, IndexHead* head) {
    if (size < kIndexHeaderBytes) {
        return {"the profile index record is shorter than its 12-byte head", 0};
    }
    const uint32_t word = loadLe32(data);
    head->layout = layoutOf(word);
    head->recordFlags = recordFlagsOf(word);
    head->profileCount = loadLe32(data + 4);
    head->entryWords = loadLe32(data + 8);
    return {};
}

Fault layoutFault(const IndexHead& head) {
    if (head.layout < 0 || head.layout > 2) {
        return {"the layout word names a layout other than 0, 1 and 2", 0};
    }
    return {};
}

uint32_t payloadBytes(int16_t layout) {
    return kPayloadBytes[layout == 0 || layout == 1 ? layout : 2];
}

uint64_t searchedEntries(const IndexHead& head, uint64_t size) {
    const uint64_t stride = uint64_t{head.entryWords} * 4;
    if (stride == 0 || size < kIndexHeaderBytes + 4) {
        return 0;
    }
    const uint64_t keysInside = (size - kIndexHeaderBytes - 4) / stride + 1;
    return keysInside < head.profileCount ? keysInside : head.profileCount;
}

uint64_t entryOffset(const IndexHead& head, uint64_t index) {
    return kIndexHeaderBytes + index * head.entryWords * 4;
}

Fault payloadFault(const IndexHead& head, uint64_t at, uint64_t size) {
    if (at + 4 + payloadBytes(head.layout) > size) {
        return {"the entry's payload runs past the end of its record", static_cast<int64_t>(at)};
    }
    return {};
}

int correctionSlotFor(int16_t tableSelector) {
    return tableSelector == 2 ? 1 : tableSelector == 3 ? 2 : 0;
}

uint16_t extensionIdFor(int16_t tableSelector) {
    return kExtensionIds[correctionSlotFor(tableSelector)];
}

uint32_t nodeSetsChosen(int16_t tableSelector, uint16_t flagExtension) {
    return tableSelector == 3 && flagExtension == 0 ? 1 : 5;
}

uint32_t nodeSetFor(uint16_t inputKind, int16_t tableSelector, uint16_t flagExtension) {
    if (nodeSetsChosen(tableSelector, flagExtension) == 1) {
        return 0;
    }
    // Input kinds 10, 18, 22 and 32 have sets of their own; every other
    // kind takes set 2.
    return inputKind == 10   ? 1
           : inputKind == 18 ? 3
           : inputKind == 22 ? 4
           : inputKind == 32 ? 0
                             : 2;
}

Fault readTableChunk(const uint8_t* chunk, uint32_t size, const TableRequest& request,
                     TableChunk* table) {
    table->headerType = 0xff;
    table->pointCount = 0;
    table->nodesAt = 0;
    uint64_t headerBytes = 0;
    if (size >= 4 && std::memcmp(chunk, kChunkMark, 4) == 0) {
        if (size < 5) {
            return {"the chunk ends after its mark", 0};
        }
        const uint8_t type = chunk[4];
        if (type > (request.group == 1 ? 2 : 1)) {
            return {request.group == 1 ? "a correction table takes header types 0, 1 and 2"
                                       : "a conversion table takes header types 0 and 1",
                    4};
        }
        table->headerType = type;
        headerBytes = 5;
        if (type != 0) {
            const uint32_t fixed = type == 1 ? 6 : 8;
            if (size < fixed) {
                return {"the chunk ends inside its header", 0};
            }
            const uint8_t k = chunk[5];
            if (k > kMaxGridPoints) {
                return {"the header names more than 64 grid points", 5};
            }
            const uint32_t setCount = type == 2 ? chunk[7] : 1;
            const uint32_t set = type == 2 ? request.nodeSet : 0;
            // A set the chunk does not hold would be read from the table data
            // (or past the chunk).
            if (type == 2 && k != 0 && set >= setCount) {
                return {"the chunk lacks the node set the input kind chooses", 7};
            }
            headerBytes = fixed + uint64_t{setCount} * k;
            if (!(type == 1 && request.defaultGridForType1)) {
                table->pointCount = k;
                table->nodesAt = fixed + set * k;
            }
        }
    }
    const uint64_t n = table->pointCount != 0 ? table->pointCount : kDefaultGridPoints;
    if (headerBytes > size || n * n * n * request.channels > size - headerBytes) {
        return {"the chunk is shorter than its header and grid", -4};
    }
    table->dataAt = static_cast<uint32_t>(headerBytes);
    return {};
}

Fault nodesFault(const uint8_t* nodes, uint32_t count) {
    if (count < 2) {
        return {"a single grid point cannot start at 0 and end at 255", 0};
    }
    if (nodes[0] != 0) {
        return {"the first node is not 0", 0};
    }
    for (uint32_t i = 1; i < count; ++i) {
        if (nodes[i] <= nodes[i - 1]) {
            return {"a node does not rise above the one before it", i};
        }
    }
    if (nodes[count - 1] != 255) {
        return {"the last node is not 255", count - 1};
    }
    return {};
}

Fault extensionFault(const uint8_t* chunk, uint32_t size) {
    // The length is checked first: the size word itself lies inside the 88 bytes.
    if (size < kExtensionBytes) {
        return {"the extension chunk is shorter than 88 bytes", -4};
    }
    if (loadLe16(chunk + 2) != kExtensionSizeWord) {
        return {"the extension chunk's size word is not 84", 2};
    }
    return {};
}

EntryTables entryTables(const uint8_t* payload, int16_t layout, uint32_t recordFlags) {
    static constexpr void (*kDecoders[])(const uint8_t*, ProfileRecord*, const ParamRecord*,
                                         uint32_t) = {decodeLayout0, decodeLayout1, decodeLayout2};
    ProfileRecord decoded{};
    const ParamRecord noParams{};
    kDecoders[layout](payload, &decoded, &noParams, recordFlags);
    return {decoded.channelCount,
            decoded.lutChunkWord,
            {decoded.tableIds[0], decoded.tableIds[1], decoded.tableIds[2]}};
}

} // namespace vrel::format
