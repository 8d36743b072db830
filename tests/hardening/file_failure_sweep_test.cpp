// File-failure sweep of VrelInit over every table kind: the k-th seek or
// read of the call fails, for every k. A failure while the profile is
// searched gives -138 with the slot untouched; one while the tables load
// gives -108 with the slot null. No file stays open, no block stays live.
#include "init_outcome.h"
#include "resources/block_layer.h"
#include "resources/file_layer.h"
#include "sweep_support.h"

#include <cstring>
#include <gtest/gtest.h>

namespace {

using namespace vrel::test;

TEST(FileFailureSweep, EveryFailingSeekOrReadOfStartUpIsReportedAndClosed) {
    long points = 0;
    for (const auto& subject : sweepSubjects()) {
        SCOPED_TRACE(subject->name);
        const InitCounts counts = countFileOperations(subject->params);
        ASSERT_GT(counts.total, counts.beforeContext);
        for (long k = 1; k <= counts.total; ++k) {
            SCOPED_TRACE("file operation " + std::to_string(k) + " of " +
                         std::to_string(counts.total));
            const long liveBefore = vrel::testing::liveBlocks();
            EngineContext* slot = untouchedSlotMarker();
            vrel::testing::failFileOperationAt(k);
            const int result = VrelInit(&slot, &subject->params);
            vrel::testing::failFileOperationAt(0);
            if (k <= counts.beforeContext) {
                EXPECT_EQ(result, VREL_ERR_FILE);
                EXPECT_EQ(slot, untouchedSlotMarker());
            } else {
                EXPECT_EQ(result, VREL_ERR_MEMORY);
                EXPECT_EQ(slot, nullptr);
            }
            EXPECT_EQ(vrel::testing::openFiles(), 0);
            EXPECT_EQ(vrel::testing::liveBlocks(), liveBefore);
            ++points;
        }
    }
    RecordProperty("file_failure_points", static_cast<int>(points));
    std::printf("file failure points swept: %ld\n", points);
}

// A database that is not there: -138 and the slot untouched.
TEST(FileFailureSweep, MissingDatabaseIsAFileErrorWithTheSlotUntouched) {
    auto subjects = sweepSubjects();
    ASSERT_FALSE(subjects.empty());
    ParamRecord params = subjects.front()->params;
    std::memset(params.databaseName, 0, sizeof params.databaseName);
    std::memcpy(params.databaseName, "absent.db", 9);
    EngineContext* slot = untouchedSlotMarker();
    EXPECT_EQ(VrelInit(&slot, &params), VREL_ERR_FILE);
    EXPECT_EQ(slot, untouchedSlotMarker());
    EXPECT_EQ(vrel::testing::openFiles(), 0);
}

} // namespace
