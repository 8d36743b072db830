// Allocation-failure sweep of VrelInit over every table kind: the k-th
// allocation of the call fails, for every k the call makes. Each attempt
// must return -108, leave the slot untouched when the failure came before
// the context existed and null after, free every block and close the file.
#include "init_outcome.h"
#include "resources/block_layer.h"
#include "resources/file_layer.h"
#include "sweep_support.h"

#include <gtest/gtest.h>

namespace {

using namespace vrel::test;

TEST(AllocationSweep, EveryFailingAllocationOfStartUpIsReportedAndReleased) {
    long points = 0;
    for (const auto& subject : sweepSubjects()) {
        SCOPED_TRACE(subject->name);
        const InitCounts counts = countAllocations(subject->params);
        ASSERT_GT(counts.total, counts.beforeContext);
        for (long k = 1; k <= counts.total; ++k) {
            SCOPED_TRACE("allocation " + std::to_string(k) + " of " + std::to_string(counts.total));
            const long liveBefore = vrel::testing::liveBlocks();
            EngineContext* slot = untouchedSlotMarker();
            vrel::testing::failAllocationAt(k);
            const int result = VrelInit(&slot, &subject->params);
            vrel::testing::failAllocationAt(0);
            ASSERT_EQ(result, VREL_ERR_MEMORY);
            if (k <= counts.beforeContext) {
                EXPECT_EQ(slot, untouchedSlotMarker());
            } else {
                EXPECT_EQ(slot, nullptr);
            }
            EXPECT_EQ(vrel::testing::liveBlocks(), liveBefore);
            EXPECT_EQ(vrel::testing::openFiles(), 0);
            ++points;
        }
        // One past the last allocation: the call succeeds untouched by the hook.
        EngineContext* slot = nullptr;
        vrel::testing::failAllocationAt(counts.total + 1);
        EXPECT_GE(VrelInit(&slot, &subject->params), 0);
        vrel::testing::failAllocationAt(0);
        VrelClose(slot);
    }
    RecordProperty("allocation_failure_points", static_cast<int>(points));
    std::printf("allocation failure points swept: %ld\n", points);
}

// A failure on VrelReset's re-open leaves no context behind: the old one is
// closed and the slot is not left pointing at it.
TEST(AllocationSweep, FailedReopenByResetEmptiesTheSlot) {
    auto subjects = sweepSubjects();
    ASSERT_FALSE(subjects.empty());
    const auto& subject = subjects.front();
    const long liveBefore = vrel::testing::liveBlocks();
    EngineContext* slot = nullptr;
    ASSERT_GE(VrelInit(&slot, &subject->params), 0);
    ParamRecord changed = subject->params;
    changed.density = 25; // compared by VrelReset: a new context is needed
    const InitCounts counts = countAllocations(subject->params);
    vrel::testing::failAllocationAt(counts.total);
    const int result = VrelReset(&slot, &changed);
    vrel::testing::failAllocationAt(0);
    EXPECT_EQ(result, VREL_ERR_MEMORY);
    EXPECT_EQ(slot, nullptr);
    EXPECT_EQ(vrel::testing::liveBlocks(), liveBefore);
}

} // namespace
