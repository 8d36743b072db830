// Subjects and counters of the failure sweeps.
#include "sweep_support.h"

#include "core/engine_context.h"
#include "resources/block_layer.h"
#include "resources/database.h"
#include "resources/file_layer.h"
#include "resources/profile_records.h"

#include <gtest/gtest.h>

namespace vrel::test {

std::vector<std::unique_ptr<SweepSubject>> sweepSubjects() {
    std::vector<std::unique_ptr<SweepSubject>> subjects;
    for (const CatalogueEntry& entry : databaseCatalogue()) {
        if (entry.slot != SlotAfter::Context) {
            continue;
        }
        auto subject = std::make_unique<SweepSubject>();
        subject->name = entry.name;
        vrel::test::writeDatabaseFile(subject->dir.path(), "sweep.db", entry.database);
        subject->params = standardParams(entry.params, subject->dir.c_str(), "sweep.db");
        subjects.push_back(std::move(subject));
    }
    return subjects;
}

InitCounts countAllocations(const ParamRecord& params) {
    InitCounts counts;
    ProfileRecord decoded;
    vrel::testing::resetAllocationCounter();
    EXPECT_GE(probeDatabase(&params), 0);
    EXPECT_EQ(readProfile(&params, &decoded), 0);
    counts.beforeContext = vrel::testing::allocationsMade();
    EngineContext* context = nullptr;
    vrel::testing::resetAllocationCounter();
    EXPECT_GE(VrelInit(&context, &params), 0);
    counts.total = vrel::testing::allocationsMade();
    VrelClose(context);
    return counts;
}

InitCounts countFileOperations(const ParamRecord& params) {
    InitCounts counts;
    ProfileRecord decoded;
    vrel::testing::resetFileOperationCounter();
    EXPECT_GE(probeDatabase(&params), 0);
    EXPECT_EQ(readProfile(&params, &decoded), 0);
    counts.beforeContext = vrel::testing::fileOperationsMade();
    EngineContext* context = nullptr;
    vrel::testing::resetFileOperationCounter();
    EXPECT_GE(VrelInit(&context, &params), 0);
    counts.total = vrel::testing::fileOperationsMade();
    VrelClose(context);
    return counts;
}

} // namespace vrel::test
