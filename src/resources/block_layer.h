// Memory blocks: zero-filled blocks that stay at one address for their whole
// life, tracked by a small handle record. Every allocation of the engine goes
// through this layer (the platform seam, platform_posix.cpp or
// platform_win32.cpp, is chosen at build time in src/CMakeLists.txt).
#pragma once

#include "core/records.h"

#include <cstddef>
#include <cstdint>

namespace vrel {

// 0 on success, -1 when no memory; the handle is emptied first.
int32_t allocBlock(uint32_t size, BlockHandle* handle);
// Frees the block if any and empties the handle; safe on an empty handle.
void freeBlock(BlockHandle* handle);
// A block that begins with its own BlockHandle; null when no memory.
void* allocSelfBlock(uint32_t size);
void freeSelfBlock(void* block);
// Untracked zero-filled block, or null.
void* allocRaw(uint32_t size);
void freeRaw(void* address);

namespace testing {
// Internal hooks for the test suite, never part of the public header.
// Makes the k-th allocation from now on (1-based) fail; 0 disables.
void failAllocationAt(long k);
// Number of allocations made since the counter was last reset.
long allocationsMade();
void resetAllocationCounter();
// Blocks currently live (allocated and not yet freed), all threads.
long liveBlocks();
} // namespace testing

} // namespace vrel
