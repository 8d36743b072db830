// The failure sweep: the k-th allocation, and apart from it the k-th seek or
// read, fails during start-up, during a reset that opens a new context, and
// in the builders of the prepared tables, for every k the call makes. Each
// failure must give its result code, leave the slot as the caller may rely
// on (untouched before a context exists, null after, never a freed
// context), free every block and close every file.
#include "battery.h"
#include "core/engine_context.h"
#include "database_catalogue.h"
#include "init_outcome.h"
#include "resources/block_layer.h"
#include "resources/database.h"
#include "resources/file_layer.h"
#include "resources/profile_records.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

namespace {

using namespace vrel::test;
namespace hooks = vrel::testing;

struct Hook {
    const char* name;
    void (*failAt)(long);
    long (*made)();
    void (*reset)();
    int earlyResult; // before the context exists
};
const Hook kHooks[] = {
    {"allocation", hooks::failAllocationAt, hooks::allocationsMade, hooks::resetAllocationCounter,
     VREL_ERR_MEMORY},
    {"seek or read", hooks::failFileOperationAt, hooks::fileOperationsMade,
     hooks::resetFileOperationCounter, VREL_ERR_FILE},
};

template <class Call> long counted(const Hook& hook, Call call) {
    hook.reset();
    call();
    return hook.made();
}

// Fails the k-th counted operation of `call` only.
template <class Call> int failingAt(const Hook& hook, long k, Call call) {
    hook.reset();
    hook.failAt(k);
    const int result = call();
    hook.failAt(0);
    return result;
}

TEST(FailureSweep, StartUpAndResetReportEveryFailurePointAndReleaseEverything) {
    long points = 0;
    for (const CatalogueEntry& entry : databaseCatalogue()) {
        if (entry.slot != SlotAfter::Context) {
            continue;
        }
        SampleFile file(entry.database);
        const ParamRecord params = file.params(entry.params);
        ParamRecord changed = params;
        changed.density = static_cast<int16_t>(changed.density + 1); // VrelReset must re-open
        for (const Hook& hook : kHooks) {
            SCOPED_TRACE(entry.name + ", " + hook.name);
            // The probe and the profile search run before the context exists.
            const long beforeContext = counted(hook, [&] {
                vrel::ProfileRecord decoded;
                EXPECT_GE(vrel::probeDatabase(&params), 0);
                EXPECT_EQ(vrel::readProfile(&params, &decoded), 0);
            });
            EngineContext* context = nullptr;
            const long total =
                counted(hook, [&] { EXPECT_EQ(VrelInit(&context, &params), entry.expected); });
            VrelClose(context);
            ASSERT_GT(total, beforeContext);
            for (long k = 1; k <= total + 1; ++k) {
                SCOPED_TRACE(k);
                const long live = liveBlocks();
                const bool fails = k <= total;
                const int expected = !fails               ? entry.expected
                                     : k <= beforeContext ? hook.earlyResult
                                                          : VREL_ERR_MEMORY;
                EngineContext* slot = untouchedSlotMarker();
                EXPECT_EQ(failingAt(hook, k, [&] { return VrelInit(&slot, &params); }), expected);
                if (fails) {
                    EXPECT_EQ(slot, k <= beforeContext ? untouchedSlotMarker() : nullptr);
                } else {
                    VrelClose(slot);
                }
                // The same failure in the re-open of VrelReset: the old context
                // goes and the slot is left empty.
                slot = nullptr;
                ASSERT_EQ(VrelInit(&slot, &params), entry.expected);
                EXPECT_EQ(failingAt(hook, k, [&] { return VrelReset(&slot, &changed); }), expected);
                if (fails) {
                    EXPECT_EQ(slot, nullptr);
                }
                VrelClose(slot);
                EXPECT_EQ(liveBlocks(), live);
                EXPECT_EQ(hooks::openFiles(), 0);
                points += fails ? 1 : 0;
            }
        }
    }
    RecordProperty("failure_points", static_cast<int>(points));
}

bool hasTable(const EngineContext* c) {
    return c->preparedAddress != nullptr || c->preparedBlock.address != nullptr;
}

// Each builder reads no file and takes one block; when that allocation fails
// the call gives -108 with no table left (the previous one freed). Refused
// pairs allocate nothing and leave no table; mode 5 is refused before the
// table is touched.
TEST(FailureSweep, PreparedTableBuildersReportTheirOneAllocation) {
    for (const int method : {1, 3, 4, 6, 7}) {
        SampleFile file(makeSampleDatabase(recipeForMethod(method)));
        OpenContext context(file.params(0));
        ASSERT_EQ(context.result(), 0);
        usePreparedTables(context.get());
        for (const uint32_t mode : {1u, 2u, 3u, 4u}) {
            SCOPED_TRACE(testing::Message() << "method " << method << " mode " << mode);
            const bool refused = method >= 6 && mode != 3;
            const bool tableless = method >= 6 || (method == 4 && mode == 3);
            hooks::resetAllocationCounter();
            hooks::resetFileOperationCounter();
            EXPECT_EQ(prepareMode(context.get(), mode, 30, mode, nullptr),
                      refused ? VREL_ERR_PARAM : method);
            EXPECT_EQ(hooks::allocationsMade(), tableless ? 0 : 1);
            EXPECT_EQ(hooks::fileOperationsMade(), 0);
            EXPECT_EQ(hasTable(context.get()), !tableless);
            if (tableless) {
                continue;
            }
            const long withTable = liveBlocks();
            context.get()->statusBits = 0;
            EXPECT_EQ(
                failingAt(kHooks[0], 1,
                          [&] { return prepareMode(context.get(), mode, 30, mode, nullptr); }),
                VREL_ERR_MEMORY);
            EXPECT_FALSE(hasTable(context.get()));
            EXPECT_EQ(context.get()->statusBits & 4u, 4u);
            EXPECT_EQ(liveBlocks(), withTable - 1);
            ASSERT_EQ(prepareMode(context.get(), mode, 30, mode, nullptr), method);
            EXPECT_EQ(prepareMode(context.get(), 5, -1, mode, nullptr), VREL_ERR_PARAM);
            EXPECT_TRUE(hasTable(context.get()));
            EXPECT_EQ(prepareMode(context.get(), 0, -1, mode, nullptr), method);
            EXPECT_FALSE(hasTable(context.get()));
            EXPECT_EQ(liveBlocks(), withTable - 1);
        }
    }
}

} // namespace
