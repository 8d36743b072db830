// Loading of the colour-table chunks: the chunk is read and checked by the
// format's rules (database_format.h), the table is interleaved by grid point into a
// LutBlock with its axis and corner tables, and an empty colour result cache
// is created beside it. The extension chunk is copied into the settings.
//
// Every limit is checked before the data it guards is read: the point count
// against the 64 node positions a group holds, the node-set index against
// the chunk's node-set count, the chunk length against its header, its node
// positions and its grid.
#include "resources/table_loading.h"

#include "core/colour_cache.h"
#include "core/lut_block.h"
#include "resources/block_layer.h"
#include "resources/byte_order.h"
#include "resources/database.h"
#include "resources/database_format.h"

#include <cstring>

namespace vrel {

namespace {

constexpr int16_t kOk = 0;
constexpr int16_t kErrMemory = VREL_ERR_MEMORY;
constexpr int16_t kErrParam = VREL_ERR_PARAM;
constexpr int16_t kErrFile = VREL_ERR_FILE;

constexpr uint16_t kInputKindPlain = 14;
static_assert(format::kMaxGridPoints == kMaxGridPoints);

// Reads and checks a colour-table chunk for a group by the format's rules.
// The channel limit is checked first: the grid's size depends on it.
int16_t parseTableChunk(const uint8_t* chunk, uint32_t size, int group, uint32_t channels,
                        const SettingsRecord* settings, format::TableChunk* out) {
    if (channels > static_cast<uint32_t>(kMaxLutChannels)) {
        return kErrMemory;
    }
    const format::TableRequest request{
        group, channels, group == 1 && settings->tableSelector == 3,
        format::nodeSetFor(settings->inputKind, settings->tableSelector, settings->flagExtension)};
    return format::readTableChunk(chunk, size, request, out) ? kErrFile : kOk;
}

void fillCache8(ColourCache8* cache, uint8_t valueByte) {
    cache->slotCount = kCacheSlots;
    cache->lastSlot = 0;
    for (CacheEntry8& e : cache->entries) {
        e.key = kEmptyCacheKey;
        std::memset(e.value, valueByte, sizeof e.value);
    }
}

void fillCache12(ColourCache12* cache) {
    cache->slotCount = kCacheSlots;
    cache->lastSlot = 0;
    for (CacheEntry12& e : cache->entries) {
        e.key = kEmptyCacheKey;
        std::memset(e.value, 0, sizeof e.value);
    }
}

// Group 0 with five or more channels gets the 12-byte cache, every other
// group the 8-byte one; group 1's 8-byte values start as 0xff, group 0's as 0.
int16_t createCache(TableGroup* g, int group, uint8_t channels) {
    if (group == 0 && channels >= 5) {
        if (allocBlock(sizeof(ColourCache12), &g->cache12Block) != 0) {
            return kErrMemory;
        }
        fillCache12(static_cast<ColourCache12*>(g->cache12Block.address));
        return kOk;
    }
    if (allocBlock(sizeof(ColourCache8), &g->cache8Block) != 0) {
        return kErrMemory;
    }
    fillCache8(static_cast<ColourCache8*>(g->cache8Block.address), group == 1 ? 0xff : 0x00);
    return kOk;
}

// Reads a table chunk for a group and checks its header; on failure the
// chunk is already released.
const uint8_t* readTableChunk(uint16_t chunkId, SettingsRecord* settings, int16_t* code) {
    const uint8_t* chunk = readChunk(chunkId, settings->paramsCopy.paramWord134, settings);
    if (chunk == nullptr) {
        *code = static_cast<int16_t>(static_cast<int32_t>(settings->chunkRequest.lastError));
        if (*code == 0) {
            *code = kErrFile;
        }
        freeChunk(settings);
    }
    return chunk;
}

} // namespace

uint8_t* readChunk(uint16_t chunkId, uint32_t /*unused*/, SettingsRecord* settings) {
    RecordRequest* request = &settings->chunkRequest;
    std::memset(request->tag, 0, sizeof request->tag);
    std::memcpy(request->tag, "QZVR", 4);
    request->id = chunkId;
    request->recordClass = format::kTableChunkClass;
    request->swapUnit = 1;
    request->data = nullptr;
    request->size = 0;
    const int16_t rc = readRecord(&settings->tableFile, request);
    if (rc != 0) {
        request->lastError = static_cast<uint32_t>(static_cast<int32_t>(rc));
        request->data = nullptr;
        return nullptr;
    }
    return request->data;
}

void freeChunk(SettingsRecord* settings) {
    releaseRecord(&settings->chunkRequest);
}

int16_t allocLutBlock(uint8_t channels, uint8_t gridPoints, BlockHandle* handle) {
    // Refused rather than built: a table wider than 16 channels, or a grid
    // larger than the 64 node positions a group can hold.
    if (channels > kMaxLutChannels || gridPoints > kMaxGridPoints) {
        return kErrMemory;
    }
    const uint64_t n = gridPoints, c = channels;
    const uint64_t bytes =
        sizeof(LutBlock) + n * n * n * c + n * n * c + n * c + c + 1 + kLutExtraSlack;
    if (bytes > UINT32_MAX || bytes != lutBlockSize(channels, gridPoints)) {
        return kErrMemory;
    }
    if (allocBlock(static_cast<uint32_t>(bytes), handle) != 0) {
        return kErrMemory;
    }
    LutBlock* lut = static_cast<LutBlock*>(handle->address);
    lut->lutMagic = kLutMagic;
    lut->lutReady = 0;
    lut->lutChannels = channels;
    lut->lutGridBytes = static_cast<uint32_t>(n * n * n * c);
    lut->lutGridPoints = gridPoints;
    lut->stride0 = static_cast<uint32_t>(n * n * c);
    lut->stride1 = static_cast<uint32_t>(n * c);
    lut->stride2 = static_cast<uint32_t>(c);
    return kOk;
}

int16_t fillLutBlock(const uint8_t* interleaved, const uint8_t* nodes, BlockHandle* handle) {
    LutBlock* lut = static_cast<LutBlock*>(handle->address);
    if (lut == nullptr || lut->lutMagic != kLutMagic) {
        return kErrParam;
    }
    const int n = lut->lutGridPoints;
    if (!format::validNodes(nodes, static_cast<uint32_t>(n))) {
        return kErrParam;
    }

    int j = 0;
    for (int v = 0; v < 256; ++v) {
        while (j + 1 < n && nodes[j + 1] <= v) {
            ++j;
        }
        AxisEntry& e = lut->axisTable[v];
        if (j < n - 1) {
            const int32_t width = nodes[j + 1] - nodes[j];
            e.fraction = static_cast<uint32_t>(((v - nodes[j]) * 65536 + width / 2) / width);
        } else {
            e.fraction = 0;
        }
        e.offset0 = static_cast<uint32_t>(j) * lut->stride0;
        e.offset1 = static_cast<uint32_t>(j) * lut->stride1;
        e.offset2 = static_cast<uint32_t>(j) * lut->stride2;
    }

    // Inner corners of the six tetrahedra as (axis 0, axis 1, axis 2) steps;
    // the far corner (1, 1, 1) closes each.
    static constexpr uint8_t kCorners[6][2][3] = {
        {{0, 0, 1}, {0, 1, 1}}, {{0, 0, 1}, {1, 0, 1}}, {{1, 0, 0}, {1, 0, 1}},
        {{0, 1, 0}, {0, 1, 1}}, {{0, 1, 0}, {1, 1, 0}}, {{1, 0, 0}, {1, 1, 0}},
    };
    const uint32_t s0 = lut->stride0, s1 = lut->stride1, s2 = lut->stride2;
    for (int t = 0; t < 6; ++t) {
        for (int k = 0; k < 2; ++k) {
            const uint8_t* step = kCorners[t][k];
            lut->cornerTable[3 * t + k] = step[0] * s0 + step[1] * s1 + step[2] * s2;
        }
        lut->cornerTable[3 * t + 2] = s0 + s1 + s2;
    }

    std::memcpy(lut->grid(), interleaved, lut->lutGridBytes);
    lut->lutReady = kLutReady;
    return kOk;
}

int16_t buildTableGroup(EngineContext* context, int group, uint8_t channels, uint8_t pointCount,
                        const uint8_t* nodes, const uint8_t* tableData) {
    if (pointCount > kMaxGridPoints) {
        return kErrFile;
    }
    TableGroup* g = &context->groups[group];
    // A group is built once per context; anything left from an earlier build
    // is released rather than leaked.
    freeBlock(&g->lutBlock);
    freeBlock(&g->cache8Block);
    freeBlock(&g->cache12Block);

    uint8_t n = pointCount;
    if (n != 0) {
        std::memcpy(g->nodes, nodes, n);
    } else {
        n = format::kDefaultGridPoints;
        for (int i = 0; i < 16; ++i) {
            g->nodes[i] = static_cast<uint8_t>(16 * i);
        }
        g->nodes[16] = 255;
    }
    g->channels = channels;
    g->gridPoints = n;

    int16_t rc = allocLutBlock(channels, n, &g->lutBlock);
    if (rc != kOk) {
        return rc;
    }

    const uint32_t cells = static_cast<uint32_t>(n) * n * n;
    const uint32_t gridBytes = cells * channels;
    uint8_t* interleaved = static_cast<uint8_t*>(allocRaw(gridBytes != 0 ? gridBytes : 1));
    if (interleaved == nullptr) {
        return kErrMemory;
    }
    for (uint32_t q = 0; q < channels; ++q) {
        const uint8_t* plane = tableData + static_cast<size_t>(q) * cells;
        for (uint32_t i = 0; i < cells; ++i) {
            interleaved[static_cast<size_t>(i) * channels + q] = plane[i];
        }
    }
    rc = fillLutBlock(interleaved, g->nodes, &g->lutBlock);
    freeRaw(interleaved);
    if (rc != kOk) {
        return rc;
    }
    return createCache(g, group, channels);
}

int16_t loadGroup1(EngineContext* context, SettingsRecord* settings) {
    if (settings->correctionTableId == 0) {
        return kOk;
    }
    int16_t rc = kOk;
    const uint8_t* chunk = readTableChunk(settings->correctionTableId, settings, &rc);
    if (chunk == nullptr) {
        return rc;
    }
    format::TableChunk table{};
    rc = parseTableChunk(chunk, settings->chunkRequest.size, 1, 3, settings, &table);
    if (rc == kOk) {
        if (table.headerType == 2 || settings->tableSelector == 3) {
            settings->inputKind = kInputKindPlain;
        }
        rc = buildTableGroup(context, 1, 3, table.pointCount, chunk + table.nodesAt,
                             chunk + table.dataAt);
    }
    freeChunk(settings);
    return rc;
}

int16_t loadGroup0(EngineContext* context, SettingsRecord* settings) {
    int16_t rc = kOk;
    const uint32_t method = settings->methodSource;
    if (method == VrelMethodBlack) {
        return kOk;
    }
    const uint32_t channels = format::conversionTableChannels(method);
    const uint8_t* chunk = readTableChunk(settings->lutChunkId, settings, &rc);
    if (chunk == nullptr) {
        return rc;
    }
    format::TableChunk table{};
    rc = parseTableChunk(chunk, settings->chunkRequest.size, 0, channels, settings, &table);
    if (rc == kOk) {
        rc = buildTableGroup(context, 0, static_cast<uint8_t>(channels), table.pointCount,
                             chunk + table.nodesAt, chunk + table.dataAt);
    }
    freeChunk(settings);
    return rc;
}

int16_t loadExtension(SettingsRecord* settings) {
    if (settings->flagExtension == 0) {
        return kOk;
    }
    const uint16_t id = format::extensionIdFor(settings->tableSelector);
    int16_t rc = kOk;
    const uint8_t* chunk = readTableChunk(id, settings, &rc);
    if (chunk == nullptr) {
        return rc;
    }
    if (format::extensionFault(chunk, settings->chunkRequest.size)) {
        freeChunk(settings);
        return kErrParam;
    }
    ExtensionChunk& ext = settings->extChunk;
    ext.unused = loadLe16(chunk);
    ext.extSize = loadLe16(chunk + 2);
    std::memcpy(ext.extName9, chunk + 4, sizeof ext.extName9);
    std::memcpy(ext.extName1, chunk + 28, sizeof ext.extName1);
    std::memcpy(ext.extName10, chunk + 52, sizeof ext.extName10);
    ext.extSearchKey = loadLe32(chunk + 76);
    ext.extSearchPair = loadLe32(chunk + 80);
    ext.extProfileValue = loadLe32(chunk + 84);
    freeChunk(settings);
    return kOk;
}

} // namespace vrel
