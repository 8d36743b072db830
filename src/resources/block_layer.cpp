// Memory blocks on top of the platform seam. Blocks are zero-filled and never
// move, so a handle's address is usable at once.
//
// The three counters below are the only process-wide state of the engine.
// They exist for the test suite (allocation-failure sweeps and leak checks)
// and are atomics so that independent contexts on other threads stay safe.
#include "resources/block_layer.h"

#include "resources/platform.h"

#include <atomic>
#include <cstring>

namespace vrel {

namespace {

std::atomic<long> failCountdown{0}; // > 0: allocations left before the failing one
std::atomic<long> allocationCount{0};
std::atomic<long> liveBlockCount{0};

// Every allocation of the engine passes here exactly once.
void* takeZeroed(uint32_t size) {
    allocationCount.fetch_add(1, std::memory_order_relaxed);
    if (failCountdown.load(std::memory_order_relaxed) > 0 &&
        failCountdown.fetch_sub(1, std::memory_order_relaxed) == 1) {
        return nullptr;
    }
    void* address = platform::allocZeroed(size);
    if (address != nullptr) {
        liveBlockCount.fetch_add(1, std::memory_order_relaxed);
    }
    return address;
}

void giveBack(void* address) {
    if (address == nullptr) {
        return;
    }
    liveBlockCount.fetch_sub(1, std::memory_order_relaxed);
    platform::release(address);
}

void emptyHandle(BlockHandle* handle) {
    handle->address = nullptr;
    handle->reserved = 0;
    handle->lockCount = 0;
}

} // namespace

int32_t allocBlock(uint32_t size, BlockHandle* handle) {
    emptyHandle(handle);
    void* address = takeZeroed(size);
    if (address == nullptr) {
        return -1;
    }
    handle->address = address;
    return 0;
}

void freeBlock(BlockHandle* handle) {
    giveBack(handle->address);
    emptyHandle(handle);
}

void* allocSelfBlock(uint32_t size) {
    // The block must at least hold its own handle.
    if (size < sizeof(BlockHandle)) {
        size = sizeof(BlockHandle);
    }
    BlockHandle handle;
    if (allocBlock(size, &handle) != 0) {
        return nullptr;
    }
    std::memcpy(handle.address, &handle, sizeof handle);
    return handle.address;
}

void freeSelfBlock(void* block) {
    if (block == nullptr) {
        return;
    }
    // Free through a copy: the handle inside the block dies with it.
    BlockHandle copy;
    std::memcpy(&copy, block, sizeof copy);
    freeBlock(&copy);
}

void* allocRaw(uint32_t size) {
    return takeZeroed(size);
}

void freeRaw(void* address) {
    giveBack(address);
}

namespace testing {

void failAllocationAt(long k) {
    failCountdown.store(k > 0 ? k : 0, std::memory_order_relaxed);
}

long allocationsMade() {
    return allocationCount.load(std::memory_order_relaxed);
}

void resetAllocationCounter() {
    allocationCount.store(0, std::memory_order_relaxed);
}

long liveBlocks() {
    return liveBlockCount.load(std::memory_order_relaxed);
}

} // namespace testing

} // namespace vrel
