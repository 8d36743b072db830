// The scalar reference of the table arithmetic against the format's own
// examples and invariants.
#include "support/reference_model.h"

#include <gtest/gtest.h>
#include <vrel/dbwriter.h>

namespace {

using namespace vrel::test;
using vrel::dbwriter::Bytes;
using vrel::dbwriter::defaultNodes;
using vrel::dbwriter::makeGrid;
using vrel::dbwriter::makeRandomGrid;

TEST(ReferenceModel, FractionsOnAThreeNodeAxisRoundAsTheAxisTableDoes) {
    const Bytes nodes = {0, 128, 255};
    EXPECT_EQ(referenceCell(nodes, 64).index, 0);
    EXPECT_EQ(referenceCell(nodes, 64).fraction, 32768u); // (64·65536 + 64) / 128
    EXPECT_EQ(referenceCell(nodes, 255).index, 2);
    EXPECT_EQ(referenceCell(nodes, 255).fraction, 0u);
    EXPECT_EQ(referenceCell(nodes, 128).index, 1);
    EXPECT_EQ(referenceCell(nodes, 128).fraction, 0u);
    EXPECT_EQ(referenceCell(nodes, 127).fraction, 65024u); // 8323136 / 128, truncated
    EXPECT_EQ(referenceCell(nodes, 200).fraction, 37154u); // (72·65536 + 63) / 127
}

TEST(ReferenceModel, FractionsOnTheDefaultGrid) {
    const Bytes nodes = defaultNodes();
    EXPECT_EQ(referenceCell(nodes, 0).fraction, 0u);
    EXPECT_EQ(referenceCell(nodes, 8).fraction, 32768u);
    EXPECT_EQ(referenceCell(nodes, 250).index, 15);
    EXPECT_EQ(referenceCell(nodes, 250).fraction, 43691u); // (10·65536 + 7) / 15
    EXPECT_EQ(referenceCell(nodes, 255).index, 16);
    for (int v = 0; v < 256; ++v)
        EXPECT_LT(referenceCell(nodes, static_cast<uint8_t>(v)).fraction, 65536u);
}

TEST(ReferenceModel, RefusesNodesThatDoNotSpan0To255Rising) {
    EXPECT_THROW(referenceCell({1, 255}, 9), std::invalid_argument);
    EXPECT_THROW(referenceCell({0, 254}, 9), std::invalid_argument);
    EXPECT_THROW(referenceCell({0, 9, 9, 255}, 9), std::invalid_argument);
}

TEST(ReferenceModel, CasesFollowTheOrderOfFractionsIncludingTies) {
    const Bytes nodes = {0, 128, 255}; // fraction of v in 0..127 is v·512
    struct Row {
        uint8_t v0, v1, v2;
        int expectedCase;
    };
    const Row rows[] = {{0, 0, 0, 1},    {10, 20, 30, 1}, {20, 10, 30, 2}, {30, 10, 20, 3},
                        {10, 30, 20, 4}, {20, 30, 10, 5}, {30, 20, 10, 6}, {20, 20, 10, 5},
                        {20, 10, 20, 2}, {10, 20, 20, 1}};
    for (const Row& r : rows) {
        const ReferenceTetrahedron t = referenceTetrahedron(nodes, r.v0, r.v1, r.v2);
        EXPECT_EQ(t.caseNumber, r.expectedCase)
            << int(r.v0) << " " << int(r.v1) << " " << int(r.v2);
        EXPECT_EQ(t.weightP + t.weightA + t.weightB + t.weightC, 65536u);
    }
    const ReferenceTetrahedron t = referenceTetrahedron(nodes, 30, 20, 10); // case 6
    EXPECT_EQ(t.weightP, 65536u - 30 * 512);
    EXPECT_EQ(t.weightA, 10u * 512);
    EXPECT_EQ(t.weightB, 10u * 512);
    EXPECT_EQ(t.weightC, 10u * 512);
    EXPECT_EQ(t.steps[0], (std::array<int, 3>{1, 0, 0}));
    EXPECT_EQ(t.steps[1], (std::array<int, 3>{1, 1, 0}));
    EXPECT_EQ(t.steps[2], (std::array<int, 3>{1, 1, 1}));
}

TEST(ReferenceModel, WeightsAreNonNegativeAndSumTo65536Everywhere) {
    const Bytes nodes = {0, 3, 40, 41, 200, 255};
    vrel::dbwriter::Random random(5);
    for (int i = 0; i < 20000; ++i) {
        const auto t = referenceTetrahedron(nodes, random.byte(), random.byte(), random.byte());
        EXPECT_LE(t.weightP, 65536u);
        EXPECT_LE(t.weightA, 65536u);
        EXPECT_LE(t.weightB, 65536u);
        EXPECT_LE(t.weightC, 65536u);
        ASSERT_EQ(t.weightP + t.weightA + t.weightB + t.weightC, 65536u);
    }
}

TEST(ReferenceModel, GridPointsReturnTheirOwnValues) {
    const Bytes nodes = {0, 100, 255};
    const Bytes grid = makeRandomGrid(3, 5, 9);
    const ReferenceTable table{nodes, 5, grid};
    for (int i0 = 0; i0 < 3; ++i0)
        for (int i1 = 0; i1 < 3; ++i1)
            for (int i2 = 0; i2 < 3; ++i2) {
                const auto out = table.interpolate(nodes[static_cast<size_t>(i0)],
                                                   nodes[static_cast<size_t>(i1)],
                                                   nodes[static_cast<size_t>(i2)]);
                for (int q = 0; q < 5; ++q)
                    EXPECT_EQ(out[static_cast<size_t>(q)],
                              grid[vrel::dbwriter::gridIndex(3, q, i0, i1, i2)]);
            }
}

TEST(ReferenceModel, InterpolatesHalfwayWithRoundingUp) {
    const Bytes nodes = {0, 128, 255};
    // Channel 0 = v0, channel 1 = v1, channel 2 = 255 - v2.
    const Bytes grid = makeGrid(nodes, 3, [](uint8_t v0, uint8_t v1, uint8_t v2) {
        return Bytes{v0, v1, static_cast<uint8_t>(255 - v2)};
    });
    // v0 = 64: case 3, P = 0 and A = 128 with weights 32768 each: (4194304 + 32768) >> 16 = 64.
    EXPECT_EQ(referenceInterpolate(nodes, 3, grid, 64, 0, 0), (Bytes{64, 0, 255}));
    // v2 = 191 lies 63/127 of the way from 128 to 255: fraction 32510.
    // 255 - v2 at the corners: 127 and 0 -> (33026·127 + 32510·0 + 32768) >> 16 = 64.
    EXPECT_EQ(referenceInterpolate(nodes, 3, grid, 0, 0, 191)[2], 64);
    // All three axes at 255: the base is the last point and no weight leaves it.
    EXPECT_EQ(referenceInterpolate(nodes, 3, grid, 255, 255, 255), (Bytes{255, 255, 0}));
}

TEST(ReferenceModel, ValuesOutsideTheGridReadAsZero) {
    const ReferenceTable table{{0, 255}, 1, {1, 2, 3, 4, 5, 6, 7, 8}};
    EXPECT_EQ(table.value(0, 1, 1, 1), 8);
    EXPECT_EQ(table.value(0, 2, 0, 0), 0);
    EXPECT_EQ(table.value(1, 0, 0, 0), 0);
}

} // namespace
