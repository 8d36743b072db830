// Fixture of the context life-cycle tests: a written sample database and
// checks that every test leaves no block allocated and no file open.
#pragma once

#include "core/engine_context.h"
#include "resources/block_layer.h"
#include "resources/file_layer.h"
#include "sample_database.h"

#include <gtest/gtest.h>

namespace foundation {

class LifecycleTest : public DatabaseTest {
  protected:
    void SetUp() override {
        liveAtStart_ = vrel::testing::liveBlocks();
        openAtStart_ = vrel::testing::openFiles();
    }
    void TearDown() override {
        vrel::testing::failAllocationAt(0);
        vrel::testing::failFileOperationAt(0);
        EXPECT_EQ(vrel::testing::liveBlocks(), liveAtStart_) << "blocks leaked";
        EXPECT_EQ(vrel::testing::openFiles(), openAtStart_) << "files left open";
    }

    // A slot value no library call may produce: shows an untouched slot.
    EngineContext* sentinel() { return reinterpret_cast<EngineContext*>(&sentinelTarget_); }

    long liveAtStart_ = 0;
    long openAtStart_ = 0;
    int sentinelTarget_ = 0;
};

} // namespace foundation
