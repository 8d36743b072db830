#include "resources/block_layer.h"

#include <cstdint>
#include <cstring>
#include <gtest/gtest.h>
#include <vector>

namespace {

using vrel::BlockHandle;
namespace hooks = vrel::testing;

bool allZero(const void* address, uint32_t size) {
    const auto* bytes = static_cast<const uint8_t*>(address);
    for (uint32_t i = 0; i < size; ++i) {
        if (bytes[i] != 0) {
            return false;
        }
    }
    return true;
}

TEST(BlockLayer, BlocksAreZeroFilled) {
    const long start = hooks::liveBlocks();
    // Dirty the heap first so that a zero-filled block is not luck.
    for (int round = 0; round < 4; ++round) {
        std::vector<BlockHandle> handles(8);
        for (BlockHandle& h : handles) {
            ASSERT_EQ(vrel::allocBlock(4096, &h), 0);
            ASSERT_TRUE(allZero(h.address, 4096));
            EXPECT_EQ(h.reserved, 0u);
            EXPECT_EQ(h.lockCount, 0u);
            std::memset(h.address, 0xa5, 4096);
        }
        EXPECT_EQ(hooks::liveBlocks(), start + 8);
        for (BlockHandle& h : handles) {
            vrel::freeBlock(&h);
        }
    }
    EXPECT_EQ(hooks::liveBlocks(), start);
    void* raw = vrel::allocRaw(1000);
    ASSERT_NE(raw, nullptr);
    EXPECT_TRUE(allZero(raw, 1000));
    vrel::freeRaw(raw);
    EXPECT_EQ(hooks::liveBlocks(), start);
}

TEST(BlockLayer, FreeingAnEmptyOrFreedHandleIsHarmless) {
    const long start = hooks::liveBlocks();
    BlockHandle empty{};
    vrel::freeBlock(&empty);
    EXPECT_EQ(empty.address, nullptr);
    BlockHandle h;
    ASSERT_EQ(vrel::allocBlock(16, &h), 0);
    vrel::freeBlock(&h);
    EXPECT_EQ(h.address, nullptr);
    vrel::freeBlock(&h);
    EXPECT_EQ(h.address, nullptr);
    vrel::freeRaw(nullptr);
    vrel::freeSelfBlock(nullptr);
    EXPECT_EQ(hooks::liveBlocks(), start);
}

TEST(BlockLayer, SelfBlockCarriesItsOwnHandleAndFreesThroughIt) {
    const long start = hooks::liveBlocks();
    void* block = vrel::allocSelfBlock(256);
    ASSERT_NE(block, nullptr);
    BlockHandle inside;
    std::memcpy(&inside, block, sizeof inside);
    EXPECT_EQ(inside.address, block);
    EXPECT_TRUE(allZero(static_cast<uint8_t*>(block) + sizeof inside, 256 - sizeof inside));
    EXPECT_EQ(hooks::liveBlocks(), start + 1);
    vrel::freeSelfBlock(block);
    EXPECT_EQ(hooks::liveBlocks(), start);
}

TEST(BlockLayer, KthAllocationFailsOnceAndLeavesTheHandleEmpty) {
    const long start = hooks::liveBlocks();
    hooks::resetAllocationCounter();
    hooks::failAllocationAt(3);
    BlockHandle a, b, c, d;
    ASSERT_EQ(vrel::allocBlock(8, &a), 0);
    void* raw = vrel::allocRaw(8);
    ASSERT_NE(raw, nullptr);
    c.address = &d; // must be emptied by the failing call
    EXPECT_EQ(vrel::allocBlock(8, &c), -1);
    EXPECT_EQ(c.address, nullptr);
    // Only the third one fails; later ones succeed again.
    ASSERT_EQ(vrel::allocBlock(8, &b), 0);
    EXPECT_EQ(hooks::allocationsMade(), 4);
    hooks::failAllocationAt(1);
    EXPECT_EQ(vrel::allocSelfBlock(64), nullptr);
    hooks::failAllocationAt(1);
    EXPECT_EQ(vrel::allocRaw(64), nullptr);
    EXPECT_EQ(hooks::liveBlocks(), start + 3);
    vrel::freeBlock(&a);
    vrel::freeBlock(&b);
    vrel::freeRaw(raw);
    EXPECT_EQ(hooks::liveBlocks(), start);
    hooks::failAllocationAt(0);
}

} // namespace
