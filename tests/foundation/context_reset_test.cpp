#include "lifecycle_fixture.h"
#include "vrel/vrel.h"

#include <cstring>
#include <gtest/gtest.h>
#include <string>

namespace {

namespace dbw = vrel::dbwriter;
using foundation::LifecycleTest;

class ResetTest : public LifecycleTest {
  protected:
    EngineContext* open(const ParamRecord& params, int16_t expected) {
        EngineContext* slot = nullptr;
        EXPECT_EQ(VrelInit(&slot, &params), expected);
        return slot;
    }
};

TEST_F(ResetTest, KeyFieldChangeKeepsTheContextWithoutSearchingAgain) {
    write(foundation::sampleDatabase(params_, 1));
    EngineContext* slot = open(params_, 0);
    ASSERT_NE(slot, nullptr);
    EngineContext* const kept = slot;
    const long blocks = vrel::testing::liveBlocks();
    ParamRecord changed = params_;
    changed.keyField94 = 17; // its key is not in the database
    vrel::testing::resetFileOperationCounter();
    EXPECT_EQ(VrelReset(&slot, &changed), 2);
    EXPECT_EQ(slot, kept);
    EXPECT_EQ(vrel::testing::fileOperationsMade(), 0);
    EXPECT_EQ(vrel::testing::liveBlocks(), blocks);
    EXPECT_EQ(slot->params.keyField94, params_.keyField94);
    VrelClose(slot);
}

TEST_F(ResetTest, AdjustSwitchAloneKeepsTheContextInBothDirections) {
    write(foundation::sampleDatabase(params_, 1));
    EngineContext* slot = open(params_, 0);
    ParamRecord on = params_;
    on.adjustSwitch = 1;
    EXPECT_EQ(VrelReset(&slot, &on), 2); // bit 0: the kept context's own flag
    VrelClose(slot);

    ParamRecord start = params_;
    start.adjustSwitch = 1;
    write(foundation::sampleDatabase(start, 1));
    slot = open(start, 1);
    ParamRecord off = start;
    off.adjustSwitch = 0;
    off.balance[0] = 9; // not compared with the new switch 0
    EngineContext* const kept = slot;
    EXPECT_EQ(VrelReset(&slot, &off), 3);
    EXPECT_EQ(slot, kept);
    VrelClose(slot);
}

TEST_F(ResetTest, NewSwitchOneRequiresEqualSelectorInputKindAndBalance) {
    params_.adjustSwitch = 1;
    write(foundation::sampleDatabase(params_, 1));
    for (int field = 0; field < 3; ++field) {
        EngineContext* slot = open(params_, 1);
        ParamRecord changed = params_;
        if (field == 0) {
            changed.tableSelector = 2;
        } else if (field == 1) {
            changed.inputKind = 18;
        } else {
            changed.balance[3] = -7;
        }
        // Re-opened: the result is VrelInit's and the context has the new record.
        EXPECT_EQ(VrelReset(&slot, &changed), 1) << field;
        ASSERT_NE(slot, nullptr);
        EXPECT_EQ(std::memcmp(&slot->params, &changed, sizeof changed), 0) << field;
        VrelClose(slot);
    }
}

TEST_F(ResetTest, EmptySlotBehavesLikeInit) {
    write(foundation::sampleDatabase(params_, 1));
    EngineContext* slot = nullptr;
    EXPECT_EQ(VrelReset(&slot, &params_), 0);
    ASSERT_NE(slot, nullptr);
    EXPECT_EQ(slot->ready, 1u);
    VrelClose(slot);
    slot = nullptr;
    ParamRecord missing = params_;
    std::strcpy(missing.databaseName, "absent.qz");
    EXPECT_EQ(VrelReset(&slot, &missing), -138);
    EXPECT_EQ(slot, nullptr);
}

TEST_F(ResetTest, FailedReopenNeverLeavesTheClosedContextInTheSlot) {
    write(foundation::sampleDatabase(params_, 1));
    // An unknown layout is reported by VrelInit as its number; from VrelReset
    // a 3 would read as "context kept" with the slot empty, so it is -138.
    for (const uint32_t layout : {3u, 5u}) {
        dbw::Database odd = foundation::sampleDatabase(params_, 1);
        foundation::profileIndexOf(odd).layoutWord = layout;
        write(odd, "layout" + std::to_string(layout) + ".qz");
    }
    dbw::Database broken = foundation::sampleDatabase(params_, 1);
    broken.find(16, foundation::kConversionId)->listing = dbw::Listing::None;
    write(broken, "broken.qz");

    struct Case {
        const char* database;
        int16_t result;
    };
    for (const Case& c : {Case{"absent.qz", -138}, Case{"layout3.qz", -138},
                          Case{"layout5.qz", -138}, Case{"broken.qz", -108}}) {
        EngineContext* slot = open(params_, 0);
        ASSERT_NE(slot, nullptr);
        ParamRecord changed = params_;
        changed.density = 20; // forces a re-open
        std::memset(changed.databaseName, 0, sizeof changed.databaseName);
        std::strcpy(changed.databaseName, c.database);
        EXPECT_EQ(VrelReset(&slot, &changed), c.result) << c.database;
        EXPECT_EQ(slot, nullptr) << c.database;
        // The driver's closing call must not free the old context again.
        VrelClose(slot);
        EXPECT_EQ(vrel::testing::liveBlocks(), liveAtStart_) << c.database;
        // The same from an empty slot.
        EXPECT_EQ(VrelReset(&slot, &changed), c.result) << c.database;
        EXPECT_EQ(slot, nullptr) << c.database;
    }
}

TEST_F(ResetTest, CloseOfANullHandleDoesNothing) {
    const long blocks = vrel::testing::liveBlocks();
    VrelClose(nullptr);
    EXPECT_EQ(vrel::testing::liveBlocks(), blocks);
}

} // namespace
