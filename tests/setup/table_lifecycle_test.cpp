// The prepared table's life on real contexts: never built on a context of
// the default profile class, built, kept or freed by the matrix on class 9,
// freed by VrelClose, and absent after an allocation failure.
#include "class_nine_context.h"

#include <gtest/gtest.h>

namespace {

using setup_test::ContextOptions;
using setup_test::RealContext;

TEST(TableLifecycle, ContextsFromVrelInitRecordTheModeAndBuildNothing) {
    for (int method : {1, 3, 4, 6, 7}) {
        const long liveBefore = vrel::testing::liveBlocks();
        {
            RealContext context(ContextOptions{method, 0, 0, 2, 71});
            ASSERT_TRUE(context.opened()) << method;
            ASSERT_EQ(context->profileClass, 2u);
            ASSERT_EQ(context->statusBits, 0u);
            const long liveOpen = vrel::testing::liveBlocks();
            for (uint32_t mode = 0; mode < 5; ++mode) {
                EXPECT_EQ(VrelInitColorConversion(context.get(), mode, nullptr), method);
                EXPECT_EQ(context->conversionMode, mode);
                EXPECT_EQ(context->statusBits, 4u);
                EXPECT_EQ(context->preparedAddress, nullptr);
            }
            EXPECT_EQ(vrel::testing::liveBlocks(), liveOpen);
        }
        EXPECT_EQ(vrel::testing::liveBlocks(), liveBefore);
    }
}

TEST(TableLifecycle, RealContextsFollowTheMatrixRowByRow) {
    // true: a table is built; false: accepted without one. Six and seven
    // inks refuse the palette-like modes.
    struct Row {
        int method;
        int outcome[5]; // 1 table, 0 no table, -1 refused
    };
    const Row rows[] = {{3, {0, 1, 1, 1, 1}},
                        {4, {0, 1, 1, 0, 1}},
                        {6, {0, -1, -1, 0, -1}},
                        {7, {0, -1, -1, 0, -1}}};
    for (const Row& row : rows) {
        RealContext context(ContextOptions{row.method, 0, 0, 9, 72});
        ASSERT_TRUE(context.opened());
        const long liveOpen = vrel::testing::liveBlocks();
        for (uint32_t mode = 0; mode < 5; ++mode) {
            SCOPED_TRACE(testing::Message() << "method " << row.method << " mode " << mode);
            const PaletteRecord* none = nullptr;
            const VrelResult result = VrelInitColorConversion(context.get(), mode, &none);
            EXPECT_EQ(context->statusBits, 4u);
            const int outcome = row.outcome[mode];
            EXPECT_EQ(result, outcome < 0 ? VREL_ERR_PARAM : row.method);
            EXPECT_EQ(context->preparedAddress != nullptr, outcome == 1);
            EXPECT_EQ(context->preparedBlock.address, context->preparedAddress);
            EXPECT_EQ(vrel::testing::liveBlocks(), liveOpen + (outcome == 1 ? 1 : 0));
        }
    }
}

TEST(TableLifecycle, CloseFreesThePreparedTable) {
    for (uint32_t mode = 1; mode < 5; ++mode) {
        const long liveBefore = vrel::testing::liveBlocks();
        RealContext context(ContextOptions{3, 0, 0, 9, 73});
        ASSERT_TRUE(context.opened());
        const PaletteRecord* none = nullptr;
        ASSERT_EQ(VrelInitColorConversion(context.get(), mode, &none), VrelMethodThreeChannel);
        ASSERT_NE(context->preparedAddress, nullptr);
        context.close();
        EXPECT_EQ(vrel::testing::liveBlocks(), liveBefore) << "mode " << mode;
    }
}

TEST(TableLifecycle, AllocationFailureInABuilderOfARealContextLeavesNoTable) {
    for (int method : {3, 4}) {
        RealContext context(ContextOptions{method, 1, 0, 9, 74});
        ASSERT_TRUE(context.opened());
        const long liveOpen = vrel::testing::liveBlocks();
        for (uint32_t mode : {1u, 2u, 4u}) {
            SCOPED_TRACE(testing::Message() << "method " << method << " mode " << mode);
            const PaletteRecord* none = nullptr;
            ASSERT_EQ(VrelInitColorConversion(context.get(), mode, &none), method);
            vrel::testing::failAllocationAt(1);
            const VrelResult result = VrelInitColorConversion(context.get(), mode, &none);
            vrel::testing::failAllocationAt(0);
            EXPECT_EQ(result, VREL_ERR_MEMORY);
            EXPECT_EQ(context->preparedAddress, nullptr);
            EXPECT_EQ(context->preparedBlock.address, nullptr);
            EXPECT_EQ(vrel::testing::liveBlocks(), liveOpen);
        }
    }
}

TEST(TableLifecycle, ModeFiveIsRefusedWithTheStatusUntouched) {
    RealContext context(ContextOptions{4, 0, 0, 9, 75});
    ASSERT_TRUE(context.opened());
    ASSERT_EQ(VrelInitColorConversion(context.get(), VrelModeRgb555, nullptr), 4);
    const void* table = context->preparedAddress;
    context->statusBits = 0;
    EXPECT_EQ(VrelInitColorConversion(context.get(), 5, nullptr), VREL_ERR_PARAM);
    EXPECT_EQ(context->statusBits, 0u);
    EXPECT_EQ(context->conversionMode, 5u);
    EXPECT_EQ(context->preparedAddress, table);
}

} // namespace
