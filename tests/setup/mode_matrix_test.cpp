// The method x mode matrix of VrelInitColorConversion and the state of the
// prepared table after each call: built, kept or freed.
#include "prepared_reference.h"

#include <gtest/gtest.h>

namespace {

using setup_test::HandContext;

enum class Outcome { NoTable, Table, Refused };

// Rows for the methods whose tables need no colour table (black) or that
// never build one. Methods 3 and 4 are covered on real contexts.
struct Row {
    int16_t method;
    Outcome modes[5];
};
const Row kRows[] = {
    {1, {Outcome::NoTable, Outcome::Table, Outcome::Table, Outcome::Table, Outcome::Table}},
    {6, {Outcome::NoTable, Outcome::Refused, Outcome::Refused, Outcome::NoTable, Outcome::Refused}},
    {7, {Outcome::NoTable, Outcome::Refused, Outcome::Refused, Outcome::NoTable, Outcome::Refused}},
    {0, {Outcome::Refused, Outcome::Refused, Outcome::Refused, Outcome::Refused, Outcome::Refused}},
    {2, {Outcome::Refused, Outcome::Refused, Outcome::Refused, Outcome::Refused, Outcome::Refused}},
    {5, {Outcome::Refused, Outcome::Refused, Outcome::Refused, Outcome::Refused, Outcome::Refused}},
    {8, {Outcome::Refused, Outcome::Refused, Outcome::Refused, Outcome::Refused, Outcome::Refused}},
    {-4,
     {Outcome::Refused, Outcome::Refused, Outcome::Refused, Outcome::Refused, Outcome::Refused}},
};

// Gives the context a black table of its own, so that each call starts with
// one in place.
void giveTable(EngineContext* context) {
    const int16_t method = context->conversionMethod;
    context->conversionMethod = VrelMethodBlack;
    ASSERT_EQ(VrelInitColorConversion(context, VrelModeMono, nullptr), VrelMethodBlack);
    ASSERT_NE(context->preparedAddress, nullptr);
    context->conversionMethod = method;
}

TEST(ModeMatrix, EveryPairOnAClassNineContextReplacesTheTableAsTheMatrixSays) {
    const PaletteRecord* palette = nullptr;
    const long liveBefore = vrel::testing::liveBlocks();
    for (const Row& row : kRows) {
        HandContext context(row.method, 9, 11);
        for (uint32_t mode = 0; mode < 5; ++mode) {
            giveTable(context.get());
            context->statusBits = 0x10;
            const VrelResult result = VrelInitColorConversion(context.get(), mode, &palette);
            SCOPED_TRACE(testing::Message() << "method " << row.method << " mode " << mode);
            EXPECT_EQ(context->conversionMode, mode);
            EXPECT_EQ(context->statusBits, 0x14u);
            switch (row.modes[mode]) {
            case Outcome::NoTable:
                EXPECT_EQ(result, row.method);
                EXPECT_EQ(context->preparedAddress, nullptr);
                EXPECT_EQ(context->preparedBlock.address, nullptr);
                break;
            case Outcome::Table:
                EXPECT_EQ(result, row.method);
                ASSERT_NE(context->preparedAddress, nullptr);
                EXPECT_EQ(context->preparedBlock.address, context->preparedAddress);
                break;
            case Outcome::Refused:
                // The earlier table is gone even though the pair is refused.
                EXPECT_EQ(result, VREL_ERR_PARAM);
                EXPECT_EQ(context->preparedAddress, nullptr);
                EXPECT_EQ(context->preparedBlock.address, nullptr);
                break;
            }
        }
    }
    // Every replaced table was freed: each context frees only its last table
    // when it goes, so a table dropped without being freed would remain.
    EXPECT_EQ(vrel::testing::liveBlocks(), liveBefore);
}

TEST(ModeMatrix, OtherProfileClassesKeepTheTableAndReturnTheMethod) {
    for (int16_t method : {1, 3, 4, 6, 7, 2, 5, 0}) {
        HandContext context(method, 9, 13);
        giveTable(context.get());
        const void* table = context->preparedAddress;
        const long liveBefore = vrel::testing::liveBlocks();
        for (uint32_t profileClass : {2u, 0u, 8u, 10u, 12u}) {
            context->profileClass = profileClass;
            for (uint32_t mode = 0; mode < 5; ++mode) {
                context->statusBits = 0;
                EXPECT_EQ(VrelInitColorConversion(context.get(), mode, nullptr), method)
                    << "method " << method << " class " << profileClass << " mode " << mode;
                EXPECT_EQ(context->statusBits, 4u);
                EXPECT_EQ(context->conversionMode, mode);
                EXPECT_EQ(context->preparedAddress, table);
                EXPECT_EQ(context->preparedBlock.address, table);
            }
        }
        EXPECT_EQ(vrel::testing::liveBlocks(), liveBefore);
    }
}

TEST(ModeMatrix, ModeAboveFourIsRefusedBeforeAnythingElse) {
    for (uint32_t profileClass : {9u, 2u}) {
        HandContext context(VrelMethodBlack, profileClass, 14);
        context->profileClass = 9;
        giveTable(context.get());
        context->profileClass = profileClass;
        const void* table = context->preparedAddress;
        for (uint32_t mode : {5u, 6u, 0x100u, 0xffffffffu}) {
            context->statusBits = 0x21;
            EXPECT_EQ(VrelInitColorConversion(context.get(), mode, nullptr), VREL_ERR_PARAM);
            EXPECT_EQ(context->conversionMode, mode);
            EXPECT_EQ(context->statusBits, 0x21u);
            EXPECT_EQ(context->preparedAddress, table) << "the table survives a bad mode";
        }
    }
}

TEST(ModeMatrix, AllocationFailureInABuilderLeavesNoTable) {
    const PaletteRecord* palette = nullptr;
    for (uint32_t mode = 1; mode < 5; ++mode) {
        HandContext context(VrelMethodBlack, 9, 15);
        giveTable(context.get());
        const long liveBefore = vrel::testing::liveBlocks();
        vrel::testing::failAllocationAt(1);
        const VrelResult result = VrelInitColorConversion(context.get(), mode, &palette);
        vrel::testing::failAllocationAt(0);
        EXPECT_EQ(result, VREL_ERR_MEMORY) << mode;
        EXPECT_EQ(context->preparedAddress, nullptr);
        EXPECT_EQ(context->preparedBlock.address, nullptr);
        EXPECT_EQ(context->statusBits & 4u, 4u);
        EXPECT_EQ(vrel::testing::liveBlocks(), liveBefore - 1) << "the old table is freed";
        // The context recovers: the next call builds the table.
        EXPECT_EQ(VrelInitColorConversion(context.get(), mode, &palette), VrelMethodBlack);
        EXPECT_NE(context->preparedAddress, nullptr);
    }
}

TEST(ModeMatrix, NullContextIsRefused) {
    EXPECT_EQ(VrelInitColorConversion(nullptr, VrelModeDirect, nullptr), VREL_ERR_PARAM);
}

} // namespace
