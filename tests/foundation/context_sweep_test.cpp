#include "lifecycle_fixture.h"
#include "resources/database.h"
#include "resources/profile_records.h"
#include "vrel/vrel.h"

#include <gtest/gtest.h>

namespace {

namespace dbw = vrel::dbwriter;
namespace hooks = vrel::testing;
using foundation::LifecycleTest;

class InitSweep : public LifecycleTest {
  protected:
    // Allocations and file operations made by the probe and the profile
    // search, which run before the context exists.
    void countProfileSteps(long* allocations, long* fileOperations) {
        hooks::resetAllocationCounter();
        hooks::resetFileOperationCounter();
        ASSERT_GE(vrel::probeDatabase(&params_), 0);
        vrel::ProfileRecord decoded;
        ASSERT_EQ(vrel::readProfile(&params_, &decoded), 0);
        *allocations = hooks::allocationsMade();
        *fileOperations = hooks::fileOperationsMade();
    }
};

TEST_F(InitSweep, EveryFailedAllocationReportsMemoryLeaksNothingAndSetsTheSlot) {
    // Extension chunk and grey curve from the correction table included, so
    // that every loader allocates.
    params_.adjustSwitch = 0;
    write(foundation::sampleDatabase(params_, 1, dbw::kFlagExtension | dbw::greyModeFlags(1)));
    long beforeContext = 0, unusedOps = 0;
    countProfileSteps(&beforeContext, &unusedOps);
    ASSERT_GT(beforeContext, 0);
    long k = 1;
    for (;; ++k) {
        ASSERT_LT(k, 10000) << "VrelInit never succeeded";
        hooks::resetAllocationCounter();
        hooks::failAllocationAt(k);
        EngineContext* slot = sentinel();
        const int16_t rc = VrelInit(&slot, &params_);
        const bool reached = hooks::allocationsMade() >= k;
        hooks::failAllocationAt(0);
        if (!reached) {
            ASSERT_EQ(rc, 0) << k;
            VrelClose(slot);
            break;
        }
        ASSERT_EQ(rc, -108) << "allocation " << k;
        if (k <= beforeContext) {
            EXPECT_EQ(slot, sentinel()) << "allocation " << k;
        } else {
            EXPECT_EQ(slot, nullptr) << "allocation " << k;
        }
        ASSERT_EQ(hooks::liveBlocks(), liveAtStart_) << "allocation " << k;
        ASSERT_EQ(hooks::openFiles(), openAtStart_) << "allocation " << k;
    }
    // Probe, search, context, two tables with work buffers and caches.
    EXPECT_GT(k, beforeContext + 6);
}

TEST_F(InitSweep, EveryFailedSeekOrReadIsAFileOrLoadFailureAndLeaksNothing) {
    params_.adjustSwitch = 1;
    params_.tableSelector = 3;
    write(foundation::sampleDatabase(params_, 2, dbw::kFlagExtension));
    long unusedAllocs = 0, beforeContext = 0;
    countProfileSteps(&unusedAllocs, &beforeContext);
    ASSERT_GT(beforeContext, 0);
    long k = 1;
    for (;; ++k) {
        ASSERT_LT(k, 10000) << "VrelInit never succeeded";
        hooks::resetFileOperationCounter();
        hooks::failFileOperationAt(k);
        EngineContext* slot = sentinel();
        const int16_t rc = VrelInit(&slot, &params_);
        const bool reached = hooks::fileOperationsMade() >= k;
        hooks::failFileOperationAt(0);
        if (!reached) {
            ASSERT_EQ(rc, 1) << k;
            VrelClose(slot);
            break;
        }
        if (k <= beforeContext) {
            ASSERT_EQ(rc, -138) << "operation " << k;
            EXPECT_EQ(slot, sentinel()) << "operation " << k;
        } else {
            ASSERT_EQ(rc, -108) << "operation " << k;
            EXPECT_EQ(slot, nullptr) << "operation " << k;
        }
        ASSERT_EQ(hooks::liveBlocks(), liveAtStart_) << "operation " << k;
        ASSERT_EQ(hooks::openFiles(), openAtStart_) << "operation " << k;
    }
    // Three chunks are read after the profile.
    EXPECT_GT(k, beforeContext + 3);
}

} // namespace
