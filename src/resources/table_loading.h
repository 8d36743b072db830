// Loading of the colour-table chunks into LutBlocks with their colour result
// caches, and of the extension chunk.
#pragma once

#include "core/engine_context.h"

#include <cstdint>

namespace vrel {

int16_t loadGroup1(EngineContext* context, SettingsRecord* settings);
int16_t loadGroup0(EngineContext* context, SettingsRecord* settings);
int16_t loadExtension(SettingsRecord* settings);

// pointCount 0 selects the default 17-point grid. tableData is stored by
// channel (all n^3 values of channel 0 first). 0, -108, -128.
int16_t buildTableGroup(EngineContext* context, int group, uint8_t channels, uint8_t pointCount,
                        const uint8_t* nodes, const uint8_t* tableData);
int16_t allocLutBlock(uint8_t channels, uint8_t gridPoints, BlockHandle* handle);
int16_t fillLutBlock(const uint8_t* interleaved, const uint8_t* nodes, BlockHandle* handle);

// Chunk data address, or null with chunkRequest.lastError set.
uint8_t* readChunk(uint16_t chunkId, uint32_t unused, SettingsRecord* settings);
void freeChunk(SettingsRecord* settings);

} // namespace vrel
