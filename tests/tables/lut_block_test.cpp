// LutBlock construction: header and strides, the axis table of fractions and
// cell offsets, the corner table, the interleaved grid, the node checks, and
// the colour result cache created beside each table.
#include "core/colour_cache.h"
#include "core/lut_block.h"
#include "resources/table_loading.h"
#include "table_fixtures.h"

#include <cstring>
#include <gtest/gtest.h>
#include <vector>

namespace vrel {
namespace {

using tables_test::ScratchContext;

struct OwnedBlock {
    BlockHandle handle{};
    ~OwnedBlock() { freeBlock(&handle); }
    LutBlock* lut() { return static_cast<LutBlock*>(handle.address); }
};

TEST(LutBlock, AllocatesHeaderAndStridesForTheGrid) {
    OwnedBlock block;
    ASSERT_EQ(allocLutBlock(3, 3, &block.handle), 0);
    const LutBlock* lut = block.lut();
    ASSERT_NE(lut, nullptr);
    EXPECT_EQ(lut->lutMagic, 0xd6a32e10u);
    EXPECT_EQ(lut->lutReady, 0u);
    EXPECT_EQ(lut->lutChannels, 3);
    EXPECT_EQ(lut->lutGridPoints, 3);
    EXPECT_EQ(lut->lutGridBytes, 81u);
    EXPECT_EQ(lut->stride0, 27u);
    EXPECT_EQ(lut->stride1, 9u);
    EXPECT_EQ(lut->stride2, 3u);

    OwnedBlock wide;
    EXPECT_EQ(allocLutBlock(16, 17, &wide.handle), 0);
    EXPECT_EQ(wide.lut()->stride0, 17u * 17u * 16u);
    OwnedBlock tooWide;
    EXPECT_EQ(allocLutBlock(17, 17, &tooWide.handle), -108);
    EXPECT_EQ(tooWide.handle.address, nullptr);
}

TEST(LutBlock, AxisTableGivesCellAndRoundedFraction) {
    OwnedBlock block;
    ASSERT_EQ(allocLutBlock(3, 3, &block.handle), 0);
    std::vector<uint8_t> grid(81);
    for (size_t i = 0; i < grid.size(); ++i) {
        grid[i] = static_cast<uint8_t>(3 * i + 1);
    }
    const uint8_t nodes[3] = {0, 128, 255};
    ASSERT_EQ(fillLutBlock(grid.data(), nodes, &block.handle), 0);
    const LutBlock* lut = block.lut();
    EXPECT_EQ(lut->lutReady, 0x7aedf393u);

    struct Row {
        int v;
        uint32_t cell, fraction;
    };
    // (v - node) * 65536 + width / 2, divided by the cell width.
    const Row rows[] = {{0, 0, 0},       {1, 0, 512},     {64, 0, 32768},
                        {127, 0, 65024}, {128, 1, 0},     {129, 1, 516},
                        {200, 1, 37154}, {254, 1, 65020}, {255, 2, 0}};
    for (const Row& r : rows) {
        const AxisEntry& e = lut->axisTable[r.v];
        EXPECT_EQ(e.fraction, r.fraction) << "v " << r.v;
        EXPECT_EQ(e.offset0, r.cell * 27) << "v " << r.v;
        EXPECT_EQ(e.offset1, r.cell * 9) << "v " << r.v;
        EXPECT_EQ(e.offset2, r.cell * 3) << "v " << r.v;
    }

    // Inner corners of the six tetrahedra, then the far corner.
    const uint32_t corners[18] = {3, 12, 39, 3, 30, 39, 27, 30, 39,
                                  9, 12, 39, 9, 36, 39, 27, 36, 39};
    for (int i = 0; i < 18; ++i) {
        EXPECT_EQ(lut->cornerTable[i], corners[i]) << "corner entry " << i;
    }

    EXPECT_EQ(std::memcmp(lut->grid(), grid.data(), grid.size()), 0);
    // The slack after the grid is zero, so far corners past the last plane
    // read 0 with weight 0.
    const uint8_t* slack = lut->grid() + grid.size();
    for (uint32_t i = 0; i < 9u + 3u + 1u + 1u; ++i) {
        EXPECT_EQ(slack[i], 0) << "slack byte " << i;
    }
}

TEST(LutBlock, RefusesNodesThatDoNotSpanTheAxisStrictly) {
    const std::vector<std::vector<uint8_t>> bad = {
        {1, 128, 255},      // does not start at 0
        {0, 128, 254},      // does not end at 255
        {0, 128, 128, 255}, // not strictly rising
        {0, 200, 100, 255}, // falling
        {0},                // one point cannot span the axis
    };
    for (const auto& nodes : bad) {
        OwnedBlock block;
        ASSERT_EQ(allocLutBlock(1, static_cast<uint8_t>(nodes.size()), &block.handle), 0);
        std::vector<uint8_t> grid(nodes.size() * nodes.size() * nodes.size(), 7);
        EXPECT_EQ(fillLutBlock(grid.data(), nodes.data(), &block.handle), -128);
        EXPECT_EQ(block.lut()->lutReady, 0u);
    }

    OwnedBlock block;
    ASSERT_EQ(allocLutBlock(1, 2, &block.handle), 0);
    block.lut()->lutMagic = 0;
    const uint8_t nodes[2] = {0, 255};
    const uint8_t grid[8] = {};
    EXPECT_EQ(fillLutBlock(grid, nodes, &block.handle), -128);
    EXPECT_EQ(block.lut()->lutReady, 0u);
}

TEST(TableGroupBuild, InterleavesChannelsAndKeepsNodes) {
    ScratchContext context;
    const uint8_t nodes[4] = {0, 10, 100, 255};
    const int n = 4, c = 5, cells = n * n * n;
    std::vector<uint8_t> channelMajor(static_cast<size_t>(cells) * c);
    for (int q = 0; q < c; ++q) {
        for (int i = 0; i < cells; ++i) {
            channelMajor[static_cast<size_t>(q) * cells + i] = static_cast<uint8_t>(i * 3 + q * 50);
        }
    }
    ASSERT_EQ(buildTableGroup(context.get(), 0, c, n, nodes, channelMajor.data()), 0);
    const TableGroup& g = context->groups[0];
    EXPECT_EQ(g.channels, c);
    EXPECT_EQ(g.gridPoints, n);
    EXPECT_EQ(std::memcmp(g.nodes, nodes, n), 0);
    const LutBlock* lut = static_cast<const LutBlock*>(g.lutBlock.address);
    ASSERT_NE(lut, nullptr);
    for (int i = 0; i < cells; ++i) {
        for (int q = 0; q < c; ++q) {
            ASSERT_EQ(lut->grid()[i * c + q], static_cast<uint8_t>(i * 3 + q * 50))
                << "cell " << i << " channel " << q;
        }
    }
    // Grid point (1, 2, 3) of axis order 0, 1, 2 sits at i0*n*n + i1*n + i2.
    const uint8_t* point = lut->grid() + lut->axisTable[10].offset0 + lut->axisTable[100].offset1 +
                           lut->axisTable[255].offset2;
    EXPECT_EQ(point, lut->grid() + (1 * 16 + 2 * 4 + 3) * c);
}

TEST(TableGroupBuild, DefaultGridHasSeventeenPoints) {
    ScratchContext context;
    std::vector<uint8_t> data(17 * 17 * 17 * 3, 9);
    ASSERT_EQ(buildTableGroup(context.get(), 1, 3, 0, nullptr, data.data()), 0);
    const TableGroup& g = context->groups[1];
    EXPECT_EQ(g.gridPoints, 17);
    EXPECT_EQ(std::memcmp(g.nodes, tables_test::defaultGridNodes().data(), 17), 0);
    const LutBlock* lut = static_cast<const LutBlock*>(g.lutBlock.address);
    EXPECT_EQ(lut->axisTable[16].offset0, lut->stride0);
    EXPECT_EQ(lut->axisTable[254].fraction, (14u * 65536 + 7) / 15);
}

template <typename Cache> void expectFreshCache(const Cache* cache, uint8_t valueByte) {
    ASSERT_NE(cache, nullptr);
    EXPECT_EQ(cache->slotCount, 4096);
    EXPECT_EQ(cache->lastSlot, 0);
    for (int i = 0; i < kCacheSlots; ++i) {
        ASSERT_EQ(cache->entries[i].key, 0xffffff00u) << "slot " << i;
        for (uint8_t b : cache->entries[i].value) {
            ASSERT_EQ(b, valueByte) << "slot " << i;
        }
    }
}

TEST(TableGroupBuild, CreatesOneCacheOfTheGroupsLayout) {
    struct Case {
        int group;
        uint8_t channels;
        bool wide;
        uint8_t valueByte;
    };
    const Case cases[] = {{0, 4, false, 0x00}, {0, 3, false, 0x00}, {0, 5, true, 0x00},
                          {0, 6, true, 0x00},  {0, 7, true, 0x00},  {1, 3, false, 0xff}};
    for (const Case& k : cases) {
        ScratchContext context;
        std::vector<uint8_t> data(2 * 2 * 2 * k.channels, 1);
        const uint8_t nodes[2] = {0, 255};
        ASSERT_EQ(buildTableGroup(context.get(), k.group, k.channels, 2, nodes, data.data()), 0);
        const TableGroup& g = context->groups[k.group];
        if (k.wide) {
            EXPECT_EQ(g.cache8Block.address, nullptr);
            expectFreshCache(static_cast<const ColourCache12*>(g.cache12Block.address),
                             k.valueByte);
        } else {
            EXPECT_EQ(g.cache12Block.address, nullptr);
            expectFreshCache(static_cast<const ColourCache8*>(g.cache8Block.address), k.valueByte);
        }
        const TableGroup& other = context->groups[1 - k.group];
        EXPECT_EQ(other.lutBlock.address, nullptr);
    }
}

TEST(TableGroupBuild, ReportsEachFailedAllocationAndFreesTheWorkBuffer) {
    const uint8_t nodes[2] = {0, 255};
    std::vector<uint8_t> data(8 * 4, 3);
    // Allocation 1: the table, 2: the work buffer, 3: the cache.
    for (long failing = 1; failing <= 3; ++failing) {
        const long before = testing::liveBlocks();
        {
            ScratchContext context;
            testing::failAllocationAt(failing);
            EXPECT_EQ(buildTableGroup(context.get(), 0, 4, 2, nodes, data.data()), -108)
                << "failing allocation " << failing;
            testing::failAllocationAt(0);
        }
        EXPECT_EQ(testing::liveBlocks(), before) << "failing allocation " << failing;
    }
    ScratchContext context;
    const long before = testing::liveBlocks();
    ASSERT_EQ(buildTableGroup(context.get(), 0, 4, 2, nodes, data.data()), 0);
    EXPECT_EQ(testing::liveBlocks(), before + 2); // table and cache; the work buffer is gone
}

} // namespace
} // namespace vrel
