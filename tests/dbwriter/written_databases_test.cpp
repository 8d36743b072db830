// Databases made by the writer parse back to descriptions that write the
// same bytes, and open in
// the engine with the tables, node positions and method they were written
// with; descriptions that cannot be written are refused.
#include "core/engine_context.h"
#include "core/lut_block.h"
#include "support/test_support.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <stdexcept>

namespace {

using namespace vrel::test;
namespace db = vrel::dbwriter;

// The engine's grid of a group holds the table's channel-major data, laid
// on the table's own nodes (a type-2 table: the set `nodeSet`).
void expectLoaded(const EngineContext* ctx, int group, const db::Record* record, size_t nodeSet) {
    ASSERT_NE(record, nullptr);
    const auto& table = std::get<db::ColourTable>(record->content);
    const auto& g = ctx->groups[group];
    const auto* lut = static_cast<const vrel::LutBlock*>(g.lutBlock.address);
    ASSERT_NE(lut, nullptr) << "group " << group;
    const size_t channels = lut->lutChannels;
    const size_t cells = size_t{lut->lutGridPoints} * lut->lutGridPoints * lut->lutGridPoints;
    ASSERT_GE(table.data.size(), cells * channels);
    for (size_t i = 0; i < cells * channels; ++i) {
        ASSERT_EQ(lut->grid()[i], table.data[(i % channels) * cells + i / channels])
            << "group " << group << " byte " << i;
    }
    const db::Bytes nodes = table.headerType == 2   ? table.nodeSets.at(nodeSet)
                            : table.headerType == 1 ? table.nodes
                                                    : db::defaultNodes();
    if (table.marked && lut->lutGridPoints == nodes.size()) {
        EXPECT_TRUE(std::equal(nodes.begin(), nodes.end(), g.nodes)) << "group " << group;
    }
}

TEST(WrittenDatabases, OpenWithTheTablesTheyWereWrittenWith) {
    struct Row {
        int method, layout, params; // params: standard record
        TableForm correction, conversion;
        int correctionId, nodeSet, engineMethod;
    };
    const Row rows[] = {
        {1, 1, 0, TableForm::Type1, TableForm::Type1, 0, 0, 1},
        {3, 1, 0, TableForm::Type1, TableForm::Type1, 0, 0, 3},
        {4, 0, 0, TableForm::Type0, TableForm::Unmarked, 0, 0, 4},
        {6, 2, 0, TableForm::Type2, TableForm::Type0, 0, 2, 6},
        {6, 2, 1, TableForm::Type2, TableForm::Type1, 1, 1, 6},
        {7, 2, 2, TableForm::Type1, TableForm::Type1, 2, 0, 3},
        {7, 1, 1, TableForm::Unmarked, TableForm::Type1, 1, 0, 7},
        {4, 1, 2, TableForm::Type1, TableForm::Type1, 2, 0, 3},
        {4, 1, 3, TableForm::Type1, TableForm::Type1, 0, 0, 4},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << "method " << row.method << " layout " << row.layout
                                        << " record " << row.params);
        SampleRecipe recipe = recipeForMethod(row.method);
        recipe.layout = row.layout;
        recipe.correctionForm = row.correction;
        recipe.conversionForm = row.conversion;
        recipe.sharedDirectory = row.layout == 2;
        const db::Database written = makeSampleDatabase(recipe);
        const db::Bytes bytes = db::writeDatabase(written);
        const auto parsed = db::parseDatabase(bytes);
        ASSERT_TRUE(parsed.has_value());
        EXPECT_EQ(db::writeDatabase(*parsed), bytes);

        SampleFile file(written);
        OpenContext ctx(file.params(row.params));
        ASSERT_EQ(ctx.result(), row.params == 1 ? VREL_OK_ADJUST : VREL_OK);
        EXPECT_EQ(ctx.get()->conversionMethod, row.engineMethod);
        const uint16_t correctionId = kCorrectionChunkIds[row.correctionId];
        expectLoaded(ctx.get(), 1, written.find(db::kChunkClass, correctionId),
                     static_cast<size_t>(row.nodeSet));
        if (row.engineMethod != 1) {
            expectLoaded(ctx.get(), 0, written.find(db::kChunkClass, kConversionChunkId), 0);
        }
        uint8_t search[VREL_SEARCH_DATA_SIZE];
        EXPECT_EQ(VrelGetSearchDataC(ctx.get(), search, 0),
                  0xc0ffee00u + static_cast<uint32_t>(row.layout));
    }
}

TEST(WrittenDatabases, RefusesWhatCannotBeWrittenOrRead) {
    db::Database dangling = makeSampleDatabase(recipeForMethod(4));
    dangling.chunkDirectory.extraEntries.push_back({db::kChunkClass, 0x99, 0, size_t{99}, 0});
    EXPECT_THROW(db::writeDatabase(dangling), std::invalid_argument);
    db::Database shared = makeSampleDatabase(recipeForMethod(4));
    shared.directoryLayout = db::DirectoryLayout::Shared;
    shared.chunkDirectory.entryCountOverride = 1;
    EXPECT_THROW(db::writeDatabase(shared), std::invalid_argument);
    EXPECT_THROW(db::descriptorsForChannels(9), std::invalid_argument);

    const db::Bytes good = db::writeDatabase(makeSampleDatabase(recipeForMethod(4)));
    std::string error;
    EXPECT_FALSE(db::parseDatabase(std::span(good).first(good.size() - 1), &error));
    EXPECT_FALSE(error.empty());
    TempDir dir;
    EXPECT_FALSE(db::readDatabaseFile(dir.file("missing.db")));
    EXPECT_FALSE(db::writeDatabaseFile(dir.file("no/such/dir.db"), db::Database{}));
}

} // namespace
