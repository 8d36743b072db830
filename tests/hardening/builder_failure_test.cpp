// The prepared-table builders of VrelInitColorConversion on class-9
// contexts: each allocates exactly one block; when that allocation fails the
// call returns -108 with no table (the previous one already freed), and a
// refused pair leaves no table either. Nothing leaks across any of it.
#include "battery.h"
#include "core/engine_context.h"
#include "resources/block_layer.h"
#include "support/test_support.h"
#include "setup/test_hooks.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

namespace {

using namespace vrel::test;

struct ClassNineContext {
    explicit ClassNineContext(int method) {
        vrel::test::writeDatabaseFile(dir.path(), "c9.db",
                                      makeSampleDatabase(recipeForMethod(method)));
        const ParamRecord params = standardParams(0, dir.c_str(), "c9.db");
        EXPECT_EQ(VrelInit(&context, &params), 0);
        vrel::testing::setProfileClass(context, 9);
    }
    ~ClassNineContext() { VrelClose(context); }
    vrel::test::TempDir dir;
    EngineContext* context = nullptr;
};

bool hasTable(const EngineContext* c) {
    return c->preparedAddress != nullptr || c->preparedBlock.address != nullptr;
}

TEST(BuilderFailure, EachBuilderTakesOneBlockAndReportsItsLoss) {
    int points = 0;
    for (const int method : {1, 3, 4}) {
        ClassNineContext c(method);
        ASSERT_NE(c.context, nullptr);
        for (const uint32_t mode : {1u, 2u, 3u, 4u}) {
            if (method == 4 && mode == 3) {
                continue; // accepted without a table
            }
            SCOPED_TRACE("method " + std::to_string(method) + " mode " + std::to_string(mode));
            // A successful build makes exactly one allocation.
            vrel::testing::resetAllocationCounter();
            ASSERT_EQ(prepareMode(c.context, mode, 30, mode, nullptr), method);
            EXPECT_EQ(vrel::testing::allocationsMade(), 1);
            ASSERT_TRUE(hasTable(c.context));
            const long liveWithTable = vrel::testing::liveBlocks();

            // Its one allocation fails: -108, the earlier table freed, no new one.
            c.context->statusBits = 0;
            vrel::testing::failAllocationAt(1);
            const int result = prepareMode(c.context, mode, 30, mode, nullptr);
            vrel::testing::failAllocationAt(0);
            EXPECT_EQ(result, VREL_ERR_MEMORY);
            EXPECT_FALSE(hasTable(c.context));
            EXPECT_EQ(c.context->statusBits & 4u, 4u);
            EXPECT_EQ(vrel::testing::liveBlocks(), liveWithTable - 1);
            ++points;
        }
    }
    RecordProperty("builder_failure_points", points);
}

TEST(BuilderFailure, RefusedPairsAndDirectModeFreeTheTableAndAllocateNothing) {
    for (const int method : {6, 7}) {
        ClassNineContext c(method);
        for (const uint32_t mode : {1u, 2u, 4u}) {
            vrel::testing::resetAllocationCounter();
            EXPECT_EQ(prepareMode(c.context, mode, 5, 1, nullptr), VREL_ERR_PARAM);
            EXPECT_EQ(vrel::testing::allocationsMade(), 0);
            EXPECT_FALSE(hasTable(c.context));
        }
    }
    ClassNineContext c(4);
    const long liveBefore = vrel::testing::liveBlocks();
    ASSERT_EQ(prepareMode(c.context, 2, 255, 3, nullptr), 4);
    EXPECT_EQ(vrel::testing::liveBlocks(), liveBefore + 1);
    EXPECT_EQ(prepareMode(c.context, 0, -1, 3, nullptr), 4);
    EXPECT_FALSE(hasTable(c.context));
    EXPECT_EQ(vrel::testing::liveBlocks(), liveBefore);
    // Mode 5 is refused before anything is touched: a table stays.
    ASSERT_EQ(prepareMode(c.context, 4, -1, 3, nullptr), 4);
    EXPECT_EQ(prepareMode(c.context, 5, -1, 3, nullptr), VREL_ERR_PARAM);
    EXPECT_TRUE(hasTable(c.context));
}

} // namespace
