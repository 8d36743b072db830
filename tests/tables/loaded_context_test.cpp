// Contexts started from database files written by the project's writer: which
// node set, input curve, table and cache each group gets, the extension
// chunk, and the correction of a started context against the reference.
#include "core/colour_cache.h"
#include "correction_harness.h"
#include "core/engine_context.h"
#include "setup/derived_curves.h"
#include "resources/grey_ramp.h"
#include "core/lut_block.h"
#include "support/database_factory.h"
#include "support/test_support.h"

#include <algorithm>
#include <cstring>
#include <gtest/gtest.h>
#include <random>
#include <vector>

namespace vrel {
namespace {

namespace db = vrel::dbwriter;
using test::OpenContext;
using test::ProfileFixture;
using test::ProfileOptions;
using test::TempDir;

bool isIdentity(const uint8_t* curve) {
    for (int i = 0; i < 256; ++i) {
        if (curve[i] != i) {
            return false;
        }
    }
    return true;
}

TEST(LoadedContext, HeaderTypeTwoChoosesTheNodeSetByInputKind) {
    struct Case {
        uint16_t inputKind;
        size_t set;
    };
    const Case cases[] = {{10, 1}, {18, 3}, {22, 4}, {32, 0}, {7, 2}, {14, 2}};
    const auto sets = test::fixtureNodeSets();
    for (const Case& k : cases) {
        ProfileOptions options;
        options.layout = 1;
        options.correctionHeaderType = 2;
        ProfileFixture f = test::makeProfileFixture(options);
        TempDir dir;
        f.writeTo(dir);
        f.params.inputKind = k.inputKind;
        OpenContext context(f.params);
        ASSERT_EQ(context.result(), 0) << "input kind " << k.inputKind;
        const TableGroup& g = context.get()->groups[1];
        ASSERT_EQ(g.gridPoints, sets[k.set].size());
        EXPECT_EQ(std::memcmp(g.nodes, sets[k.set].data(), g.gridPoints), 0)
            << "input kind " << k.inputKind;
        // A type-2 table takes the plain input curve.
        EXPECT_EQ(context.get()->settings.inputKind, 14);
        EXPECT_TRUE(isIdentity(context.get()->inputCurve)) << "input kind " << k.inputKind;
        const LutBlock* lut = static_cast<const LutBlock*>(g.lutBlock.address);
        EXPECT_EQ(lut->axisTable[sets[k.set][1]].offset0, lut->stride0);
    }
}

TEST(LoadedContext, ThirdTableSelectorUsesSetZeroOrTheDefaultGrid) {
    const auto sets = test::fixtureNodeSets();
    {
        // Type 2, selector 3, no extension flag: set 0 whatever the kind.
        ProfileOptions options;
        options.layout = 1;
        options.correctionHeaderType = 2;
        ProfileFixture f = test::makeProfileFixture(options);
        TempDir dir;
        f.writeTo(dir);
        f.params.adjustSwitch = 2;
        f.params.tableSelector = 3;
        f.params.inputKind = 22;
        OpenContext context(f.params);
        ASSERT_EQ(context.result(), 0);
        EXPECT_EQ(std::memcmp(context.get()->groups[1].nodes, sets[0].data(), 17), 0);
        EXPECT_EQ(context.get()->settings.inputKind, 14);
    }
    {
        // Type 1, selector 3: the default grid instead of the chunk's nodes.
        ProfileOptions options;
        options.layout = 1;
        options.correctionHeaderType = 1;
        options.correctionNodes = sets[3];
        ProfileFixture f = test::makeProfileFixture(options);
        TempDir dir;
        f.writeTo(dir);
        f.params.adjustSwitch = 2;
        f.params.tableSelector = 3;
        f.params.inputKind = 10;
        OpenContext context(f.params);
        ASSERT_EQ(context.result(), 0);
        EXPECT_EQ(std::memcmp(context.get()->groups[1].nodes, db::defaultNodes().data(), 17), 0);
        EXPECT_EQ(context.get()->settings.inputKind, 14);
        EXPECT_TRUE(isIdentity(context.get()->inputCurve));
    }
    {
        // Type 1 with another selector keeps its nodes and its input kind.
        ProfileOptions options;
        options.layout = 1;
        options.correctionHeaderType = 1;
        options.correctionNodes = sets[3];
        ProfileFixture f = test::makeProfileFixture(options);
        TempDir dir;
        f.writeTo(dir);
        f.params.inputKind = 10;
        OpenContext context(f.params);
        ASSERT_EQ(context.result(), 0);
        EXPECT_EQ(std::memcmp(context.get()->groups[1].nodes, sets[3].data(), 17), 0);
        EXPECT_EQ(context.get()->settings.inputKind, 10);
        EXPECT_EQ(context.get()->inputCurve[1], 0x05);
        EXPECT_EQ(context.get()->inputCurve[128], 0x9c);
    }
}

TEST(LoadedContext, GroupsGetTheirTablesAndCachesByMethod) {
    struct Case {
        int method;
        uint8_t channels;
        bool wideCache;
    };
    const Case cases[] = {{3, 4, false}, {4, 4, false}, {6, 6, true}, {7, 7, true}};
    for (const Case& k : cases) {
        ProfileOptions options;
        options.method = k.method;
        options.layout = 1;
        ProfileFixture f = test::makeProfileFixture(options);
        TempDir dir;
        f.writeTo(dir);
        OpenContext context(f.params);
        ASSERT_EQ(context.result(), 0) << "method " << k.method;
        const EngineContext* c = context.get();
        EXPECT_EQ(c->conversionMethod, k.method);
        const TableGroup& g0 = c->groups[0];
        EXPECT_EQ(g0.channels, k.channels);
        const LutBlock* lut = static_cast<const LutBlock*>(g0.lutBlock.address);
        ASSERT_NE(lut, nullptr);
        EXPECT_EQ(lut->lutReady, kLutReady);
        EXPECT_EQ(lut->lutChannels, k.channels);
        // The grid is the chunk's data, interleaved by grid point.
        const int cells = 17 * 17 * 17;
        for (int i = 0; i < cells; i += 97) {
            for (int q = 0; q < k.channels; ++q) {
                ASSERT_EQ(lut->grid()[i * k.channels + q], f.lutGrid[q * cells + i]);
            }
        }
        if (k.wideCache) {
            EXPECT_EQ(g0.cache8Block.address, nullptr);
            const auto* cache = static_cast<const ColourCache12*>(g0.cache12Block.address);
            ASSERT_NE(cache, nullptr);
            EXPECT_EQ(cache->entries[100].key, kEmptyCacheKey);
        } else {
            EXPECT_EQ(g0.cache12Block.address, nullptr);
            const auto* cache = static_cast<const ColourCache8*>(g0.cache8Block.address);
            ASSERT_NE(cache, nullptr);
            EXPECT_EQ(cache->entries[4095].key, kEmptyCacheKey);
            EXPECT_EQ(cache->entries[4095].value[0], 0);
        }
        const TableGroup& g1 = c->groups[1];
        EXPECT_EQ(g1.channels, 3);
        ASSERT_NE(g1.cache8Block.address, nullptr);
        EXPECT_EQ(static_cast<const ColourCache8*>(g1.cache8Block.address)->entries[7].value[3],
                  0xff);
        EXPECT_EQ(g1.cache12Block.address, nullptr);
    }
}

TEST(LoadedContext, MissingTablesLeaveTheirGroupsEmpty) {
    {
        ProfileOptions options;
        options.withCorrection = false;
        options.layout = 1;
        options.extraFlags = db::greyModeFlags(1);
        ProfileFixture f = test::makeProfileFixture(options);
        TempDir dir;
        f.writeTo(dir);
        OpenContext context(f.params);
        ASSERT_EQ(context.result(), 0);
        const TableGroup& g1 = context.get()->groups[1];
        EXPECT_EQ(g1.lutBlock.address, nullptr);
        EXPECT_EQ(g1.cache8Block.address, nullptr);
        EXPECT_EQ(g1.cache12Block.address, nullptr);
        for (uint8_t b : context.get()->inputCurve) {
            ASSERT_EQ(b, 0);
        }
        // Grey mode 1 without a correction table takes the fixed curve.
        EXPECT_EQ(context.get()->greyCurve[0], 0xff);
        EXPECT_EQ(context.get()->greyCurve[64], 0x70);
        // The correction leaves pixels alone on such a context.
        uint8_t pixel[3] = {10, 20, 30};
        EXPECT_EQ(VrelBitmapColorCorrection(VrelFormatRgb24, pixel, pixel, 1, 0, 0, context.get()),
                  0);
        EXPECT_EQ(pixel[0], 10);
        EXPECT_EQ(pixel[2], 30);
    }
    {
        ProfileOptions options;
        options.method = 1;
        ProfileFixture f = test::makeProfileFixture(options);
        TempDir dir;
        f.writeTo(dir);
        OpenContext context(f.params);
        ASSERT_EQ(context.result(), 0);
        EXPECT_EQ(context.get()->conversionMethod, 1);
        const TableGroup& g0 = context.get()->groups[0];
        EXPECT_EQ(g0.lutBlock.address, nullptr);
        EXPECT_EQ(g0.cache8Block.address, nullptr);
        EXPECT_EQ(g0.cache12Block.address, nullptr);
        EXPECT_NE(context.get()->groups[1].lutBlock.address, nullptr);
    }
}

TEST(LoadedContext, ExtensionChunkOfTheSelectorIsCopied) {
    for (uint16_t selector : {0, 2, 3}) {
        ProfileOptions options;
        options.layout = 2;
        options.withExtension = true;
        ProfileFixture f = test::makeProfileFixture(options);
        TempDir dir;
        f.writeTo(dir);
        f.params.adjustSwitch = 2;
        f.params.tableSelector = selector;
        OpenContext context(f.params);
        ASSERT_EQ(context.result(), 0) << "selector " << selector;
        const size_t slot = selector == 2 ? 1 : selector == 3 ? 2 : 0;
        const db::ExtensionChunk& want = f.extensions[slot];
        const ExtensionChunk& got = context.get()->settings.extChunk;
        EXPECT_EQ(got.extSize, 84);
        EXPECT_EQ(std::memcmp(got.extName9, want.extName9.data(), 24), 0);
        EXPECT_EQ(std::memcmp(got.extName1, want.extName1.data(), 24), 0);
        EXPECT_EQ(std::memcmp(got.extName10, want.extName10.data(), 24), 0);
        EXPECT_EQ(got.extSearchKey, want.extSearchKey);
        EXPECT_EQ(got.extSearchPair, want.extSearchPair);
        EXPECT_EQ(got.extProfileValue, want.extProfileValue);
    }
}

tables_test::CorrectionTable fixtureCorrection(const ProfileFixture& f, const EngineContext* c,
                                               size_t slot) {
    tables_test::CorrectionTable t;
    t.table.nodes = f.correctionNodeSets.front();
    t.table.grid = f.correctionGrids[slot];
    std::copy(c->inputCurve, c->inputCurve + 256, t.inputCurve.begin());
    return t;
}

TEST(LoadedContext, CorrectionOfAStartedContextMatchesTheReference) {
    const std::vector<uint8_t> nodes = {0, 7, 30, 31, 64, 100, 101, 160, 222, 255};
    for (uint16_t inputKind : {10, 18, 22, 32}) {
        ProfileOptions options;
        options.layout = 1;
        options.correctionHeaderType = 1;
        options.correctionNodes = nodes;
        options.seed = inputKind;
        ProfileFixture f = test::makeProfileFixture(options);
        TempDir dir;
        f.writeTo(dir);
        f.params.inputKind = inputKind;
        OpenContext context(f.params);
        ASSERT_EQ(context.result(), 0);
        const tables_test::CorrectionTable table = fixtureCorrection(f, context.get(), 0);
        // The input curve is the fixed curve of the kind (identity for 32).
        EXPECT_EQ(isIdentity(context.get()->inputCurve), inputKind == 32);
        tables_test::ReferenceCorrector model(table, context.get()->kernelFlags);
        std::mt19937 rng(inputKind);
        ASSERT_TRUE(tables_test::runRandomCorrections(context.get(), model, rng, 300))
            << "input kind " << inputKind;
    }
}

TEST(LoadedContext, GreyModeOneCurveComesFromTheCorrectedRamp) {
    ProfileOptions options;
    options.layout = 1;
    options.extraFlags = db::greyModeFlags(1);
    options.correctionHeaderType = 1;
    options.correctionNodes = {0, 50, 51, 140, 141, 255};
    ProfileFixture f = test::makeProfileFixture(options);
    TempDir dir;
    f.writeTo(dir);
    OpenContext context(f.params);
    ASSERT_EQ(context.result(), 0);
    const tables_test::CorrectionTable table = fixtureCorrection(f, context.get(), 0);
    tables_test::ReferenceCorrector model(table, context.get()->kernelFlags);
    uint8_t ramp[256];
    for (int i = 0; i < 256; ++i) {
        model.beginCall();
        const auto rgb =
            model.pixel(static_cast<uint8_t>(i), static_cast<uint8_t>(i), static_cast<uint8_t>(i));
        const int luminance = (77 * rgb[0] + 151 * rgb[1] + 28 * rgb[2] + 128) / 256;
        ramp[i] = static_cast<uint8_t>(255 - luminance);
    }
    // The curve is the corrected ramp after the step filling (checked on its
    // own against a stepwise reference); it keeps the ramp's first level and
    // ends at most the one dropped level above the ramp's last.
    const uint8_t* curve = context.get()->greyCurve;
    EXPECT_EQ(curve[0], ramp[0]);
    EXPECT_GE(curve[255], ramp[255]);
    EXPECT_LE(curve[255] - ramp[255], 1);
    int changed = 0;
    for (int i = 0; i < 256; ++i) {
        changed += curve[i] != ramp[i];
    }
    uint8_t refilled[256];
    std::memcpy(refilled, ramp, 256);
    fillGreyRampSteps(refilled);
    EXPECT_EQ(std::memcmp(curve, refilled, 256), 0);
    EXPECT_GT(changed, 0);
}

} // namespace
} // namespace vrel
